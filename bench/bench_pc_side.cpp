#include "bench/bench_pc_side.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/quorin_dlg.h"
#include "platform/os/settings.h"
#include "platform/ui/headless/headless_backend.h"

namespace {

// Far beyond any job the benchmark runs; the PC side never waits without an end.
constexpr DWORD JOB_TIME_LIMIT_MS = 600000;
constexpr UINT_PTR PROBE_TIMER = 1;

// Sees the job's end as the engine reports it.
class CJobEndWatch : public IJobObserver {
 public:
  void OnStatusText(const std::string&) override {}
  void OnProgress(const JobProgress&) override {}
  void OnMessageBox(const std::string&, BoxKind) override {}
  void OnJobEnded(const JobResult& result) override {
    if (m_nResult >= 0) return;
    switch (result.outcome) {
      case JobOutcome::Done:
        m_nResult = PC_SIDE_DONE;
        break;
      case JobOutcome::LinkLost:
        m_nResult = PC_SIDE_LINK_LOST;
        break;
      default:
        m_nResult = PC_SIDE_OTHER_BOX;
        break;
    }
  }
  int m_nResult = -1;
};

// A window with nothing to do but take its timer's messages.
class CProbeWindow : public CWnd {
 public:
  CProbeWindow() { CreateMessageWindow(this); }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    return message == WM_TIMER ? 0 : CWnd::WindowProc(message, wParam, lParam);
  }
};

}  // namespace

const char* CBenchPcSide::JobName(PcSideJob job) {
  switch (job) {
    case PcSideJob::Boot: return "boot";
    case PcSideJob::ChannelList: return "list";
    default: return "software";
  }
}

bool CBenchPcSide::JobFromName(const std::string& sName, PcSideJob& job) {
  for (PcSideJob j : {PcSideJob::Software, PcSideJob::Boot, PcSideJob::ChannelList}) {
    if (sName == JobName(j)) {
      job = j;
      return true;
    }
  }
  return false;
}

int CBenchPcSide::Run(PcSideJob job, const std::string& sDevicePath, const std::string& sFilePath,
                      const std::string& sConfigDir, const std::string& sProbePath,
                      const std::string& sSpeed) {
  if (setenv("XDG_CONFIG_HOME", sConfigDir.c_str(), 1) != 0) return PC_SIDE_NO_START;
  if (!WriteProfileString("Devices", "COM1", sDevicePath)) return PC_SIDE_NO_START;

  std::vector<const char*> argv = {"quorin", "-c", "COM1", "-s"};
  if (!sSpeed.empty()) {
    argv.push_back(sSpeed.c_str());
  } else {
    argv.push_back(job == PcSideJob::ChannelList ? "230400" : "115200");
  }
  if (job != PcSideJob::ChannelList) {
    argv.push_back(job == PcSideJob::Boot ? "-b" : "-p");
    argv.push_back(sFilePath.c_str());
  }

  CHeadlessBackend& ui = GetHeadlessBackend();
  CJobEndWatch watch;
  CProbeWindow probe;
  if (!sProbePath.empty()) SetTimer(probe.m_hWnd, PROBE_TIMER, PROBE_PERIOD_MS);
  int nResult = PC_SIDE_NO_START;
  {
    CQuorinDlg dlg(nullptr, static_cast<int>(argv.size()), argv.data());
    dlg.AddJobObserver(&watch);
    if (dlg.Create() && dlg.Engine().IsLinkOpen()) {
      if (job == PcSideJob::ChannelList) {
        ui.QueueFileDialogAnswer(sFilePath);
        CHeadlessBackend::Click(dlg.m_hWnd, IDC_SEND);
      }
      if (watch.m_nResult < 0 &&
          !ui.PumpUntil([&watch] { return watch.m_nResult >= 0; }, JOB_TIME_LIMIT_MS)) {
        nResult = PC_SIDE_TIMED_OUT;
      } else {
        nResult = watch.m_nResult;
      }
    }
    if (dlg.m_hWnd != nullptr) dlg.DestroyWindow();
  }
  if (sProbePath.empty()) return nResult;

  const TimerLateness lateness = GetTimerLateness(probe.m_hWnd, PROBE_TIMER);
  std::FILE* out = std::fopen(sProbePath.c_str(), "w");
  if (out == nullptr) return PC_SIDE_NO_FIGURE;
  std::fprintf(out, "%.3f %llu\n", lateness.maxMs, static_cast<unsigned long long>(lateness.count));
  return std::fclose(out) == 0 ? nResult : PC_SIDE_NO_FIGURE;
}
