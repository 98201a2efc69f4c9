// The serial device against a real pseudo-terminal: the pty's master end plays the line's
// far side, its slave path is mapped to a COM name through the settings file.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "platform/os/pty.h"
#include "platform/os/serial_device.h"
#include "platform/os/settings.h"
#include "tests/support/test_files.h"

namespace {

// WaitEvent on another thread, woken by force if it has not returned after a long while, so
// a fault fails the test instead of hanging it.
SerialWait WaitBounded(CSerialDevice& device) {
  auto result = std::async(std::launch::async, [&device] { return device.WaitEvent(); });
  if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "WaitEvent did not return";
    device.Wake();
  }
  return result.get();
}

class SerialDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_pty.Open());
    ASSERT_TRUE(WriteProfileString("Devices", "COM3", m_pty.SlavePath()));
  }

  CTempFolder m_tmp;
  CPseudoTerminal m_pty;
};

TEST(SerialDeviceMap, NamesMapThroughSettingsOrDefault) {
  CTempFolder tmp;
  ASSERT_TRUE(WriteProfileString("devices", "com3", "/tmp/a port"));
  ASSERT_TRUE(WriteProfileString("Devices", "COM10", "/dev/ttyUSB0"));
  const std::pair<const char*, const char*> cases[] = {
      {"COM3", "/tmp/a port"}, {"COM1", "/dev/ttyS0"}, {"COM9", "/dev/ttyS8"}, {"COM10", "/dev/ttyUSB0"},
      {"COM0", ""},            {"\\\\.\\TELNET", ""},  {"LPT1", ""},          {"COM", ""},
  };
  for (const auto& [name, path] : cases) EXPECT_EQ(CSerialDevice::DevicePathFor(name), path) << name;
  ASSERT_TRUE(WriteProfileString("Devices", "TELNET", "/dev/pts/99"));
  EXPECT_EQ(CSerialDevice::DevicePathFor("\\\\.\\TELNET"), "/dev/pts/99");
}

TEST(SerialDeviceOpen, FailuresSayWhy) {
  CTempFolder tmp;
  ASSERT_TRUE(WriteProfileString("Devices", "COM4", "/nonexistent/ttyX"));
  ASSERT_TRUE(WriteProfileString("Devices", "COM5", "/dev/null"));
  ASSERT_TRUE(WriteProfileString("Devices", "COM6", tmp.MakeFile("plain file", {'x'})));
  ASSERT_TRUE(WriteProfileString("Devices", "COM7", tmp.Dir()));
  const std::pair<const char*, SerialOpenError> cases[] = {
      {"COM4", SerialOpenError::NoDevice},  {"COM5", SerialOpenError::NotSerial},
      {"COM6", SerialOpenError::NotSerial}, {"COM7", SerialOpenError::NotSerial},
      {"COM0", SerialOpenError::NoDevice},  {"\\\\.\\TELNET", SerialOpenError::NoDevice},
  };
  for (const auto& [name, error] : cases) {
    CSerialDevice device;
    EXPECT_FALSE(device.Open(name)) << name;
    EXPECT_EQ(device.LastOpenError(), error) << name;
    EXPECT_FALSE(device.IsOpen()) << name;
    EXPECT_FALSE(device.LastErrorText().empty()) << name;
  }
}

TEST_F(SerialDeviceTest, RawModePassesEveryByteBothWaysAndALargeWriteWhole) {
  ASSERT_TRUE(m_pty.SetSlaveCooked());
  CSerialDevice device;
  ASSERT_TRUE(device.Open("COM3"));
  ASSERT_TRUE(device.Configure(230400, 8, 0, 0));
  ByteVec all(256);
  for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  // Far more than the line holds, written while another thread waits for input.
  const ByteVec data = all + Pattern(300000, 7);
  auto waiter = std::async(std::launch::async, [&device] { return device.WaitEvent(); });
  auto reader = std::async(std::launch::async, [this, &data] {
    ByteVec got(data.size());
    got.resize(m_pty.ReadExact(got.data(), got.size(), 10000));
    return got;
  });
  EXPECT_TRUE(device.WriteAll(data.data(), data.size()));
  EXPECT_TRUE(reader.get() == data);
  device.Wake();
  EXPECT_EQ(waiter.get(), SerialWait::Woken);

  ASSERT_TRUE(m_pty.Write(all.data(), all.size()));
  ByteVec got;
  while (got.size() < all.size() && WaitBounded(device) == SerialWait::Input) {
    unsigned char buffer[512];
    const int count = device.Read(buffer, sizeof buffer);
    if (count < 0) break;
    got.insert(got.end(), buffer, buffer + count);
  }
  EXPECT_EQ(got, all);
  unsigned char echo = 0;
  EXPECT_EQ(m_pty.Read(&echo, 1, 200), 0) << "the line does not echo";
}

TEST_F(SerialDeviceTest, OpenIsExclusiveUntilClosed) {
  CSerialDevice first;
  CSerialDevice second;
  ASSERT_TRUE(first.Open("COM3"));
  EXPECT_FALSE(second.Open("COM3"));
  EXPECT_EQ(second.LastOpenError(), SerialOpenError::Busy);
  first.Close();
  first.Close();
  ASSERT_TRUE(second.Open("COM3"));
  second.Close();
  EXPECT_TRUE(first.Open("COM3"));
}

// A pty has no latency setting: the request is refused, and the open neither fails nor keeps
// the refusal as its error; the line works, and a reopen after the close is as good.
TEST_F(SerialDeviceTest, LowLatencyRefusedQuietlyByAPty) {
  for (int round = 0; round < 2; ++round) {
    CSerialDevice device;
    ASSERT_TRUE(device.Open("COM3")) << device.LastErrorText();
    EXPECT_FALSE(device.LowLatencySet());
    EXPECT_EQ(device.LastError(), 0) << device.LastErrorText();
    EXPECT_EQ(device.LastOpenError(), SerialOpenError::None);
    ASSERT_TRUE(device.Configure(9600, 8, 0, 0));
    const unsigned char byte = static_cast<unsigned char>(0xA5 + round);
    ASSERT_TRUE(device.WriteAll(&byte, 1));
    unsigned char got = 0;
    ASSERT_EQ(m_pty.Read(&got, 1, 5000), 1);
    EXPECT_EQ(got, byte);
    device.Close();
    EXPECT_FALSE(device.LowLatencySet());
  }
}

TEST_F(SerialDeviceTest, WakeEndsAWaitAndIsNotMissedAndPurgeEmpties) {
  CSerialDevice device;
  ASSERT_TRUE(device.Open("COM3"));
  ASSERT_TRUE(device.Configure(9600, 8, 0, 0));
  auto waiter = std::async(std::launch::async, [&device] { return device.WaitEvent(); });
  device.Wake();
  ASSERT_EQ(waiter.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(waiter.get(), SerialWait::Woken);
  // A wake given before the wait is kept for it, and used up by it.
  device.Wake();
  EXPECT_EQ(device.WaitEvent(), SerialWait::Woken);
  const unsigned char byte = 0x20;
  ASSERT_TRUE(m_pty.Write(&byte, 1));
  EXPECT_EQ(WaitBounded(device), SerialWait::Input);
  EXPECT_EQ(device.BytesQueued(), 1);
  device.Purge();
  EXPECT_EQ(device.BytesQueued(), 0);
}

}  // namespace
