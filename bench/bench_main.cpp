// quorin-bench: what the PC side costs per data block, against what the line itself costs.
//
// One run measures the floor (two bare processes exchanging block-sized frames on a
// pseudo-terminal) and, interleaved with it, a whole software job of the real PC side (dialog
// on the headless backend, serial reader, state machine) against a responder that answers at
// once; then the CPU the PC side uses while an armed job waits for a receiver that stays
// silent; then how late the window thread handles a periodic timer through a software job, a
// boot job (with its pause) and a raw channel list. The PC side always runs in a child process
// of its own (this program started again with --pc-side), so its CPU time and memory are its
// own. Last, the terminal mode as a program of its own: its start-up against a minimal program
// and its memory through a job (bench_terminal.h).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_line.h"
#include "bench/bench_pc_side.h"
#include "bench/bench_report.h"
#include "bench/bench_responder.h"
#include "bench/bench_terminal.h"
#include "bench/line_floor.h"
#include "platform/os/process.h"
#include "platform/os/process_stats.h"
#include "platform/os/pty.h"
#include "platform/os/sync.h"
#include "transfer/protocol.h"

namespace {

namespace fs = std::filesystem;

constexpr int JOB_SPEED_INDEX = 5;  // 115200 baud, as the PC side is started with "-s 115200"
constexpr DWORD CHILD_END_TIMEOUT_MS = 15000;
constexpr int ARMED_TIMEOUT_MS = 10000;
constexpr DWORD IDLE_SETTLE_MS = 1000;
constexpr std::uint32_t STALL_IMAGE_BYTES = 1048576;
constexpr std::uint32_t STALL_BOOT_BYTES = 131072;
constexpr DWORD STALL_JOB_TIMEOUT_MS = 300000;

struct BenchOptions {
  bool bPin = true;
  int nRounds = 10000;
  std::uint32_t nImageBytes = 4000000;
  int nIdleSeconds = 10;
  std::uint32_t nListBytes = 200000;
  std::string sJsonPath = QUORIN_BENCH_JSON;
  bool bLine = true;
};

void Usage(std::FILE* out) {
  std::fprintf(out,
               "usage: quorin-bench [--rounds N] [--image-bytes N] [--idle-seconds N] [--list-bytes N]\n"
               "                    [--pin yes|no] [--line yes|no] [--json PATH]\n"
               "       quorin-bench --terminal-only   the terminal mode's start-up and memory alone\n"
               "  --rounds N        floor round trips (default 10000)\n"
               "  --image-bytes N   software image size, 65536 to 4194303 and not a database's\n"
               "                    (over 196608, under 393216, a multiple of 1024); default 4000000\n"
               "  --idle-seconds N  how long the armed job waits for a silent receiver (default 10)\n"
               "  --list-bytes N    the raw channel list sent at 230400 baud (default 200000)\n"
               "  --pin yes|no      each side of the line on a processor of its own (default yes)\n"
               "  --line yes|no     the jobs at a line's pace, the window's CPU, a 64 MiB job and\n"
               "                    8 jobs at once (default yes; about 6 minutes)\n"
               "  --json PATH       where the figures go (default %s)\n",
               QUORIN_BENCH_JSON);
}

BOOL ParseNumber(const char* pText, long long nLow, long long nHigh, long long& nOut) {
  char* pEnd = nullptr;
  const long long n = std::strtoll(pText, &pEnd, 10);
  if (pEnd == pText || *pEnd != '\0' || n < nLow || n > nHigh) return FALSE;
  nOut = n;
  return TRUE;
}

// The program takes a file of such a size for a database image, not a software image.
bool IsDatabaseSize(long long n) { return n > 0x30000 && n < 0x60000 && n % 1024 == 0; }

BOOL ParseOptions(int argc, char** argv, BenchOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return FALSE;
    const char* pValue = argv[++i];
    long long n = 0;
    if (option == "--rounds" && ParseNumber(pValue, 1, 10000000, n)) {
      options.nRounds = static_cast<int>(n);
    } else if (option == "--image-bytes" && ParseNumber(pValue, 0x10000, 0x3FFFFF, n) &&
               !IsDatabaseSize(n)) {
      options.nImageBytes = static_cast<std::uint32_t>(n);
    } else if (option == "--idle-seconds" && ParseNumber(pValue, 1, 3600, n)) {
      options.nIdleSeconds = static_cast<int>(n);
    } else if (option == "--list-bytes" && ParseNumber(pValue, 0, 4000000, n)) {
      options.nListBytes = static_cast<std::uint32_t>(n);
    } else if (option == "--pin" && (std::string(pValue) == "yes" || std::string(pValue) == "no")) {
      options.bPin = std::string(pValue) == "yes";
    } else if (option == "--line" && (std::string(pValue) == "yes" || std::string(pValue) == "no")) {
      options.bLine = std::string(pValue) == "yes";
    } else if (option == "--json") {
      options.sJsonPath = pValue;
    } else {
      return FALSE;
    }
  }
  return TRUE;
}

