#include "tests/support/dialog_fixture.h"

#include <algorithm>

#include "platform/os/settings.h"
#include "resources/resource.h"

const ByteVec kRebootText = {'\n', 'r', 'e', 'b', 'o', 'o', 't', '\n', 0};

void CDialogFixture::SetUp() {
  ASSERT_TRUE(m_pty.Open());
  ASSERT_TRUE(m_pty.MapTo("COM1"));
  Ui().SetObserver(this);
  Start();
  ASSERT_TRUE(Engine().IsLinkOpen());
  Ui().ClearEvents();
}

CQuorinDlg& CDialogFixture::Start(const std::vector<std::string>& args) {
  if (m_pDlg && m_pDlg->m_hWnd != nullptr) m_pDlg->DestroyWindow();
  m_pDlg.reset();
  m_args = args;
  m_args.insert(m_args.begin(), "quorin");
  m_argv.clear();
  for (const std::string& arg : m_args) m_argv.push_back(arg.c_str());
  Ui().ClearEvents();
  m_pDlg = std::make_unique<CQuorinDlg>(nullptr, static_cast<int>(m_argv.size()), m_argv.data());
  EXPECT_TRUE(m_pDlg->Create());
  return *m_pDlg;
}

void CDialogFixture::TearDown() {
  Ui().SetObserver(nullptr);
  if (m_pDlg && m_pDlg->m_hWnd != nullptr) m_pDlg->DestroyWindow();
  m_pDlg.reset();
  m_pty.Close();
  Ui().ClearEvents();
}

void CDialogFixture::ConnectTo(const std::string& devicePath) {
  ASSERT_TRUE(MapComPort("COM1", devicePath));
  ASSERT_TRUE(Link()->Reopen(0, SPEED_INDEX_BASE));
}

void CDialogFixture::CollectLine() {
  BYTE buffer[4096];
  int n;
  while ((n = m_pty.Read(buffer, sizeof buffer, 0)) > 0) {
    m_lineIn.insert(m_lineIn.end(), buffer, buffer + n);
  }
}

ByteVec CDialogFixture::Expect(std::size_t n, DWORD timeoutMs) {
  PumpUntil([&] {
    CollectLine();
    return m_lineIn.size() >= n;
  }, timeoutMs);
  const std::size_t nTake = std::min(n, m_lineIn.size());
  ByteVec out(m_lineIn.begin(), m_lineIn.begin() + static_cast<std::ptrdiff_t>(nTake));
  m_lineIn.erase(m_lineIn.begin(), m_lineIn.begin() + static_cast<std::ptrdiff_t>(nTake));
  return out;
}

ByteVec CDialogFixture::Settle(DWORD quietMs) {
  PumpUntil([&] { return m_pty.PendingToSlave() == 0; });
  Ui().Pump(quietMs);
  PumpUntil([&] { return !Engine().IsBusy() && (Link() == nullptr || Link()->DeliveryCount() == 0); });
  CollectLine();
  ByteVec out;
  out.swap(m_lineIn);
  return out;
}

ByteVec CDialogFixture::Handshake(BYTE nSpeedIndex) {
  Reply(RSP_CONNECT);
  const ByteVec setBaud = Expect(8);
  EXPECT_EQ(setBaud.size(), 8u);
  if (setBaud.size() == 8) {
    EXPECT_EQ(setBaud[2], CMD_SET_BAUD);
    EXPECT_EQ(setBaud[3], nSpeedIndex);
  }
  Reply(RSP_BAUD_OK);
  const ByteVec switchBaud = Expect(8);
  EXPECT_EQ(switchBaud.size() == 8 ? switchBaud[2] : 0, CMD_SWITCH_BAUD);
  // The port is open at the data speed once the reopen's pause is over.
  EXPECT_TRUE(WaitUntilIdle());
  EXPECT_EQ(LineSpeed(), SPEED_TABLE[nSpeedIndex]);
  Reply(RSP_READY);
  return Expect(8 + quorin::JOB_BLOCK_SIZE);
}
