// The serial device on the Win32 communications API. Without a line: names, the kinds of
// failure to open, a closed device. With a line (QUORIN_WIN32_TEST_PORT names a COM port whose
// other end is tests/platform_win32/serial_peer.py; serial_check.py sets that up under Wine):
// speeds, input, waits, wakes, Close against a waiting reader, busy, the line's hang-up.
// No <windows.h> here: the layer's NOPARITY and friends are written in full.
#define QUORIN_NO_LAYER_IMPORT
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "platform/os/serial_device.h"
#include "tests/platform_win32/os_test_support.h"

namespace {

using platform::CSerialDevice;
using platform::SerialOpenError;
using platform::SerialWait;
using Clock = std::chrono::steady_clock;

TEST(SerialWin32, ComNamesAreTheDevices) {
  EXPECT_EQ(CSerialDevice::DevicePathFor("COM1"), "\\\\.\\COM1");
  EXPECT_EQ(CSerialDevice::DevicePathFor("com3"), "\\\\.\\COM3");
  EXPECT_EQ(CSerialDevice::DevicePathFor("COM10"), "\\\\.\\COM10");
  EXPECT_EQ(CSerialDevice::DevicePathFor("COM255"), "\\\\.\\COM255");
  EXPECT_EQ(CSerialDevice::DevicePathFor("\\\\.\\COM12"), "\\\\.\\COM12");
  EXPECT_EQ(CSerialDevice::DevicePathFor("COM007"), "\\\\.\\COM7");
  EXPECT_EQ(CSerialDevice::DevicePathFor("\\\\.\\TELNET"), "\\\\.\\TELNET");
  EXPECT_EQ(CSerialDevice::DevicePathFor("telnet"), "\\\\.\\TELNET");
  for (const char* none :
       {"", "COM", "COMx", "COM1x", "COM1234", "LPT1", "TELNET2", "/dev/ttyS0"}) {
    EXPECT_EQ(CSerialDevice::DevicePathFor(none), "") << none;
  }
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

// Calls Wake when a wait takes longer than it should, so a silent peer fails the test
// instead of hanging it.
class CWatchdog {
 public:
  CWatchdog(CSerialDevice& device, unsigned ms)
      : m_thread([this, &device, ms] {
          std::unique_lock<std::mutex> lock(m_mutex);
          if (!m_done.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_bDone; })) {
            m_bFired = true;
            device.Wake();
          }
        }) {}
  ~CWatchdog() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_bDone = true;
    }
    m_done.notify_all();
    m_thread.join();
  }
  bool Fired() const { return m_bFired; }

 private:
  std::mutex m_mutex;
  std::condition_variable m_done;
  bool m_bDone = false;
  std::atomic<bool> m_bFired{false};
  std::thread m_thread;
};

