// The serial device against a real pseudo-terminal: the pty's master end plays the line's
// far side, its slave path is mapped to a COM name through the settings file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/pty.h"
#include "platform/serial_device.h"
#include "platform/settings.h"

namespace {

namespace fs = std::filesystem;

// A settings folder of the test's own, so the user's file is never touched.
class CTempConfig {
 public:
  CTempConfig() {
    std::random_device random;
    m_dir = fs::temp_directory_path() / ("quorin-serial-" + std::to_string(random()));
    fs::create_directories(m_dir);
    setenv("XDG_CONFIG_HOME", m_dir.c_str(), 1);
    SetProfileProgramName("quorin");
  }
  ~CTempConfig() {
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
  }
  const fs::path& Dir() const { return m_dir; }

 private:
  fs::path m_dir;
};

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

std::vector<unsigned char> AllByteValues() {
  std::vector<unsigned char> bytes(256);
  for (int i = 0; i < 256; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i);
  return bytes;
}

// Collects n bytes on the device side, waiting for each burst.
std::vector<unsigned char> ReadFromDevice(CSerialDevice& device, std::size_t n) {
  std::vector<unsigned char> got;
  while (got.size() < n) {
    if (WaitBounded(device) != SerialWait::Input) break;
    unsigned char buffer[512];
    const int count = device.Read(buffer, sizeof buffer);
    if (count < 0) break;
    got.insert(got.end(), buffer, buffer + count);
  }
  return got;
}

class SerialDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_pty.Open());
    ASSERT_TRUE(WriteProfileString("Devices", "COM3", m_pty.SlavePath()));
  }

  CTempConfig m_config;
  CPseudoTerminal m_pty;
};

TEST(SerialDeviceMap, NamesMapThroughSettingsOrDefault) {
  CTempConfig config;
  ASSERT_TRUE(WriteProfileString("devices", "com3", "/tmp/a port"));
  ASSERT_TRUE(WriteProfileString("Devices", "COM10", "/dev/ttyUSB0"));
  struct Case {
    const char* name;
    const char* path;
  } cases[] = {
      {"COM3", "/tmp/a port"}, {"COM1", "/dev/ttyS0"}, {"COM2", "/dev/ttyS1"},
      {"COM9", "/dev/ttyS8"},  {"COM10", "/dev/ttyUSB0"}, {"COM0", ""},
      {"\\\\.\\TELNET", ""},   {"LPT1", ""},            {"COM", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CSerialDevice::DevicePathFor(c.name), c.path) << c.name;
  }
  ASSERT_TRUE(WriteProfileString("Devices", "TELNET", "/dev/pts/99"));
  EXPECT_EQ(CSerialDevice::DevicePathFor("\\\\.\\TELNET"), "/dev/pts/99");
}

TEST(SerialDeviceOpen, FailuresSayWhy) {
  CTempConfig config;
  const fs::path plain = config.Dir() / "plain file";
  std::ofstream(plain) << "not a terminal";
  ASSERT_TRUE(WriteProfileString("Devices", "COM4", "/nonexistent/ttyX"));
  ASSERT_TRUE(WriteProfileString("Devices", "COM5", "/dev/null"));
  ASSERT_TRUE(WriteProfileString("Devices", "COM6", plain.string()));
  ASSERT_TRUE(WriteProfileString("Devices", "COM7", config.Dir().string()));
  struct Case {
    const char* name;
    SerialOpenError error;
  } cases[] = {
      {"COM4", SerialOpenError::NoDevice},  {"COM5", SerialOpenError::NotSerial},
      {"COM6", SerialOpenError::NotSerial}, {"COM7", SerialOpenError::NotSerial},
      {"COM0", SerialOpenError::NoDevice},  {"\\\\.\\TELNET", SerialOpenError::NoDevice},
  };
  for (const Case& c : cases) {
    CSerialDevice device;
    EXPECT_FALSE(device.Open(c.name)) << c.name;
    EXPECT_EQ(device.LastOpenError(), c.error) << c.name;
    EXPECT_FALSE(device.IsOpen()) << c.name;
    EXPECT_FALSE(device.LastErrorText().empty()) << c.name;
  }
}

