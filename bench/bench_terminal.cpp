#include "bench/bench_terminal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "platform/os/process_stats.h"
#include "platform/os/pty.h"
#include "platform/os/sync.h"
#include "transfer/protocol.h"

namespace {

namespace fs = std::filesystem;

constexpr int LINE_TIMEOUT_MS = 10000;
constexpr DWORD JOB_TIMEOUT_MS = 120000;
constexpr DWORD SIM_END_TIMEOUT_MS = 10000;
constexpr DWORD PEAK_POLL_MS = 2;

// The programs run without a display and with the settings in the benchmark's folder; what
// this process had is put back afterwards.
class CTerminalEnvironment {
 public:
  explicit CTerminalEnvironment(const std::string& sConfigFolder) {
    for (const char* pName : {"XDG_CONFIG_HOME", "DISPLAY", "WAYLAND_DISPLAY"}) {
      const char* pValue = std::getenv(pName);
      m_saved.push_back({pName, pValue != nullptr ? std::optional<std::string>(pValue) : std::nullopt});
    }
    setenv("XDG_CONFIG_HOME", sConfigFolder.c_str(), 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
  }
  ~CTerminalEnvironment() {
    for (const auto& [name, value] : m_saved) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }
  CTerminalEnvironment(const CTerminalEnvironment&) = delete;
  CTerminalEnvironment& operator=(const CTerminalEnvironment&) = delete;

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// COM1 is the given line, in the settings file the program reads.
BOOL MapCom1(const std::string& sConfigFolder, const std::string& sLine) {
  std::ofstream out(fs::path(sConfigFolder) / "quorin.INI", std::ios::trunc);
  out << "[Devices]\nCOM1=" << sLine << "\n";
  return out.flush() ? TRUE : FALSE;
}

std::string ReadText(const std::string& sPath) {
  std::ifstream in(sPath, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The last non-empty line of a program's output, to say how a run went wrong.
std::string LastLine(const std::string& sPath) {
  std::string text = ReadText(sPath);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  const std::size_t at = text.rfind('\n');
  return text.empty() ? "(no output)" : "\"" + text.substr(at == std::string::npos ? 0 : at + 1) + "\"";
}

BOOL MakeImage(const std::string& sPath, std::uint32_t nBytes) {
  std::vector<char> image(nBytes);
  for (std::uint32_t i = 0; i < nBytes; ++i) image[i] = static_cast<char>((i * 131u + (i >> 9)) & 0xFF);
  std::ofstream out(sPath, std::ios::binary | std::ios::trunc);
  out.write(image.data(), static_cast<std::streamsize>(image.size()));
  return out.flush() ? TRUE : FALSE;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 != 0 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

// Starts a program on a line of its own and times it from the start to the reboot text read
// in full from the line. The program is ended then.
BOOL TimeRebootText(const std::string& sProgram, bool bQuorin, const std::vector<int>& cpus,
                    const std::string& sImage, const std::string& sConfig,
                    const std::string& sOutput, double& dMs, std::string& sError) {
  const std::string sName = fs::path(sProgram).filename().string();
  CPseudoTerminal pty;
  if (!pty.Open()) {
    sError = "no pseudo-terminal for the start-up runs";
    return FALSE;
  }
  std::vector<std::string> args = {pty.SlavePath()};
  if (bQuorin) {
    args = {"-c", "COM1", "-s", "115200", "-p", sImage};
    if (!MapCom1(sConfig, pty.SlavePath())) {
      sError = "cannot write the settings file in " + sConfig;
      return FALSE;
    }
  }
  CChildProcess child;
  child.SetOutputFile(sOutput);
  const std::uint64_t t0 = MonotonicNanoseconds();
  if (!child.Start(sProgram, args, cpus)) {
    sError = sProgram + " cannot be started";
    return FALSE;
  }
  BYTE text[REBOOT_TEXT_SIZE] = {};
  const std::size_t n = pty.ReadExact(text, sizeof text, LINE_TIMEOUT_MS);
  const std::uint64_t t1 = MonotonicNanoseconds();
  child.Kill();
  if (n != sizeof text || std::memcmp(text, REBOOT_TEXT, sizeof text) != 0) {
    sError = sName + " did not write the reboot text (" + std::to_string(n) + " bytes); its output: " +
             LastLine(sOutput);
    return FALSE;
  }
  dMs = static_cast<double>(t1 - t0) / 1e6;
  return TRUE;
}

// A whole software job at 115200 baud against the simulator; the program's peak resident size.
BOOL MeasureJobPeak(const TerminalBenchSetup& setup, const std::string& sImage,
                    const std::string& sConfig, std::uint64_t& nPeakKiB, std::string& sError) {
  const std::string sSimOutput = (fs::path(setup.sFolder) / "terminal-sim.txt").string();
  const std::string sJobOutput = (fs::path(setup.sFolder) / "terminal-job.txt").string();
  CChildProcess sim;
  sim.SetOutputFile(sSimOutput);
  if (!sim.Start(setup.sSimulator, {"--job", "software", "--expect-speed", "5"})) {
    sError = setup.sSimulator + " cannot be started";
    return FALSE;
  }
  // Its first line is the path of its line.
  std::string sLine;
  for (int nWaited = 0; nWaited < LINE_TIMEOUT_MS; nWaited += 10) {
    const std::string text = ReadText(sSimOutput);
    const std::size_t end = text.find('\n');
    if (end != std::string::npos) {
      sLine = text.substr(0, end);
      break;
    }
    Sleep(10);
  }
  if (sLine.empty() || !MapCom1(sConfig, sLine)) {
    sError = "the simulator gave no line: " + LastLine(sSimOutput);
    return FALSE;
  }
  CChildProcess pc;
  pc.SetOutputFile(sJobOutput);
  if (!pc.Start(setup.sProgram, {"-c", "COM1", "-s", "115200", "-p", sImage}, setup.cpus)) {
    sError = setup.sProgram + " cannot be started";
    return FALSE;
  }
  // The peak is read from the running process (VmHWM) every 2 ms until it ends. The resource
  // usage of a reaped child would not do: its peak counts the memory of this process too, in
  // whose copy the child's life began before its exec.
  int nStatus = -1;
  nPeakKiB = 0;
  const std::uint64_t tEnd = MonotonicNanoseconds() + std::uint64_t{JOB_TIMEOUT_MS} * 1000000;
  const int nPid = pc.Pid();
  for (;;) {
    ProcessUsage usage;
    if (GetProcessUsage(nPid, usage)) nPeakKiB = std::max(nPeakKiB, usage.nPeakRssKiB);
    if (pc.Wait(PEAK_POLL_MS, nStatus)) break;
    if (MonotonicNanoseconds() > tEnd) {
      sError = "the terminal job did not end; its last line: " + LastLine(sJobOutput);
      return FALSE;
    }
  }
  if (nStatus != 0) {
    sError = "the terminal job ended with status " + std::to_string(nStatus) + ": " + LastLine(sJobOutput);
    return FALSE;
  }
  int nSimStatus = -1;
  if (!sim.Wait(SIM_END_TIMEOUT_MS, nSimStatus) || nSimStatus != 0) {
    sError = "the simulator found the job wrong: " + LastLine(sSimOutput);
    return FALSE;
  }
  if (nPeakKiB == 0) {
    sError = "the terminal job's memory could not be read";
    return FALSE;
  }
  return TRUE;
}

}  // namespace

BOOL RunTerminalFigures(const TerminalBenchSetup& setup, CBenchReport& report, std::string& sError) {
  const fs::path folder(setup.sFolder);
  const std::string sConfig = (folder / "config-terminal").string();
  const std::string sImage = (folder / "terminal-image.bin").string();
  const std::string sOutput = (folder / "terminal-startup.txt").string();
  std::error_code ec;
  fs::create_directories(sConfig, ec);
  if (ec || !MakeImage(sImage, setup.nImageBytes)) {
    sError = "cannot prepare the terminal runs in " + setup.sFolder;
    return FALSE;
  }
  CTerminalEnvironment environment(sConfig);

  // In turn, so that both see the same machine.
  std::vector<double> program;
  std::vector<double> baseline;
  for (int i = 0; i < setup.nStartupRuns; ++i) {
    double dMs = 0;
    if (!TimeRebootText(setup.sBaseline, false, setup.cpus, sImage, sConfig, sOutput, dMs, sError)) return FALSE;
    baseline.push_back(dMs);
    if (!TimeRebootText(setup.sProgram, true, setup.cpus, sImage, sConfig, sOutput, dMs, sError)) return FALSE;
    program.push_back(dMs);
  }
  std::uint64_t nPeakKiB = 0;
  if (!MeasureJobPeak(setup, sImage, sConfig, nPeakKiB, sError)) return FALSE;

  const double dProgram = Median(program);
  const double dBaseline = Median(baseline);
  report.Set("terminal_startup_ms", dProgram);
  report.Set("terminal_startup_baseline_ms", dBaseline);
  report.Set("terminal_startup_ratio", dBaseline > 0 ? dProgram / dBaseline : 0);
  report.Set("terminal_rss_kib", static_cast<double>(nPeakKiB));
  return TRUE;
}

std::string TerminalTable(const CBenchReport& report) {
  char line[160];
  std::snprintf(line, sizeof line, "%-36s %10.2f %10.2f %s\n", "terminal start-up (ms): program, least",
                report.Get("terminal_startup_ms"), report.Get("terminal_startup_baseline_ms"), "");
  std::string table = line;
  std::snprintf(line, sizeof line, "%-36s %10.2f %-13s %s\n", "terminal start-up against the least",
                report.Get("terminal_startup_ratio"), "", "target: <= 3");
  table += line;
  std::snprintf(line, sizeof line, "%-36s %10.0f %-13s %s\n", "terminal job, peak resident (KiB)",
                report.Get("terminal_rss_kib"), "", "target: <= 8192");
  table += line;
  return table;
}
