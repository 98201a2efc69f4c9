// The window suite's harness: the toolkit runs on the X display of the test run (the suite is
// skipped, with a message, where none can be opened); settings live in a folder of the run's
// own; no test can hang: every loop has a deadline, and a dialog nobody expected is failed
// and cancelled instead of waiting for a person.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>

#include "platform/os/pty.h"
#include "platform/ui/window.h"
#include "platform/ui/wx/wx_common.h"
#include "platform/ui/wx/wx_dialog_window.h"
#include "tests/support/test_files.h"

#include <wx/filedlg.h>
#include <wx/testing.h>

// wxTEST_DIALOG's hook: the program's own dialogs run for real; a message box or file dialog
// that was not expected fails the test and is cancelled instead of waiting for a person.
class CFailingModalHook : public wxTestingModalHook {
 public:
  CFailingModalHook(const char* file, int line, const char* func)
      : wxTestingModalHook(file, line, func) {}

 protected:
  int Enter(wxDialog* dialog) override;
  void ReportFailure(const wxString& message) override;
};
#undef wxTEST_DIALOG_HOOK_CLASS
#define wxTEST_DIALOG_HOOK_CLASS CFailingModalHook

// A message box expected with its text; what it said is kept for the test.
class CExpectBox : public wxExpectModalBase<wxMessageDialogBase, CExpectBox> {
 public:
  explicit CExpectBox(std::string* seenText, std::string* seenCaption = nullptr, wxWindow** seenOwner = nullptr)
      : m_pText(seenText), m_pCaption(seenCaption), m_pOwner(seenOwner) {}

 protected:
  int OnInvoked(wxMessageDialogBase* box) const override;

 private:
  std::string* m_pText;
  std::string* m_pCaption;
  wxWindow** m_pOwner;
};

// While one lives, message boxes (or file dialogs) outside a wxTEST_DIALOG show for real and a
// script must close them: for tests of where a box stands and how a file dialog opens.
class CRealBoxes {
 public:
  CRealBoxes();
  ~CRealBoxes();
};
class CRealFileDialogs {
 public:
  CRealFileDialogs();
  ~CRealFileDialogs();
  static wxFileDialog* Running();  // nullptr when none is
};

class CWxTest : public ::testing::Test {
 protected:
  void SetUp() override;
};

// The native window for a window record.
wxWindow* WidgetFor(HWND hWnd);
CWxDialogWindow* DialogWindowFor(HWND hDlg);
bool IsShownOnScreen(HWND hDlg);
// The program's dialog from that template on screen now, nullptr when none is.
CWxDialogWindow* FindShownDialog(int templateId);
// Right-clicks the main window's surface between the port group and the buttons; the context
// menu opens there.
void RightClickSurface(HWND hDlg);
// Types the keys, in order.
void PressKeys(std::initializer_list<int> keys);

// Grabs the screen (or a rectangle of it) into a PNG with import; false when that fails.
bool GrabScreen(const std::string& path, const wxRect& area = wxRect());
// The test run's folder for files, and for settings outside a main-window test.
const std::string& RunFolder();

// What a person does while a modal run is on: steps run in order from the toolkit's loop
// (also inside nested boxes), each once its condition holds. If the script does not finish
// in time the test fails and the rescue runs (typically: destroy the main window).
class CUserScript : public wxTimer {
 public:
  CUserScript& Then(const std::string& what, std::function<bool()> ready, std::function<void()> act);
  // A step that waits a while after the one before (the toolkit's loop runs meanwhile).
  CUserScript& After(int milliseconds, const std::string& what, std::function<void()> act);
  void Start(std::function<void()> rescue, int timeoutMs = 20000);
  // Runs the dialog as the program's main window while the script plays (modal: the call that
  // runs it, dlg.DoModal() unless given); a script that stalls destroys the window.
  void Run(CDialog& dlg, const std::function<void()>& modal = nullptr, int timeoutMs = 20000);
  bool Finished() const { return m_next >= m_steps.size(); }
  void Notify() override;

 private:
  struct Step {
    std::string what;
    std::function<bool()> ready;
    std::function<void()> act;
    int delayMs;
  };
  std::vector<Step> m_steps;
  long long m_lastStepAt = 0;
  std::size_t m_next = 0;
  std::function<void()> m_rescue;
  long long m_deadline = 0;
};

// A pseudo-terminal as COM1 and settings of the test's own; the real main dialog.
class CMainWindowTest : public CWxTest {
 protected:
  void SetUp() override;
  // The main window's native dialog and its controls while it runs.
  static HWND MainHwnd();
  static wxWindow* Control(int id);
  // Moves the pointer to the middle of the window and clicks (real X input).
  static void ClickOn(wxWindow* widget);

  CTempFolder m_tmp;  // also the settings folder
  CPseudoTerminal m_pty;
};