TEST_F(SerialDeviceTest, EverySpeedReachesTheLine) {
  CSerialDevice device;
  ASSERT_TRUE(device.Open("COM3"));
  EXPECT_EQ(device.Path(), m_pty.SlavePath());
  for (std::uint32_t baud : {9600u, 14400u, 19200u, 38400u, 57600u, 115200u, 230400u, 9600u}) {
    ASSERT_TRUE(device.Configure(baud, 8, 0, 0)) << baud;
    EXPECT_EQ(m_pty.SlaveSpeed(), baud);
  }
}

TEST_F(SerialDeviceTest, RawModePassesEveryByteBothWays) {
  ASSERT_TRUE(m_pty.SetSlaveCooked());
  CSerialDevice device;
  ASSERT_TRUE(device.Open("COM3"));
  ASSERT_TRUE(device.Configure(115200, 8, 0, 0));
  const std::vector<unsigned char> all = AllByteValues();

  ASSERT_TRUE(device.WriteAll(all.data(), all.size()));
  std::vector<unsigned char> atMaster(all.size() + 16);
  ASSERT_EQ(m_pty.ReadExact(atMaster.data(), all.size(), 5000), all.size());
  atMaster.resize(all.size());
  EXPECT_EQ(atMaster, all);

  ASSERT_TRUE(m_pty.Write(all.data(), all.size()));
  EXPECT_EQ(ReadFromDevice(device, all.size()), all);
  // Nothing came back: the line does not echo.
  unsigned char echo = 0;
  EXPECT_EQ(m_pty.Read(&echo, 1, 200), 0);
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

TEST_F(SerialDeviceTest, CloseReleasesAWaiterAndEndsUse) {
  CSerialDevice device;
  ASSERT_TRUE(device.Open("COM3"));
  auto waiter = std::async(std::launch::async, [&device] { return device.WaitEvent(); });
  device.Close();
  ASSERT_EQ(waiter.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(waiter.get(), SerialWait::Woken);
  unsigned char buffer[4];
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(device.Read(buffer, sizeof buffer), -1);
  EXPECT_FALSE(device.WriteAll(buffer, sizeof buffer));
  EXPECT_EQ(device.BytesQueued(), -1);
}

TEST_F(SerialDeviceTest, MasterGoneIsAHangUpNotASpin) {
  CSerialDevice device;
  ASSERT_TRUE(device.Open("COM3"));
  ASSERT_TRUE(device.Configure(9600, 8, 0, 0));
  // Bytes the line still held when it hung up are gone with it.
  const char tail[] = "tail";
  ASSERT_TRUE(m_pty.Write(tail, 4));
  ASSERT_EQ(WaitBounded(device), SerialWait::Input);
  m_pty.Close();
  EXPECT_EQ(WaitBounded(device), SerialWait::HangUp);
  EXPECT_EQ(WaitBounded(device), SerialWait::HangUp);
  unsigned char buffer[8];
  EXPECT_EQ(device.Read(buffer, sizeof buffer), -1);
  const unsigned char byte = 1;
  EXPECT_FALSE(device.WriteAll(&byte, 1));
}

TEST_F(SerialDeviceTest, LargeWriteCompletesWhileAnotherThreadWaits) {
  CSerialDevice device;
  ASSERT_TRUE(device.Open("COM3"));
  ASSERT_TRUE(device.Configure(230400, 8, 0, 0));
  std::vector<unsigned char> data(300000);
  std::mt19937 random(7);
  for (unsigned char& b : data) b = static_cast<unsigned char>(random());

  auto waiter = std::async(std::launch::async, [&device] { return device.WaitEvent(); });
  auto reader = std::async(std::launch::async, [this, &data] {
    std::vector<unsigned char> got(data.size());
    got.resize(m_pty.ReadExact(got.data(), got.size(), 10000));
    return got;
  });
  EXPECT_TRUE(device.WriteAll(data.data(), data.size()));
  EXPECT_EQ(reader.get(), data);
  device.Wake();
  EXPECT_EQ(waiter.get(), SerialWait::Woken);
}

}  // namespace
