// The serial device on the Win32 communications API.
//
// The port is opened for overlapped I/O; every call waits for its own I/O, so a read on the
// reader thread and a write on the window thread may be under way on the one handle together,
// each with its own record and event. A wait for input can be called off at any time (Wake,
// Close): it waits on its I/O together with the wake and close events, and a called-off I/O is
// cancelled and its end awaited before the call returns.
//
// Waiting for input takes one of two forms. WaitCommEvent for EV_RXCHAR is the driver's own
// way. Where a driver cannot wait for events - Wine on a pseudo-terminal ends every such wait at
// once as cancelled, or refuses it - the wait is a pending read of one byte, which the next
// Read returns first; the port then has no read time-outs, so that read waits for a byte. A
// read of what is queued returns at once either way: Read asks for no more than ClearCommError
// reports.
//
// A wait that ends in an error is judged by whether the port still answers ClearCommError: if
// not, the line went away (a USB adapter pulled out; under Wine the pseudo-terminal's other end
// closed: the read fails with ERROR_BROKEN_PIPE and ClearCommError with ERROR_NOT_READY). A
// change of the carrier line (EV_RLSD) is no hang-up: a three-wire line has none, and the mask
// leaves it out.
#include "platform/os/serial_device.h"

#include <algorithm>
#include <climits>
#include <map>
#include <mutex>

#include "platform/os/ascii.h"
#include "platform/os/win32/wide.h"
#include "platform/os/win32/win32_sdk.h"

namespace platform {

namespace {

constexpr ::DWORD QUEUE_SIZE = 8192;
constexpr ::DWORD EVENT_MASK = EV_RXCHAR | EV_ERR;
constexpr ::DWORD PURGE_ALL = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
// Waits in a row that end without news before the form of waiting is given up.
constexpr int MAX_IDLE_WAITS = 1000;
constexpr std::size_t WRITE_CHUNK = 1u << 20;

SerialOpenError OpenErrorFor(::DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_BAD_UNIT:
    case ERROR_BAD_NETPATH:
      return SerialOpenError::NoDevice;
    case ERROR_ACCESS_DENIED:  // Windows' answer for a port that another program holds
    case ERROR_SHARING_VIOLATION:
      return SerialOpenError::Busy;
    default:
      return SerialOpenError::Other;
  }
}

// The name of the object that marks a port as held: the same for "COM5" and "\\.\COM5".
std::wstring GuardNameFor(const std::string& path) {
  std::string name = path;
  if (name.compare(0, 4, "\\\\.\\") == 0 || name.compare(0, 4, "\\\\?\\") == 0) name.erase(0, 4);
  std::wstring guard = L"Local\\Quorin.SerialDevice.";
  for (const wchar_t c : Utf8ToWide(name)) {
    if (guard.size() >= MAX_PATH - 1) break;
    if (c == L'\\' || c == L'/') {
      guard += L'_';
    } else {
      guard += (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    }
  }
  return guard;
}

bool LineAnswers(HANDLE h) {
  ::DWORD errors = 0;
  ::COMSTAT status{};
  return ::ClearCommError(h, &errors, &status) != FALSE;
}

enum class IoEnd {
  Done,     // the I/O ended by itself (nDone, or error when it failed)
  Woken,    // Wake came first; the I/O was called off
  Closing,  // Close came first; the I/O was called off
  Failed,   // the I/O, or the wait for it, failed (error)
};

struct IoResult {
  IoEnd end = IoEnd::Failed;
  bool bOk = false;  // the I/O completed successfully (even when called off too late)
  ::DWORD nDone = 0;
  ::DWORD error = 0;
};

}  // namespace

struct CSerialDevice::Win32Line {
  std::atomic<HANDLE> hComm{nullptr};
  HANDLE hWake = nullptr;       // manual reset: set by Wake, reset by the wait that reports it
  HANDLE hClosing = nullptr;    // manual reset: set when Close begins
  HANDLE hWaitDone = nullptr;   // the wait's I/O (reader thread)
  HANDLE hReadDone = nullptr;   // Read's I/O (reader thread)
  HANDLE hWriteDone = nullptr;  // WriteAll's I/O
  HANDLE hGuard = nullptr;      // marks the port as held (below)
  ::OVERLAPPED waitIo{};        // the wait's record; Purge calls its read off
  std::atomic<bool> bCommEvents{true};  // the driver waits for events (else: a pending read)
  ::DWORD dwEvents = 0;                 // WaitCommEvent's result
  BYTE waitByte = 0;                    // the pending read's byte
  std::mutex takenMutex;                // nTaken, nPurges
  int nTaken = -1;                      // a byte the wait has read and Read has not returned
  unsigned nPurges = 0;
  std::mutex readerMutex;  // WaitEvent and Read
  std::mutex writerMutex;  // WriteAll

