#include <gtest/gtest.h>

#include <thread>

#include "platform/os/settings.h"
#include "serial/serial_comm.h"
#include "tests/serial/serial_test_owner.h"
#include "tests/support/process_probe.h"
#include "tests/support/pty_peer.h"

namespace {

// Wine's serial driver runs threads of its own for a while after a port is used; there the
// reader's threads are left to the Linux runs of the same code.
#ifdef _WIN32
#define EXPECT_THREADS(n) static_cast<void>(n)
#else
#define EXPECT_THREADS(n) EXPECT_EQ(ThreadCount(), (n))
#endif

const auto kNever = [] { return false; };

class SerialCommTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_peer.Open());
    ASSERT_TRUE(m_peer.MapTo("COM1"));
    // A sanitizer may start a helper thread of its own with the first thread we start.
    std::thread([] {}).join();
    m_nThreadsBefore = ThreadCount();
  }

  // The order the link uses: the owner is known before the reader starts.
  void OpenPort() {
    m_comm.SetOwner(m_owner.m_hWnd);
    ASSERT_TRUE(m_comm.CreateEvents());
    ASSERT_TRUE(m_comm.OpenPort(1, 9600, 8, 0, 0)) << m_comm.LastOpenErrorText();
    ASSERT_TRUE(m_comm.IsConnected());
  }

  CTempFolder m_tmp;
  CPtyPeer m_peer;
  CSerialComm m_comm;
  CSerialTestOwner m_owner{m_comm};
  int m_nThreadsBefore = 0;
};

TEST(SerialCommNames, PortNumberToDeviceName) {
  const std::pair<BYTE, const char*> cases[] = {{0, "COM0"}, {1, "COM1"}, {10, "COM10"},
                                                {11, "\\\\.\\TELNET"}, {255, "\\\\.\\TELNET"}};
  for (const auto& [port, name] : cases) EXPECT_EQ(CSerialComm::DeviceNameFor(port), name) << +port;
}

TEST(SerialCommOpen, FailuresLeaveNoReaderAndSayWhy) {
  CTempFolder tmp;
  ASSERT_TRUE(MapComPort("COM7", "/nonexistent/ttyQ9"));
  ASSERT_TRUE(MapComPort("COM8", tmp.MakeFile("not-a-line", {'x'})));
  const struct {
    BYTE port;
    SerialOpenError kind;
    const char* textPart;
  } cases[] = {
#ifdef _WIN32
      // The names are the devices.
      {0, SerialOpenError::NoDevice, "COM0"},
      {7, SerialOpenError::NoDevice, "COM7"},
#else
      {0, SerialOpenError::NoDevice, "[Devices]"},
      {7, SerialOpenError::NoDevice, "/nonexistent/ttyQ9"},
#endif
      {8, SerialOpenError::NotSerial, "not a serial device"},
  };
  // The system may start a helper thread of its own at the first open of a device.
  CSerialComm().OpenPort(0, 9600, 8, 0, 0);
  const int threads = ThreadCount();
  for (const auto& c : cases) {
    CSerialComm comm;
    ASSERT_TRUE(comm.CreateEvents());
    EXPECT_FALSE(comm.OpenPort(c.port, 9600, 8, 0, 0)) << +c.port;
    EXPECT_FALSE(comm.IsConnected());
    EXPECT_EQ(comm.LastOpenError(), c.kind) << +c.port;
    EXPECT_NE(comm.LastOpenErrorText().find(c.textPart), std::string::npos) << comm.LastOpenErrorText();
    EXPECT_THREADS(threads);
    EXPECT_FALSE(comm.Write("x", 1));
    EXPECT_TRUE(comm.Close());
  }
}

TEST_F(SerialCommTest, BurstArrivesInOrderedChunksAfterEachAcknowledgement) {
  OpenPort();
  m_owner.m_bAutoAck = false;
  // Hold the reader on a first chunk so that the burst is queued whole behind it.
  ASSERT_TRUE(m_peer.Write(Bytes({0x55})));
  ASSERT_TRUE(PumpUntil([&] { return m_owner.m_chunks.size() == 1; }, 3000));
  ByteVec burst = Pattern(5000);
  for (auto& b : burst) b |= 1;  // no zero byte: the one after each chunk is the reader's
  ASSERT_TRUE(m_peer.Write(burst));

  PumpUntil(kNever, 200);
  EXPECT_EQ(m_owner.m_chunks.size(), 1u) << "delivered before the acknowledgement";
  EXPECT_EQ(m_comm.DeliveryCount(), 1u);

  m_owner.Acknowledge();
  m_owner.m_bAutoAck = true;
  ASSERT_TRUE(PumpUntil([&] { return m_owner.AllBytes().size() == burst.size() + 1; }, 5000));
  EXPECT_EQ(m_owner.AllBytes(), Bytes({0x55}) + burst);
  EXPECT_EQ(m_owner.m_chunks[1].size(), SERIAL_CHUNK_MAX);
  for (std::size_t i = 0; i < m_owner.m_chunks.size(); ++i) {
    EXPECT_LE(m_owner.m_chunks[i].size(), SERIAL_CHUNK_MAX);
    EXPECT_EQ(m_owner.m_pendingSeen[i], m_owner.m_chunks[i].size());
    EXPECT_TRUE(m_owner.m_zeroAfter[i]) << "chunk " << i;
  }
}

