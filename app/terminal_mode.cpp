#include "app/terminal_mode.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/command_line.h"
#include "app/port_choice.h"
#include "app/quorin_app.h"
#include "app/quorin_dlg.h"
#include "platform/os/console.h"
#include "platform/os/settings.h"
#include "platform/os/sync.h"
#include "resources/resource.h"
#include "transfer/profile_keys.h"

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

}  // namespace

BEGIN_MESSAGE_MAP(CTerminalMode, CWnd)
  ON_MESSAGE(WM_TERMINATION_SIGNAL, OnTerminationSignal)
END_MESSAGE_MAP()

CTerminalMode::CTerminalMode() = default;

CTerminalMode::~CTerminalMode() {
  if (m_hWnd != nullptr) DestroyWindow();
}

bool CTerminalMode::HasJobOption(int argc, const char* const* argv) {
  CCommandLine commandLine;
  commandLine.Parse(argc, argv);
  return commandLine.FirstJobOption() != nullptr;
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
  PrintOptionWarnings(argc, argv);
  if (!HasJobOption(argc, argv)) {
    WriteStdout(HelpText());
    return EXIT_NO_JOB;
  }
  m_bTerminal = IsStdoutTerminal();
  CreateMessageWindow(this);
  const HWND hSelf = m_hWnd;
  RouteTerminationSignals(
      [hSelf](int nExitStatus) { platform::PostMessage(hSelf, WM_TERMINATION_SIGNAL, nExitStatus, 0); });

  theApp.SetCommandLine(argc, argv);
  theApp.SetJobObserver(this);
  theApp.InitInstance();
  theApp.SetJobObserver(nullptr);

  StopRoutingTerminationSignals();
  if (m_bProgressLineOpen) WriteStdout("\n");
  m_bProgressLineOpen = false;
  return m_nStatus;
}

void CTerminalMode::PrintOptionWarnings(int argc, const char* const* argv) {
  // The window falls back without a word, as it always did; here the fallback is said.
  CCommandLine commandLine;
  commandLine.Parse(argc, argv);
  const PortChoice port =
      ChoosePort(commandLine, GetProfileString(PROFILE_SECTION, PROFILE_COM_PORT, "COM1"));
  const SpeedChoice speed = ChooseSpeed(commandLine);
  for (const std::string* warning : {&port.warning, &speed.warning}) {
    if (!warning->empty()) WriteStderr(*warning + "\n");
  }
}

void CTerminalMode::PrintLine(const std::string& text) {
  if (m_bProgressLineOpen) {
    WriteStdout("\n");
    m_bProgressLineOpen = false;
  }
  WriteStdout(text + "\n");
}

void CTerminalMode::OnProgress(const JobProgress& progress) {
  if (m_bFinished) return;
  const int percent = progress.nPos;
  if (percent < m_nLastDecile * 10) m_nLastDecile = -1;  // a new job starts again at 0
  char head[32];
  std::snprintf(head, sizeof head, "%3d %%", percent);
  const std::string bytes =
      GroupThousands(progress.nDone) + " of " + GroupThousands(progress.nTotal) + " bytes";
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

void CTerminalMode::OnStatusText(const std::string& text) {
  // Once the run is decided, what the start-up still does on its way out is not news.
  if (!m_bFinished) PrintLine(text);
}

void CTerminalMode::OnMessageBox(const std::string& text, BoxKind) {
  if (!m_bFinished) PrintLine(text);
}

void CTerminalMode::OnJobEnded(const JobResult& result) {
  // Said also when a signal has already decided the run: it is where the data are.
  if (!result.sPartialPath.empty()) {
    if (m_bProgressLineOpen) WriteStdout("\n");
    m_bProgressLineOpen = false;
    WriteStderr("The partial data is kept in " + result.sPartialPath + ".\n");
  }
  if (m_bFinished) return;
  switch (result.outcome) {
    case JobOutcome::Done:
      Finish(EXIT_DONE);
      return;
    case JobOutcome::LinkLost:
      PrintLine("The serial link was lost.");
      break;
    default:
      break;
  }
  Finish(EXIT_JOB_FAILED);
}

void CTerminalMode::Finish(int status) {
  if (m_bFinished) return;
  m_bFinished = true;
  m_nStatus = status;
  // What is decided stays decided, also when a second signal ends the process at once.
  KeepExitStatusOnSignals(status);
  // Lets a test deliver a signal after the outcome but before the end.
  if (const char* hold = std::getenv("QUORIN_TEST_HOLD_EXIT_MS")) {
    Sleep(static_cast<DWORD>(std::atoi(hold)));
  }
  CloseMainWindow();
}

void CTerminalMode::CloseMainWindow() {
  CWnd* pMain = AfxGetApp()->m_pMainWnd;
  if (pMain != nullptr && pMain->m_hWnd != nullptr) pMain->PostMessage(WM_CLOSE);
}

LRESULT CTerminalMode::OnTerminationSignal(WPARAM wParam, LPARAM) {
  if (m_bFinished) {
    // The run was decided before the signal (a job that said "Done" is done): that stands;
    // the end only comes sooner.
    CloseMainWindow();
  } else {
    const int nStatus = static_cast<int>(wParam);
    PrintLine(nStatus == 130 ? "Interrupted." : nStatus == 129 ? "Hung up." : "Terminated.");
    Finish(nStatus);
  }
  // The technician asked for the end: the job is given up here, so the window need not ask.
  if (auto* pDlg = dynamic_cast<CQuorinDlg*>(AfxGetApp()->m_pMainWnd)) pDlg->Engine().AbandonJob();
  return 0;
}
