#include "serial/serial_comm.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <vector>

#include "platform/os/serial_ports.h"
#include "platform/os/settings.h"
#include "platform/ui/window.h"

CSerialComm::CSerialComm() { std::memset(m_RecvBuf, 0, sizeof(m_RecvBuf)); }

CSerialComm::~CSerialComm() { Close(); }

std::string CSerialComm::DeviceNameFor(BYTE nPort) {
  if (nPort > 10) return "\\\\.\\TELNET";
  char name[16];
  std::snprintf(name, sizeof(name), "COM%d", static_cast<int>(nPort));
  return name;
}

BOOL CSerialComm::CreateEvents() {
  // A running reader waits on the acknowledgement event; it is not replaced under it.
  if (m_reader.joinable() && m_bConnected.load()) return TRUE;
  JoinReader();
  if (m_bEventsCreated) m_hAckEvent.Close();
  m_bEventsCreated = false;
  if (!m_hAckEvent.Create(TRUE)) return FALSE;
  m_bEventsCreated = true;
  return TRUE;
}

void CSerialComm::SetParams(BYTE nPort, DWORD dwBaudRate, BYTE nByteSize, BYTE nStopBits,
                            BYTE nParity) {
  m_nPort = nPort;
  m_dwBaudRate = dwBaudRate;
  m_nByteSize = nByteSize;
  m_nStopBits = nStopBits;
  m_nParity = nParity;
}

BOOL CSerialComm::OpenPort(BYTE nPort, DWORD dwBaudRate, BYTE nByteSize, BYTE nStopBits,
                           BYTE nParity) {
  // Nothing of an earlier opening (its reader, its descriptor) survives into this one.
  if (m_reader.joinable() || m_hComm.IsOpen()) Disconnect();
  SetParams(nPort, dwBaudRate, nByteSize, nStopBits, nParity);
  m_openError = SerialOpenError::None;
  m_openErrorText.clear();
  if (!m_bEventsCreated && !CreateEvents()) {
    RecordOpenError(DeviceNameFor(m_nPort), SerialOpenError::Other, "no event for the reader");
    return FALSE;
  }

  const std::string name = DeviceNameFor(m_nPort);
  if (!m_hComm.Open(name)) {
    RecordOpenError(name, m_hComm.LastOpenError(), m_hComm.LastErrorText());
    return FALSE;
  }
  // Stale input goes before the line is set up: once the settings are applied the other end
  // may already be answering, and nothing it sends from then on may be thrown away.
  m_hComm.Purge();
  if (!ApplySettings()) {
    RecordOpenError(name, SerialOpenError::Other,
                    "the device refuses the line settings (" + m_hComm.LastErrorText() + ")");
    m_bConnected.store(FALSE);
    m_hComm.Close();
    return FALSE;
  }

  m_bLineGone = false;
  m_bConnected.store(TRUE);
  try {
    m_reader = std::thread([this] { m_nReaderExit.store(ReaderThreadProc(this)); });
  } catch (const std::system_error&) {
    m_bConnected.store(FALSE);
    m_hComm.Close();
    RecordOpenError(name, SerialOpenError::Other, "the reader thread could not be started");
    return FALSE;
  }
  return TRUE;
}

BOOL CSerialComm::ApplySettings() {
  return m_hComm.Configure(m_dwBaudRate, m_nByteSize, m_nStopBits, m_nParity);
}

void CSerialComm::SetOwner(HWND hOwnerWnd) { m_hOwnerWnd.store(hOwnerWnd); }

BOOL CSerialComm::Write(const void* pData, DWORD nCount) {
  if (!m_hComm.IsOpen()) return FALSE;
  if (nCount == 0) return TRUE;
  return m_hComm.WriteAll(pData, nCount);
}

BOOL CSerialComm::Drain() {
  if (!m_hComm.IsOpen()) return FALSE;
  return m_hComm.Drain();
}

void CSerialComm::AcknowledgeDelivery() {
  m_nPending.store(0);
  m_hAckEvent.Set();
}

