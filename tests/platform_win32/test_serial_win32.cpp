// The serial device on the Win32 communications API. Without a line: names, the kinds of
// failure to open, a closed device. On a line (COM1 linked to a pseudo-terminal that the line
// broker lends; the test plays its far end): speeds, both directions, waits, wakes, Close
// against a waiting reader, busy, the line's hang-up.
// No <windows.h> here: the layer's NOPARITY and friends are written in full.
#define QUORIN_NO_LAYER_IMPORT
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "platform/os/serial_device.h"
#include "tests/platform_win32/os_test_support.h"
#include "tests/support/pty_peer.h"

namespace {

using platform::CSerialDevice;
using platform::SerialOpenError;
using platform::SerialWait;

TEST(SerialWin32, ComNamesAreTheDevices) {
  const std::pair<const char*, const char*> cases[] = {
      {"COM1", "\\\\.\\COM1"},   {"com3", "\\\\.\\COM3"},     {"COM10", "\\\\.\\COM10"},
      {"COM255", "\\\\.\\COM255"}, {"\\\\.\\COM12", "\\\\.\\COM12"}, {"COM007", "\\\\.\\COM7"},
      {"\\\\.\\TELNET", "\\\\.\\TELNET"}, {"telnet", "\\\\.\\TELNET"},
      {"", ""}, {"COM", ""}, {"COMx", ""}, {"COM1x", ""}, {"COM1234", ""}, {"LPT1", ""}, {"TELNET2", ""},
      {"/dev/ttyS0", ""},
  };
  for (const auto& [name, path] : cases) EXPECT_EQ(CSerialDevice::DevicePathFor(name), path) << name;
}

TEST(SerialWin32, OpeningFailuresSayWhy) {
  ostest::CTempDir tmp;
  const std::wstring plain = tmp.Path(L"plain.txt");
  ASSERT_TRUE(ostest::WriteBytes(plain, "echo"));
  const struct {
    std::string name;
    bool bPath;
    SerialOpenError error;
  } cases[] = {
      {"COM199", false, SerialOpenError::NoDevice},  // no such port
      {"LPT1", false, SerialOpenError::NoDevice},    // no COM name
      {"COMx", false, SerialOpenError::NoDevice},
      {ostest::Utf8(plain), true, SerialOpenError::NotSerial},  // a file is no serial line
      {"NUL", true, SerialOpenError::NotSerial},                // nor another device
      {ostest::Utf8(tmp.Dir()), true, SerialOpenError::NotSerial},
      {ostest::Utf8(tmp.Path(L"missing")), true, SerialOpenError::NoDevice},
  };
  for (const auto& c : cases) {
    CSerialDevice device;
    const platform::BOOL opened = c.bPath ? device.OpenPath(c.name) : device.Open(c.name);
    EXPECT_FALSE(opened) << c.name;
    EXPECT_FALSE(device.IsOpen()) << c.name;
    EXPECT_EQ(device.LastOpenError(), c.error) << c.name;
    EXPECT_NE(device.LastError(), 0) << c.name;
    EXPECT_FALSE(device.LastErrorText().empty()) << c.name;
  }
  // The text is the system's, on one line.
  CSerialDevice device;
  device.Open("COM199");
  EXPECT_EQ(device.LastErrorText().find('\n'), std::string::npos) << device.LastErrorText();
}

TEST(SerialWin32, AClosedDeviceFailsEveryCallQuietly) {
  CSerialDevice device;
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(device.WaitEvent(), SerialWait::Woken);
  EXPECT_EQ(device.BytesQueued(), -1);
  char buffer[4];
  EXPECT_EQ(device.Read(buffer, sizeof buffer), -1);
  EXPECT_FALSE(device.WriteAll("x", 1));
  EXPECT_FALSE(device.Drain());
  EXPECT_FALSE(device.Configure(9600, 8, platform::ONESTOPBIT, platform::NOPARITY));
  device.Purge();
  device.DropDtr();
  device.Wake();
  device.Close();
  device.Close();
}

// WaitEvent, woken by force when it has not returned within ms, so a silent line fails the
// test instead of hanging it.
SerialWait WaitBounded(CSerialDevice& device, unsigned ms = 10000) {
  auto result = std::async(std::launch::async, [&device] { return device.WaitEvent(); });
  if (result.wait_for(std::chrono::milliseconds(ms)) != std::future_status::ready) {
    ADD_FAILURE() << "WaitEvent did not return within " << ms << " ms";
    device.Wake();
  }
  return result.get();
}

class SerialWin32Line : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!m_peer.Open()) {
      GTEST_SKIP() << "no line: the line broker (QUORIN_LINE_BROKER) lends none; "
                      "scripts/test-windows starts it";
    }
    ASSERT_TRUE(m_peer.MapTo("COM1"));
    ASSERT_TRUE(m_device.Open("COM1")) << m_device.LastErrorText();
    ASSERT_TRUE(m_device.Configure(115200, 8, platform::ONESTOPBIT, platform::NOPARITY))
        << m_device.LastErrorText();
  }

  void Send(const std::string& text) { ASSERT_TRUE(m_peer.Write(text.data(), text.size())); }
  std::string Sent(std::size_t n) {
    const ByteVec bytes = m_peer.ReadBytes(n, 5000);
    return std::string(bytes.begin(), bytes.end());
  }
  void Put(const std::string& text) { ASSERT_TRUE(m_device.WriteAll(text.data(), text.size())); }

  // Reads from the device, as the program's reader does, until n bytes came.
  std::string Receive(std::size_t n) {
    std::string got;
    while (got.size() < n) {
      const SerialWait what = WaitBounded(m_device);
      if (what != SerialWait::Input) {
        ADD_FAILURE() << "wait ended with " << static_cast<int>(what) << " after " << got.size() << " bytes";
        break;
      }
      char buffer[700];
      const int nRead = m_device.Read(buffer, sizeof buffer);
      if (nRead < 0) {
        ADD_FAILURE() << "read failed: " << m_device.LastErrorText();
        break;
      }
      got.append(buffer, static_cast<std::size_t>(nRead));
    }
    return got;
  }

  CPtyPeer m_peer;
  CSerialDevice m_device;
};

