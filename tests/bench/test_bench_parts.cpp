// The benchmark's own arithmetic and output: order statistics and the JSON it leaves behind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "bench/bench_report.h"
#include "bench/latency_samples.h"
#include "platform/process_stats.h"

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

TEST(BenchReport, WritesTheFileWholeAndNothingBeside) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("quorin-bench-report-" + std::to_string(GetOwnProcessId()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "bench.json").string();
  CBenchReport report;
  report.Set("rss_idle_kib", 4200);
  ASSERT_TRUE(report.WriteJson(path));
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), report.Json());
  EXPECT_FALSE(std::filesystem::exists(path + ".part"));
  EXPECT_FALSE(report.WriteJson((dir / "no-such-folder" / "bench.json").string()));
  std::filesystem::remove_all(dir);
}

TEST(BenchReport, TableShowsTheFiguresAgainstTheirTargets) {
  CBenchReport report;
  report.Set("floor_median_us", 40.0);
  report.Set("block_median_us", 50.0);
  report.Set("block_median_ratio", 1.25);
  report.Set("idle_wait_cpu_percent", 0.004);
  const std::string table = report.Table();
  EXPECT_NE(table.find("floor round trip (us)"), std::string::npos);
  EXPECT_NE(table.find("40.0"), std::string::npos);
  EXPECT_NE(table.find("1.25"), std::string::npos);
  EXPECT_NE(table.find("0.004"), std::string::npos);
  EXPECT_NE(table.find("target: < 0.5"), std::string::npos);
}

}  // namespace
