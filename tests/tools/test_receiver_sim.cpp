// The simulator must catch a PC that breaks the exchange. A real CReceiverLink plays the PC's
// side of a boot job step by step, with one fault in it, and the simulator's verdict is read.
// (The program itself runs whole exchanges against the simulator in the transfer and app tests.)
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ostream>

#include "platform/os/settings.h"
#include "platform/os/sync.h"
#include "tests/serial/serial_test_owner.h"
#include "tests/support/engine_probe.h"
#include "tests/support/pty_peer.h"
#include "tests/support/sim_runner.h"
#include "transfer/receiver_link.h"

namespace {

struct PcFault {
  long badChecksumAt = -1;        // this block goes out with a wrong checksum
  bool resendAsNext = false;      // a resend request gets the next block instead
  bool byteAfterLast = false;     // one stray byte after the last block
  bool staysAtBaseSpeed = false;  // no reopen after 0x31
};

struct Exchange {
  const char* name;
  std::vector<std::string> args;
  BYTE speed;
  PcFault fault;
  int exitStatus;
  const char* verdictPart;
};

void PrintTo(const Exchange& x, std::ostream* os) { *os << x.name; }

class CScriptedPc {
 public:
  explicit CScriptedPc(CSimRunner& sim) : m_sim(sim) {}
  ~CScriptedPc() { m_link.Close(); }  // the reader ends before its owner window goes

  void RunBootJob(const ByteVec& image, BYTE speed, const PcFault& fault) {
    ASSERT_TRUE(m_link.Open(0, 0, m_owner.m_hWnd)) << m_link.LastOpenErrorText();
    m_link.SetImageSize(static_cast<std::uint32_t>(image.size()));
    m_link.SendRebootText();
    if (NextReply() != RSP_CONNECT) return;
    m_link.SendSetBaud(speed);
    if (NextReply() != RSP_BAUD_OK) return;
    m_link.SendSwitchBaud();
    if (speed != 0 && !fault.staysAtBaseSpeed) Reopen(speed);
    if (NextReply() != RSP_READY) return;
    m_link.SendStart(JOB_BOOT, TRUE, 0);
    std::size_t sent = 0;
    for (BYTE reply; sent < image.size() && (reply = NextReply()) != 0;) {  // until all or an error
      if (reply == RSP_RESEND && !fault.resendAsNext) {
        m_link.SendBlock(nullptr, 0, BlockKind::Resend);
        continue;
      }
      if (reply != RSP_FIRST_BLOCK && reply != RSP_NEXT_BLOCK && reply != RSP_RESEND) break;
      const DWORD n = std::min<DWORD>(512, static_cast<DWORD>(image.size() - sent));
      if (static_cast<long>(sent / 512) == fault.badChecksumAt) {
        BYTE& counter = CReceiverLinkProbe::BlockCounter(m_link);
        BYTE frame[520] = {0x01, counter, CMD_DATA};
        std::memcpy(frame + 8, &image[sent], n);
        frame[7] = static_cast<BYTE>(CReceiverLink::ByteSum(&image[sent], n) + 1);
        m_link.Write(frame, 8 + n);
        ++counter;
      } else {
        m_link.SendBlock(&image[sent], static_cast<DWORD>(image.size() - sent),
                         reply == RSP_FIRST_BLOCK ? BlockKind::First : BlockKind::Next);
      }
      sent += n;
      if (sent == image.size() && fault.byteAfterLast) m_link.Write("", 1);  // one zero byte
    }
    if (sent == image.size()) {
      while (NextReply() == RSP_PROGRESS) {
      }
    }
    if (speed != 0) Reopen(0);
  }

 private:
  // As the program reopens: the last command leaves the line, the port closes, and the pause
  // gives the receiver the time to take it before the new opening purges the line.
  void Reopen(int nSpeedIndex) {
    m_link.BeginReopen();
    Sleep(100);
    m_link.Reopen(0, nSpeedIndex);
  }

  // The next reply's code; 0 once the simulator has ended.
  BYTE NextReply() {
    BYTE code = 0;
    PumpUntil([&] {
      const ByteVec all = m_owner.AllBytes();
      if (all.size() >= m_nTaken + 8) {
        code = all[m_nTaken + 2];
        m_nTaken += 8;
      }
      return code != 0 || !m_sim.Poll(0);
    }, 30000);
    return code;
  }