TEST_F(SerialWin32Line, SpeedsReachTheLineAndBytesGoBothWays) {
  EXPECT_EQ(m_device.Path(), "\\\\.\\COM1");
  EXPECT_EQ(m_peer.SlaveSpeed(), 115200u);
  ASSERT_TRUE(m_device.Configure(9600, 8, platform::ONESTOPBIT, platform::NOPARITY));
  EXPECT_EQ(m_peer.SlaveSpeed(), 9600u);
  EXPECT_FALSE(m_device.Configure(0, 8, platform::ONESTOPBIT, platform::NOPARITY));
  EXPECT_FALSE(m_device.Configure(9600, 9, platform::ONESTOPBIT, platform::NOPARITY));
  EXPECT_FALSE(m_device.Configure(9600, 5, platform::TWOSTOPBITS, platform::NOPARITY));
  ASSERT_TRUE(m_device.Configure(115200, 8, platform::ONESTOPBIT, platform::NOPARITY));

  Put("caf\xC3\xA9 and more\n");
  EXPECT_EQ(Sent(15), "caf\xC3\xA9 and more\n");
  EXPECT_TRUE(m_device.Drain());
  EXPECT_EQ(m_device.BytesQueued(), 0);

  // Every byte value, and more than the driver's queue, read as it comes; every byte in its place.
  std::string burst(20000, '\0');
  for (std::size_t i = 0; i < burst.size(); ++i) burst[i] = static_cast<char>(i * 7 + 1);
  std::thread sender([&] {
    for (std::size_t at = 0; at < burst.size(); at += 2000) Send(burst.substr(at, 2000));
  });
  const std::string got = Receive(burst.size());
  sender.join();
  ASSERT_EQ(got.size(), burst.size());
  for (std::size_t i = 0; i < burst.size(); ++i) ASSERT_EQ(got[i], burst[i]) << i;
  char nothing[4];
  EXPECT_EQ(m_device.Read(nothing, sizeof nothing), 0);  // nothing queued: at once
}

