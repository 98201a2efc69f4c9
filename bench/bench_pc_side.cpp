#include "bench/bench_pc_side.h"

#include <cstdlib>

#include "app/quorin_dlg.h"
#include "platform/ui/headless/headless_backend.h"
#include "platform/os/settings.h"

namespace {

// Far beyond any job the benchmark runs; the PC side never waits without an end.
constexpr DWORD JOB_TIME_LIMIT_MS = 600000;

// Sees the job's end as it happens, without searching the backend's record.
class CJobEndWatch : public IHeadlessObserver {
 public:
  void OnHeadlessEvent(const HeadlessEvent& event) override {
    if (m_nResult >= 0) return;
    if (event.kind == HeadlessEvent::MessageBox) {
      m_nResult = event.text == "Done" ? PC_SIDE_DONE : PC_SIDE_OTHER_BOX;
    } else if (event.kind == HeadlessEvent::Text && event.id == IDC_STATUS &&
               event.text == " Not Connected") {
      m_nResult = PC_SIDE_LINK_LOST;
    }
  }
  int m_nResult = -1;
};

}  // namespace

int CBenchPcSide::Run(const std::string& sDevicePath, const std::string& sImagePath,
                      const std::string& sConfigDir) {
  if (setenv("XDG_CONFIG_HOME", sConfigDir.c_str(), 1) != 0) return PC_SIDE_NO_START;
  if (!WriteProfileString("Devices", "COM1", sDevicePath)) return PC_SIDE_NO_START;

  CHeadlessBackend& ui = GetHeadlessBackend();
  CJobEndWatch watch;
  ui.SetObserver(&watch);
  const char* const argv[] = {"quorin", "-c", "COM1", "-s", "115200", "-p", sImagePath.c_str()};
  int nResult = PC_SIDE_NO_START;
  {
    CQuorinDlg dlg(nullptr, 7, argv);
    if (!dlg.Create() || dlg.m_pLink == nullptr || !dlg.m_pLink->IsConnected()) {
      nResult = PC_SIDE_NO_START;
    } else if (watch.m_nResult >= 0) {
      nResult = watch.m_nResult;  // ended during start-up
    } else if (!ui.PumpUntil([&watch] { return watch.m_nResult >= 0; }, JOB_TIME_LIMIT_MS)) {
      nResult = PC_SIDE_TIMED_OUT;
    } else {
      nResult = watch.m_nResult;
    }
    if (dlg.m_hWnd != nullptr) dlg.DestroyWindow();
  }
  ui.SetObserver(nullptr);
  return nResult;
}
