#include "transfer/receiver_link.h"

#include <algorithm>
#include <cstring>

#include "platform/ui/window.h"

namespace {

BYTE PortNumberFor(int nPortIndex) {
  if (nPortIndex < 0) return 0;
  if (nPortIndex >= 254) return 255;
  return static_cast<BYTE>(nPortIndex + 1);
}

// An index outside the list cannot come from the speed list; it gets the base speed.
DWORD BaudFor(int nSpeedIndex) {
  if (nSpeedIndex < 0 || nSpeedIndex >= SPEED_COUNT) return SPEED_TABLE[SPEED_INDEX_BASE];
  return SPEED_TABLE[nSpeedIndex];
}

void PutBigEndian(BYTE* p, std::uint32_t v) {
  p[0] = static_cast<BYTE>(v >> 24);
  p[1] = static_cast<BYTE>(v >> 16);
  p[2] = static_cast<BYTE>(v >> 8);
  p[3] = static_cast<BYTE>(v);
}

}  // namespace

CReceiverLink::CReceiverLink() {
  std::memset(m_blockBuffer, 0, sizeof(m_blockBuffer));
  std::memset(m_accumulator, 0, sizeof(m_accumulator));
}

CReceiverLink::~CReceiverLink() { Close(); }

BOOL CReceiverLink::Open(int nPortIndex, int nSpeedIndex, HWND hOwner) {
  // The owner is known before the reader starts, so no chunk can be posted to no window.
  m_hOwner = hOwner;
  SetOwner(hOwner);
  CreateEvents();
  OpenPort(PortNumberFor(nPortIndex), BaudFor(nSpeedIndex), 8, 0, 0);
  return IsConnected();
}

BOOL CReceiverLink::Reopen(int nPortIndex, int nSpeedIndex) {
  if (IsConnected()) Close();
  Sleep(100);
  CreateEvents();
  SetOwner(m_hOwner);
  OpenPort(PortNumberFor(nPortIndex), BaudFor(nSpeedIndex), 8, 0, 0);
  return IsConnected();
}

// ---- reply frames ------------------------------------------------------------------------

int CReceiverLink::ParseFrame(DWORD nCount, BYTE& code, BYTE& paramA) {
  return ParseBytes(m_RecvBuf, std::min<DWORD>(nCount, SERIAL_CHUNK_MAX), code, paramA);
}

int CReceiverLink::ParseBytes(const BYTE* pData, DWORD nCount, BYTE& code, BYTE& paramA) {
  if (pData != nullptr && nCount > 0) HoldBytes(pData, nCount);

  for (;;) {
    RefillAccumulator();
    if (m_nFill == 0) return -2;
    const BYTE* pBegin = m_accumulator;
    const BYTE* pMarker = std::find(pBegin, pBegin + m_nFill, quorin::FRAME_MARKER);
    if (pMarker == m_accumulator) break;
    // Power-on chatter in front of the loader's first frame.
    ConsumeAccumulator(static_cast<std::int32_t>(pMarker - pBegin));
  }

  if (m_nFill < quorin::FRAME_HEADER_SIZE) return -2;
  if (m_accumulator[quorin::FRAME_OFS_CODE] == 0) {
    // Not a reply: give up its marker so that the next call looks for the next one.
    ConsumeAccumulator(1);
    return -1;
  }
  code = m_accumulator[quorin::FRAME_OFS_CODE];
  paramA = m_accumulator[quorin::FRAME_OFS_PARAM_A];
  ConsumeAccumulator(quorin::FRAME_HEADER_SIZE);
  RefillAccumulator();
  return 0;
}

void CReceiverLink::HoldBytes(const BYTE* pData, DWORD nCount) {
  if (m_nHeld + nCount > HOLD_QUEUE_SIZE) {
    // The owner has stopped taking frames; old bytes make way for new ones.
    m_nFill = 0;
    m_nHeld = 0;
    if (nCount > HOLD_QUEUE_SIZE) {
      pData += nCount - HOLD_QUEUE_SIZE;
      nCount = HOLD_QUEUE_SIZE;
    }
  }
  std::memcpy(m_holdQueue + m_nHeld, pData, nCount);
  m_nHeld += nCount;
}

void CReceiverLink::RefillAccumulator() {
  const DWORD nRoom = static_cast<DWORD>(quorin::FRAME_ACCUMULATOR_SIZE - m_nFill);
  const DWORD n = std::min(nRoom, m_nHeld);
  if (n == 0) return;
  std::memcpy(m_accumulator + m_nFill, m_holdQueue, n);
  m_nFill += static_cast<std::int32_t>(n);
  std::memmove(m_holdQueue, m_holdQueue + n, m_nHeld - n);
  m_nHeld -= n;
}

void CReceiverLink::ConsumeAccumulator(std::int32_t n) {
  n = std::min(n, m_nFill);
  std::memmove(m_accumulator, m_accumulator + n, static_cast<std::size_t>(m_nFill - n));
  m_nFill -= n;
}

DWORD CReceiverLink::TakeHeldBytes(BYTE* pOut, DWORD nMax) {
  if (pOut == nullptr) return 0;
  DWORD nTaken = 0;
  while (nTaken < nMax) {
    RefillAccumulator();
    const DWORD n = std::min(nMax - nTaken, static_cast<DWORD>(m_nFill));
    if (n == 0) break;
    std::memcpy(pOut + nTaken, m_accumulator, n);
    ConsumeAccumulator(static_cast<std::int32_t>(n));
    nTaken += n;
  }
  return nTaken;
}

DWORD CReceiverLink::HeldByteCount() const { return static_cast<DWORD>(m_nFill) + m_nHeld; }

// ---- commands ----------------------------------------------------------------------------