std::vector<BYTE> MakeImage(std::uint32_t nBytes) {
  std::vector<BYTE> image(nBytes);
  std::uint32_t x = 0x2545F491u;
  for (BYTE& b : image) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<BYTE>(x >> 24);
  }
  return image;
}

BOOL WriteImage(const std::string& sPath, const std::vector<BYTE>& image) {
  std::ofstream out(sPath, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  return out.flush() ? TRUE : FALSE;
}

double LoadAverage() {
  std::ifstream in("/proc/loadavg");
  double d = -1;
  in >> d;
  return d;
}

// A temporary folder that goes with the object.
class CWorkFolder {
 public:
  CWorkFolder() {
    std::error_code ec;
    m_path = fs::temp_directory_path(ec) / ("quorin-bench-" + std::to_string(GetOwnProcessId()));
    fs::remove_all(m_path, ec);
    m_bOk = fs::create_directories(m_path, ec);
  }
  ~CWorkFolder() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
  }
  BOOL IsOk() const { return m_bOk ? TRUE : FALSE; }
  std::string Path(const std::string& sName) const { return (m_path / sName).string(); }

 private:
  fs::path m_path;
  bool m_bOk = false;
};

// Where the two sides of the line run. Pinned, the responder (this process) has one processor
// and the PC side or the floor's peer another, so the floor and the job are measured in the
// same placement and not in whatever the scheduler chose at the moment.
struct CpuPlan {
  std::vector<int> lineSide;  // this process; empty: not pinned
  std::vector<int> pcSide;    // the children
};

CpuPlan MakeCpuPlan(bool bPin) {
  CpuPlan plan;
  const std::vector<int> cpus = GetAllowedCpus();
  if (!bPin || cpus.size() < 2) return plan;
  plan.lineSide = {cpus[0]};
  plan.pcSide = {cpus[1]};
  if (!SetAllowedCpus(plan.lineSide)) return CpuPlan{};
  return plan;
}

BOOL StartPcSide(CChildProcess& pc, const std::string& sExe, const CPseudoTerminal& pty,
                 const std::string& sImage, const std::string& sConfig, const CpuPlan& plan) {
  std::error_code ec;
  fs::create_directories(sConfig, ec);
  return pc.Start(sExe, {"--pc-side", pty.SlavePath(), sImage, sConfig}, plan.pcSide);
}

