// CSerialComm: one serial port, its reader thread and the single-slot mailbox.
//
// How it works. Each successful OpenPort starts one reader thread. The reader waits for input
// or a hang-up, reads what the driver has queued in chunks of at most 2048 bytes, copies a
// chunk into the mailbox (followed by a zero byte), records its length, posts WM_USER+1
// (wParam = length) to the owner window and waits for input again. The owner takes the bytes on
// its own thread (DeliveryBytes) and then calls AcknowledgeDelivery; only then does the reader
// read and deliver the next chunk (when input comes first, it waits for the acknowledgement).
// There are no locks: the mailbox hand-off and the connected flag are all the two threads share.
//
// Writes return once the driver holds the bytes; Drain waits until they have left the line,
// for the few places where that matters (before the port is closed and opened again).
//
// Close ends the reader for good: it clears the flag, wakes the reader's wait, releases a
// reader blocked on the acknowledgement and waits for the thread to end before the device and
// the events are closed; so it may be called from inside the owner's handling of a delivery.
// When the device goes away the reader ends, the port reports not connected, and the owner
// gets one WM_USER+2.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "platform/os/serial_device.h"
#include "platform/os/sync.h"
#include "platform/win_types.h"

constexpr UINT WM_SERIAL_DATA = WM_USER + 1;       // wParam: bytes in m_RecvBuf
constexpr UINT WM_SERIAL_LINK_LOST = WM_USER + 2;  // the device went away
constexpr DWORD SERIAL_CHUNK_MAX = 2048;
constexpr DWORD SERIAL_QUEUE_SIZE = 8192;

class CSerialComm {
 public:
  CSerialComm();
  virtual ~CSerialComm();
  CSerialComm(const CSerialComm&) = delete;
  CSerialComm& operator=(const CSerialComm&) = delete;

  BOOL CreateEvents();
  BOOL OpenPort(BYTE nPort, DWORD dwBaudRate, BYTE nByteSize, BYTE nStopBits, BYTE nParity);
  void SetOwner(HWND hOwnerWnd);
  BOOL Write(const void* pData, DWORD nCount);
  BOOL Drain();
  BOOL IsConnected() const;
  BOOL Close();

  // The chunk the owner was told about: its length (0 while the mailbox is free) and its bytes,
  // followed by a zero byte. Stable until AcknowledgeDelivery.
  DWORD DeliveryCount() const { return m_nPending.load(); }
  const BYTE* DeliveryBytes() const { return m_RecvBuf; }
  // The owner is done with the chunk; the reader may deliver the next one.
  void AcknowledgeDelivery();

  // Device name for a port number: "COM%d" up to 10, "\\.\TELNET" from 11.
  static std::string DeviceNameFor(BYTE nPort);
  // Why the last OpenPort failed, in words a technician can act on (naming the device), and
  // its kind.
  std::string LastOpenErrorText() const;
  SerialOpenError LastOpenError() const;
  std::string DevicePath() const;

  // Exit code of the last reader thread that ended: 1 normal end, 0 event wait could not be
  // armed, -1 bad argument, 2 the device went away; -2 while none has ended.
  int LastReaderExitCode() const { return m_nReaderExit.load(); }
  static constexpr int READER_EXIT_NORMAL = 1;
  static constexpr int READER_EXIT_NO_WAIT = 0;
  static constexpr int READER_EXIT_BAD_ARGUMENT = -1;
  static constexpr int READER_EXIT_DEVICE_GONE = 2;

 protected:
  void SetParams(BYTE nPort, DWORD dwBaudRate, BYTE nByteSize, BYTE nStopBits, BYTE nParity);
  BOOL ApplySettings();
  DWORD ReadBlock(BYTE* pBuffer, DWORD nMax);
  BOOL Disconnect();
  BOOL PostToOwner(const BYTE* pData, DWORD n);
  static int ReaderThreadProc(CSerialComm* pComm);

  CSerialDevice m_hComm;
  std::atomic<BOOL> m_bConnected{FALSE};
  std::atomic<HWND> m_hOwnerWnd{nullptr};
  BYTE m_nPort = 1;
  BYTE m_nByteSize = 8;
  BYTE m_nParity = 0;
  BYTE m_nStopBits = 0;
  DWORD m_dwBaudRate = 9600;
  // Windows needed an overlapped record with an event per direction; here a read and a write
  // may run at once on the descriptor without them, so only their existence is tracked, to
  // keep the calling order (CreateEvents before each OpenPort) meaningful.
  bool m_bEventsCreated = false;

 private:
  int RunReader();
  void WaitForFreeMailbox();
  void ReportLinkLost();
  void JoinReader();
  void RecordOpenError(const std::string& deviceName, SerialOpenError kind,
                       const std::string& detail);
  // A COM name without a device of its own whose default device is missing or has no UART
  // behind it: says so, and names the USB adapters that could stand in. Empty otherwise.
  static std::string UnmappedPortText(const std::string& deviceName, SerialOpenError kind);

  // The mailbox: written by the reader only while m_nPending is 0, read by the owner between
  // the post and its acknowledgement.
  BYTE m_RecvBuf[SERIAL_CHUNK_MAX + 1];
  std::atomic<DWORD> m_nPending{0};
  CManualEvent m_hAckEvent;

  std::thread m_reader;
  std::atomic<int> m_nReaderExit{-2};
  bool m_bLineGone = false;  // reader thread only: a read found the device gone
  SerialOpenError m_openError = SerialOpenError::None;
  std::string m_openErrorText;
};