class SerialWin32Line : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring port = ostest::GetEnv(L"QUORIN_WIN32_TEST_PORT");
    if (port.empty()) {
      GTEST_SKIP() << "no line: QUORIN_WIN32_TEST_PORT names no COM port with "
                      "tests/platform_win32/serial_peer.py on its other end "
                      "(tests/platform_win32/serial_check.py sets one up under Wine)";
    }
    m_port = ostest::Utf8(port);
    ASSERT_TRUE(m_device.Open(m_port)) << m_device.LastErrorText();
    ASSERT_TRUE(m_device.Configure(115200, 8, platform::ONESTOPBIT, platform::NOPARITY))
        << m_device.LastErrorText();
  }

  void Send(const std::string& text) { ASSERT_TRUE(m_device.WriteAll(text.data(), text.size())); }

  // Reads until the text ends with the terminator (or holds n bytes when n > 0).
  std::string Receive(char terminator, std::size_t n = 0, unsigned ms = 10000) {
    std::string got;
    CWatchdog watchdog(m_device, ms);
    while (n > 0 ? got.size() < n : (got.empty() || got.back() != terminator)) {
      const SerialWait what = m_device.WaitEvent();
      if (what == SerialWait::Woken && watchdog.Fired()) {
        ADD_FAILURE() << "nothing more after " << got.size() << " bytes: " << got.substr(0, 80);
        break;
      }
      if (what != SerialWait::Input) {
        ADD_FAILURE() << "wait ended with " << static_cast<int>(what);
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

  std::string m_port;
  CSerialDevice m_device;
};

TEST_F(SerialWin32Line, SpeedsReachTheLineAndBytesGoBothWays) {
  EXPECT_EQ(m_device.Path(), "\\\\.\\" + m_port);
  Send("SPEED\n");
  EXPECT_EQ(Receive('\n'), "SPEED 115200\n");
  ASSERT_TRUE(m_device.Configure(9600, 8, platform::ONESTOPBIT, platform::NOPARITY));
  Send("SPEED\n");
  EXPECT_EQ(Receive('\n'), "SPEED 9600\n");
  EXPECT_FALSE(m_device.Configure(0, 8, platform::ONESTOPBIT, platform::NOPARITY));
  EXPECT_FALSE(m_device.Configure(9600, 9, platform::ONESTOPBIT, platform::NOPARITY));
  EXPECT_FALSE(m_device.Configure(9600, 5, platform::TWOSTOPBITS, platform::NOPARITY));

  Send("ECHO caf\xC3\xA9 and more\n");
  EXPECT_EQ(Receive('\n'), "caf\xC3\xA9 and more\n");
  EXPECT_TRUE(m_device.Drain());
  EXPECT_EQ(m_device.BytesQueued(), 0);

  // More than the driver's queue, read as it comes; every byte in its place.
  Send("BURST 20000\n");
  const std::string burst = Receive('\0', 20000, 20000);
  ASSERT_EQ(burst.size(), 20000u);
  for (std::size_t i = 0; i < burst.size(); ++i) {
    ASSERT_EQ(static_cast<unsigned char>(burst[i]), (i * 7 + 1) & 0xFF) << i;
  }
  char nothing[4];
  EXPECT_EQ(m_device.Read(nothing, sizeof nothing), 0);  // nothing queued: at once
}

TEST_F(SerialWin32Line, AWaitLastsUntilInputOrAWake) {
  // A Wake before the wait is not lost; it is reported once.
  m_device.Wake();
  EXPECT_EQ(m_device.WaitEvent(), SerialWait::Woken);

  Send("LATER 400 late\n");
  const auto start = Clock::now();
  {
    CWatchdog watchdog(m_device, 5000);
    EXPECT_EQ(m_device.WaitEvent(), SerialWait::Input);
    EXPECT_FALSE(watchdog.Fired());
  }
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(300));
  EXPECT_EQ(Receive('\n'), "late\n");

  // Bytes that arrive while nobody waits are there for the next wait and read.
  Send("ECHO queued\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(m_device.BytesQueued(), 7);
  EXPECT_EQ(Receive('\n'), "queued\n");

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
  Send("ECHO while waiting\n");
  reader.join();
  EXPECT_EQ(waited.load(), static_cast<int>(SerialWait::Input));
  EXPECT_EQ(Receive('\n'), "while waiting\n");

  // A purge drops what is queued.
  Send("ECHO dropped\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  m_device.Purge();
  EXPECT_EQ(m_device.BytesQueued(), 0);
  Send("ECHO kept\n");
  EXPECT_EQ(Receive('\n'), "kept\n");
}

TEST_F(SerialWin32Line, ThePortIsHeldUntilCloseWhichEndsAWaitingReader) {
  CSerialDevice second;
  EXPECT_FALSE(second.Open(m_port));
  EXPECT_EQ(second.LastOpenError(), SerialOpenError::Busy);

  std::atomic<int> waited{-1};
  std::thread reader([this, &waited] { waited = static_cast<int>(m_device.WaitEvent()); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  m_device.Close();  // returns once the reader has left the device
  EXPECT_EQ(waited.load(), static_cast<int>(SerialWait::Woken));
  reader.join();
  EXPECT_FALSE(m_device.IsOpen());
  EXPECT_EQ(m_device.WaitEvent(), SerialWait::Woken);

  ASSERT_TRUE(second.Open(m_port)) << second.LastErrorText();
  ASSERT_TRUE(second.Configure(57600, 8, platform::ONESTOPBIT, platform::NOPARITY));
  second.DropDtr();  // a pseudo-terminal has no DTR: no failure either
  const std::string question = "SPEED\n";
  ASSERT_TRUE(second.WriteAll(question.data(), question.size()));
  std::string answer;
  for (int i = 0; i < 100 && answer.find('\n') == std::string::npos; ++i) {
    ASSERT_EQ(second.WaitEvent(), SerialWait::Input);
    char buffer[64];
    const int n = second.Read(buffer, sizeof buffer);
    ASSERT_GE(n, 0);
    answer.append(buffer, static_cast<std::size_t>(n));
  }
  EXPECT_EQ(answer, "SPEED 57600\n");
}

// Last: the peer goes away.
TEST_F(SerialWin32Line, TheOtherEndClosingIsAHangUp) {
  Send("ECHO before\n");
  EXPECT_EQ(Receive('\n'), "before\n");
  Send("BYE\n");
  {
    CWatchdog watchdog(m_device, 10000);
    EXPECT_EQ(m_device.WaitEvent(), SerialWait::HangUp);
    EXPECT_FALSE(watchdog.Fired());
  }
  char buffer[16];
  EXPECT_EQ(m_device.Read(buffer, sizeof buffer), -1);
  EXPECT_EQ(m_device.BytesQueued(), -1);
  EXPECT_FALSE(m_device.WriteAll("x", 1));
  EXPECT_EQ(m_device.WaitEvent(), SerialWait::HangUp);
  m_device.Close();
}

}  // namespace