  // Waits for the I/O, and with bWakeToo for Wake as well, and for Close.
  IoResult Await(::OVERLAPPED& io, bool bWakeToo, bool bCommEvent) {
    const HANDLE h = hComm.load();
    const HANDLE events[3] = {io.hEvent, hClosing, hWake};
    const ::DWORD got = ::WaitForMultipleObjects(bWakeToo ? 3 : 2, events, FALSE, INFINITE);
    IoResult result;
    if (got == WAIT_OBJECT_0) {
      result.end = IoEnd::Done;
      result.bOk = ::GetOverlappedResult(h, &io, &result.nDone, FALSE) != FALSE;
      if (!result.bOk) result.error = ::GetLastError();
      return result;
    }
    result.error = got == WAIT_FAILED ? ::GetLastError() : ERROR_OPERATION_ABORTED;
    // The record and the buffer are ours: the I/O is called off, and its end awaited.
    if (bCommEvent) ::SetCommMask(h, EVENT_MASK);  // ends a pending WaitCommEvent
    ::CancelIoEx(h, &io);
    result.bOk = ::GetOverlappedResult(h, &io, &result.nDone, TRUE) != FALSE;
    if (!result.bOk) result.nDone = 0;
    result.end = got == WAIT_OBJECT_0 + 1   ? IoEnd::Closing
                 : got == WAIT_OBJECT_0 + 2 ? IoEnd::Woken
                                            : IoEnd::Failed;
    return result;
  }

  // Bytes that Read would return now; -1 when the port does not answer and nothing is left.
  int Queued(::DWORD& error) {
    ::DWORD errors = 0;
    ::COMSTAT status{};
    const bool bAnswers = ::ClearCommError(hComm.load(), &errors, &status) != FALSE;
    if (!bAnswers) error = ::GetLastError();
    std::lock_guard<std::mutex> lock(takenMutex);
    const int taken = nTaken >= 0 ? 1 : 0;
    if (!bAnswers) return taken > 0 ? taken : -1;
    return static_cast<int>(std::min<::DWORD>(status.cbInQue, INT_MAX - 1)) + taken;
  }

  void KeepTaken(BYTE byte, unsigned nPurgesBefore) {
    std::lock_guard<std::mutex> lock(takenMutex);
    // A byte read before a purge belongs to the purged input.
    if (nPurges == nPurgesBefore) nTaken = byte;
  }

  void WaitByReading() {
    bCommEvents = false;
    const HANDLE h = hComm.load();
    ::SetCommMask(h, 0);
    // No time-outs: a read waits until it has its bytes.
    ::COMMTIMEOUTS timeouts{};
    ::SetCommTimeouts(h, &timeouts);
  }
};

CSerialDevice::CSerialDevice() : m_line(std::make_unique<Win32Line>()) {}

CSerialDevice::~CSerialDevice() { Close(); }

namespace {

std::string PlainDevicePath(const std::string& deviceName);

std::mutex g_runDevicesMutex;
std::map<std::string, std::string> g_runDevices;  // upper-case names, no device prefix

std::string RunDeviceKey(const std::string& deviceName) {
  std::string name = deviceName;
  if (name.compare(0, 4, "\\\\.\\") == 0) name.erase(0, 4);
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return name;
}

}  // namespace

void CSerialDevice::SetRunDevice(const std::string& deviceName, const std::string& path) {
  std::lock_guard<std::mutex> lock(g_runDevicesMutex);
  if (path.empty()) {
    g_runDevices.erase(RunDeviceKey(deviceName));
  } else {
    g_runDevices[RunDeviceKey(deviceName)] = path;
  }
}

BOOL CSerialDevice::AssignDevice(const std::string&, const std::string&) { return FALSE; }

void CSerialDevice::ClearRunDevices() {
  std::lock_guard<std::mutex> lock(g_runDevicesMutex);
  g_runDevices.clear();
}

bool CSerialDevice::HasOwnDevice(const std::string& deviceName) {
  return !DevicePathFor(deviceName).empty();
}

std::string CSerialDevice::DefaultPathFor(const std::string& deviceName) {
  return PlainDevicePath(deviceName);
}

std::string CSerialDevice::DevicePathFor(const std::string& deviceName) {
  {
    std::lock_guard<std::mutex> lock(g_runDevicesMutex);
    auto it = g_runDevices.find(RunDeviceKey(deviceName));
    if (it != g_runDevices.end()) return it->second;
  }
  return PlainDevicePath(deviceName);
}

namespace {

std::string PlainDevicePath(const std::string& deviceName) {
  std::string name = deviceName;
  if (name.compare(0, 4, "\\\\.\\") == 0) name.erase(0, 4);
  if (EqualsNoCase(name, "TELNET")) return "\\\\.\\TELNET";
  if (!StartsWithNoCase(name, "COM") || name.size() < 4 || name.size() > 6) return std::string();
  unsigned number = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return std::string();
    number = number * 10 + static_cast<unsigned>(name[i] - '0');
  }
  // The device namespace takes COM10 and up, which the plain names do not.
  return "\\\\.\\COM" + std::to_string(number);
}

}  // namespace

