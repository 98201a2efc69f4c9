#include "tests/wx/wx_test_support.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <wx/filedlg.h>
#include <wx/uiaction.h>

#include "platform/os/settings.h"
#include "platform/ui/wx/wx_ui_backend.h"
#include "platform/ui/wx/wx_backend.h"

namespace {

bool g_bWxUp = false;
bool g_bRealBoxes = false;
bool g_bRealFileDialogs = false;
wxFileDialog* g_pRealFileDialog = nullptr;
std::string g_skipReason;
std::string g_runFolder;

// Outside a wxTEST_DIALOG a box would wait for a person: fail and cancel it instead.
class CUnexpectedDialogGuard : public wxModalDialogHook {
 protected:
  int Enter(wxDialog* dialog) override {
    if (dynamic_cast<CWxDialogWindow*>(dialog) != nullptr) return wxID_NONE;
    if (g_bRealBoxes && dynamic_cast<wxMessageDialogBase*>(dialog) != nullptr) return wxID_NONE;
    if (auto* fileDialog = dynamic_cast<wxFileDialog*>(dialog); fileDialog != nullptr && g_bRealFileDialogs) {
      g_pRealFileDialog = fileDialog;
      return wxID_NONE;
    }
    std::string what = FromWx(dialog->GetTitle());
    if (auto* box = dynamic_cast<wxMessageDialogBase*>(dialog)) what += ": " + FromWx(box->GetMessage());
    ADD_FAILURE() << "a dialog appeared that no test expected (" << what << ")";
    return wxID_CANCEL;
  }
  void Exit(wxDialog* dialog) override {
    if (dialog == g_pRealFileDialog) g_pRealFileDialog = nullptr;
  }
};

void ReportAssertAsFailure(const wxString& file, int line, const wxString& func,
                           const wxString& cond, const wxString& msg) {
  ADD_FAILURE() << "toolkit assertion at " << FromWx(file) << ":" << line << " in "
                << FromWx(func) << ": " << FromWx(cond) << " " << FromWx(msg);
}

}  // namespace

int CFailingModalHook::Enter(wxDialog* dialog) {
  if (dynamic_cast<CWxDialogWindow*>(dialog) != nullptr) return wxID_NONE;
  const int answer = wxTestingModalHook::Enter(dialog);
  return answer == wxID_NONE ? wxID_CANCEL : answer;
}

void CFailingModalHook::ReportFailure(const wxString& message) { ADD_FAILURE() << FromWx(message); }

int CExpectBox::OnInvoked(wxMessageDialogBase* box) const {
  if (m_pText != nullptr) *m_pText = FromWx(box->GetMessage());
  if (m_pCaption != nullptr) *m_pCaption = FromWx(box->GetCaption());
  if (m_pOwner != nullptr) *m_pOwner = box->GetParent();
  return wxID_OK;
}

const std::string& RunFolder() { return g_runFolder; }

CRealBoxes::CRealBoxes() { g_bRealBoxes = true; }
CRealBoxes::~CRealBoxes() { g_bRealBoxes = false; }
CRealFileDialogs::CRealFileDialogs() { g_bRealFileDialogs = true; }
CRealFileDialogs::~CRealFileDialogs() { g_bRealFileDialogs = false; }
wxFileDialog* CRealFileDialogs::Running() { return g_pRealFileDialog; }

void CWxTest::SetUp() {
  if (!g_bWxUp) GTEST_SKIP() << g_skipReason;
}

wxWindow* WidgetFor(HWND hWnd) { return CWxUiBackend::Instance().FindWidget(hWnd); }
CWxDialogWindow* DialogWindowFor(HWND hDlg) { return CWxUiBackend::Instance().FindDialog(hDlg); }

CWxDialogWindow* FindShownDialog(int templateId) {
  for (wxWindow* w : wxTopLevelWindows) {
    auto* dlg = dynamic_cast<CWxDialogWindow*>(w);
    if (dlg == nullptr || dlg->Handle() == nullptr || !dlg->IsShownOnScreen()) continue;
    const WindowState* state = GetWindowState(dlg->Handle());
    if (state != nullptr && state->templateId == templateId) return dlg;
  }
  return nullptr;
}

void RightClickSurface(HWND hDlg) {
  CWxDialogWindow* win = DialogWindowFor(hDlg);
  ASSERT_NE(win, nullptr);
  const CWxDialogFont& font = win->DialogFont();
  wxUIActionSimulator sim;
  sim.MouseMove(win->ClientToScreen(wxPoint(font.ToPixelsX(171), font.ToPixelsY(45))));
  sim.MouseClick(wxMOUSE_BTN_RIGHT);
}

