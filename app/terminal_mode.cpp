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
#include "quorin_version.h"
#include "resources/resource.h"
#include "transfer/job_summary.h"
#include "transfer/profile_keys.h"

namespace {

constexpr UINT WM_TERMINATION_SIGNAL = WM_USER + 10;

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

bool CTerminalMode::AsksForInformation(int argc, const char* const* argv) {
  CCommandLine commandLine;
  commandLine.Parse(argc, argv);
  return commandLine.HasOption("--help") || commandLine.HasOption("--version");
}

std::string CTerminalMode::HelpText() {
  std::string text;
  for (const char* line : COMMAND_LINE_HELP_LINES) {
    text += line;
    text += '\n';
  }
  RegisterQuorinResources();
  return text + "\n" + LoadStringResource(IDS_TERMINAL_HELP);
}

std::string CTerminalMode::VersionText() { return std::string("quorin ") + QUORIN_VERSION + "\n"; }

int CTerminalMode::Run(int argc, const char* const* argv) {
  CCommandLine commandLine;
  commandLine.Parse(argc, argv);
  // Asked for, the help and the version are the answer, whatever else the line holds.
  if (commandLine.HasOption("--version")) {
    WriteStdout(VersionText());
    return EXIT_DONE;
  }
  if (commandLine.HasOption("--help") || commandLine.HasOption("-h")) {
    WriteStdout(HelpText());
    return EXIT_DONE;
  }
  PrintOptionWarnings(argc, argv);
  if (commandLine.FirstJobOption() == nullptr) {
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
  EndProgressLine();
  return m_nStatus;
}

void CTerminalMode::EndProgressLine() {
  // The line shows the last report before anything is said under it.
  const std::string held = m_progressLine.Flush();
  if (!held.empty()) WriteStdout(held);
  if (m_progressLine.IsOpen()) WriteStdout("\n");
  m_progressLine.Close();
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

void CTerminalMode::PrintLine(const std::string& text, bool bError) {
  EndProgressLine();
  if (bError) {
    WriteStderr(text + "\n");
  } else {
    WriteStdout(text + "\n");
  }
}

void CTerminalMode::OnProgress(const JobProgress& progress) {
  if (m_bFinished) return;
  if (progress.bJobArmed) {
    // Nothing has moved yet: the first line, and the rate's start, come with the first block.
    m_nLastDecile = -1;
    return;
  }
  if (m_bTerminal) {
    const std::string line = m_progressLine.Update(progress);
    if (!line.empty()) WriteStdout(line);
    return;
  }
  const int percent = progress.nPos;
  if (percent < m_nLastDecile * 10) m_nLastDecile = -1;  // a new job starts again at 0
  const int decile = percent / 10;
  if (decile > m_nLastDecile) {
    m_nLastDecile = decile;
    char head[32];
    std::snprintf(head, sizeof head, "%3d %%", percent);
    WriteStdout("Progress " + std::string(head) + " (" + GroupThousands(progress.nDone) + " of " +
                GroupThousands(progress.nTotal) + " bytes)\n");
  }
}

void CTerminalMode::OnAllDataSent() {
  if (m_bFinished) return;
  if (m_bTerminal) {
    const std::string line = m_progressLine.AllDataSent();
    if (!line.empty()) WriteStdout(line);
    return;
  }
  WriteStdout("All data sent; the receiver is writing its flash.\n");
}

void CTerminalMode::OnJobArmed(const JobSummary& summary) {
  if (m_bFinished) return;
  PrintLine(JobSummaryText(summary));
  const std::string warning = JobKindWarning(summary);
  if (!warning.empty()) PrintLine("Warning: " + warning, true);
}

void CTerminalMode::OnStatusText(const std::string& text) {
  // Once the run is decided, what the start-up still does on its way out is not news.
  if (!m_bFinished) PrintLine(text);
}

void CTerminalMode::OnMessageBox(const std::string& text, BoxKind kind) {
  if (!m_bFinished) PrintLine(text, kind != BoxKind::Information);
}

void CTerminalMode::OnJobEnded(const JobResult& result) {
  // Said also when a signal has already decided the run: it is where the data are.
  if (!result.sPartialPath.empty()) {
    EndProgressLine();
    WriteStderr("The partial data is kept in " + result.sPartialPath + ".\n");
  }
  if (m_bFinished) return;
  switch (result.outcome) {
    case JobOutcome::Done:
      Finish(EXIT_DONE);
      return;
    case JobOutcome::LinkLost:
      PrintLine("The serial link was lost.", true);
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
    PrintLine(nStatus == 130 ? "Interrupted." : nStatus == 129 ? "Hung up." : "Terminated.", true);
    Finish(nStatus);
  }
  // The technician asked for the end: the job is given up here, so the window need not ask.
  if (auto* pDlg = dynamic_cast<CQuorinDlg*>(AfxGetApp()->m_pMainWnd)) pDlg->Engine().AbandonJob();
  return 0;
}
