#include <gtest/gtest.h>

#include <cstring>

#include "tests/serial/serial_test_owner.h"
#include "tests/support/pty_peer.h"
#include "transfer/receiver_link.h"

namespace {

ByteVec Head(const ByteVec& v, std::size_t n) {
  return ByteVec(v.begin(), v.begin() + static_cast<long>(std::min(n, v.size())));
}

class ReceiverLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_peer.Open());
    ASSERT_TRUE(m_peer.MapTo("COM1"));
    ASSERT_TRUE(m_link.Open(0, 0, m_owner.m_hWnd)) << m_link.LastOpenErrorText();
  }
  ByteVec Sent(std::size_t n) { return m_peer.ReadBytes(n, 3000); }

  CTempFolder m_tmp;
  CPtyPeer m_peer;
  CReceiverLink m_link;
  CSerialTestOwner m_owner{m_link};
};

TEST_F(ReceiverLinkTest, CommandBytesOnTheLine) {
  m_link.SendSetBaud(5);
  EXPECT_EQ(Head(Sent(8), 4), Bytes({0x01, 0x00, 0x01, 0x05}));
  m_link.SendSwitchBaud();
  EXPECT_EQ(Head(Sent(8), 4), Bytes({0x01, 0x00, 0x31, 0x00}));
  m_link.SendBlockAck();
  EXPECT_EQ(Head(Sent(8), 4), Bytes({0x01, 0x00, 0x16, 0x00}));
  m_link.SendRebootText();
  EXPECT_EQ(Sent(9), Bytes({'\n', 'r', 'e', 'b', 'o', 'o', 't', '\n', 0}));

  BYTE erased[512];
  std::memset(erased, 0xFF, sizeof erased);
  EXPECT_EQ(m_link.SendBlock(erased, 100000, BlockKind::First), 100000u);
  const ByteVec block = m_peer.ReadUntilQuiet(3000);
  ASSERT_EQ(block.size(), 520u) << "every frame has exactly its length";
  EXPECT_EQ(Head(block, 8), Bytes({0x01, 0x00, 0x13, 0x00, 0x00, 0x01, 0xFE, 0x00}));

  const BYTE head[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  m_link.SetIdentityFromImage(head, sizeof(head));
  m_link.SetImageSize(DATABASE_SIZE);
  for (BOOL bSendMode : {TRUE, FALSE}) {
    m_link.SendStart(JOB_DATABASE, bSendMode, JOB_PARAMETER_DATABASE);
    const ByteVec sent = Sent(52);
    ASSERT_EQ(sent.size(), 52u);
    const std::uint8_t* job = sent.data() + 8;
    EXPECT_EQ(Head(sent, 4), Bytes({0x01, 0x00, bSendMode ? 0x30 : 0x40, 0x00}));
    EXPECT_EQ(sent[4] << 24 | sent[5] << 16 | sent[6] << 8 | sent[7],
              static_cast<int>(CReceiverLink::ByteSum(job, 44)));
    EXPECT_EQ(0, std::memcmp(job, m_link.Identity(), 16));
    EXPECT_EQ(ByteVec(job + 16, job + 44),
              ByteVec(16, 0) + Bytes({0x00, 0x19, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x50, 0, 0, 0}));
  }
}

TEST_F(ReceiverLinkTest, BlockNumbersWrapAndAResendRepeatsTheBlockUnderTheNextNumber) {
  const BYTE one = 0x42;
  std::vector<int> numbers;
  for (int k = 0; k < 300; ++k) {
    m_link.SendBlock(&one, 1, k == 0 ? BlockKind::First : BlockKind::Next);
    const ByteVec frame = Sent(9);
    ASSERT_EQ(frame.size(), 9u);
    numbers.push_back(frame[1]);
  }
  for (const auto& [k, number] :
       {std::pair{0, 0}, {1, 1}, {254, 254}, {255, 0}, {256, 0}, {257, 1}, {299, 43}}) {
    EXPECT_EQ(numbers[k], number) << "block " << k;
  }
  // A new job restarts the count; the resend of block 3 repeats its bytes under number 4.
  BYTE data[512];
  for (int k = 0; k < 4; ++k) {
    for (int i = 0; i < 512; ++i) data[i] = static_cast<BYTE>(k * 31 + i);
    m_link.SendBlock(data, 4000, k == 0 ? BlockKind::First : BlockKind::Next);
    ASSERT_EQ(Sent(520).size(), 520u);
  }
  m_link.SendBlock(nullptr, 0, BlockKind::Resend);
  const ByteVec resend = Sent(520);
  ASSERT_EQ(resend.size(), 520u);
  EXPECT_EQ(resend[1], 4);
  EXPECT_EQ(ByteVec(resend.begin() + 8, resend.end()), ByteVec(data, data + 512));
}

TEST_F(ReceiverLinkTest, EverySpeedIndexReachesTheLine) {
  for (int i = 0; i < SPEED_COUNT; ++i) {
#ifdef _WIN32
    // Wine sets a speed without a classic constant through a UART's custom divisor, which a
    // pseudo-terminal does not have; it reads back as 38400.
    if (SPEED_TABLE[i] == 14400) continue;
#endif
    ASSERT_TRUE(m_link.Reopen(0, i));
    EXPECT_EQ(m_peer.SlaveSpeed(), SPEED_TABLE[i]) << "index " << i;
  }
}

// ---- cutting replies out of received bytes (no line needed) ------------------------------

constexpr ParseResult kFrame = ParseResult::Frame;
constexpr ParseResult kZero = ParseResult::CodeZero;
constexpr ParseResult kNone = ParseResult::NoFrame;

TEST(ReceiverLinkParse, ChunksToFrames) {
  struct Step {
    ByteVec chunk;  // empty: a call with count 0
    ParseResult result;
    int code;
    int paramA;
  };
  const ByteVec hello = Frame(RSP_CONNECT), ready = Frame(RSP_READY);
  const std::string chatter = "\r\nLDR 2.0\r\n\xff";
  const ByteVec noise(chatter.begin(), chatter.end());
  const struct {
    const char* name;
    std::vector<Step> steps;
  } cases[] = {
      {"split 3+5",
       {{Head(hello, 3), kNone, 0, 0}, {ByteVec(hello.begin() + 3, hello.end()), kFrame, RSP_CONNECT, 0}}},
      {"two in one chunk",
       {{Frame(RSP_PROGRESS, 7) + Frame(RSP_DONE), kFrame, RSP_PROGRESS, 7},
        {{}, kFrame, RSP_DONE, 0},
        {{}, kNone, 0, 0}}},
      {"chatter in front", {{noise + hello, kFrame, RSP_CONNECT, 0}, {{}, kNone, 0, 0}}},
      {"chatter alone, then a frame", {{noise, kNone, 0, 0}, {ready, kFrame, RSP_READY, 0}}},
      {"code 0 does not block", {{Frame(0) + ready, kZero, 0, 0}, {{}, kFrame, RSP_READY, 0}}},
      {"marker at the end of chatter",
       {{noise + Bytes({0x01}) + hello, kZero, 0, 0}, {{}, kFrame, RSP_CONNECT, 0}}},
  };
  for (const auto& c : cases) {
    CReceiverLink link;
    int i = 0;
    for (const Step& step : c.steps) {
      SCOPED_TRACE(std::string(c.name) + ", step " + std::to_string(i++));
      BYTE code = 0, a = 0;
      const DWORD n = static_cast<DWORD>(step.chunk.size());
      const ParseResult result = link.ParseBytes(step.chunk.data(), n, code, a);
      EXPECT_EQ(result, step.result);
      if (result == kFrame) {
        EXPECT_EQ(std::pair(+code, +a), std::pair(step.code, step.paramA));
      }
    }
    EXPECT_EQ(link.HeldByteCount(), 0u) << c.name;
  }
}

TEST(ReceiverLinkParse, AFullChunkIsTakenInPieces) {
  CReceiverLink link;
  ByteVec chunk;
  for (int i = 0; i < 256; ++i) chunk = chunk + Frame(RSP_PROGRESS, static_cast<std::uint8_t>(i));
  ASSERT_EQ(chunk.size(), SERIAL_CHUNK_MAX);
  BYTE code = 0, a = 0;
  int taken = 0;
  for (ParseResult r = link.ParseBytes(chunk.data(), SERIAL_CHUNK_MAX, code, a); r == kFrame;
       r = link.ParseFrame(0, code, a)) {
    EXPECT_EQ(a, taken++);
  }
  EXPECT_EQ(taken, 256);
}

TEST(ReceiverLinkParse, RawDataBehindItsReplyIsHeldIntact) {
  CReceiverLink link;
  // Raw data may look like frames of any kind; none of it may be cut or lost.
  ByteVec raw(512);
  for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::uint8_t>(i % 3 == 0 ? 1 : i);
  const ByteVec chunk = Frame(RSP_RAW_DATA) + raw + Frame(RSP_COMM_ERROR);
  BYTE code = 0, a = 0;
  ASSERT_EQ(link.ParseBytes(chunk.data(), static_cast<DWORD>(chunk.size()), code, a), kFrame);
  EXPECT_EQ(code, RSP_RAW_DATA);
  EXPECT_EQ(link.HeldByteCount(), 520u);
  ByteVec got(512);
  ASSERT_EQ(link.TakeHeldBytes(got.data(), 300), 300u);
  ASSERT_EQ(link.TakeHeldBytes(got.data() + 300, 212), 212u);
  EXPECT_EQ(got, raw);
  ASSERT_EQ(link.ParseFrame(0, code, a), kFrame);
  EXPECT_EQ(code, RSP_COMM_ERROR);
  EXPECT_EQ(link.HeldByteCount(), 0u);
}

}  // namespace
