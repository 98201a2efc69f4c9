#include <gtest/gtest.h>

#include <cstring>

#include "tests/serial/serial_test_owner.h"
#include "tests/support/pty_peer.h"
#include "transfer/receiver_link.h"

namespace {

class ReceiverLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_peer.Open());
    ASSERT_TRUE(m_peer.MapToPort(1));
    ASSERT_TRUE(m_link.Open(0, 0, m_owner.m_hWnd)) << m_link.LastOpenErrorText();
  }
  std::vector<std::uint8_t> Sent(std::size_t n) { return m_peer.ReadBytes(n, 3000); }

  CPtyPeer m_peer;
  CReceiverLink m_link;
  CSerialTestOwner m_owner{m_link};
};

std::vector<std::uint8_t> Head(const std::vector<std::uint8_t>& v, std::size_t n) {
  return std::vector<std::uint8_t>(v.begin(), v.begin() + static_cast<long>(std::min(n, v.size())));
}

TEST_F(ReceiverLinkTest, ShortCommandsOnTheLine) {
  m_link.SendSetBaud(5);
  EXPECT_EQ(Head(Sent(8), 4), Bytes({0x01, 0x00, 0x01, 0x05}));
  m_link.SendSwitchBaud();
  EXPECT_EQ(Head(Sent(8), 4), Bytes({0x01, 0x00, 0x31, 0x00}));
  m_link.SendBlockAck();
  EXPECT_EQ(Head(Sent(8), 4), Bytes({0x01, 0x00, 0x16, 0x00}));
  m_link.SendRebootText();
  EXPECT_EQ(Sent(9), Bytes({'\n', 'r', 'e', 'b', 'o', 'o', 't', '\n', 0}));
  EXPECT_TRUE(m_peer.ReadUntilQuiet(100).empty()) << "a command is exactly 8 bytes";
}

TEST_F(ReceiverLinkTest, FirstBlockOfAllOnes) {
  std::memset(m_link.m_blockBuffer, 0xFF, sizeof(m_link.m_blockBuffer));
  EXPECT_EQ(m_link.SendBlock(m_link.m_blockBuffer, 100000, 0), 100000u);
  const std::vector<std::uint8_t> frame = m_peer.ReadUntilQuiet(3000);
  ASSERT_EQ(frame.size(), 520u);
  EXPECT_EQ(Head(frame, 8), Bytes({0x01, 0x00, 0x13, 0x00, 0x00, 0x01, 0xFE, 0x00}));
  EXPECT_EQ(CReceiverLink::ByteSum(m_link.m_blockBuffer, 512), 0x0001FE00u);
}

