#include "bench/bench_line.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "bench/bench_pc_side.h"
#include "bench/line_figures.h"
#include "platform/os/process_stats.h"
#include "platform/os/pty.h"
#include "platform/os/sync.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t WIRE_IMAGE_BYTES = 1048576;
// 513 blocks: an image of exactly 256 KiB would be taken for a database.
constexpr std::uint32_t QUARTER_MIB_IMAGE_BYTES = 262656;
constexpr std::uint32_t BOOT_IMAGE_BYTES = 131072;
constexpr std::uint32_t LIST_BYTES = 64000;
constexpr int PARALLEL_JOBS = 8;
constexpr std::uint32_t CPU_SMALL_BYTES = 131072;
constexpr std::uint32_t CPU_LARGE_BYTES = 4000000;
constexpr int CPU_ROUNDS = 3;
constexpr std::uint32_t RSS_IMAGE_BYTES = 64u << 20;
constexpr DWORD JOB_LIMIT_MS = 900000;
constexpr DWORD START_LIMIT_MS = 10000;
constexpr DWORD WINDOW_AFTER_JOB_MS = 500;  // the window shows "Done" before it is ended
constexpr const char* SIM_TIMEOUT_S = "900";

std::string Folder(const std::string& sFile) { return fs::path(sFile).parent_path().string(); }

