#include "transfer/receiver_link.h"

#include <algorithm>
#include <cstring>

#include "transfer/frame_codec.h"

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

}  // namespace

using quorin::PutBigEndian;

CReceiverLink::CReceiverLink() = default;

CReceiverLink::~CReceiverLink() { Close(); }

BOOL CReceiverLink::Open(int nPortIndex, int nSpeedIndex, HWND hOwner) {
  // The owner is known before the reader starts, so no chunk can be posted to no window.
  m_hOwner = hOwner;
  return OpenAt(nPortIndex, nSpeedIndex);
}

void CReceiverLink::BeginReopen() {
  if (!IsConnected()) return;
  // What was written last (the 0x31 before a speed switch) must be on the line before the
  // port closes; the wait lasts only as long as those bytes take on the wire.
  Drain();
  Close();
}

BOOL CReceiverLink::Reopen(int nPortIndex, int nSpeedIndex) {
  if (IsConnected()) Close();
  return OpenAt(nPortIndex, nSpeedIndex);
}

BOOL CReceiverLink::OpenAt(int nPortIndex, int nSpeedIndex) {
  SetOwner(m_hOwner);
  CreateEvents();
  OpenPort(PortNumberFor(nPortIndex), BaudFor(nSpeedIndex), 8, ONESTOPBIT, NOPARITY);
  return IsConnected();
}

// ---- reply frames ------------------------------------------------------------------------

ParseResult CReceiverLink::ParseFrame(DWORD nCount, BYTE& code, BYTE& paramA) {
  return ParseBytes(DeliveryBytes(), std::min<DWORD>(nCount, SERIAL_CHUNK_MAX), code, paramA);
}

DWORD CReceiverLink::HoldDelivery() {
  const DWORD n = std::min<DWORD>(DeliveryCount(), SERIAL_CHUNK_MAX);
  if (n > 0) HoldBytes(DeliveryBytes(), n);
  return n;
}

ParseResult CReceiverLink::ParseBytes(const BYTE* pData, DWORD nCount, BYTE& code, BYTE& paramA) {
  if (pData != nullptr && nCount > 0) HoldBytes(pData, nCount);

  for (;;) {
    RefillAccumulator();
    if (m_nFill == 0) return ParseResult::NoFrame;
    const BYTE* pBegin = m_accumulator;
    const BYTE* pMarker = std::find(pBegin, pBegin + m_nFill, quorin::FRAME_MARKER);
    if (pMarker == m_accumulator) break;
    // Power-on chatter in front of the loader's first frame.
    ConsumeAccumulator(static_cast<std::int32_t>(pMarker - pBegin));
  }

  if (m_nFill < quorin::FRAME_HEADER_SIZE) return ParseResult::NoFrame;
  if (m_accumulator[quorin::FRAME_OFS_CODE] == 0) {
    // Not a reply: give up its marker so that the next call looks for the next one.
    ConsumeAccumulator(1);
    return ParseResult::CodeZero;
  }
  code = m_accumulator[quorin::FRAME_OFS_CODE];
  paramA = m_accumulator[quorin::FRAME_OFS_PARAM_A];
  ConsumeAccumulator(quorin::FRAME_HEADER_SIZE);
  RefillAccumulator();
  return ParseResult::Frame;
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

FrameHeader CReceiverLink::MakeHeader(BYTE code) {
  FrameHeader header{};
  header[0] = quorin::FRAME_MARKER;
  header[quorin::FRAME_OFS_CODE] = code;
  return header;
}

void CReceiverLink::SendSetBaud(int nSpeedIndex) {
  FrameHeader header = MakeHeader(CMD_SET_BAUD);
  header[quorin::FRAME_OFS_PARAM_B] = static_cast<BYTE>(nSpeedIndex);
  Write(header.data(), quorin::FRAME_HEADER_SIZE);
}

void CReceiverLink::SendSwitchBaud() {
  const FrameHeader header = MakeHeader(CMD_SWITCH_BAUD);
  Write(header.data(), quorin::FRAME_HEADER_SIZE);
}

void CReceiverLink::SendBlockAck() {
  const FrameHeader header = MakeHeader(CMD_BLOCK_ACK);
  Write(header.data(), quorin::FRAME_HEADER_SIZE);
}

void CReceiverLink::SendRebootText() { Write(REBOOT_TEXT, REBOOT_TEXT_SIZE); }

void CReceiverLink::SendStart(int nJob, BOOL bSendMode, std::uint32_t nJobParameter) {
  BYTE block[quorin::JOB_BLOCK_SIZE] = {};
  std::memcpy(block + JOBBLK_OFS_IDENTITY, m_identity, sizeof(m_identity));
  PutBigEndian(block + JOBBLK_OFS_PARAMETER, nJobParameter);
  PutBigEndian(block + JOBBLK_OFS_SIZE, m_nImageSize);
  block[JOBBLK_OFS_JOB_CODE] = static_cast<BYTE>(nJob & 0xFF);

  FrameHeader header = MakeHeader(bSendMode ? CMD_START_SEND : CMD_START_READ);
  PutBigEndian(header.data() + quorin::FRAME_OFS_CHECKSUM, ByteSum(block, sizeof(block)));
  Write(header.data(), quorin::FRAME_HEADER_SIZE);
  Write(block, sizeof(block));
}

DWORD CReceiverLink::SendBlock(const BYTE* pData, DWORD nRemaining, BlockKind kind) {
  BYTE number;
  if (kind == BlockKind::Resend) {
    // The kept block again, under the counter as it stands: the number the next block would get.
    if (m_nBlockLength == 0) return nRemaining;
    number = m_nBlockCounter;
  } else {
    const DWORD n = std::min<DWORD>(nRemaining, quorin::DATA_BLOCK_SIZE);
    if (pData == nullptr || n == 0) return nRemaining;
    if (pData != m_blockBuffer) std::memcpy(m_blockBuffer, pData, n);
    m_nBlockLength = n;
    if (kind == BlockKind::First) m_nBlockCounter = 0;
    number = static_cast<BYTE>(m_nBlockCounter % 255);
    ++m_nBlockCounter;
  }

  const DWORD n = m_nBlockLength;
  BYTE frame[quorin::FRAME_HEADER_SIZE + quorin::DATA_BLOCK_SIZE] = {};
  frame[0] = quorin::FRAME_MARKER;
  frame[quorin::FRAME_OFS_PARAM_A] = number;
  frame[quorin::FRAME_OFS_CODE] = CMD_DATA;
  PutBigEndian(frame + quorin::FRAME_OFS_CHECKSUM, ByteSum(m_blockBuffer, n));
  std::memcpy(frame + quorin::FRAME_HEADER_SIZE, m_blockBuffer, n);
  Write(frame, quorin::FRAME_HEADER_SIZE + n);
  return nRemaining;
}

std::uint32_t CReceiverLink::ByteSum(const BYTE* pData, DWORD n) { return quorin::ByteSum(pData, n); }

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