BYTE* CReceiverLink::MakeHeader(BYTE code) {
  BYTE* pHeader = new BYTE[quorin::FRAME_HEADER_SIZE]();
  pHeader[0] = quorin::FRAME_MARKER;
  pHeader[quorin::FRAME_OFS_CODE] = code;
  return pHeader;
}

void CReceiverLink::SendSetBaud(int nSpeedIndex) {
  BYTE* pHeader = MakeHeader(CMD_SET_BAUD);
  pHeader[quorin::FRAME_OFS_PARAM_B] = static_cast<BYTE>(nSpeedIndex);
  Write(pHeader, quorin::FRAME_HEADER_SIZE);
  delete[] pHeader;
}

void CReceiverLink::SendSwitchBaud() {
  BYTE* pHeader = MakeHeader(CMD_SWITCH_BAUD);
  Write(pHeader, quorin::FRAME_HEADER_SIZE);
  delete[] pHeader;
}

void CReceiverLink::SendBlockAck() {
  BYTE* pHeader = MakeHeader(CMD_BLOCK_ACK);
  Write(pHeader, quorin::FRAME_HEADER_SIZE);
  delete[] pHeader;
}

void CReceiverLink::SendRebootText() { Write(REBOOT_TEXT, REBOOT_TEXT_SIZE); }

void CReceiverLink::SendStart(int nJob, BOOL bSendMode, std::uint32_t nJobParameter) {
  BYTE block[quorin::JOB_BLOCK_SIZE] = {};
  std::memcpy(block + JOBBLK_OFS_IDENTITY, m_identity, sizeof(m_identity));
  PutBigEndian(block + JOBBLK_OFS_PARAMETER, nJobParameter);
  PutBigEndian(block + JOBBLK_OFS_SIZE, m_nImageSize);
  block[JOBBLK_OFS_JOB_CODE] = static_cast<BYTE>(nJob & 0xFF);

  BYTE* pHeader = MakeHeader(bSendMode ? CMD_START_SEND : CMD_START_READ);
  PutBigEndian(pHeader + quorin::FRAME_OFS_CHECKSUM, ByteSum(block, sizeof(block)));
  Write(pHeader, quorin::FRAME_HEADER_SIZE);
  Write(block, sizeof(block));
  delete[] pHeader;
}

DWORD CReceiverLink::SendBlock(const BYTE* pData, DWORD nRemaining, int nKind) {
  const DWORD n = std::min<DWORD>(nRemaining, quorin::DATA_BLOCK_SIZE);
  if (pData == nullptr || n == 0) return nRemaining;

  BYTE number;
  if (nKind == 2) {
    // A resend carries the counter as it stands: the number the next block would get.
    number = m_nBlockCounter;
  } else {
    if (nKind == 0) m_nBlockCounter = 0;
    number = static_cast<BYTE>(m_nBlockCounter % 255);
    ++m_nBlockCounter;
  }

  BYTE frame[quorin::FRAME_HEADER_SIZE + quorin::DATA_BLOCK_SIZE] = {};
  frame[0] = quorin::FRAME_MARKER;
  frame[quorin::FRAME_OFS_PARAM_A] = number;
  frame[quorin::FRAME_OFS_CODE] = CMD_DATA;
  PutBigEndian(frame + quorin::FRAME_OFS_CHECKSUM, ByteSum(pData, n));
  std::memcpy(frame + quorin::FRAME_HEADER_SIZE, pData, n);
  Write(frame, quorin::FRAME_HEADER_SIZE + n);
  return nRemaining;
}

std::uint32_t CReceiverLink::ByteSum(const BYTE* pData, DWORD n) {
  std::uint32_t sum = 0;
  for (DWORD i = 0; i < n; ++i) sum += pData[i];
  return sum;
}

// ---- identity ----------------------------------------------------------------------------

void CReceiverLink::GetIdentityKey(BYTE key[16]) {
  // Each byte gets its own step so the key never stands in the program as one piece.
  BYTE k = 0x5D;
  key[0] = k;
  k = static_cast<BYTE>(k * 7 + 0x13);
  key[1] = k;
  k = static_cast<BYTE>(k ^ 0xA6);
  key[2] = k;
  k = static_cast<BYTE>(k + 0x3B);
  key[3] = k;
  k = static_cast<BYTE>((k << 3) | (k >> 5));
  key[4] = k;
  k = static_cast<BYTE>(k ^ 0x5C);
  key[5] = k;
  k = static_cast<BYTE>(k * 5 + 0x21);
  key[6] = k;
  k = static_cast<BYTE>(k + 0x97);
  key[7] = k;
  k = static_cast<BYTE>(k ^ 0x3E);
  key[8] = k;
  k = static_cast<BYTE>((k >> 2) | (k << 6));
  key[9] = k;
  k = static_cast<BYTE>(k * 3 + 0x4F);
  key[10] = k;
  k = static_cast<BYTE>(k ^ 0xC1);
  key[11] = k;
  k = static_cast<BYTE>(k + 0x2D);
  key[12] = k;
  k = static_cast<BYTE>((k << 1) | (k >> 7));
  key[13] = k;
  k = static_cast<BYTE>(k ^ 0x76);
  key[14] = k;
  k = static_cast<BYTE>(k * 9 + 0x05);
  key[15] = k;
}

void CReceiverLink::SetIdentityFromImage(const BYTE* pHead, DWORD nCount) {
  std::memset(m_identity, 0, sizeof(m_identity));
  if (pHead != nullptr) std::memcpy(m_identity, pHead, std::min<DWORD>(nCount, 16));
  BYTE key[16];
  GetIdentityKey(key);
  for (int i = 0; i < 16; ++i) m_identity[i] = static_cast<BYTE>(m_identity[i] ^ key[i]);
}