BOOL CSerialDevice::Open(const std::string& deviceName) {
  const std::string path = DevicePathFor(deviceName);
  if (path.empty()) {
    Close();
    SetError(ERROR_FILE_NOT_FOUND);
    m_openError = SerialOpenError::NoDevice;
    return FALSE;
  }
  return OpenPath(path);
}

BOOL CSerialDevice::OpenPath(const std::string& path) {
  Close();
  m_openError = SerialOpenError::None;
  auto fail = [this](::DWORD error, SerialOpenError kind) {
    SetError(static_cast<int>(error));
    m_openError = kind;
    return FALSE;
  };

  const std::wstring widePath = Utf8ToWide(path);
  if (widePath.empty()) return fail(ERROR_FILE_NOT_FOUND, SerialOpenError::NoDevice);
  // A folder would answer "access denied", which for a port means "busy".
  const ::DWORD attributes = ::GetFileAttributesW(widePath.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return fail(ERROR_DIRECTORY, SerialOpenError::NotSerial);
  }
  const HANDLE h =
      ::CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const ::DWORD error = ::GetLastError();
    return fail(error, OpenErrorFor(error));
  }
  ::DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(h, &dcb)) {
    const ::DWORD error = ::GetLastError();
    // Wine opens a COM name mapped to a path that does not exist as a handle of no type.
    const bool bNothing = ::GetFileType(h) == FILE_TYPE_UNKNOWN;
    ::CloseHandle(h);
    return fail(error, bNothing ? SerialOpenError::NoDevice : SerialOpenError::NotSerial);
  }
  // Windows refuses a second opening of a port; Wine does not, so a named object marks the port
  // as held by this program (any process of it).
  const HANDLE guard = ::CreateMutexW(nullptr, FALSE, GuardNameFor(path).c_str());
  if (guard != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(guard);
    ::CloseHandle(h);
    return fail(ERROR_ACCESS_DENIED, SerialOpenError::Busy);
  }
  HANDLE events[5] = {};
  for (HANDLE& event : events) {
    event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event != nullptr) continue;
    const ::DWORD error = ::GetLastError();
    for (const HANDLE made : events) {
      if (made != nullptr) ::CloseHandle(made);
    }
    if (guard != nullptr) ::CloseHandle(guard);
    ::CloseHandle(h);
    return fail(error, SerialOpenError::Other);
  }

  // Queues, a clean start, reads that return at once with what is queued, the events of a wait.
  ::SetupComm(h, QUEUE_SIZE, QUEUE_SIZE);
  ::PurgeComm(h, PURGE_ALL);
  ::COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  ::SetCommTimeouts(h, &timeouts);
  ::SetCommMask(h, EVENT_MASK);

  Win32Line& line = *m_line;
  std::lock_guard<std::mutex> lock(m_useMutex);
  line.hWake = events[0];
  line.hClosing = events[1];
  line.hWaitDone = events[2];
  line.hReadDone = events[3];
  line.hWriteDone = events[4];
  line.hGuard = guard;
  line.bCommEvents = true;
  {
    std::lock_guard<std::mutex> taken(line.takenMutex);
    line.nTaken = -1;
  }
  line.hComm = h;
  m_path = path;
  m_bClosing = false;
  return TRUE;
}