TEST_F(ReceiverLinkTest, StartCommandOfADatabaseJob) {
  const BYTE head[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  m_link.SetIdentityFromImage(head, sizeof(head));
  m_link.SetImageSize(DATABASE_SIZE);
  for (BOOL bSendMode : {TRUE, FALSE}) {
    m_link.SendStart(JOB_DATABASE, bSendMode, JOB_PARAMETER_DATABASE);
    const std::vector<std::uint8_t> sent = Sent(52);
    ASSERT_EQ(sent.size(), 52u);
    const std::uint8_t* block = sent.data() + 8;
    EXPECT_EQ(Head(sent, 4), Bytes({0x01, 0x00, bSendMode ? 0x30 : 0x40, 0x00}));
    const std::uint32_t sum = CReceiverLink::ByteSum(block, 44);
    EXPECT_EQ(sent[4] << 24 | sent[5] << 16 | sent[6] << 8 | sent[7], static_cast<int>(sum));
    EXPECT_EQ(0, std::memcmp(block, m_link.Identity(), 16));
    EXPECT_EQ(std::vector<std::uint8_t>(block + 16, block + 32), std::vector<std::uint8_t>(16, 0));
    EXPECT_EQ(std::vector<std::uint8_t>(block + 32, block + 44),
              Bytes({0x00, 0x19, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x50, 0, 0, 0}));
  }
}

TEST_F(ReceiverLinkTest, BlockNumbersWrapAndAResendCarriesTheNextNumber) {
  const BYTE one = 0x42;
  std::vector<int> numbers;
  for (int k = 0; k < 300; ++k) {
    m_link.SendBlock(&one, 1, k == 0 ? 0 : 1);
    const std::vector<std::uint8_t> frame = Sent(9);
    ASSERT_EQ(frame.size(), 9u);
    numbers.push_back(frame[1]);
  }
  std::vector<int> expected;
  for (int k = 0; k < 300; ++k) expected.push_back((k % 256) % 255);
  EXPECT_EQ(numbers, expected);
  EXPECT_EQ((std::vector<int>{numbers[254], numbers[255], numbers[256], numbers[257], numbers[299]}),
            (std::vector<int>{254, 0, 0, 1, 43}));

  // A new job restarts the count; the resend of block 3 repeats its bytes under number 4.
  BYTE data[512];
  for (int k = 0; k < 4; ++k) {
    for (int i = 0; i < 512; ++i) data[i] = static_cast<BYTE>(k * 31 + i);
    m_link.SendBlock(data, 4000, k == 0 ? 0 : 1);
    ASSERT_EQ(Sent(520).size(), 520u);
  }
  const std::vector<std::uint8_t> third = std::vector<std::uint8_t>(data, data + 512);
  m_link.SendBlock(data, 512, 2);
  const std::vector<std::uint8_t> resend = Sent(520);
  ASSERT_EQ(resend.size(), 520u);
  EXPECT_EQ(resend[1], 4);
  EXPECT_EQ(std::vector<std::uint8_t>(resend.begin() + 8, resend.end()), third);
}

TEST_F(ReceiverLinkTest, EverySpeedIndexReachesTheLine) {
  for (int i = 0; i < SPEED_COUNT; ++i) {
    ASSERT_TRUE(m_link.Reopen(0, i));
    EXPECT_EQ(m_peer.SlaveSpeed(), SPEED_TABLE[i]) << "index " << i;
  }
  ASSERT_TRUE(m_link.Open(0, 6, m_owner.m_hWnd));
  EXPECT_EQ(m_peer.SlaveSpeed(), 230400u);
  ASSERT_TRUE(m_link.Open(0, 0, m_owner.m_hWnd));
  EXPECT_EQ(m_peer.SlaveSpeed(), 9600u);
}

// ---- cutting replies out of received bytes (no line needed) ------------------------------

struct ParseStep {
  std::vector<std::uint8_t> chunk;  // empty: a call with count 0
  int result;
  int code;
  int paramA;
};

std::vector<std::uint8_t> Join(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST(ReceiverLinkParse, ChunksToFrames) {
  const auto hello = CPtyPeer::Frame(RSP_CONNECT);
  const auto ready = CPtyPeer::Frame(RSP_READY);
  const auto codeZero = Bytes({0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
  const std::string chatter = "\r\nLDR 2.0\r\n\xff";
  const std::vector<std::uint8_t> noise(chatter.begin(), chatter.end());
  const struct {
    const char* name;
    std::vector<ParseStep> steps;
  } cases[] = {
      {"split 3+5",
       {{Head(hello, 3), -2, 0, 0},
        {std::vector<std::uint8_t>(hello.begin() + 3, hello.end()), 0, RSP_CONNECT, 0}}},
      {"two in one chunk",
       {{Join({CPtyPeer::Frame(RSP_PROGRESS, 7), CPtyPeer::Frame(RSP_DONE)}), 0, RSP_PROGRESS, 7},
        {{}, 0, RSP_DONE, 0},
        {{}, -2, 0, 0}}},
      {"chatter in front", {{Join({noise, hello}), 0, RSP_CONNECT, 0}, {{}, -2, 0, 0}}},
      {"chatter alone, then a frame", {{noise, -2, 0, 0}, {ready, 0, RSP_READY, 0}}},
      {"code 0 does not block", {{Join({codeZero, ready}), -1, 0, 0}, {{}, 0, RSP_READY, 0}}},
      {"marker at the end of chatter",
       {{Join({noise, Bytes({0x01}), hello}), -1, 0, 0}, {{}, 0, RSP_CONNECT, 0}}},
  };
  for (const auto& c : cases) {
    CReceiverLink link;
    int i = 0;
    for (const ParseStep& step : c.steps) {
      BYTE code = 0, a = 0;
      const int result = link.ParseBytes(step.chunk.data(),
                                         static_cast<DWORD>(step.chunk.size()), code, a);
      EXPECT_EQ(result, step.result) << c.name << ", step " << i;
      if (result == 0) {
        EXPECT_EQ(code, step.code) << c.name << ", step " << i;
        EXPECT_EQ(a, step.paramA) << c.name << ", step " << i;
      }
      ++i;
    }
    EXPECT_EQ(link.HeldByteCount(), 0u) << c.name;
  }
}

TEST(ReceiverLinkParse, AFullChunkIsTakenInPiecesThroughTheMailbox) {
  CReceiverLink link;
  for (int i = 0; i < 256; ++i) {
    const auto frame = CPtyPeer::Frame(RSP_PROGRESS, static_cast<std::uint8_t>(i));
    std::memcpy(link.m_RecvBuf + i * 8, frame.data(), 8);
  }
  BYTE code = 0, a = 0;
  int taken = 0;
  for (int r = link.ParseFrame(SERIAL_CHUNK_MAX, code, a); r == 0; r = link.ParseFrame(0, code, a)) {
    EXPECT_EQ(a, taken);
    ++taken;
  }
  EXPECT_EQ(taken, 256);
}

TEST(ReceiverLinkParse, RawDataBehindItsReplyIsHeldIntact) {
  CReceiverLink link;
  // Raw data may look like frames of any kind; none of it may be cut or lost.
  std::vector<std::uint8_t> raw(512);
  for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::uint8_t>(i % 3 == 0 ? 1 : i);
  const std::vector<std::uint8_t> chunk = Join({CPtyPeer::Frame(RSP_RAW_DATA), raw,
                                                CPtyPeer::Frame(RSP_COMM_ERROR)});
  BYTE code = 0, a = 0;
  ASSERT_EQ(link.ParseBytes(chunk.data(), static_cast<DWORD>(chunk.size()), code, a), 0);
  EXPECT_EQ(code, RSP_RAW_DATA);
  EXPECT_EQ(link.HeldByteCount(), 520u);
  std::vector<std::uint8_t> got(512);
  ASSERT_EQ(link.TakeHeldBytes(got.data(), 300), 300u);
  ASSERT_EQ(link.TakeHeldBytes(got.data() + 300, 212), 212u);
  EXPECT_EQ(got, raw);
  ASSERT_EQ(link.ParseFrame(0, code, a), 0);
  EXPECT_EQ(code, RSP_COMM_ERROR);
  EXPECT_EQ(link.HeldByteCount(), 0u);
}

}  // namespace