  CSimRunner& m_sim;
  CReceiverLink m_link;
  CSerialTestOwner m_owner{m_link};
  std::size_t m_nTaken = 0;
};

class ReceiverSimTest : public ::testing::TestWithParam<Exchange> {};

TEST_P(ReceiverSimTest, JudgesThePc) {
  const Exchange& x = GetParam();
  CTempFolder tmp;
  std::vector<std::string> args = {"--out", tmp.Path("received"), "--quiet-ms", "150",
                                   "--timeout", "30"};
  args.insert(args.end(), x.args.begin(), x.args.end());
  CSimRunner sim;
  ASSERT_TRUE(sim.Start(args)) << sim.Output();
  ASSERT_TRUE(MapComPort("COM1", sim.SlavePath()));
  CScriptedPc(sim).RunBootJob(Pattern(65536), x.speed, x.fault);
  ASSERT_TRUE(sim.Wait(30000));
  EXPECT_EQ(sim.ExitStatus(), x.exitStatus) << sim.Output();
  EXPECT_NE(sim.Verdict().find(x.verdictPart), std::string::npos) << sim.Verdict();
}

INSTANTIATE_TEST_SUITE_P(
    Exchanges, ReceiverSimTest,
    ::testing::Values(
        Exchange{"error_reply_ends_the_job", {"--error-at", "5:0x33"}, 3, {}, 0,
                 "OK: boot job ended by error reply 0x33 after block 5"},
        Exchange{"pc_bad_checksum", {}, 0, {.badChecksumAt = 2}, 1, "FAIL: block 2: checksum"},
        Exchange{"pc_numbers_a_resend_as_new", {"--resend-at", "3"}, 0, {.resendAsNext = true}, 1,
                 "FAIL: the resend of block 3 differs from the block"},
        Exchange{"pc_speaks_after_the_last_block", {}, 0, {.byteAfterLast = true}, 1,
                 "FAIL: the PC sent 00 after the last block"},
        Exchange{"pc_keeps_its_speed", {"--timeout", "3"}, 5, {.staysAtBaseSpeed = true}, 1,
                 "FAIL: the PC did not set 115200 baud after 0x31"}),
    [](const ::testing::TestParamInfo<Exchange>& param) { return std::string(param.param.name); });

// At line rate a job takes the bytes' time on the wire at the speed the PC set, the replies'
// held latency and the receiver's flash writes: a lower bound no pseudo-terminal reaches alone.
// --timing reports the data phase, which is longer than the wire time by what the line waited
// (replies held as an adapter's latency timer would), and is printed only when asked.
TEST(ReceiverSimPace, ALineRateJobTakesItsWireTimeLatencyAndFlashWrites) {
  const ByteVec image = Pattern(65536);  // 128 blocks, one flash sector
  for (const int latencyMs : {0, 20}) {
    SCOPED_TRACE(latencyMs);
    CTempFolder tmp;
    CSimRunner sim;
    ASSERT_TRUE(sim.Start({"--job", "boot", "--expect-speed", "6", "--out", tmp.Path("received"), "--line-rate",
                           "--timing", "--reply-latency-ms", std::to_string(latencyMs), "--flash-ms", "300"}))
        << sim.Output();
    ASSERT_TRUE(MapComPort("COM1", sim.SlavePath()));
    const auto start = std::chrono::steady_clock::now();
    CScriptedPc(sim).RunBootJob(image, 6, {});
    const double elapsedS = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(sim.Wait(30000));
    ASSERT_EQ(sim.ExitStatus(), 0) << sim.Output();
    EXPECT_EQ(ReadWholeFile(tmp.Path("received")), image);
    // 128 blocks of 520 bytes at 230,400 baud, 129 replies held, one flash write.
    EXPECT_GE(elapsedS, 128.0 * 520 * 10 / 230400 + 129 * latencyMs / 1000.0 + 0.3);
    const std::size_t at = sim.Output().find("timing: ");
    ASSERT_NE(at, std::string::npos) << sim.Output();
    long blocks = 0;
    double seconds = 0;
    unsigned long baud = 0;
    ASSERT_EQ(std::sscanf(sim.Output().c_str() + at, "timing: %ld %lf %lu", &blocks, &seconds, &baud), 3);
    EXPECT_EQ(blocks, 128);
    EXPECT_EQ(baud, 230400u);
    EXPECT_GE(seconds, 128.0 * 528 * 10 / 230400 * 0.99 + 127 * latencyMs / 1000.0);
    EXPECT_LT(seconds, elapsedS) << "the data phase is a part of the job";
  }
  CSimRunner plain;
  ASSERT_TRUE(plain.Start({"--job", "boot", "--expect-speed", "6"})) << plain.Output();
  ASSERT_TRUE(MapComPort("COM1", plain.SlavePath()));
  CScriptedPc(plain).RunBootJob(Pattern(2048), 6, {});
  ASSERT_TRUE(plain.Wait(30000));
  EXPECT_EQ(plain.ExitStatus(), 0) << plain.Output();
  EXPECT_EQ(plain.Output().find("timing:"), std::string::npos) << "only when asked";
}

}  // namespace