std::string ReadText(const std::string& sPath) {
  std::ifstream in(sPath, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::uint64_t Blocks(std::uint64_t nBytes) { return (nBytes + 511) / 512; }

BOOL WriteImage(const std::string& sPath, std::uint32_t nBytes, std::uint32_t nSeed) {
  std::ofstream out(sPath, std::ios::binary | std::ios::trunc);
  std::vector<char> chunk(65536);
  std::uint32_t x = nSeed | 1u;
  for (std::uint32_t nLeft = nBytes; nLeft > 0;) {
    const std::uint32_t n = std::min<std::uint32_t>(nLeft, static_cast<std::uint32_t>(chunk.size()));
    for (std::uint32_t i = 0; i < n; ++i) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      chunk[i] = static_cast<char>(x >> 24);
    }
    // A list that began with 0xB1 0xE8 would go to the companion program instead of the line.
    if (nLeft == nBytes && static_cast<unsigned char>(chunk[0]) == 0xB1) chunk[0] = 0;
    out.write(chunk.data(), n);
    nLeft -= n;
  }
  return out.flush() ? TRUE : FALSE;
}

// Everything this part starts comes from the benchmark's own folder.
struct Tools {
  std::string sQuorin, sSim, sPreload, sBench, sFolder;
  std::vector<int> cpus;
  std::string Path(const std::string& sName) const { return (fs::path(sFolder) / sName).string(); }
};

// The simulator on a pseudo-terminal of its own; its output goes to a file, whose first line is
// the terminal's path.
class CSimulator {
 public:
  BOOL Start(const Tools& t, const std::string& sName, const std::vector<std::string>& args) {
    m_sOut = t.Path(sName + ".sim");
    std::error_code ec;
    fs::remove(m_sOut, ec);
    std::string command = "exec " + ShellQuote(t.sSim) + " --timeout " + SIM_TIMEOUT_S;
    for (const std::string& a : args) command += " " + ShellQuote(a);
    command += " >" + ShellQuote(m_sOut) + " 2>" + ShellQuote(m_sOut + ".err");
    if (!m_child.Start("/bin/sh", {"-c", command}, t.cpus)) return FALSE;
    for (const std::uint64_t tEnd = MonotonicNanoseconds() + std::uint64_t{START_LIMIT_MS} * 1000000;
         MonotonicNanoseconds() < tEnd; Sleep(5)) {
      const std::string text = ReadText(m_sOut);
      const std::size_t nEnd = text.find('\n');
      if (nEnd != std::string::npos) {
        m_sPath = text.substr(0, nEnd);
        return m_sPath.empty() ? FALSE : TRUE;
      }
    }
    return FALSE;
  }
  const std::string& Path() const { return m_sPath; }
  // TRUE when it ended with status 0 (the PC side kept to the protocol).
  BOOL Finish(DWORD ms, std::string& sError) {
    int nStatus = -1;
    if (!m_child.Wait(ms, nStatus)) {
      m_child.Kill();
      sError = "the simulator did not end: " + Errors();
      return FALSE;
    }
    if (nStatus != 0) {
      sError = "the simulator ended with status " + std::to_string(nStatus) + ": " + Output() + Errors();
      return FALSE;
    }
    return TRUE;
  }
  BOOL IsRunning() const { return m_child.IsRunning(); }
  BOOL Poll() {
    int nStatus = -1;
    return m_child.Wait(0, nStatus) ? TRUE : FALSE;
  }
  std::string Output() const { return ReadText(m_sOut); }
  std::string Errors() const { return ReadText(m_sOut + ".err"); }

 private:
  CChildProcess m_child;
  std::string m_sOut;
  std::string m_sPath;
};

// The program with a software job on COM1, in the terminal (sDisplay empty) or in a window.
BOOL StartQuorin(CChildProcess& pc, const Tools& t, const std::string& sName, const std::string& sDevice,
                 const std::string& sSpeed, const std::string& sImage, const std::string& sDisplay) {
  const std::string sConfig = t.Path("config-" + sName);
  std::error_code ec;
  fs::create_directories(sConfig, ec);
  {
    std::ofstream ini(sConfig + "/quorin.INI", std::ios::trunc);
    ini << "[Devices]\nCOM1=" << sDevice << "\n";
    if (!ini.flush()) return FALSE;
  }
  std::string command = "exec env -u WAYLAND_DISPLAY ";
  command += sDisplay.empty() ? "-u DISPLAY " : "DISPLAY=" + ShellQuote(sDisplay) + " ";
  command += "XDG_CONFIG_HOME=" + ShellQuote(sConfig) + " " + ShellQuote(t.sQuorin) + " -c COM1 -s " +
             sSpeed + " -p " + ShellQuote(sImage) + " >" + ShellQuote(t.Path(sName + ".log")) + " 2>&1";
  return pc.Start("/bin/sh", {"-c", command}, t.cpus);
}

// One software job of the program against the simulator.
class CJob {
 public:
  BOOL Start(const Tools& t, const std::string& sName, const std::vector<std::string>& simArgs,
             const std::string& sSpeed, const std::string& sImage, const std::string& sDisplay,
             std::string& sError) {
    m_sName = sName;
    m_bWindow = !sDisplay.empty();
    std::vector<std::string> args = {"--job", "software"};
    args.insert(args.end(), simArgs.begin(), simArgs.end());
    if (!m_sim.Start(t, sName, args)) {
      sError = sName + ": the simulator did not start: " + m_sim.Errors();
      return FALSE;
    }
    m_t0 = MonotonicNanoseconds();
    if (!StartQuorin(m_pc, t, sName, m_sim.Path(), sSpeed, sImage, sDisplay)) {
      sError = sName + ": the program could not be started";
      return FALSE;
    }
    m_sLog = t.Path(sName + ".log");
    return TRUE;
  }
  // TRUE once the program has ended (a window: once the simulator has, and the window was
  // ended after it showed "Done").
  BOOL Poll() {
    if (m_bEnded) return TRUE;
    if (m_bWindow) {
      if (!m_sim.Poll()) return FALSE;
      m_bSimEnded = true;
      Sleep(WINDOW_AFTER_JOB_MS);
      m_t1 = MonotonicNanoseconds();
      m_pc.Kill();
      m_nStatus = 0;
      m_bEnded = true;
      return TRUE;
    }
    if (!m_pc.Wait(0, m_nStatus)) return FALSE;
    m_t1 = MonotonicNanoseconds();
    m_bEnded = true;
    return TRUE;
  }
  BOOL Finish(std::string& sError) {
    const std::uint64_t tEnd = MonotonicNanoseconds() + std::uint64_t{JOB_LIMIT_MS} * 1000000;
    while (!Poll()) {
      if (MonotonicNanoseconds() > tEnd) {
        m_pc.Kill();
        sError = m_sName + ": the job did not end in time";
        return FALSE;
      }
      Sleep(5);
    }
    if (m_nStatus != 0) {
      sError = m_sName + ": the program ended with status " + std::to_string(m_nStatus) + ": " +
               ReadText(m_sLog);
      return FALSE;
    }
    if (m_bSimEnded) {
      // Its status was taken by the poll; the verdict says how it went.
      if (m_sim.Output().find("\nOK: ") == std::string::npos) {
        sError = m_sName + ": the simulator's verdict: " + m_sim.Output() + m_sim.Errors();
        return FALSE;
      }
      return TRUE;
    }
    if (!m_sim.Finish(START_LIMIT_MS, sError)) {
      sError = m_sName + ": " + sError;
      return FALSE;
    }
    return TRUE;
  }
  double Seconds() const { return static_cast<double>(m_t1 - m_t0) / 1e9; }
  const ProcessUsage& Usage() const { return m_pc.EndUsage(); }
  std::string SimOutput() const { return m_sim.Output(); }

 private:
  std::string m_sName, m_sLog;
  bool m_bWindow = false, m_bEnded = false, m_bSimEnded = false;
  int m_nStatus = -1;
  std::uint64_t m_t0 = 0, m_t1 = 0;
  CSimulator m_sim;
  CChildProcess m_pc;
};

BOOL RunOneJob(const Tools& t, const std::string& sName, const std::vector<std::string>& simArgs,
               const std::string& sSpeed, const std::string& sImage, const std::string& sDisplay,
               CJob& job, std::string& sError) {
  return job.Start(t, sName, simArgs, sSpeed, sImage, sDisplay, sError) && job.Finish(sError);
}

// ---- the parts -----------------------------------------------------------------------------

BOOL RunWireEfficiency(const Tools& t, CBenchReport& report, std::string& sError) {
  const std::string sImage = t.Path("wire.bin");
  if (!WriteImage(sImage, WIRE_IMAGE_BYTES, 11)) {
    sError = "cannot write the 1 MiB image";
    return FALSE;
  }
  for (const char* pSpeed : {"115200", "230400"}) {
    std::fprintf(stderr, "wire efficiency: 1 MiB at %s baud on a line's pace...\n", pSpeed);
    CJob job;
    if (!RunOneJob(t, std::string("wire-") + pSpeed, {"--line-rate", "--timing"}, pSpeed, sImage, "", job,
                   sError)) {
      return FALSE;
    }
    DataPhaseTiming timing;
    if (!ParseDataPhaseTiming(job.SimOutput(), timing) || std::to_string(timing.nBaud) != pSpeed) {
      sError = std::string("wire efficiency at ") + pSpeed + ": no timing from the simulator: " + job.SimOutput();
      return FALSE;
    }
    report.Set(std::string("wire_efficiency_") + pSpeed, WireEfficiency(timing));
    report.Set(std::string("wire_data_phase_s_") + pSpeed, timing.dSeconds);
    report.Set(std::string("wire_job_s_") + pSpeed, job.Seconds());
  }
  return TRUE;
}

// The probe (this program's PC side with the window's periodic timer) under the UART timing
// preload; its worst lateness in ms, or -1.
double RunLineStallJob(const Tools& t, PcSideJob job, std::uint32_t nBytes, const std::string& sSpeed,
                       std::string& sError) {
  const std::string sName = std::string("line-") + CBenchPcSide::JobName(job);
  const std::string sFile = t.Path(sName + (job == PcSideJob::ChannelList ? ".sdx" : ".bin"));
  const std::string sConfig = t.Path("config-" + sName);
  const std::string sProbe = t.Path("probe-" + sName);
  std::error_code ec;
  fs::create_directories(sConfig, ec);
  if (!WriteImage(sFile, nBytes, 29)) {
    sError = sName + ": cannot write the file";
    return -1;
  }
  CPseudoTerminal pty;
  CSimulator sim;
  std::string sDevice;
  if (job == PcSideJob::ChannelList) {
    if (!pty.Open()) {
      sError = sName + ": no pseudo-terminal";
      return -1;
    }
    sDevice = pty.SlavePath();
  } else {
    if (!sim.Start(t, sName, {"--line-rate", "--job", CBenchPcSide::JobName(job)})) {
      sError = sName + ": the simulator did not start: " + sim.Errors();
      return -1;
    }
    sDevice = sim.Path();
  }
  const std::string command = "exec env LD_PRELOAD=" + ShellQuote(t.sPreload) + " " + ShellQuote(t.sBench) +
                              " --pc-probe " + CBenchPcSide::JobName(job) + " " + ShellQuote(sDevice) + " " +
                              ShellQuote(sFile) + " " + ShellQuote(sConfig) + " " + ShellQuote(sProbe) + " " +
                              sSpeed + " >" + ShellQuote(t.Path(sName + ".log")) + " 2>&1";
  CChildProcess pc;
  if (!pc.Start("/bin/sh", {"-c", command}, t.cpus)) {
    sError = sName + ": the PC side could not be started";
    return -1;
  }
  int nStatus = -1;
  bool bEnded = false;
  if (job == PcSideJob::ChannelList) {
    // No receiver protocol: the line is only read until the PC side has ended.
    std::size_t nReceived = 0;
    BYTE buffer[4096];
    const std::uint64_t tEnd = MonotonicNanoseconds() + std::uint64_t{JOB_LIMIT_MS} * 1000000;
    while (!bEnded && MonotonicNanoseconds() < tEnd) {
      bEnded = pc.Wait(0, nStatus);
      const int n = pty.Read(buffer, sizeof buffer, 50);
      if (n > 0) nReceived += static_cast<std::size_t>(n);
    }
    for (int n; (n = pty.Read(buffer, sizeof buffer, 0)) > 0;) nReceived += static_cast<std::size_t>(n);
    if (nReceived != nBytes) {
      sError = sName + ": the line carried " + std::to_string(nReceived) + " of " + std::to_string(nBytes) +
               " bytes";
      return -1;
    }
  }
  if (!bEnded) bEnded = pc.Wait(JOB_LIMIT_MS, nStatus);
  if (!bEnded || nStatus != PC_SIDE_DONE) {
    sError = sName + ": the PC side did not end with \"Done\" (status " + std::to_string(nStatus) + "): " +
             ReadText(t.Path(sName + ".log"));
    return -1;
  }
  if (job != PcSideJob::ChannelList && !sim.Finish(START_LIMIT_MS, sError)) {
    sError = sName + ": " + sError;
    return -1;
  }
  double dMaxMs = -1;
  unsigned long long nCount = 0;
  std::ifstream in(sProbe);
  if (!(in >> dMaxMs >> nCount) || nCount == 0) {
    sError = sName + ": no lateness figure";
    return -1;
  }
  return dMaxMs;
}

BOOL RunLineStall(const Tools& t, CBenchReport& report, std::string& sError) {
  if (!fs::exists(t.sPreload)) {
    sError = "the UART timing preload is missing: " + t.sPreload;
    return FALSE;
  }
  const struct {
    PcSideJob job;
    std::uint32_t nBytes;
    const char* pSpeed;
    const char* pKey;
  } jobs[] = {{PcSideJob::Software, QUARTER_MIB_IMAGE_BYTES, "115200", "window_stall_line_software_ms"},
              {PcSideJob::Boot, BOOT_IMAGE_BYTES, "115200", "window_stall_line_boot_ms"},
              {PcSideJob::ChannelList, LIST_BYTES, "9600", "window_stall_line_list_ms"}};
  double dWorst = 0;
  for (const auto& j : jobs) {
    std::fprintf(stderr, "window stall on a line's pace: %s job (%u bytes at %s baud)...\n",
                 CBenchPcSide::JobName(j.job), j.nBytes, j.pSpeed);
    const double dMs = RunLineStallJob(t, j.job, j.nBytes, j.pSpeed, sError);
    if (dMs < 0) return FALSE;
    report.Set(j.pKey, dMs);
    dWorst = std::max(dWorst, dMs);
  }
  report.Set("window_stall_max_ms_line", dWorst);
  return TRUE;
}

// An X server of this run's own for the window.
class CXServer {
 public:
  ~CXServer() { m_child.Kill(); }
  BOOL Start(const Tools& t) {
    const std::string sXvfb = "/usr/bin/Xvfb";
    if (!fs::exists(sXvfb)) return FALSE;
    for (int nDisplay = 40 + GetOwnProcessId() % 400, nTries = 0; nTries < 20; ++nDisplay, ++nTries) {
      const std::string sSocket = "/tmp/.X11-unix/X" + std::to_string(nDisplay);
      if (fs::exists(sSocket) || fs::exists("/tmp/.X" + std::to_string(nDisplay) + "-lock")) continue;
      const std::string command = "exec " + sXvfb + " :" + std::to_string(nDisplay) +
                                  " -screen 0 1024x768x24 -nolisten tcp >" + ShellQuote(t.Path("xvfb.log")) +
                                  " 2>&1";
      if (!m_child.Start("/bin/sh", {"-c", command}, t.cpus)) return FALSE;
      for (int i = 0; i < 400 && m_child.IsRunning(); ++i) {
        if (fs::exists(sSocket)) {
          m_sDisplay = ":" + std::to_string(nDisplay);
          return TRUE;
        }
        int nStatus = 0;
        if (m_child.Wait(0, nStatus)) break;  // it could not take this display
        Sleep(25);
      }
      m_child.Kill();
    }
    return FALSE;
  }
  const std::string& Display() const { return m_sDisplay; }

 private:
  CChildProcess m_child;
  std::string m_sDisplay;
};

// CPU per block of the window and of the terminal mode: the same jobs, a small and a large
// one, in each; the difference of their CPU over the difference of their blocks leaves out
// start-up and the end, which do not grow with the job. The small terminal job also gives the
// peak memory a 64 MiB job is measured against.
BOOL RunCpuAndMemory(const Tools& t, CBenchReport& report, std::string& sError) {
  const std::string sSmall = t.Path("cpu-small.bin");
  const std::string sLarge = t.Path("cpu-large.bin");
  const std::string sHuge = t.Path("rss-64mib.bin");
  if (!WriteImage(sSmall, CPU_SMALL_BYTES, 3) || !WriteImage(sLarge, CPU_LARGE_BYTES, 5) ||
      !WriteImage(sHuge, RSS_IMAGE_BYTES, 7)) {
    sError = "cannot write the images";
    return FALSE;
  }
  CXServer x;
  const bool bWindow = x.Start(t) != FALSE;
  if (!bWindow) std::fprintf(stderr, "window CPU: left out, no Xvfb could be started\n");
  const double dBlocks = static_cast<double>(Blocks(CPU_LARGE_BYTES) - Blocks(CPU_SMALL_BYTES));
  std::vector<double> terminalUs, windowUs;
  std::uint64_t nSmallPeakKiB = 0;
  for (int round = 0; round < CPU_ROUNDS; ++round) {
    std::fprintf(stderr, "CPU per block, round %d of %d: terminal%s...\n", round + 1, CPU_ROUNDS,
                 bWindow ? " and window" : "");
    for (const bool bInWindow : {false, true}) {
      if (bInWindow && !bWindow) continue;
      const std::string sDisplay = bInWindow ? x.Display() : std::string();
      const std::string sKind = bInWindow ? "window" : "terminal";
      CJob small, large;
      if (!RunOneJob(t, "cpu-small-" + sKind, {}, "115200", sSmall, sDisplay, small, sError) ||
          !RunOneJob(t, "cpu-large-" + sKind, {}, "115200", sLarge, sDisplay, large, sError)) {
        return FALSE;
      }
      const double dUs = (static_cast<double>(large.Usage().nCpuMicroseconds) -
                          static_cast<double>(small.Usage().nCpuMicroseconds)) / dBlocks;
      (bInWindow ? windowUs : terminalUs).push_back(dUs);
      if (!bInWindow) nSmallPeakKiB = std::max(nSmallPeakKiB, small.Usage().nPeakRssKiB);
    }
  }
  report.Set("terminal_cpu_us_per_block", Median(terminalUs));
  if (bWindow) {
    report.Set("gui_cpu_per_block_us", Median(windowUs));
    report.Set("gui_terminal_cpu_ratio", Median(terminalUs) > 0 ? Median(windowUs) / Median(terminalUs) : 0);
  }

  std::fprintf(stderr, "memory: a 64 MiB job in the terminal mode...\n");
  CJob huge;
  if (!RunOneJob(t, "rss-64mib", {}, "115200", sHuge, "", huge, sError)) return FALSE;
  std::error_code ec;
  fs::remove(sHuge, ec);
  report.Set("rss_small_job_peak_kib", static_cast<double>(nSmallPeakKiB));
  report.Set("rss_64mib_job_peak_kib", static_cast<double>(huge.Usage().nPeakRssKiB));
  report.Set("rss_growth_64mib_kib",
             static_cast<double>(huge.Usage().nPeakRssKiB) - static_cast<double>(nSmallPeakKiB));
  return TRUE;
}

BOOL RunParallel(const Tools& t, CBenchReport& report, std::string& sError) {
  const std::string sImage = t.Path("parallel.bin");
  if (!WriteImage(sImage, QUARTER_MIB_IMAGE_BYTES, 17)) {
    sError = "cannot write the image";
    return FALSE;
  }
  std::fprintf(stderr, "benches at once: one job, then %d at once (%u bytes at 115200 baud)...\n",
               PARALLEL_JOBS, QUARTER_MIB_IMAGE_BYTES);
  CJob single;
  if (!RunOneJob(t, "single", {"--line-rate"}, "115200", sImage, "", single, sError)) return FALSE;
  std::vector<std::unique_ptr<CJob>> jobs;
  for (int i = 0; i < PARALLEL_JOBS; ++i) {
    jobs.push_back(std::make_unique<CJob>());
    if (!jobs.back()->Start(t, "parallel-" + std::to_string(i), {"--line-rate"}, "115200", sImage, "", sError)) {
      return FALSE;
    }
  }
  // Each job's end is seen within a few milliseconds, whichever ends first.
  const std::uint64_t tEnd = MonotonicNanoseconds() + std::uint64_t{JOB_LIMIT_MS} * 1000000;
  for (bool bAll = false; !bAll && MonotonicNanoseconds() < tEnd;) {
    bAll = true;
    for (auto& job : jobs) bAll = job->Poll() && bAll;
    if (!bAll) Sleep(5);
  }
  std::vector<double> seconds;
  for (auto& job : jobs) {
    if (!job->Finish(sError)) return FALSE;
    seconds.push_back(job->Seconds());
  }
  report.Set("parallel_single_job_s", single.Seconds());
  report.Set("parallel_8_median_job_s", Median(seconds));
  report.Set("parallel_8_slowdown", Median(seconds) / single.Seconds());
  return TRUE;
}

}  // namespace

BOOL RunLineBench(const LineBenchSetup& setup, CBenchReport& report, std::string& sError) {
  Tools t;
  const std::string sBin = Folder(setup.sBenchExe);
  t.sQuorin = sBin + "/quorin";
  t.sSim = sBin + "/quorin-receiver-sim";
  t.sPreload = sBin + "/libquorin-uart-timing.so";
  t.sBench = setup.sBenchExe;
  t.sFolder = setup.sFolder;
  t.cpus = setup.allCpus;
  for (const std::string& s : {t.sQuorin, t.sSim}) {
    if (!fs::exists(s)) {
      sError = "missing beside the benchmark: " + s;
      return FALSE;
    }
  }
  return RunCpuAndMemory(t, report, sError) && RunWireEfficiency(t, report, sError) &&
         RunLineStall(t, report, sError) && RunParallel(t, report, sError);
}