BOOL CSerialComm::IsConnected() const { return m_bConnected.load(); }

BOOL CSerialComm::Close() {
  if (m_bConnected.load() || m_reader.joinable() || m_hComm.IsOpen()) Disconnect();
  if (m_bEventsCreated) {
    m_hAckEvent.Close();
    m_bEventsCreated = false;
  }
  return TRUE;
}

BOOL CSerialComm::Disconnect() {
  m_bConnected.store(FALSE);
  m_hComm.Wake();
  // Releases a reader blocked on an acknowledgement that will not come (Close from inside the
  // owner's handling of a delivery); the reader sees the cleared flag and ends.
  m_hAckEvent.Set();
  JoinReader();
  if (m_hComm.IsOpen()) {
    m_hComm.DropDtr();
    m_hComm.Close();
  }
  return TRUE;
}

void CSerialComm::JoinReader() {
  if (!m_reader.joinable()) return;
  if (m_reader.get_id() == std::this_thread::get_id()) {
    // The reader never closes its own port; should it ever, it must not join itself.
    m_reader.detach();
    return;
  }
  m_reader.join();
}

int CSerialComm::ReaderThreadProc(CSerialComm* pComm) {
  if (pComm == nullptr) return READER_EXIT_BAD_ARGUMENT;
  if (!pComm->m_hComm.IsOpen()) return READER_EXIT_NO_WAIT;
  RaiseCurrentThreadPriority();
  return pComm->RunReader();
}

int CSerialComm::RunReader() {
  BYTE chunk[SERIAL_CHUNK_MAX];
  while (m_bConnected.load()) {
    // The wait for input goes on while the owner still holds the last chunk: its
    // acknowledgement then needs no wake-up of this thread, and the next reply is seen the
    // moment it arrives. Nothing is read before the mailbox is free again.
    const SerialWait what = m_hComm.WaitEvent();
    if (what == SerialWait::Woken) continue;
    if (what == SerialWait::Error) {
      ReportLinkLost();
      return READER_EXIT_NO_WAIT;
    }
    WaitForFreeMailbox();
    if (!m_bConnected.load()) break;
    // Input, or a hang-up that may still leave bytes to take. What stays queued behind this
    // chunk ends the next wait at once.
    const DWORD n = ReadBlock(chunk, SERIAL_CHUNK_MAX);
    if (n > 0) {
      PostToOwner(chunk, n);
      continue;
    }
    if (what == SerialWait::HangUp || m_bLineGone || m_hComm.BytesQueued() < 0) {
      ReportLinkLost();
      return READER_EXIT_DEVICE_GONE;
    }
  }
  return READER_EXIT_NORMAL;
}

void CSerialComm::WaitForFreeMailbox() {
  // The owner clears m_nPending and then sets the event; Close clears the flag and then sets
  // it. Resetting first and testing after means neither signal can be missed.
  for (;;) {
    m_hAckEvent.Reset();
    if (!m_bConnected.load() || m_nPending.load() == 0) return;
    m_hAckEvent.Wait(INFINITE);
  }
}

void CSerialComm::ReportLinkLost() {
  BOOL bWasConnected = TRUE;
  // Close may be clearing the flag at the same moment; only one of the two wins.
  if (!m_bConnected.compare_exchange_strong(bWasConnected, FALSE)) return;
  const HWND hOwner = m_hOwnerWnd.load();
  if (hOwner != nullptr) PostMessage(hOwner, WM_SERIAL_LINK_LOST, 0, 0);
}

DWORD CSerialComm::ReadBlock(BYTE* pBuffer, DWORD nMax) {
  if (pBuffer == nullptr || nMax == 0) return 0;
  const int n = m_hComm.Read(pBuffer, nMax);
  if (n < 0) {
    m_bLineGone = true;
    return 0;
  }
  return static_cast<DWORD>(n);
}