void PressKeys(std::initializer_list<int> keys) {
  wxUIActionSimulator sim;
  for (int key : keys) sim.Char(key);
}

bool GrabScreen(const std::string& path, const wxRect& area) {
  std::string command = "import -window root";
  if (!area.IsEmpty()) {
    command += " -crop " + std::to_string(area.width) + "x" + std::to_string(area.height) + "+" +
               std::to_string(area.x) + "+" + std::to_string(area.y) + " +repage";
  }
  command += " '" + path + "' 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);

  const CTempFolder runFolder;
  g_runFolder = runFolder.Dir();

  // The toolkit's dialogs keep what they remember (the file chooser its size) in the desktop's
  // settings; the suite's stay in memory and leave the user's alone.
  setenv("GSETTINGS_BACKEND", "memory", 1);

  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') {
    g_skipReason = "no X display (DISPLAY is unset): run the window suite under xvfb-run";
  } else if (!StartWxBackend(argc, argv)) {
    g_skipReason = std::string("the toolkit cannot start on display ") + display;
  } else {
    g_bWxUp = true;
    wxInitAllImageHandlers();
  }
  if (!g_bWxUp) std::fprintf(stderr, "window suite skipped: %s\n", g_skipReason.c_str());

  int result = 0;
  {
    CUnexpectedDialogGuard guard;
    if (g_bWxUp) {
      guard.Register();
      wxSetAssertHandler(ReportAssertAsFailure);
    }
    result = RUN_ALL_TESTS();
    if (g_bWxUp) guard.Unregister();
  }
  if (g_bWxUp) StopWxBackend();
  return result;
}

// ---- CUserScript --------------------------------------------------------------------------

namespace {
long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

CUserScript& CUserScript::Then(const std::string& what, std::function<bool()> ready,
                               std::function<void()> act) {
  m_steps.push_back(Step{what, std::move(ready), std::move(act), 0});
  return *this;
}

CUserScript& CUserScript::After(int milliseconds, const std::string& what, std::function<void()> act) {
  m_steps.push_back(Step{what, [] { return true; }, std::move(act), milliseconds});
  return *this;
}

void CUserScript::Start(std::function<void()> rescue, int timeoutMs) {
  m_rescue = std::move(rescue);
  m_deadline = NowMs() + timeoutMs;
  m_lastStepAt = NowMs();
  wxTimer::Start(20);
}

void CUserScript::Run(CDialog& dlg, const std::function<void()>& modal, int timeoutMs) {
  AfxGetApp()->m_pMainWnd = &dlg;
  Start([&dlg] { dlg.DestroyWindow(); }, timeoutMs);
  if (modal) {
    modal();
  } else {
    dlg.DoModal();
  }
  AfxGetApp()->m_pMainWnd = nullptr;
  EXPECT_TRUE(Finished());
}

void CUserScript::Notify() {
  // A step may open a modal box; its loop ticks this timer again and the next steps run
  // inside it, which is what a person would do.
  while (!Finished() && NowMs() >= m_lastStepAt + m_steps[m_next].delayMs && m_steps[m_next].ready()) {
    Step& step = m_steps[m_next++];
    step.act();
    m_lastStepAt = NowMs();
  }
  if (Finished()) {
    Stop();
  } else if (NowMs() > m_deadline) {
    Stop();
    ADD_FAILURE() << "the script stalled at: " << m_steps[m_next].what;
    m_next = m_steps.size();
    if (m_rescue) m_rescue();
  }
}

// ---- CMainWindowTest ----------------------------------------------------------------------

void CMainWindowTest::SetUp() {
  CWxTest::SetUp();
  if (IsSkipped()) return;
  ASSERT_TRUE(m_pty.Open());
  ASSERT_TRUE(WriteProfileString("Devices", "COM1", m_pty.SlavePath()));
}

HWND CMainWindowTest::MainHwnd() {
  CWnd* main = AfxGetMainWnd();
  return main != nullptr ? main->GetSafeHwnd() : nullptr;
}

wxWindow* CMainWindowTest::Control(int id) {
  const HWND hDlg = MainHwnd();
  return hDlg != nullptr ? WidgetFor(GetDlgItem(hDlg, id)) : nullptr;
}

bool IsShownOnScreen(HWND hDlg) {
  CWxDialogWindow* dlg = DialogWindowFor(hDlg);
  return dlg != nullptr && dlg->IsShownOnScreen();
}

void CMainWindowTest::ClickOn(wxWindow* widget) {
  ASSERT_NE(widget, nullptr);
  wxUIActionSimulator sim;
  sim.MouseMove(widget->GetScreenRect().GetPosition() + widget->GetScreenRect().GetSize() / 2);
  sim.MouseClick();
}
