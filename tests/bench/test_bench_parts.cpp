// The benchmark's own arithmetic and output: order statistics and the JSON it leaves behind.
#include <gtest/gtest.h>

#include <limits>

#include "bench/bench_report.h"
#include "bench/latency_samples.h"

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

}  // namespace