BOOL CSerialComm::PostToOwner(const BYTE* pData, DWORD n) {
  if (n == 0 || n > SERIAL_CHUNK_MAX) return FALSE;
  std::memcpy(m_RecvBuf, pData, n);
  m_nPending.store(n);
  m_RecvBuf[n] = 0;
  m_hAckEvent.Reset();
  const HWND hOwner = m_hOwnerWnd.load();
  if (hOwner == nullptr || !PostMessage(hOwner, WM_SERIAL_DATA, n, 0)) {
    // Nobody will acknowledge this chunk; waiting for it would stop the reader for good.
    m_nPending.store(0);
    m_hAckEvent.Set();
    return FALSE;
  }
  // The acknowledgement is awaited before the next read (WaitForFreeMailbox).
  return TRUE;
}

void CSerialComm::RecordOpenError(const std::string& deviceName, SerialOpenError kind,
                                  const std::string& detail) {
  m_openError = kind;
  const std::string path = CSerialDevice::DevicePathFor(deviceName);
  const std::string device = path.empty() ? deviceName : path;
  m_openErrorText = UnmappedPortText(deviceName, kind);
  if (!m_openErrorText.empty()) return;
  switch (kind) {
    case SerialOpenError::PermissionDenied:
      m_openErrorText = "Permission denied on " + device +
                        ": the user must be in the group that owns the device (usually dialout).";
      break;
    case SerialOpenError::Busy:
      m_openErrorText = device + " is busy: another program holds it.";
      break;
    case SerialOpenError::NoDevice:
      m_openErrorText = path.empty() ? "No such device: the port has no device; map it in section "
                                       "[Devices] of " + GetProfileFilePath() + "."
                                     : "No such device: " + path + ".";
      break;
    case SerialOpenError::NotSerial:
      m_openErrorText = device + " is not a serial device.";
      break;
    default:
      m_openErrorText = (path.empty() ? deviceName : deviceName + " (" + path + ")") + ": " +
                        (detail.empty() ? std::string("cannot be opened") : detail);
      break;
  }
}

std::string CSerialComm::UnmappedPortText(const std::string& deviceName, SerialOpenError kind) {
  if (kind != SerialOpenError::NoDevice && kind != SerialOpenError::NotSerial &&
      kind != SerialOpenError::Other) {
    return std::string();
  }
  if (CSerialDevice::HasOwnDevice(deviceName)) return std::string();
  const std::string path = CSerialDevice::DefaultPathFor(deviceName);
  if (path.empty() || !CSerialPortFinder::CanAssignDevices()) return std::string();
  const CSerialPortFinder& finder = SerialPortFinder();
  const std::string unmapped = deviceName + " stands for it without an entry in section [Devices] of " +
                               GetProfileFilePath() + ".";
  std::string text;
  if (!finder.Exists(path)) {
    text = "No such device: " + path + "; " + unmapped;
  } else if (finder.ProbeUart(path) == UartAnswer::NotReal) {
    text = path + " is no real serial port (no UART answers there); " + unmapped;
  } else {
    return std::string();
  }
  const std::vector<SerialPortInfo> adapters = finder.FindUsbAdapters();
  if (adapters.empty()) return text;
  text += "\nUSB serial adapters here:";
  for (const SerialPortInfo& adapter : adapters) {
    const std::string about = adapter.Describe();
    text += " " + adapter.path + (about.empty() ? "" : " (" + about + ")") +
            (&adapter == &adapters.back() ? "." : ",");
  }
  text += "\nUse -c " + adapters.front().path + ", or map it: [Devices] " + deviceName + "=" +
          adapters.front().StableName() + " (quorin --ports lists the ports).";
  return text;
}

std::string CSerialComm::LastOpenErrorText() const { return m_openErrorText; }

SerialOpenError CSerialComm::LastOpenError() const { return m_openError; }

std::string CSerialComm::DevicePath() const {
  if (m_hComm.IsOpen()) return m_hComm.Path();
  return CSerialDevice::DevicePathFor(DeviceNameFor(m_nPort));
}
