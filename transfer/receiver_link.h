// CReceiverLink: the serial port extended with the receiver protocol's frames.
//
// The frame accumulator, the block counter and the block buffer exist once in the program
// (there is one link); they are members here so that a test can build a link of its own.
// Received bytes reach the accumulator through a queue that holds what does not fit yet, so a
// delivery is never cut; raw database bytes are taken back out of it in order.
// Everything here runs on the window thread.
#pragma once

#include <array>
#include <cstdint>

#include "serial/serial_comm.h"
#include "transfer/protocol.h"

enum class BlockKind {
  First = 0,   // the first block of a job: the block counter starts again
  Next = 1,    // the next block
  Resend = 2,  // the last block again, exactly as it went out, under the counter as it stands
};

enum class ParseResult {
  Frame = 0,      // a reply frame was taken: its code and parameter A are set
  CodeZero = -1,  // a header with code 0 stood at the front; its marker was dropped
  NoFrame = -2,   // no complete frame is held
};

using FrameHeader = std::array<BYTE, quorin::FRAME_HEADER_SIZE>;

class CReceiverLink : public CSerialComm {
 public:
  CReceiverLink();
  ~CReceiverLink() override;

  BOOL Open(int nPortIndex, int nSpeedIndex, HWND hOwner);
  // A reopening is two steps with a pause between them that the caller times: BeginReopen lets
  // the bytes written so far leave the line and closes the port; Reopen opens it again (also
  // after a failed opening) with the owner recorded by Open.
  void BeginReopen();
  BOOL Reopen(int nPortIndex, int nSpeedIndex);

  // Takes count bytes of the delivery in the mailbox (count 0: nothing new) and extracts at
  // most one reply frame.
  ParseResult ParseFrame(DWORD nCount, BYTE& code, BYTE& paramA);
  // The same for bytes from elsewhere. Bytes that do not fit the accumulator yet are kept in
  // order and taken by the next calls.
  ParseResult ParseBytes(const BYTE* pData, DWORD nCount, BYTE& code, BYTE& paramA);
  // Moves the whole delivery in the mailbox behind the bytes already held, without cutting
  // frames; returns its length.
  DWORD HoldDelivery();
  // Removes up to nMax bytes that are held but not yet taken as frames (accumulator first,
  // then bytes still waiting to enter it) and copies them to pOut; returns the count. A read
  // job uses it for the raw data that arrived behind the 0x26 reply.
  DWORD TakeHeldBytes(BYTE* pOut, DWORD nMax);
  DWORD HeldByteCount() const;

  static FrameHeader MakeHeader(BYTE code);
  void SendSetBaud(int nSpeedIndex);
  void SendSwitchBaud();
  void SendBlockAck();
  void SendStart(int nJob, BOOL bSendMode, std::uint32_t nJobParameter);
  void SetImageSize(std::uint32_t n) { m_nImageSize = n; }
  // Sends one data block of min(nRemaining, 512) bytes of pData and keeps them for a resend;
  // a resend ignores pData and nRemaining and repeats the kept block. Returns nRemaining.
  DWORD SendBlock(const BYTE* pData, DWORD nRemaining, BlockKind kind);
  // A new job: nothing is kept for a resend before its first block.
  void ForgetBlock() { m_nBlockLength = 0; }
  DWORD KeptBlockLength() const { return m_nBlockLength; }
  void SendRebootText();
  static std::uint32_t ByteSum(const BYTE* pData, DWORD n);

  // Fills m_identity from the first bytes of a software image (fewer than 16: the rest zero)
  // and scrambles it with the identity key.
  void SetIdentityFromImage(const BYTE* pHead, DWORD nCount);
  const BYTE* Identity() const { return m_identity; }
  static void GetIdentityKey(BYTE key[16]);

 private:
  friend class CReceiverLinkProbe;  // tests

  void HoldBytes(const BYTE* pData, DWORD nCount);
  void RefillAccumulator();
  void ConsumeAccumulator(std::int32_t n);
  BOOL OpenAt(int nPortIndex, int nSpeedIndex);

  // Room for bytes that arrived but do not fit the accumulator yet: two full deliveries.
  static constexpr DWORD HOLD_QUEUE_SIZE = 2 * SERIAL_CHUNK_MAX;

  BYTE m_identity[16] = {};
  std::uint32_t m_nImageSize = 0;
  HWND m_hOwner = nullptr;
  BYTE m_blockBuffer[quorin::DATA_BLOCK_SIZE] = {};
  DWORD m_nBlockLength = 0;
  BYTE m_nBlockCounter = 0;
  BYTE m_accumulator[quorin::FRAME_ACCUMULATOR_SIZE] = {};
  std::int32_t m_nFill = 0;
  BYTE m_holdQueue[HOLD_QUEUE_SIZE];
  DWORD m_nHeld = 0;
};
