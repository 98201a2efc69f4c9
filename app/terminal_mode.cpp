#include "app/terminal_mode.h"

#include <cstdio>
#include <string>

#include "app/command_line.h"
#include "app/quorin_app.h"
#include "app/quorin_dlg.h"
#include "platform/os/console.h"
#include "platform/os/settings.h"
#include "resources/resource.h"

namespace {

constexpr UINT WM_TERMINATION_SIGNAL = WM_USER + 10;

std::string GroupThousands(unsigned long long n) {
  std::string digits = std::to_string(n);
  std::string out;
  const int len = static_cast<int>(digits.size());
  for (int i = 0; i < len; ++i) {
    if (i > 0 && (len - i) % 3 == 0) out += ',';
    out += digits[static_cast<std::size_t>(i)];
  }
  return out;
}

// Boxes after which the job goes on by itself.
bool IsNonEndingBox(const std::string& text) {
  return text == "Boot Changed" || text == "Not Boot File!";
}

std::string PortOpenAdvice(const CQuorinDlg& dlg) {
  if (dlg.m_pLink == nullptr) return "";
  const std::string path = dlg.m_pLink->DevicePath();
  const std::string device = path.empty() ? std::string("the port") : path;
  switch (dlg.m_pLink->LastOpenError()) {
    case SerialOpenError::PermissionDenied:
      return "Permission denied on " + device +
             ": the user must be in the group that owns the device (usually dialout).";
    case SerialOpenError::Busy:
      return device + " is busy: another program holds it.";
    case SerialOpenError::NoDevice:
      if (path.empty()) {
        return "No such device: the port has no device; map it in section [Devices] of " +
               GetProfileFilePath() + ".";
      }
      return "No such device: " + path + ".";
    case SerialOpenError::NotSerial:
      return device + " is not a serial device.";
    default:
      return dlg.m_pLink->LastOpenErrorText();
  }
}

}  // namespace

BEGIN_MESSAGE_MAP(CTerminalMode, CWnd)
  ON_MESSAGE(WM_TERMINATION_SIGNAL, OnTerminationSignal)
END_MESSAGE_MAP()

CTerminalMode::CTerminalMode() = default;

CTerminalMode::~CTerminalMode() {
  GetHeadlessBackend().SetObserver(nullptr);
  if (m_hWnd != nullptr) DestroyWindow();
}

bool CTerminalMode::HasJobOption(int argc, const char* const* argv) {
  CCommandLine commandLine;
  if (commandLine.Parse(argc, argv) < 1) return false;
  for (const char* option : {"-p", "-d", "-u", "-b"}) {
    if (commandLine.HasOption(option)) return true;
  }
  return false;
}

std::string CTerminalMode::HelpText() {
  std::string text;
  for (const char* line : COMMAND_LINE_HELP_LINES) {
    text += line;
    text += '\n';
  }
  return text;
}

int CTerminalMode::Run(int argc, const char* const* argv) {
  if (!HasJobOption(argc, argv)) {
    WriteStdout(HelpText());
    return EXIT_NO_JOB;
  }
  m_bTerminal = IsStdoutTerminal();
  CreateMessageWindow(this);
  RouteTerminationSignals(m_hWnd, WM_TERMINATION_SIGNAL);
  GetHeadlessBackend().SetObserver(this);

  theApp.SetCommandLine(argc, argv);
  theApp.InitInstance();

  GetHeadlessBackend().SetObserver(nullptr);
  StopRoutingTerminationSignals();
  if (m_bProgressLineOpen) WriteStdout("\n");
  m_bProgressLineOpen = false;
  return m_nStatus;
}

void CTerminalMode::PrintLine(const std::string& text) {
  if (m_bProgressLineOpen) {
    WriteStdout("\n");
    m_bProgressLineOpen = false;
  }
  WriteStdout(text + "\n");
}

void CTerminalMode::ShowProgress(int percent) {
  const CQuorinDlg* dlg = m_pDlg;
  unsigned long long total = dlg ? dlg->m_nTotal : 0;
  unsigned long long done = 0;
  if (dlg != nullptr) {
    if (dlg->m_bSendMode) {
      done = dlg->m_bSendFileOpen ? total - dlg->m_nRemaining : total;
    } else {
      done = dlg->m_nReceived > 0 ? static_cast<unsigned long long>(dlg->m_nReceived) : 0;
      if (percent >= 100) done = total;
    }
  }
  char head[32];
  std::snprintf(head, sizeof head, "%3d %%", percent);
  const std::string bytes = GroupThousands(done) + " of " + GroupThousands(total) + " bytes";
  if (m_bTerminal) {
    WriteStdout("\r" + std::string(head) + "  " + bytes + "   ");
    m_bProgressLineOpen = true;
    return;
  }
  const int decile = percent / 10;
  if (decile > m_nLastDecile) {
    m_nLastDecile = decile;
    WriteStdout("Progress " + std::string(head) + " (" + bytes + ")\n");
  }
}

void CTerminalMode::OnHeadlessEvent(const HeadlessEvent& event) {
  if (m_pDlg == nullptr) m_pDlg = dynamic_cast<CQuorinDlg*>(AfxGetApp()->m_pMainWnd);
  // Once the run is decided, what the start-up still does on its way out is not news.
  if (m_bFinished) return;
  switch (event.kind) {
    case HeadlessEvent::Text:
      if (event.id != IDC_STATUS) return;
      // The read job's starter and the start-up both ask for the receiver: say it once.
      if (event.text == m_lastStatus) return;
      m_lastStatus = event.text;
      PrintLine(event.text);
      // The link went away while the program was running.
      if (event.text == " Not Connected" && m_pDlg != nullptr && m_pDlg->m_bLinkLost) {
        PrintLine("The serial link was lost.");
        Finish(EXIT_JOB_FAILED);
      }
      return;
    case HeadlessEvent::Progress:
      if (event.id != IDC_PROGRESS) return;
      if (event.value < m_nLastDecile * 10) m_nLastDecile = -1;  // a new job starts again at 0
      ShowProgress(event.value);
      return;
    case HeadlessEvent::MessageBox:
      PrintLine(event.text);
      if (event.text == "Done") {
        Finish(EXIT_DONE);
      } else if (event.text == "Port Open Error") {
        if (m_pDlg != nullptr) PrintLine(PortOpenAdvice(*m_pDlg));
        Finish(EXIT_JOB_FAILED);
      } else if (event.text == "Communication Error" && m_pDlg != nullptr &&
                 m_pDlg->m_nReplyInHand == RSP_COMM_ERROR) {
        // The receiver reports a hiccup and carries on.
      } else if (!IsNonEndingBox(event.text)) {
        Finish(EXIT_JOB_FAILED);
      }
      return;
    default:
      return;
  }
}

void CTerminalMode::Finish(int status) {
  if (m_bFinished) return;
  m_bFinished = true;
  m_nStatus = status;
  CWnd* pMain = AfxGetApp()->m_pMainWnd;
  if (pMain != nullptr && pMain->m_hWnd != nullptr) pMain->PostMessage(WM_CLOSE);
}

LRESULT CTerminalMode::OnTerminationSignal(WPARAM wParam, LPARAM) {
  PrintLine(wParam == 130 ? "Interrupted." : "Terminated.");
  m_bFinished = false;  // a signal ends the run whatever was decided before
  Finish(static_cast<int>(wParam));
  return 0;
}