BOOL CSerialDevice::IsOpen() const { return m_line->hComm.load() != nullptr ? TRUE : FALSE; }

// The communications API has no latency request; an adapter's timer is set in its driver's
// advanced port settings.
BOOL CSerialDevice::LowLatencySet() const { return FALSE; }

const std::string& CSerialDevice::Path() const { return m_path; }

BOOL CSerialDevice::Configure(std::uint32_t baud, BYTE dataBits, BYTE stopBitsCode,
                              BYTE parityCode) {
  if (!Enter()) {
    SetError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // The combinations a UART cannot produce are refused, as the Windows driver refuses them
  // (Wine would take some); speed 0 would hang the line up.
  const bool valid = baud != 0 && dataBits >= 5 && dataBits <= 8 && stopBitsCode <= TWOSTOPBITS &&
                     parityCode <= SPACEPARITY &&
                     !(stopBitsCode == ONE5STOPBITS && dataBits != 5) &&
                     !(stopBitsCode == TWOSTOPBITS && dataBits == 5);
  BOOL ok = FALSE;
  if (!valid) {
    SetError(ERROR_INVALID_PARAMETER);
  } else {
    const HANDLE h = m_line->hComm.load();
    ::DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ok = ::GetCommState(h, &dcb);
    if (ok) {
      // The codes of serial_device.h are the DCB's own.
      dcb.BaudRate = baud;
      dcb.ByteSize = dataBits;
      dcb.StopBits = stopBitsCode;
      dcb.Parity = parityCode;
      // Raw: every byte as it came, no parity check, no flow control, DTR and RTS held on.
      dcb.fBinary = TRUE;
      dcb.fParity = FALSE;
      dcb.fOutxCtsFlow = FALSE;
      dcb.fOutxDsrFlow = FALSE;
      dcb.fDtrControl = DTR_CONTROL_ENABLE;
      dcb.fDsrSensitivity = FALSE;
      dcb.fTXContinueOnXoff = FALSE;
      dcb.fOutX = FALSE;
      dcb.fInX = FALSE;
      dcb.fErrorChar = FALSE;
      dcb.fNull = FALSE;
      dcb.fRtsControl = RTS_CONTROL_ENABLE;
      dcb.fAbortOnError = FALSE;
      dcb.XonLim = 0;
      dcb.XoffLim = 0;
      dcb.XonChar = 0x11;
      dcb.XoffChar = 0x13;
      ok = ::SetCommState(h, &dcb);
    }
    if (!ok) SetError(static_cast<int>(::GetLastError()));
  }
  Leave();
  return ok ? TRUE : FALSE;
}

BOOL CSerialDevice::Enter() const {
  std::lock_guard<std::mutex> lock(m_useMutex);
  if (m_bClosing || m_line->hComm.load() == nullptr) return FALSE;
  ++m_nUsers;
  return TRUE;
}

void CSerialDevice::Leave() const {
  std::lock_guard<std::mutex> lock(m_useMutex);
  if (--m_nUsers == 0) m_useDone.notify_all();
}

SerialWait CSerialDevice::WaitEvent() {
  // A wait on a device that is closing or closed ends as if woken: Close is the waker.
  if (!Enter()) return SerialWait::Woken;
  Win32Line& line = *m_line;
  const HANDLE h = line.hComm.load();
  SerialWait result = SerialWait::Error;
  {
    std::lock_guard<std::mutex> reader(line.readerMutex);
    int nIdle = 0;
    for (;;) {
      if (::WaitForSingleObject(line.hWake, 0) == WAIT_OBJECT_0) {
        ::ResetEvent(line.hWake);
        result = SerialWait::Woken;
        break;
      }
      if (::WaitForSingleObject(line.hClosing, 0) == WAIT_OBJECT_0) {
        result = SerialWait::Woken;
        break;
      }
      // Bytes that are still there go first; a port that does not answer is gone.
      ::DWORD error = 0;
      const int queued = line.Queued(error);
      if (queued != 0) {
        if (queued < 0) SetError(static_cast<int>(error));
        result = queued > 0 ? SerialWait::Input : SerialWait::HangUp;
        break;
      }
      if (nIdle >= MAX_IDLE_WAITS) {
        if (!line.bCommEvents) {
          SetError(ERROR_OPERATION_ABORTED);
          break;  // Error: the pending reads end without a byte, again and again
        }
        line.WaitByReading();
        nIdle = 0;
      }

      ::OVERLAPPED& io = line.waitIo;
      io = ::OVERLAPPED{};
      io.hEvent = line.hWaitDone;
      ::ResetEvent(io.hEvent);
      IoResult done;
      if (line.bCommEvents) {
        line.dwEvents = 0;
        if (::WaitCommEvent(h, &line.dwEvents, &io) || ::GetLastError() == ERROR_IO_PENDING) {
          done = line.Await(io, true, true);
        } else {
          done.end = IoEnd::Done;
          done.error = ::GetLastError();
        }
        if (done.end == IoEnd::Done) {
          ++nIdle;  // news or not, the queue tells
          if (done.bOk) continue;
          if (!LineAnswers(h)) {
            SetError(static_cast<int>(done.error));
            result = SerialWait::HangUp;
            break;
          }
          // The port is there but cannot wait for events (Wine on a pseudo-terminal).
          line.WaitByReading();
          nIdle = 0;
          continue;
        }
      } else {
        unsigned nPurgesBefore = 0;
        {
          std::lock_guard<std::mutex> lock(line.takenMutex);
          nPurgesBefore = line.nPurges;
        }
        if (::ReadFile(h, &line.waitByte, 1, nullptr, &io) ||
            ::GetLastError() == ERROR_IO_PENDING) {
          done = line.Await(io, true, false);
        } else {
          done.end = IoEnd::Done;
          done.error = ::GetLastError();
        }
        if (done.bOk && done.nDone == 1) line.KeepTaken(line.waitByte, nPurgesBefore);
        if (done.end == IoEnd::Done) {
          if (done.bOk && done.nDone == 1) continue;
          if (!LineAnswers(h)) {
            SetError(static_cast<int>(done.error));
            result = SerialWait::HangUp;
            break;
          }
          // Called off by a purge, or no byte: wait again. Another failure is the wait's own.
          if (done.bOk || done.error == ERROR_OPERATION_ABORTED) {
            ++nIdle;
            continue;
          }
          SetError(static_cast<int>(done.error));
          break;
        }
      }
      if (done.end == IoEnd::Woken) {
        ::ResetEvent(line.hWake);
        result = SerialWait::Woken;
      } else if (done.end == IoEnd::Closing) {
        result = SerialWait::Woken;
      } else {
        SetError(static_cast<int>(done.error));
      }
      break;
    }
  }
  Leave();
  return result;
}

void CSerialDevice::Wake() {
  std::lock_guard<std::mutex> lock(m_useMutex);
  if (m_line->hWake != nullptr) ::SetEvent(m_line->hWake);
}

int CSerialDevice::BytesQueued() const {
  if (!Enter()) return -1;
  ::DWORD error = 0;
  const int queued = m_line->Queued(error);
  Leave();
  if (queued < 0) const_cast<CSerialDevice*>(this)->SetError(static_cast<int>(error));
  return queued;
}

int CSerialDevice::Read(void* buffer, std::size_t n) {
  if (n == 0) return 0;
  if (!Enter()) return -1;
  if (n > INT_MAX) n = INT_MAX;
  Win32Line& line = *m_line;
  const HANDLE h = line.hComm.load();
  auto* bytes = static_cast<BYTE*>(buffer);
  int result = -1;
  {
    std::lock_guard<std::mutex> reader(line.readerMutex);
    std::size_t got = 0;
    {
      std::lock_guard<std::mutex> lock(line.takenMutex);
      if (line.nTaken >= 0) {
        bytes[got++] = static_cast<BYTE>(line.nTaken);
        line.nTaken = -1;
      }
    }
    ::DWORD errors = 0;
    ::COMSTAT status{};
    if (!::ClearCommError(h, &errors, &status)) {
      // The device went away; a byte the wait had read still counts.
      if (got == 0) SetError(static_cast<int>(::GetLastError()));
      result = got > 0 ? static_cast<int>(got) : -1;
    } else {
      const ::DWORD want = static_cast<::DWORD>(std::min<std::size_t>(n - got, status.cbInQue));
      IoResult done;
      done.bOk = true;
      if (want > 0) {
        ::OVERLAPPED io{};
        io.hEvent = line.hReadDone;
        ::ResetEvent(io.hEvent);
        if (::ReadFile(h, bytes + got, want, nullptr, &io) ||
            ::GetLastError() == ERROR_IO_PENDING) {
          done = line.Await(io, false, false);
        } else {
          done.bOk = false;
          done.error = ::GetLastError();
        }
        if (done.bOk) got += done.nDone;
      }
      if (done.bOk || got > 0) {
        result = static_cast<int>(got);
      } else {
        SetError(static_cast<int>(done.error));
      }
    }
  }
  Leave();
  return result;
}

BOOL CSerialDevice::WriteAll(const void* data, std::size_t n) {
  if (!Enter()) {
    SetError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Win32Line& line = *m_line;
  const HANDLE h = line.hComm.load();
  const auto* bytes = static_cast<const BYTE*>(data);
  bool ok = true;
  {
    std::lock_guard<std::mutex> writer(line.writerMutex);
    std::size_t done = 0;
    while (ok && done < n) {
      // Done when the driver has taken the bytes; Drain waits for them to leave the line.
      const ::DWORD chunk = static_cast<::DWORD>(std::min(n - done, WRITE_CHUNK));
      ::OVERLAPPED io{};
      io.hEvent = line.hWriteDone;
      ::ResetEvent(io.hEvent);
      IoResult wrote;
      if (::WriteFile(h, bytes + done, chunk, nullptr, &io) ||
          ::GetLastError() == ERROR_IO_PENDING) {
        wrote = line.Await(io, false, false);
      } else {
        wrote.error = ::GetLastError();
      }
      if (wrote.end == IoEnd::Closing) {
        SetError(ERROR_OPERATION_ABORTED);
        ok = false;
      } else if (!wrote.bOk) {
        SetError(static_cast<int>(wrote.error));
        ok = false;
      } else if (wrote.nDone == 0) {
        SetError(ERROR_WRITE_FAULT);  // no time-out is set, so the driver took nothing
        ok = false;
      } else {
        done += wrote.nDone;
      }
    }
  }
  Leave();
  return ok ? TRUE : FALSE;
}

BOOL CSerialDevice::Drain() {
  if (!Enter()) {
    SetError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  BOOL ok = TRUE;
  if (!::FlushFileBuffers(m_line->hComm.load())) {
    const ::DWORD error = ::GetLastError();
    // A device without a transmitter queue has nothing to wait for.
    if (error != ERROR_INVALID_FUNCTION && error != ERROR_NOT_SUPPORTED) {
      SetError(static_cast<int>(error));
      ok = FALSE;
    }
  }
  Leave();
  return ok;
}

void CSerialDevice::Purge() {
  if (!Enter()) return;
  Win32Line& line = *m_line;
  const HANDLE h = line.hComm.load();
  {
    std::lock_guard<std::mutex> lock(line.takenMutex);
    line.nTaken = -1;
    ++line.nPurges;
  }
  ::PurgeComm(h, PURGE_ALL);
  // Windows calls a pending read off with the purge, Wine does not: a byte the waiting read
  // took before it would otherwise come back after it.
  if (!line.bCommEvents) ::CancelIoEx(h, &line.waitIo);
  Leave();
}

void CSerialDevice::DropDtr() {
  if (!Enter()) return;
  // A line without modem lines (Wine's pseudo-terminal) has no DTR to drop.
  (void)::EscapeCommFunction(m_line->hComm.load(), CLRDTR);
  Leave();
}

void CSerialDevice::Close() {
  Win32Line& line = *m_line;
  HANDLE handles[7] = {};
  {
    std::unique_lock<std::mutex> lock(m_useMutex);
    if (line.hComm.load() == nullptr) return;
    m_bClosing = true;
    ::SetEvent(line.hClosing);
    m_useDone.wait(lock, [this] { return m_nUsers == 0; });
    handles[0] = line.hComm.exchange(nullptr);
    handles[1] = line.hWake;
    handles[2] = line.hClosing;
    handles[3] = line.hWaitDone;
    handles[4] = line.hReadDone;
    handles[5] = line.hWriteDone;
    handles[6] = line.hGuard;
    line.hWake = line.hClosing = line.hWaitDone = line.hReadDone = line.hWriteDone = nullptr;
    line.hGuard = nullptr;
    m_path.clear();
  }
  for (const HANDLE h : handles) {
    if (h != nullptr) ::CloseHandle(h);
  }
}

std::string CSerialDevice::LastErrorText() const {
  return Win32ErrorText(static_cast<unsigned long>(m_nLastErrno.load()));
}

}  // namespace platform
