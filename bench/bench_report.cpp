#include "bench/bench_report.h"

#include <cmath>
#include <cstdio>
#include <fstream>

namespace {

std::string Number(double d) {
  if (!std::isfinite(d)) return "null";
  char text[64];
  // Whole numbers stay whole; the rest keep three decimals, enough for microseconds.
  if (d == std::floor(d) && std::fabs(d) < 1e15) {
    std::snprintf(text, sizeof text, "%.0f", d);
  } else {
    std::snprintf(text, sizeof text, "%.3f", d);
  }
  return text;
}

}  // namespace

void CBenchReport::Set(const std::string& sKey, double dValue) {
  for (auto& entry : m_values) {
    if (entry.first == sKey) {
      entry.second = dValue;
      return;
    }
  }
  m_values.emplace_back(sKey, dValue);
}

BOOL CBenchReport::Has(const std::string& sKey) const {
  for (const auto& entry : m_values) {
    if (entry.first == sKey) return TRUE;
  }
  return FALSE;
}

double CBenchReport::Get(const std::string& sKey) const {
  for (const auto& entry : m_values) {
    if (entry.first == sKey) return entry.second;
  }
  return 0.0;
}

std::string CBenchReport::Json() const {
  std::string json = "{\n";
  for (std::size_t i = 0; i < m_values.size(); ++i) {
    json += "  \"" + m_values[i].first + "\": " + Number(m_values[i].second);
    json += i + 1 < m_values.size() ? ",\n" : "\n";
  }
  json += "}\n";
  return json;
}

BOOL CBenchReport::WriteJson(const std::string& sPath) const {
  const std::string temp = sPath + ".part";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return FALSE;
    out << Json();
    if (!out.flush()) return FALSE;
  }
  return std::rename(temp.c_str(), sPath.c_str()) == 0 ? TRUE : FALSE;
}

std::string CBenchReport::Table() const {
  char line[160];
  std::string table;
  auto row = [&](const char* pLabel, const std::string& sValues, const char* pNote) {
    std::snprintf(line, sizeof line, "%-36s %-24s %s\n", pLabel, sValues.c_str(), pNote);
    table += line;
  };
  auto pair = [this](const char* pA, const char* pB) {
    char text[64];
    std::snprintf(text, sizeof text, "%10.1f %10.1f", Get(pA), Get(pB));
    return std::string(text);
  };
  auto one = [this](const char* pKey, const char* pFormat) {
    char text[64];
    std::snprintf(text, sizeof text, pFormat, Get(pKey));
    return std::string(text);
  };
  row("", "    median        p99", "");
  row("floor round trip (us)", pair("floor_median_us", "floor_p99_us"), "");
  row("block turnaround (us)", pair("block_median_us", "block_p99_us"), "");
  std::snprintf(line, sizeof line, "%10.2f %10.2f", Get("block_median_ratio"), Get("block_p99_ratio"));
  row("turnaround / floor", line, "target: <= 1.5 and <= 3");
  row("blocks per second", one("blocks_per_s", "%10.0f"), "");
  std::snprintf(line, sizeof line, "%10.1f %10.1f", Get("cpu_us_per_block"),
                Get("floor_peer_cpu_us_per_round"));
  row("CPU per block (us): PC, bare peer", line, "");
  std::snprintf(line, sizeof line, "%10.0f %10.0f", Get("rss_idle_kib"), Get("rss_peak_kib"));
  row("PC resident idle, peak (KiB)", line, "");
  row("PC resident growth in the job (KiB)", one("rss_growth_kib", "%10.0f"), "target: <= 8192");
  row("PC CPU while an armed job waits (%)", one("idle_wait_cpu_percent", "%10.3f"), "target: < 0.5");
  std::snprintf(line, sizeof line, "%10.1f %10.1f %10.1f", Get("window_stall_software_ms"),
                Get("window_stall_boot_ms"), Get("window_stall_list_ms"));
  row("window stall (ms): software, boot, list", line, "");
  row("window stall, worst (ms)", one("window_stall_max_ms", "%10.1f"), "target: <= 25");
  if (Has("wire_efficiency_115200")) {
    std::snprintf(line, sizeof line, "%10.4f %10.4f", Get("wire_efficiency_115200"), Get("wire_efficiency_230400"));
    row("wire efficiency: 115200, 230400 baud", line, "target: >= 0.99");
  }
  if (Has("window_stall_max_ms_line")) {
    std::snprintf(line, sizeof line, "%10.1f %10.1f %10.1f", Get("window_stall_line_software_ms"),
                  Get("window_stall_line_boot_ms"), Get("window_stall_line_list_ms"));
    row("at a line's pace (ms): software, boot, list", line, "");
    row("window stall at a line's pace (ms)", one("window_stall_max_ms_line", "%10.1f"), "target: <= 25");
  }
  if (Has("terminal_cpu_us_per_block")) {
    std::snprintf(line, sizeof line, "%10.1f %10.1f", Get("gui_cpu_per_block_us"), Get("terminal_cpu_us_per_block"));
    row("CPU per block (us): window, terminal", line, Has("gui_cpu_per_block_us") ? "" : "(no Xvfb)");
    row("window / terminal CPU", one("gui_terminal_cpu_ratio", "%10.2f"), "target: <= 1.5");
  }
  if (Has("rss_growth_64mib_kib")) {
    row("resident growth, 64 MiB job (KiB)", one("rss_growth_64mib_kib", "%10.0f"), "target: <= 1024");
  }
  if (Has("parallel_8_slowdown")) {
    std::snprintf(line, sizeof line, "%10.1f %10.1f", Get("parallel_single_job_s"), Get("parallel_8_median_job_s"));
    row("job (s): alone, median of 8 at once", line, "");
    row("8 at once / alone", one("parallel_8_slowdown", "%10.3f"), "target: <= 1.05");
  }
  std::snprintf(line, sizeof line, "%10.2f %10.2f", Get("load_average_1min_before"),
                Get("load_average_1min_after"));
  row("load average before, after", line, "");
  return table;
}
