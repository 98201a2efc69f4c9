// The Win32 window suite's harness. A test runs on the real desktop (under Wine, the X server
// of the run; without one the suite is skipped, saying why), with the Win32 backend installed
// and the settings in a folder of its own (APPDATA). What a person does while a modal loop
// runs is a script of steps, played by a thread timer from whatever loop the thread is in
// (a modal run's, a message box's); a script that stalls fails the test and runs its rescue.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/os/win32/win32_sdk.h"

class CWin32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::filesystem::path m_settings;
  bool m_started = false;
};

class CUserScript {
 public:
  CUserScript() = default;
  ~CUserScript();
  CUserScript(const CUserScript&) = delete;
  CUserScript& operator=(const CUserScript&) = delete;

  CUserScript& Then(const std::string& what, std::function<bool()> ready, std::function<void()> act);
  void Start(std::function<void()> rescue, unsigned timeoutMs = 30000);
  bool Finished() const { return m_next >= m_steps.size(); }

 private:
  static void CALLBACK OnTick(::HWND, UINT, UINT_PTR, DWORD);
  void Tick();
  void Stop();

  struct Step {
    std::string what;
    std::function<bool()> ready;
    std::function<void()> act;
  };
  std::vector<Step> m_steps;
  std::size_t m_next = 0;
  std::function<void()> m_rescue;
  ULONGLONG m_deadline = 0;
  UINT_PTR m_timer = 0;
  bool m_inTick = false;
};

// Runs the thread's messages for the time given (a window paints, a post arrives).
void PumpNative(unsigned milliseconds);

std::wstring ClassOf(::HWND hwnd);
std::wstring TextOf(::HWND hwnd);
// The thread's shown top-level dialogs (class #32770), newest first.
std::vector<::HWND> ShownDialogs();
// A message box's text: its longest static text.
std::wstring BoxText(::HWND box);
// The dialog's controls in template (z) order.
std::vector<::HWND> ChildrenInOrder(::HWND dialog);
// A rectangle of dialog units in the dialog's pixels (its font).
::RECT DialogUnitsToPixels(::HWND dialog, int x, int y, int cx, int cy);
// A window's rectangle in its parent dialog's client coordinates.
::RECT RectInParent(::HWND control);

// The build folder (QUORIN_BUILD_DIR) as a path this process can open.
std::string BuildFolderPath(const std::string& name);
