// The simulator against a PC side made of a real CReceiverLink that answers the replies the
// way the program's job handlers do, with faults on request that the simulator must catch.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/settings.h"
#include "tests/serial/serial_test_owner.h"
#include "tests/support/pty_peer.h"
#include "tests/support/sim_runner.h"
#include "transfer/receiver_link.h"

namespace {

struct PcFaults {
  long badChecksumAt = -1;       // this block goes out with a wrong checksum
  bool resendAsNext = false;     // a resend request gets a new block number
  bool byteAfterLast = false;    // one stray byte after the last block
  bool staysAtBaseSpeed = false; // no reopen after 0x31
};

class CTestPc : public CWnd {
 public:
  CTestPc() { CreateMessageWindow(this); }
  ~CTestPc() override {
    m_link.Close();
    DestroyWindow();
  }

  bool Open() { return m_link.Open(0, 0, m_hWnd); }
  void ArmSend(int job, const std::vector<BYTE>& image, int speed) {
    m_nJob = job;
    m_image = image;
    m_nSpeed = speed;
    m_bSend = m_bFileOpen = true;
    if (job == JOB_SOFTWARE) m_link.SetIdentityFromImage(image.data(), 16);
    m_link.SetImageSize(static_cast<std::uint32_t>(image.size()));
    m_link.SendRebootText();
  }
  void ArmRead(int speed) {
    m_nJob = JOB_DATABASE;
    m_nSpeed = speed;
    m_bSend = false;
    m_bFileOpen = true;
    m_link.SetImageSize(DATABASE_SIZE);
    m_link.SendRebootText();
  }
  bool Finished() const { return m_bDone || m_bEnded; }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message != WM_SERIAL_DATA) return CWnd::WindowProc(message, wParam, lParam);
    const DWORD n = static_cast<DWORD>(wParam);
    DWORD used = m_bRaw ? TakeRaw(m_link.m_RecvBuf, n) : 0;
    BYTE code = 0, a = 0;
    for (int r = m_link.ParseBytes(m_link.m_RecvBuf + used, n - used, code, a); r != -2;
         r = m_link.ParseFrame(0, code, a)) {
      if (r == 0) Act(code, a);
      if (m_bRaw) {
        BYTE held[SERIAL_CHUNK_MAX * 2];
        const DWORD nHeld = m_link.TakeHeldBytes(held, 512 - m_nPiece);
        TakeRaw(held, nHeld);
      }
    }
    m_link.m_nPending = 0;
    m_link.m_hAckEvent.Set();
    return 0;
  }

  CReceiverLink m_link;
  PcFaults m_faults;
  std::vector<BYTE> m_received;
  std::vector<int> m_progress;
  std::vector<int> m_errors;

 private:
  DWORD TakeRaw(const BYTE* p, DWORD n) {
    const DWORD take = std::min<DWORD>(n, 512 - m_nPiece);
    m_received.insert(m_received.end(), p, p + take);
    m_nPiece += take;
    if (m_nPiece == 512) {
      m_nPiece = 0;
      m_bRaw = false;
      m_link.SendBlockAck();
      if (m_received.size() >= DATABASE_SIZE) Finish(true);
    }
    return take;
  }

  void Act(BYTE code, BYTE a) {
    switch (code) {
      case RSP_CONNECT: m_link.SendSetBaud(m_bSend ? m_nSpeed : 0); break;
      case RSP_BAUD_OK:
        m_link.SendSwitchBaud();
        if (!m_faults.staysAtBaseSpeed && (!m_bSend || m_nSpeed != 0)) {
          m_link.Reopen(0, m_bSend ? m_nSpeed : 0);
        }
        break;
      case RSP_READY:
        m_link.SendStart(m_nJob, m_bSend, m_nJob == JOB_DATABASE ? JOB_PARAMETER_DATABASE : 0);
        break;
      case RSP_FIRST_BLOCK: SendNext(0); break;
      case RSP_NEXT_BLOCK: SendNext(1); break;
      case RSP_RESEND: SendNext(m_faults.resendAsNext ? 1 : 2); break;
      case RSP_RAW_DATA: m_bRaw = !m_bSend && m_bFileOpen; break;
      case RSP_PROGRESS: m_progress.push_back(a); break;
      case RSP_DONE: Finish(true); break;
      case RSP_COMM_ERROR: m_errors.push_back(code); break;
      default:
        m_errors.push_back(code);
        Finish(false);
        break;
    }
  }

  void SendNext(int kind) {
    if (!m_bFileOpen) return;
    if (kind != 2) {
      m_link.m_nBlockLength = std::min<DWORD>(512, static_cast<DWORD>(m_image.size() - m_nSent));
      std::memcpy(m_link.m_blockBuffer, &m_image[m_nSent], m_link.m_nBlockLength);
    }
    const DWORD remaining = kind == 2 ? m_link.m_nBlockLength
                                      : static_cast<DWORD>(m_image.size() - m_nSent);
    if (m_faults.badChecksumAt == m_nBlock && kind != 2) {
      BYTE frame[520] = {0x01, static_cast<BYTE>((m_nBlock % 256) % 255), CMD_DATA};
      std::memcpy(frame + 8, m_link.m_blockBuffer, m_link.m_nBlockLength);
      frame[7] = static_cast<BYTE>(CReceiverLink::ByteSum(m_link.m_blockBuffer, 512) + 1);
      m_link.Write(frame, 8 + m_link.m_nBlockLength);
      ++m_link.m_nBlockCounter;
    } else {
      m_link.SendBlock(m_link.m_blockBuffer, remaining, kind);
    }
    if (kind == 2) return;
    ++m_nBlock;
    m_nSent += m_link.m_nBlockLength;
    if (m_nSent == m_image.size()) {
      m_bFileOpen = false;
      if (m_faults.byteAfterLast) m_link.Write("\0", 1);
    }
  }

  void Finish(bool bDone) {
    m_bFileOpen = false;
    if (m_nSpeed != 0) m_link.Reopen(0, 0);
    (bDone ? m_bDone : m_bEnded) = true;
  }

  int m_nJob = 0;
  int m_nSpeed = 0;
  bool m_bSend = true;
  bool m_bFileOpen = false;
  bool m_bRaw = false;
  bool m_bDone = false;
  bool m_bEnded = false;
  std::vector<BYTE> m_image;
  std::size_t m_nSent = 0;
  long m_nBlock = 0;
  DWORD m_nPiece = 0;
};