TEST_F(SerialCommTest, CloseEndsTheReaderWhetherItWaitsForInputOrForTheAcknowledgement) {
  OpenPort();
  EXPECT_THREADS(m_nThreadsBefore + 1);
  EXPECT_TRUE(m_comm.Close());
  EXPECT_FALSE(m_comm.IsConnected());
  EXPECT_EQ(m_comm.LastReaderExitCode(), CSerialComm::READER_EXIT_NORMAL);
  EXPECT_THREADS(m_nThreadsBefore);
  // Again, and without new events: nothing is released twice.
  EXPECT_TRUE(m_comm.Close());
  EXPECT_TRUE(m_comm.Close());

  OpenPort();
  m_owner.m_bAutoAck = false;
  ASSERT_TRUE(m_peer.Write(Bytes({1, 2, 3})));
  ASSERT_TRUE(PumpUntil([&] { return m_owner.m_chunks.size() == 1; }, 3000));
  EXPECT_TRUE(m_comm.Close());
  EXPECT_EQ(m_comm.LastReaderExitCode(), CSerialComm::READER_EXIT_NORMAL);
  EXPECT_THREADS(m_nThreadsBefore);
  EXPECT_EQ(m_owner.m_nLost, 0);
}

TEST_F(SerialCommTest, ReopenFromInsideADeliveryLeavesOneReaderThatWaitsForTheAcknowledgement) {
  OpenPort();
  m_owner.m_bAutoAck = false;
  ByteVec mailboxAfterReopen;
  DWORD pendingAfterReopen = 0;
  m_owner.m_onData = [&](DWORD n) {
    if (m_owner.m_chunks.size() == 1) {
      // What a speed switch does while the owner still holds the chunk.
      m_comm.Close();
      Sleep(100);
      m_comm.CreateEvents();
      m_comm.SetOwner(m_owner.m_hWnd);
      ASSERT_TRUE(m_comm.OpenPort(1, 115200, 8, 0, 0));
      ASSERT_TRUE(m_peer.Write(Bytes({'X', 'Y', 'Z'})));
      Sleep(150);
      mailboxAfterReopen.assign(m_comm.DeliveryBytes(), m_comm.DeliveryBytes() + n);
      pendingAfterReopen = m_comm.DeliveryCount();
    }
    m_owner.Acknowledge();
  };
  ASSERT_TRUE(m_peer.Write(Bytes({'a', 'b', 'c', 'd'})));
  ASSERT_TRUE(PumpUntil([&] { return m_owner.AllBytes().size() >= 7; }, 5000));
  // The new reader kept its hands off the mailbox until the owner was done with it.
  EXPECT_EQ(mailboxAfterReopen, Bytes({'a', 'b', 'c', 'd'}));
  EXPECT_EQ(pendingAfterReopen, 4u);
  EXPECT_EQ(m_owner.AllBytes(), Bytes({'a', 'b', 'c', 'd', 'X', 'Y', 'Z'}));
  EXPECT_THREADS(m_nThreadsBefore + 1);
  EXPECT_EQ(m_peer.SlaveSpeed(), 115200u);
  m_comm.Close();
  EXPECT_THREADS(m_nThreadsBefore);
}

TEST_F(SerialCommTest, HangUpEndsTheReaderWithoutSpinningAndTellsTheOwnerOnce) {
  OpenPort();
  ASSERT_TRUE(m_peer.Write(Bytes({'t', 'a', 'i', 'l'})));  // still on the line when it goes
  m_peer.Close();
  ASSERT_TRUE(PumpUntil([&] { return m_owner.m_nLost > 0; }, 3000));
  EXPECT_FALSE(m_comm.IsConnected());
  const double cpuBefore = ProcessCpuSeconds();
  PumpUntil(kNever, 400);
  // A reader that kept polling a dead line would burn the whole interval.
  EXPECT_LT(ProcessCpuSeconds() - cpuBefore, 0.2);
  EXPECT_EQ(m_comm.LastReaderExitCode(), CSerialComm::READER_EXIT_DEVICE_GONE);
  EXPECT_THREADS(m_nThreadsBefore);
  EXPECT_FALSE(m_comm.Write("x", 1));
  EXPECT_TRUE(m_comm.Close());
  PumpUntil(kNever, 50);
  EXPECT_EQ(m_owner.m_nLost, 1);
}

TEST_F(SerialCommTest, AFailedPostDoesNotStopTheReader) {
  // No owner at all, then one that is gone: both chunks are lost, the reader is not.
  m_comm.SetOwner(nullptr);
  ASSERT_TRUE(m_comm.CreateEvents());
  ASSERT_TRUE(m_comm.OpenPort(1, 9600, 8, 0, 0));
  ASSERT_TRUE(m_peer.Write(Bytes({'l', 'o', 's', 't'})));
  ASSERT_TRUE(m_peer.WaitDrained(3000));
  {
    CSerialTestOwner gone(m_comm);
    m_comm.SetOwner(gone.m_hWnd);
  }
  ASSERT_TRUE(m_peer.Write(Bytes({'g', 'o', 'n', 'e'})));
  ASSERT_TRUE(m_peer.WaitDrained(3000));
  Sleep(50);
  EXPECT_EQ(m_comm.DeliveryCount(), 0u);
  m_comm.SetOwner(m_owner.m_hWnd);
  ASSERT_TRUE(m_peer.Write(Bytes({'o', 'k'})));
  ASSERT_TRUE(PumpUntil([&] { return !m_owner.m_chunks.empty(); }, 3000));
  EXPECT_EQ(m_owner.AllBytes(), Bytes({'o', 'k'}));
}

}  // namespace