// One job of the PC side with the window's probe timer; its worst lateness in ms, or -1.
double RunStallJob(const std::string& sExe, const CWorkFolder& work, PcSideJob job,
                   const std::vector<BYTE>& file, const CpuPlan& plan, std::string& sError) {
  const std::string sName = CBenchPcSide::JobName(job);
  const std::string sFile = work.Path(sName + (job == PcSideJob::ChannelList ? ".sdx" : ".bin"));
  const std::string sConfig = work.Path("config-" + sName);
  const std::string sProbe = work.Path("probe-" + sName);
  std::error_code ec;
  fs::create_directories(sConfig, ec);
  CPseudoTerminal pty;
  if (!WriteImage(sFile, file) || !pty.Open()) {
    sError = sName + ": cannot prepare the job";
    return -1;
  }
  CChildProcess pc;
  if (!pc.Start(sExe, {"--pc-probe", sName, pty.SlavePath(), sFile, sConfig, sProbe}, plan.pcSide)) {
    sError = sName + ": the PC side could not be started";
    return -1;
  }
  int nStatus = -1;
  bool bEnded = false;
  if (job == PcSideJob::ChannelList) {
    // No receiver protocol: the line is only read, until the PC side has ended.
    std::size_t nReceived = 0;
    BYTE buffer[4096];
    const std::uint64_t tEnd = MonotonicNanoseconds() + std::uint64_t{STALL_JOB_TIMEOUT_MS} * 1000000;
    while (!bEnded && MonotonicNanoseconds() < tEnd) {
      bEnded = pc.Wait(0, nStatus);
      const int n = pty.Read(buffer, sizeof buffer, 50);
      if (n > 0) nReceived += static_cast<std::size_t>(n);
    }
    for (int n; (n = pty.Read(buffer, sizeof buffer, 0)) > 0;) nReceived += static_cast<std::size_t>(n);
    if (nReceived != file.size()) {
      sError = "list: the line carried " + std::to_string(nReceived) + " of " +
               std::to_string(file.size()) + " bytes";
      return -1;
    }
  } else {
    CBenchResponder responder(pty, file, JOB_SPEED_INDEX, 0,
                              job == PcSideJob::Boot ? JOB_BOOT : JOB_SOFTWARE);
    if (!responder.Run()) {
      sError = sName + ": " + responder.Error();
      return -1;
    }
  }
  if (!bEnded) bEnded = pc.Wait(STALL_JOB_TIMEOUT_MS, nStatus);
  if (!bEnded || nStatus != PC_SIDE_DONE) {
    sError = sName + ": the PC side did not end with \"Done\" (status " + std::to_string(nStatus) + ")";
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

BOOL RunWindowStall(const std::string& sExe, const CWorkFolder& work, std::uint32_t nListBytes,
                    const CpuPlan& plan, CBenchReport& report, std::string& sError) {
  const struct {
    PcSideJob job;
    std::uint32_t nBytes;
    const char* pKey;
  } jobs[] = {{PcSideJob::Software, STALL_IMAGE_BYTES, "window_stall_software_ms"},
              {PcSideJob::Boot, STALL_BOOT_BYTES, "window_stall_boot_ms"},
              {PcSideJob::ChannelList, nListBytes, "window_stall_list_ms"}};
  double dWorst = 0;
  for (const auto& j : jobs) {
    std::fprintf(stderr, "window stall: %s job (%u bytes)...\n", CBenchPcSide::JobName(j.job), j.nBytes);
    const double dMs = RunStallJob(sExe, work, j.job, MakeImage(j.nBytes), plan, sError);
    if (dMs < 0) return FALSE;
    report.Set(j.pKey, dMs);
    dWorst = std::max(dWorst, dMs);
  }
  report.Set("window_stall_max_ms", dWorst);
  return TRUE;
}

// The floor's rounds are spread over the job, a few after each block, so that both see the
// same machine: on a shared one its load changes from second to second.
BOOL RunJob(const std::string& sExe, const CWorkFolder& work, const std::vector<BYTE>& image,
            const CpuPlan& plan, CLineFloor& floor, CLatencySamples& floorSamples,
            CBenchReport& report, std::string& sError) {
  CPseudoTerminal pty;
  if (!pty.Open()) {
    sError = "no pseudo-terminal for the job";
    return FALSE;
  }
  CChildProcess pc;
  if (!StartPcSide(pc, sExe, pty, work.Path("image.bin"), work.Path("config-job"), plan)) {
    sError = "the PC side could not be started";
    return FALSE;
  }
  CBenchResponder responder(pty, image, JOB_SPEED_INDEX, pc.Pid());
  const int nFloorRounds = floor.RoundsLeft();
  responder.SetBetweenBlocks([&](std::uint32_t nDone, std::uint32_t nBlocks) {
    const long long nDue = static_cast<long long>(nFloorRounds) * nDone / nBlocks;
    return floor.RunRounds(static_cast<int>(nDue - floor.RoundsDone()), floorSamples);
  });
  const BOOL bRan = responder.Run();
  if (bRan && !floor.RunRounds(floor.RoundsLeft(), floorSamples)) {
    sError = "floor: " + floor.Error();
    return FALSE;
  }
  int nStatus = -1;
  const BOOL bEnded = pc.Wait(CHILD_END_TIMEOUT_MS, nStatus);
  if (!bRan) {
    sError = floor.Error().empty() ? "job: " + responder.Error() : "floor: " + floor.Error();
    return FALSE;
  }
  if (!bEnded || nStatus != PC_SIDE_DONE) {
    sError = "the PC side did not end with \"Done\" (status " + std::to_string(nStatus) + ")";
    return FALSE;
  }

  const ResponderFigures& f = responder.Figures();
  const CLatencySamples& turnaround = responder.Turnaround();
  report.Set("blocks", f.nBlocks);
  report.Set("block_median_us", turnaround.MedianMicroseconds());
  report.Set("block_p99_us", turnaround.PercentileMicroseconds(0.99));
  report.Set("block_max_us", turnaround.PercentileMicroseconds(1.0));
  report.Set("blocks_per_s", f.dDataPhaseSeconds > 0 ? f.nBlocks / f.dDataPhaseSeconds : 0);
  report.Set("job_data_phase_s", f.dDataPhaseSeconds);
  report.Set("cpu_us_per_block",
             f.nBlocks > 0 ? static_cast<double>(f.nPcCpuMicroseconds) / f.nBlocks : 0);
  report.Set("rss_idle_kib", static_cast<double>(f.nPcIdleRssKiB));
  report.Set("rss_peak_kib", static_cast<double>(f.nPcPeakRssKiB));
  report.Set("rss_growth_kib", static_cast<double>(f.nPcPeakRssKiB) - static_cast<double>(f.nPcIdleRssKiB));
  return TRUE;
}

BOOL RunIdleWait(const std::string& sExe, const CWorkFolder& work, int nSeconds,
                 const CpuPlan& plan, CBenchReport& report, std::string& sError) {
  CPseudoTerminal pty;
  if (!pty.Open()) {
    sError = "no pseudo-terminal for the idle wait";
    return FALSE;
  }
  CChildProcess pc;
  if (!StartPcSide(pc, sExe, pty, work.Path("image.bin"), work.Path("config-idle"), plan)) {
    sError = "the PC side could not be started";
    return FALSE;
  }
  BYTE reboot[REBOOT_TEXT_SIZE];
  if (pty.ReadExact(reboot, sizeof reboot, ARMED_TIMEOUT_MS) != sizeof reboot) {
    sError = "the idle PC side never armed its job";
    return FALSE;
  }
  Sleep(IDLE_SETTLE_MS);
  ProcessUsage before;
  ProcessUsage after;
  const std::uint64_t t0 = MonotonicNanoseconds();
  if (!GetProcessUsage(pc.Pid(), before)) {
    sError = "the idle PC side's usage cannot be read";
    return FALSE;
  }
  Sleep(static_cast<DWORD>(nSeconds) * 1000);
  if (!GetProcessUsage(pc.Pid(), after)) {
    sError = "the idle PC side ended while it should wait";
    return FALSE;
  }
  const std::uint64_t t1 = MonotonicNanoseconds();
  // The line goes away: the PC side sees it and ends by itself.
  pty.Close();
  int nStatus = -1;
  if (!pc.Wait(CHILD_END_TIMEOUT_MS, nStatus) || nStatus != PC_SIDE_LINK_LOST) {
    sError = "the idle PC side did not end when its line went away (status " +
             std::to_string(nStatus) + ")";
    return FALSE;
  }
  const double dWallUs = static_cast<double>(t1 - t0) / 1000.0;
  const double dCpuUs = static_cast<double>(after.nCpuMicroseconds - before.nCpuMicroseconds);
  report.Set("idle_wait_s", dWallUs / 1e6);
  report.Set("idle_wait_cpu_us", dCpuUs);
  report.Set("idle_wait_cpu_percent", dWallUs > 0 ? 100.0 * dCpuUs / dWallUs : 0);
  return TRUE;
}

// The programs of the terminal figures stand beside this one.
TerminalBenchSetup MakeTerminalSetup(const std::string& sExe, const CWorkFolder& work, const CpuPlan& plan) {
  TerminalBenchSetup setup;
  const fs::path binFolder = fs::path(sExe).parent_path();
  setup.sProgram = (binFolder / "quorin").string();
  setup.sBaseline = (binFolder / "quorin-startup-baseline").string();
  setup.sSimulator = (binFolder / "quorin-receiver-sim").string();
  setup.sFolder = work.Path("terminal");
  setup.cpus = plan.pcSide;  // where the PC side runs in the other parts
  return setup;
}

// --terminal-only: those figures alone, on the terminal (bench.json is left as it is).
int RunTerminalOnly(bool bPin) {
  CWorkFolder work;
  if (!work.IsOk()) {
    std::fprintf(stderr, "quorin-bench: cannot prepare the work folder\n");
    return 1;
  }
  CBenchReport report;
  report.Set("load_average_1min_before", LoadAverage());
  std::string sError;
  if (!RunTerminalFigures(MakeTerminalSetup(GetModuleFileName(), work, MakeCpuPlan(bPin)), report, sError)) {
    std::fprintf(stderr, "quorin-bench: %s\n", sError.c_str());
    return 1;
  }
  std::fputs(TerminalTable(report).c_str(), stdout);
  return 0;
}

int RunBenchmark(const BenchOptions& options) {
  const std::string sExe = GetModuleFileName();
  CWorkFolder work;
  const std::vector<BYTE> image = MakeImage(options.nImageBytes);
  if (sExe.empty() || !work.IsOk() || !WriteImage(work.Path("image.bin"), image)) {
    std::fprintf(stderr, "quorin-bench: cannot prepare the work folder\n");
    return 1;
  }

  const std::vector<int> allCpus = GetAllowedCpus();
  const CpuPlan plan = MakeCpuPlan(options.bPin);
  CBenchReport report;
  report.Set("load_average_1min_before", LoadAverage());
  report.Set("pinned", plan.lineSide.empty() ? 0 : 1);
  report.Set("image_bytes", options.nImageBytes);
  // The floor's figures first, although they are known only after the job.
  for (const char* pKey :
       {"floor_rounds", "floor_median_us", "floor_p99_us", "floor_peer_cpu_us_per_round"}) report.Set(pKey, 0);
  std::string sError;

  std::fprintf(stderr, "floor (%d round trips) and job (%u bytes)...\n", options.nRounds,
               options.nImageBytes);
  CLineFloor floor;
  CLatencySamples floorSamples;
  floorSamples.Reserve(static_cast<std::size_t>(options.nRounds));
  if (!floor.Start(sExe, options.nRounds, plan.pcSide)) {
    std::fprintf(stderr, "quorin-bench: %s\n", floor.Error().c_str());
    return 1;
  }
  if (!RunJob(sExe, work, image, plan, floor, floorSamples, report, sError)) {
    std::fprintf(stderr, "quorin-bench: %s\n", sError.c_str());
    return 1;
  }
  if (!floor.Finish()) {
    std::fprintf(stderr, "quorin-bench: %s\n", floor.Error().c_str());
    return 1;
  }
  report.Set("floor_rounds", static_cast<double>(floorSamples.Count()));
  report.Set("floor_median_us", floorSamples.MedianMicroseconds());
  report.Set("floor_p99_us", floorSamples.PercentileMicroseconds(0.99));
  report.Set("floor_peer_cpu_us_per_round",
             static_cast<double>(floor.PeerCpuMicroseconds()) / options.nRounds);
  report.Set("block_median_ratio", report.Get("block_median_us") / report.Get("floor_median_us"));
  report.Set("block_p99_ratio", report.Get("block_p99_us") / report.Get("floor_p99_us"));

  std::fprintf(stderr, "idle wait: %d s...\n", options.nIdleSeconds);
  if (!RunIdleWait(sExe, work, options.nIdleSeconds, plan, report, sError)) {
    std::fprintf(stderr, "quorin-bench: %s\n", sError.c_str());
    return 1;
  }
  if (!RunWindowStall(sExe, work, options.nListBytes, plan, report, sError)) {
    std::fprintf(stderr, "quorin-bench: %s\n", sError.c_str());
    return 1;
  }
  if (options.bLine) {
    // Whole programs, many at once: on every processor, not on the floor's placement.
    const std::string sLineFolder = work.Path("line");
    std::error_code ec;
    fs::create_directories(sLineFolder, ec);
    if (!RunLineBench(LineBenchSetup{sExe, sLineFolder, allCpus}, report, sError)) {
      std::fprintf(stderr, "quorin-bench: %s\n", sError.c_str());
      return 1;
    }
  }
  std::fprintf(stderr, "terminal mode: start-up and the memory of a job...\n");
  if (!RunTerminalFigures(MakeTerminalSetup(sExe, work, plan), report, sError)) {
    std::fprintf(stderr, "quorin-bench: %s\n", sError.c_str());
    return 1;
  }
  report.Set("load_average_1min_after", LoadAverage());

  std::fputs(report.Table().c_str(), stdout);
  std::fputs(TerminalTable(report).c_str(), stdout);
  if (!report.WriteJson(options.sJsonPath)) {
    std::fprintf(stderr, "quorin-bench: cannot write %s\n", options.sJsonPath.c_str());
    return 1;
  }
  std::printf("figures written to %s\n", options.sJsonPath.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "--floor-peer") {
    long long nRounds = 0;
    if (argc != 4 || !ParseNumber(argv[3], 1, 10000000, nRounds)) return 2;
    return CLineFloor::RunPeer(argv[2], static_cast<int>(nRounds));
  }
  if (argc >= 2 && std::string(argv[1]) == "--pc-side") {
    if (argc != 5) return PC_SIDE_NO_START;
    return CBenchPcSide::Run(PcSideJob::Software, argv[2], argv[3], argv[4]);
  }
  if (argc >= 2 && std::string(argv[1]) == "--pc-probe") {
    PcSideJob job = PcSideJob::Software;
    if ((argc != 7 && argc != 8) || !CBenchPcSide::JobFromName(argv[2], job)) return PC_SIDE_NO_START;
    return CBenchPcSide::Run(job, argv[3], argv[4], argv[5], argv[6], argc == 8 ? argv[7] : "");
  }
  if (argc == 2 && std::string(argv[1]) == "--terminal-only") return RunTerminalOnly(true);
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    Usage(stdout);
    return 0;
  }
  BenchOptions options;
  if (!ParseOptions(argc, argv, options)) {
    Usage(stderr);
    return 2;
  }
  return RunBenchmark(options);
}
