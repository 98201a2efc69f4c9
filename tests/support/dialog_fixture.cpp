#include "tests/support/dialog_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/settings.h"
#include "resources/resource.h"

const ByteVec kRebootText = {'\n', 'r', 'e', 'b', 'o', 'o', 't', '\n', 0};

void CDialogFixture::SetUp() {
  char tmpl[] = "/tmp/quorin-dlg-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  m_dir = tmpl;
  setenv("XDG_CONFIG_HOME", m_dir.c_str(), 1);
  ASSERT_TRUE(m_pty.Open());
  ASSERT_TRUE(WriteProfileString("Devices", "COM1", m_pty.SlavePath()));
  Ui().SetObserver(this);
  m_pDlg = std::make_unique<CQuorinDlg>();
  ASSERT_TRUE(m_pDlg->Create());
  ASSERT_NE(m_pDlg->m_pLink, nullptr);
  ASSERT_TRUE(m_pDlg->m_pLink->IsConnected());
  Ui().ClearEvents();
}

void CDialogFixture::TearDown() {
  Ui().SetObserver(nullptr);
  if (m_pDlg && m_pDlg->m_hWnd != nullptr) m_pDlg->DestroyWindow();
  m_pDlg.reset();
  m_pty.Close();
  Ui().ClearEvents();
  std::error_code ec;
  std::filesystem::remove_all(m_dir, ec);
}

void CDialogFixture::OnHeadlessEvent(const HeadlessEvent& event) {
  if (m_onEvent) m_onEvent(event);
}

void CDialogFixture::ConnectTo(const std::string& devicePath) {
  ASSERT_TRUE(WriteProfileString("Devices", "COM1", devicePath));
  ASSERT_TRUE(m_pDlg->m_pLink->Reopen(0, SPEED_INDEX_BASE));
}

bool CDialogFixture::PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  return Ui().PumpUntil(done, timeoutMs);
}

std::string CDialogFixture::MakeFile(const std::string& name, const ByteVec& content) const {
  const std::string path = Path(name);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
  return path;
}

ByteVec CDialogFixture::Pattern(std::size_t n, unsigned seed) {
  ByteVec bytes(n);
  std::uint32_t x = seed * 2654435761u + 1;
  for (BYTE& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<BYTE>(x >> 16);
  }
  return bytes;
}

ByteVec CDialogFixture::ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return ByteVec(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ByteVec CDialogFixture::Frame(BYTE code, BYTE paramA) {
  return ByteVec{0x01, paramA, code, 0, 0, 0, 0, 0};
}

void CDialogFixture::Send(const ByteVec& bytes) { ASSERT_TRUE(m_pty.Write(bytes.data(), bytes.size())); }

void CDialogFixture::CollectLine() {
  BYTE buffer[4096];
  int n;
  while ((n = m_pty.Read(buffer, sizeof buffer, 0)) > 0) m_lineIn.insert(m_lineIn.end(), buffer, buffer + n);
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
  PumpUntil([&] { return m_pDlg->m_pLink == nullptr || m_pDlg->m_pLink->m_nPending == 0; });
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
  // The reopen finished inside the handler that wrote 0x31.
  EXPECT_EQ(LineSpeed(), SPEED_TABLE[nSpeedIndex]);
  Reply(RSP_READY);
  return Expect(8 + quorin::JOB_BLOCK_SIZE);
}

void CDialogFixture::RunBlocks(const ByteVec& image, std::uint32_t nTotal, std::vector<int>* pProgress) {
  Reply(RSP_FIRST_BLOCK);
  for (std::uint32_t nSent = 0, k = 0; nSent < nTotal; ++k) {
    const std::uint32_t n = std::min<std::uint32_t>(512, nTotal - nSent);
    const ByteVec frame = Expect(8 + n);
    ASSERT_EQ(frame.size(), 8 + n) << "block " << k;
    ByteVec want(n, 0xFF);
    for (std::uint32_t i = 0; i < n && nSent + i < image.size(); ++i) want[i] = image[nSent + i];
    std::uint32_t sum = 0;
    for (BYTE b : want) sum += b;
    const ByteVec head = {0x01, static_cast<BYTE>((k % 256) % 255), CMD_DATA, 0,
                        static_cast<BYTE>(sum >> 24), static_cast<BYTE>(sum >> 16),
                        static_cast<BYTE>(sum >> 8), static_cast<BYTE>(sum)};
    ASSERT_EQ(ByteVec(frame.begin(), frame.begin() + 8), head) << "block " << k;
    ASSERT_TRUE(std::equal(want.begin(), want.end(), frame.begin() + 8)) << "block " << k;
    if (pProgress) pProgress->push_back(Dlg().m_ctlProgress.GetPos());
    nSent += n;
    if (nSent < nTotal) Reply(RSP_NEXT_BLOCK);
  }
}
