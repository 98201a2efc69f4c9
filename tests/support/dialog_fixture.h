// The main dialog on the headless backend with a pseudo-terminal as COM1. The test plays the
// receiver at the master end (or hands it to the simulator) and reads back what the program
// showed from the backend's record. Settings live in a temporary folder of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/quorin_dlg.h"
#include "platform/ui/headless/headless_backend.h"
#include "tests/support/engine_probe.h"
#include "tests/support/pty_peer.h"
#include "tests/support/test_files.h"

// Clamped to what is there, so a short read compares unequal instead of running off the end.
inline ByteVec Slice(const ByteVec& b, std::size_t from, std::size_t n) {
  from = std::min(from, b.size());
  n = std::min(n, b.size() - from);
  return ByteVec(b.begin() + static_cast<std::ptrdiff_t>(from),
                 b.begin() + static_cast<std::ptrdiff_t>(from + n));
}

// A window that only counts its timer's messages: a job's pauses must leave the window thread
// free to take them.
class CProbeWnd : public CWnd {
 public:
  explicit CProbeWnd(std::function<void()> onTimer) : m_onTimer(std::move(onTimer)) {
    CreateMessageWindow(this);
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message != WM_TIMER) return CWnd::WindowProc(message, wParam, lParam);
    m_onTimer();
    return 0;
  }

 private:
  std::function<void()> m_onTimer;
};

class CDialogFixture : public ::testing::Test, public IHeadlessObserver {
 protected:
  void SetUp() override;
  void TearDown() override;
  void OnHeadlessEvent(const HeadlessEvent& event) override {
    if (m_onEvent) m_onEvent(event);
  }

  // Starts the main dialog again (after the one SetUp started) with these command-line options.
  CQuorinDlg& Start(const std::vector<std::string>& args = {});
  CQuorinDlg& Dlg() { return *m_pDlg; }
  CTransferEngine& Engine() { return m_pDlg->Engine(); }
  CReceiverLink* Link() { return CTransferEngineProbe::Link(Engine()); }
  JobPhase Phase() { return Engine().Phase(); }
  // A job holds its file: armed, or blocks or pieces moving.
  bool JobFileOpen() { return Phase() != JobPhase::Idle && Phase() != JobPhase::AwaitingDone; }
  // Pumps until no pause of the engine runs.
  bool WaitUntilIdle(DWORD timeoutMs = 10000) {
    return PumpUntil([&] { return !Engine().IsBusy(); }, timeoutMs);
  }
  static CHeadlessBackend& Ui() { return GetHeadlessBackend(); }
  bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000) {
    return Ui().PumpUntil(done, timeoutMs);
  }
  void Click(int id) { CHeadlessBackend::Click(m_pDlg->m_hWnd, id); }
  void SelectSpeed(int index) { CHeadlessBackend::SelectComboEntry(m_pDlg->m_hWnd, IDC_BAUDRATE, index); }
  std::uint32_t LineSpeed() const { return m_pty.SlaveSpeed(); }
  // Moves COM1 to another line (the simulator's) and reopens the link on it at 9600.
  void ConnectTo(const std::string& devicePath);

  // Files in the test's folder.
  std::string Path(const std::string& name) const { return m_tmp.Path(name); }
  std::string MakeFile(const std::string& name, const ByteVec& content) const {
    return m_tmp.MakeFile(name, content);
  }

  // The receiver's side of the line.
  void Send(const ByteVec& bytes) { ASSERT_TRUE(m_pty.Write(bytes)); }
  void Reply(BYTE code, BYTE paramA = 0) { Send(Frame(code, paramA)); }
  // The next n bytes the program writes, pumping the dialog meanwhile (fewer on time-out).
  ByteVec Expect(std::size_t n, DWORD timeoutMs = 10000);
  // Pumps until the receiver's bytes were taken and handled; returns what the program wrote.
  ByteVec Settle(DWORD quietMs = 150);

  // The loader's side of a job's start: 0x20, 0x11, 0x21. Checks the speed index proposed and
  // returns the start command (header and job block, 52 bytes).
  ByteVec Handshake(BYTE nSpeedIndex);

  std::vector<std::string> Boxes() const { return Ui().Texts(HeadlessEvent::MessageBox); }
  // Each box's first line: the program's own text, without the file or port a second line names.
  std::vector<std::string> BoxHeads() const {
    std::vector<std::string> heads = Boxes();
    for (std::string& text : heads) text = text.substr(0, text.find('\n'));
    return heads;
  }
  std::vector<std::string> Statuses() const { return Ui().Texts(HeadlessEvent::Text, IDC_STATUS); }
  std::vector<int> Progress() const { return Ui().Values(HeadlessEvent::Progress, IDC_PROGRESS); }

  std::function<void(const HeadlessEvent&)> m_onEvent;  // sees every change as it happens
  CTempFolder m_tmp;
  CPtyPeer m_pty;
  std::unique_ptr<CQuorinDlg> m_pDlg;

 private:
  void CollectLine();
  ByteVec m_lineIn;
  std::vector<std::string> m_args;
  std::vector<const char*> m_argv;
};

extern const ByteVec kRebootText;