TEST_F(SerialWin32Line, AWaitLastsUntilInputOrAWake) {
  // A Wake before the wait is not lost; it is reported once.
  m_device.Wake();
  EXPECT_EQ(m_device.WaitEvent(), SerialWait::Woken);

  const auto start = std::chrono::steady_clock::now();
  std::thread later([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    Send("late\n");
  });
  EXPECT_EQ(WaitBounded(m_device, 5000), SerialWait::Input);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
  later.join();
  EXPECT_EQ(Receive(5), "late\n");

  // Bytes that arrive while nobody waits are there for the next wait and read.
  Send("queued\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(m_device.BytesQueued(), 7);
  EXPECT_EQ(Receive(7), "queued\n");

  // Another thread's Wake ends a wait that has nothing to wait for.
  std::thread waker([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    m_device.Wake();
  });
  EXPECT_EQ(m_device.WaitEvent(), SerialWait::Woken);
  waker.join();

  // A write while the reader waits goes out at once.
  std::atomic<int> waited{-1};
  std::thread reader([this, &waited] { waited = static_cast<int>(m_device.WaitEvent()); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  Put("while waiting\n");
  EXPECT_EQ(Sent(14), "while waiting\n");
  Send("!");
  reader.join();
  EXPECT_EQ(waited.load(), static_cast<int>(SerialWait::Input));
  EXPECT_EQ(Receive(1), "!");

  // A purge drops what is queued.
  Send("dropped\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  m_device.Purge();
  EXPECT_EQ(m_device.BytesQueued(), 0);
  Send("kept\n");
  EXPECT_EQ(Receive(5), "kept\n");
}

TEST_F(SerialWin32Line, ThePortIsHeldUntilCloseWhichEndsAWaitingReader) {
  CSerialDevice second;
  EXPECT_FALSE(second.Open("COM1"));
  EXPECT_EQ(second.LastOpenError(), SerialOpenError::Busy);

  std::atomic<int> waited{-1};
  std::thread reader([this, &waited] { waited = static_cast<int>(m_device.WaitEvent()); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  m_device.Close();  // returns once the reader has left the device
  EXPECT_EQ(waited.load(), static_cast<int>(SerialWait::Woken));
  reader.join();
  EXPECT_FALSE(m_device.IsOpen());
  EXPECT_EQ(m_device.WaitEvent(), SerialWait::Woken);

  ASSERT_TRUE(second.Open("COM1")) << second.LastErrorText();
  ASSERT_TRUE(second.Configure(57600, 8, platform::ONESTOPBIT, platform::NOPARITY));
  second.DropDtr();  // a pseudo-terminal has no DTR: no failure either
  EXPECT_EQ(m_peer.SlaveSpeed(), 57600u);
  ASSERT_TRUE(second.WriteAll("ok", 2));
  EXPECT_EQ(Sent(2), "ok");
}

TEST_F(SerialWin32Line, TheOtherEndClosingIsAHangUp) {
  Send("before\n");
  EXPECT_EQ(Receive(7), "before\n");
  m_peer.Close();
  EXPECT_EQ(WaitBounded(m_device), SerialWait::HangUp);
  char buffer[16];
  EXPECT_EQ(m_device.Read(buffer, sizeof buffer), -1);
  EXPECT_EQ(m_device.BytesQueued(), -1);
  EXPECT_FALSE(m_device.WriteAll("x", 1));
  EXPECT_EQ(m_device.WaitEvent(), SerialWait::HangUp);
  m_device.Close();
}

}  // namespace