std::vector<BYTE> Pattern(std::size_t n, unsigned seed) {
  std::vector<BYTE> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<BYTE>((i * 131 + seed) ^ (i >> 8));
  return v;
}

std::vector<BYTE> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<BYTE>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Exchange {
  const char* name;
  std::vector<std::string> args;
  int job;  // JOB_* or 0 for a read job
  std::size_t size;
  int speed;
  PcFaults faults;
  int exitStatus;
  const char* verdictPart;
};

class ReceiverSimTest : public ::testing::TestWithParam<Exchange> {};

TEST_P(ReceiverSimTest, PlaysTheExchange) {
  const Exchange& x = GetParam();
  const std::string folder = CPtyPeer::IsolateSettings();
  const std::string out = folder + "/received-" + x.name;
  const std::string db = folder + "/served.db";
  const std::vector<BYTE> image = Pattern(x.job == 0 ? DATABASE_SIZE : x.size, x.size & 0xFF);
  std::vector<std::string> args = {"--out", out, "--quiet-ms", "150", "--timeout", "30"};
  if (x.job == 0) {
    std::ofstream(db, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    args.insert(args.end(), {"--db", db});
  }
  args.insert(args.end(), x.args.begin(), x.args.end());

  CSimRunner sim;
  ASSERT_TRUE(sim.Start(args)) << sim.ErrorOutput();
  ASSERT_TRUE(WriteProfileString("Devices", "COM1", sim.SlavePath()));
  CTestPc pc;
  pc.m_faults = x.faults;
  ASSERT_TRUE(pc.Open()) << pc.m_link.LastOpenErrorText();
  if (x.job == 0) {
    pc.ArmRead(x.speed);
  } else {
    pc.ArmSend(x.job, image, x.speed);
  }
  PumpUntil([&] { return pc.Finished() || sim.Wait(1); }, 60000);
  ASSERT_TRUE(sim.Wait(30000));
  EXPECT_EQ(sim.ExitStatus(), x.exitStatus) << sim.Output() << sim.ErrorOutput();
  EXPECT_NE(sim.Verdict().find(x.verdictPart), std::string::npos) << sim.Verdict();
  if (x.exitStatus != 0) return;

  if (x.job == 0) {
    EXPECT_TRUE(pc.m_received == image) << "read " << pc.m_received.size() << " bytes";
  } else if (pc.m_errors.empty() || pc.m_errors.back() == RSP_COMM_ERROR) {
    EXPECT_TRUE(ReadAll(out) == image);
  }
}

PcFaults NoFaults() { return PcFaults{}; }
PcFaults Fault(void (*set)(PcFaults&)) {
  PcFaults f;
  set(f);
  return f;
}

INSTANTIATE_TEST_SUITE_P(
    Exchanges, ReceiverSimTest,
    ::testing::Values(
        Exchange{"software_wrapping_numbers_resends_noise",
                 {"--job", "software", "--expect-speed", "5", "--resend-at", "3,256,300",
                  "--comm-error-at", "10", "--noise", "--progress", "4", "--join-progress-done"},
                 JOB_SOFTWARE, 300 * 512 + 100, 5, NoFaults(), 0,
                 "OK: software job, 301 blocks (153700 bytes) at 115200 baud, 2 resent"},
        Exchange{"database_at_base_speed", {"--job", "database", "--hello-delay", "50"},
                 JOB_DATABASE, DATABASE_SIZE, 0, NoFaults(), 0, "OK: database job, 512 blocks"},
        Exchange{"read_joined", {"--job", "read", "--join-raw"}, 0, 0, 5, NoFaults(), 0,
                 "OK: read job, 512 pieces"},
        Exchange{"read_separate", {}, 0, 0, 0, NoFaults(), 0, "OK: read job"},
        Exchange{"error_reply_ends_a_boot_job", {"--error-at", "5:0x33"}, JOB_BOOT, 65536, 3,
                 NoFaults(), 0, "OK: boot job ended by error reply 0x33 after block 5"},
        Exchange{"pc_bad_checksum", {}, JOB_BOOT, 65536, 0,
                 Fault([](PcFaults& f) { f.badChecksumAt = 2; }), 1, "FAIL: block 2: checksum"},
        Exchange{"pc_numbers_a_resend_as_new", {"--resend-at", "3"}, JOB_BOOT, 65536, 0,
                 Fault([](PcFaults& f) { f.resendAsNext = true; }), 1,
                 "FAIL: the resend of block 3 differs from the block"},
        Exchange{"pc_speaks_after_the_last_block", {}, JOB_BOOT, 65536, 0,
                 Fault([](PcFaults& f) { f.byteAfterLast = true; }), 1,
                 "FAIL: the PC sent 00 after the last block"},
        Exchange{"pc_keeps_its_speed", {"--timeout", "3"}, JOB_DATABASE, DATABASE_SIZE, 5,
                 Fault([](PcFaults& f) { f.staysAtBaseSpeed = true; }), 1,
                 "FAIL: the PC did not set 115200 baud after 0x31"}),
    [](const ::testing::TestParamInfo<Exchange>& param) { return std::string(param.param.name); });

}  // namespace
