// One serial device: the operating-system side of a COM port.
//
// On POSIX systems (posix/serial_device.cpp) the device is a terminal on termios. A
// Windows-style device name ("COM3", "\\.\TELNET") is mapped to a device path through the
// settings file's section "Devices" (keys COM1 ... COM10 and TELNET); without an entry COMn is
// /dev/ttyS(n-1), and TELNET and COM0 have no default. The device is opened non-blocking and
// exclusive, raw, with no flow control, DTR and RTS on. Modem-line calls that a device does not
// have (a pty answers ENOTTY) count as unsupported, not as failures.
//
// On Windows (win32/serial_device.cpp) the COM names are the devices: "COMn" is \\.\COMn and
// TELNET is \\.\TELNET, opened for overlapped I/O with the communications API, exclusive,
// binary, with no flow control, DTR and RTS on. The line has hung up when a wait fails and the
// port no longer answers (a USB adapter pulled out; under Wine the pty's other end closed); a
// change of the carrier line is no hang-up.
//
// WaitEvent blocks until input is queued, the line hangs up, or another thread calls Wake;
// Wake stays pending until the next WaitEvent returns, so it cannot be missed by a thread that
// is just about to wait. That is the role SetCommMask(0) played. WaitEvent and Read belong to
// one reader thread; WriteAll, Drain, Purge, DropDtr, Wake and Close may come from another.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/win_types.h"

namespace platform {

// Parity and stop-bit codes of Configure, as the Windows device-control block numbered them.
constexpr BYTE NOPARITY = 0;
constexpr BYTE ODDPARITY = 1;
constexpr BYTE EVENPARITY = 2;
constexpr BYTE MARKPARITY = 3;
constexpr BYTE SPACEPARITY = 4;
constexpr BYTE ONESTOPBIT = 0;
constexpr BYTE ONE5STOPBITS = 1;
constexpr BYTE TWOSTOPBITS = 2;

enum class SerialOpenError {
  None,
  NoDevice,          // no mapping, or no such device
  PermissionDenied,  // the user may not open it (not in the device's group, usually dialout)
  Busy,              // another program holds it
  NotSerial,         // the path is not a terminal device
  Other,
};

enum class SerialWait {
  Input,   // bytes are queued
  HangUp,  // the other end went away (hang-up, device removed, pty master closed)
  Woken,   // Wake was called
  Error,   // the wait itself failed
};

class CSerialDevice {
 public:
  CSerialDevice();
  ~CSerialDevice();
  CSerialDevice(const CSerialDevice&) = delete;
  CSerialDevice& operator=(const CSerialDevice&) = delete;

  // The device path for a Windows-style name, from section "Devices" of the settings file or
  // the default (on Windows \\.\COMn or \\.\TELNET); empty when the name has none.
  static std::string DevicePathFor(const std::string& deviceName);
  // A device path for this run only, standing for the name ahead of section "Devices" (the
  // command line's "-c /dev/ttyUSB0"); it is never written to the settings. An empty path
  // takes it back.
  static void SetRunDevice(const std::string& deviceName, const std::string& path);
  static void ClearRunDevices();
  // Whether the name has a device of its own: this run's, or an entry in section "Devices".
  // On Windows every COM name is its own device.
  static bool HasOwnDevice(const std::string& deviceName);
  // The device a name stands for without an entry: /dev/ttyS(n-1) for COMn; empty when none.
  static std::string DefaultPathFor(const std::string& deviceName);
  // Maps the name to the path in section "Devices" of the settings file, for good. FALSE when
  // it cannot be written, and on Windows, where the names are the devices.
  static BOOL AssignDevice(const std::string& deviceName, const std::string& path);

  // Opens the device for the name. FALSE on failure; LastOpenError, LastError and
  // LastErrorText tell why. Exclusive: on Linux even against the superuser, whom the kernel
  // would let share the line; on Windows also under Wine, which would let a second opening
  // share a COM port.
  BOOL Open(const std::string& deviceName);
  // Opens a device path directly, without the name mapping.
  BOOL OpenPath(const std::string& path);
  BOOL IsOpen() const;
  const std::string& Path() const;
  // TRUE while this opening has switched the driver to low latency (Linux: ASYNC_LOW_LATENCY,
  // which USB adapters turn into a 1 ms latency timer); Close puts the old setting back. A
  // device without the setting (a pty, a plain UART) opens all the same, with FALSE here.
  BOOL LowLatencySet() const;

  // Speed in bits per second (any of 9600 ... 230400, 14400 included), data bits 5-8, a
  // stop-bits code and a parity code (above; Windows' DCB takes the same codes). Raw mode, no
  // flow control, DTR and RTS on. FALSE when the device refuses the settings.
  BOOL Configure(std::uint32_t baud, BYTE dataBits, BYTE stopBitsCode, BYTE parityCode);

  SerialWait WaitEvent();
  void Wake();

  // Bytes the driver holds for reading (on Windows with a byte a wait has taken already);
  // -1 when the device cannot tell (it is gone).
  int BytesQueued() const;
  // Reads up to n bytes that are queued without blocking; returns the count, 0 when nothing
  // is there, -1 on a read error or end of file (the device went away).
  int Read(void* buffer, std::size_t n);
  // Returns when the driver has taken every byte (or the device failed: FALSE); it waits only
  // while the driver's queue is full.
  BOOL WriteAll(const void* data, std::size_t n);
  // Waits until every byte written has left the line, so that a purge or a close right after
  // it loses nothing. A device without a transmitter queue returns at once.
  BOOL Drain();
  void Purge();
  void DropDtr();
  // Wakes a thread waiting in WaitEvent and waits until no thread is inside WaitEvent, Read,
  // BytesQueued or WriteAll before it closes the device; they fail from then on. Idempotent.
  void Close();

  // The system's code of the last failed call (errno; on Windows GetLastError) and its text.
  SerialOpenError LastOpenError() const { return m_openError; }
  int LastError() const { return m_nLastErrno; }
  std::string LastErrorText() const;

 private:
  BOOL Enter() const;  // FALSE once Close has begun
  void Leave() const;
  void SetError(int error) { m_nLastErrno = error; }

#ifdef _WIN32
  // Handles, events and I/O records (win32/serial_device.cpp); this header needs no
  // <windows.h>.
  struct Win32Line;
  std::unique_ptr<Win32Line> m_line;
#else
  std::atomic<int> m_fd{-1};
  std::atomic<int> m_wakeFd{-1};  // eventfd that Wake signals
#endif
  std::string m_path;
  std::atomic<int> m_nLastErrno{0};
  SerialOpenError m_openError = SerialOpenError::None;

  // Keeps Close from closing descriptors that another thread is still using.
  mutable std::mutex m_useMutex;
  mutable std::condition_variable m_useDone;
  mutable int m_nUsers = 0;
  bool m_bClosing = false;
  bool m_bLowLatencySet = false;  // POSIX: Close restores the driver's latency setting
};

#ifndef _WIN32
// Sets a speed on a terminal descriptor through the kernel's termios2 (BOTHER), which also
// takes speeds that have no Bxxx constant, such as 14400. Returns 0 or -1 with errno set.
// Linux only (the simulator and the tests use it too); Windows sets the speed in the DCB.
int SetArbitrarySpeed(int fd, std::uint32_t baud);
// The output speed the kernel holds for the descriptor in bits per second, or 0.
std::uint32_t GetArbitrarySpeed(int fd);
#endif

}  // namespace platform
