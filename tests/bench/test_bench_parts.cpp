// The benchmark's own arithmetic and output: order statistics and the JSON it leaves behind.
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>

#include "bench/bench_report.h"
#include "bench/latency_samples.h"
#include "bench/line_figures.h"

namespace {

TEST(LatencySamples, NearestRankPercentiles) {
  CLatencySamples samples;
  EXPECT_EQ(samples.MedianMicroseconds(), 0.0) << "no samples, no figure";
  // 100 samples of 1..100 us, added out of order.
  for (int i = 100; i >= 1; i -= 2) samples.Add(static_cast<std::uint64_t>(i) * 1000);
  for (int i = 1; i <= 99; i += 2) samples.Add(static_cast<std::uint64_t>(i) * 1000);
  const struct {
    double fraction;
    double us;
  } cases[] = {{0.0, 1}, {0.01, 1}, {0.5, 50}, {0.505, 51}, {0.99, 99}, {0.991, 100}, {1.0, 100}, {2.0, 100}};
  for (const auto& c : cases) EXPECT_EQ(samples.PercentileMicroseconds(c.fraction), c.us) << c.fraction;

  // One slow outlier moves the maximum, not the median or the 99th percentile of 1000.
  CLatencySamples few;
  for (int i = 0; i < 999; ++i) few.Add(10000);
  few.Add(5000000);
  EXPECT_EQ(few.MedianMicroseconds(), 10.0);
  EXPECT_EQ(few.PercentileMicroseconds(0.99), 10.0);
  EXPECT_EQ(few.PercentileMicroseconds(1.0), 5000.0);
}

TEST(BenchReport, FlatJsonInOrderWithReplacedValues) {
  CBenchReport report;
  report.Set("floor_median_us", 0);
  report.Set("blocks", 7813);
  report.Set("floor_median_us", 41.25);
  report.Set("ratio", 1.0 / 3.0);
  report.Set("broken", std::numeric_limits<double>::quiet_NaN());
  EXPECT_TRUE(report.Has("blocks"));
  EXPECT_FALSE(report.Has("missing"));
  EXPECT_EQ(report.Get("missing"), 0.0);
  EXPECT_EQ(report.Json(),
            "{\n"
            "  \"floor_median_us\": 41.250,\n"
            "  \"blocks\": 7813,\n"
            "  \"ratio\": 0.333,\n"
            "  \"broken\": null\n"
            "}\n");
}

TEST(LineFigures, TimingLineIsFoundOnlyWhole) {
  DataPhaseTiming t;
  ASSERT_TRUE(ParseDataPhaseTiming("/dev/pts/7\nOK: software job, 2048 blocks\ntiming: 2048 94.812500 115200\n", t));
  EXPECT_EQ(t.nBlocks, 2048);
  EXPECT_DOUBLE_EQ(t.dSeconds, 94.8125);
  EXPECT_EQ(t.nBaud, 115200u);
  for (const char* bad : {"", "OK: software job\n", "timing: 2048 94.8\n", "timing: 0 94.8 115200\n",
                          "timing: 2048 0 115200\n", "timing: 2048 94.8 0\n", "timing: 2048 94.8 115200 x\n",
                          "timing: x 94.8 115200\n", "the timing: 2048 94.8 115200\n"}) {
    DataPhaseTiming untouched;
    EXPECT_FALSE(ParseDataPhaseTiming(bad, untouched)) << bad;
    EXPECT_EQ(untouched.nBlocks, 0) << bad;
  }
}

TEST(LineFigures, WireEfficiencyIsTheIdealTimeOverTheTimeTaken) {
  // 2048 blocks of 528 bytes at 115200 baud: 93.867 s when the line never waits.
  const double ideal = 2048.0 * 528 * 10 / 115200;
  EXPECT_NEAR(WireEfficiency({2048, ideal, 115200}), 1.0, 1e-12);
  EXPECT_NEAR(WireEfficiency({2048, ideal + 2048 * 0.016, 115200}), 0.7412, 1e-4)
      << "a 16 ms latency timer on every reply";
  EXPECT_NEAR(WireEfficiency({2048, ideal / 2, 230400}), 1.0, 1e-12);
  EXPECT_EQ(WireEfficiency({0, 1.0, 115200}), 0.0);
  EXPECT_EQ(WireEfficiency({2048, 0.0, 115200}), 0.0);
  EXPECT_EQ(WireEfficiency({2048, 1.0, 0}), 0.0);
}

TEST(LineFigures, MedianOfOddAndEvenCounts) {
  EXPECT_EQ(Median({}), 0.0);
  EXPECT_EQ(Median({24.1}), 24.1);
  EXPECT_EQ(Median({30, 10, 20}), 20.0);
  EXPECT_EQ(Median({40, 10, 30, 20}), 25.0);
  EXPECT_EQ(Median({5, 1, 5, 5, 100, 1, 2, 5}), 5.0);
}

// What the shell gets back must be the argument itself, whatever it holds.
TEST(LineFigures, ShellQuotedArgumentsComeThroughWhole) {
  const std::string args[] = {"plain", "with space", "it's", "'", "$HOME `id` \"q\" \\ ; | & *", ""};
  for (const std::string& arg : args) {
    std::FILE* p = popen(("printf '%s' " + ShellQuote(arg)).c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buffer[256];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
    EXPECT_EQ(pclose(p), 0);
    EXPECT_EQ(out, arg);
  }
}

}  // namespace
