// CReceiverLink: the serial port extended with the receiver protocol's frames.
//
// The frame accumulator, the block counter and the block buffer exist once in the program
// (there is one link); they are members here so that a test can build a link of its own.
// Everything here runs on the dialog's thread.
#pragma once

#include <cstdint>

#include "serial/serial_comm.h"
#include "transfer/protocol.h"



class CReceiverLink : public CSerialComm {
 public:
  CReceiverLink();
  ~CReceiverLink() override;

  BOOL Open(int nPortIndex, int nSpeedIndex, HWND hOwner);
  BOOL Reopen(int nPortIndex, int nSpeedIndex);

  // Takes count bytes of m_RecvBuf into the accumulator (count 0: nothing new) and extracts at
  // most one reply frame. 0: a frame was taken (code and parameter A set); -1: a header with
  // code 0 was dropped; -2: no complete frame.
  int ParseFrame(DWORD nCount, BYTE& code, BYTE& paramA);
  // The same for bytes from elsewhere (ParseFrame passes m_RecvBuf). Bytes that do not fit
  // the accumulator yet are kept in order and taken by the next calls (count 0).
  int ParseBytes(const BYTE* pData, DWORD nCount, BYTE& code, BYTE& paramA);
  // Removes up to nMax bytes that are held but not yet taken as frames (accumulator first,
  // then bytes still waiting to enter it) and copies them to pOut; returns the count. A read
  // job uses it for the raw data that arrived behind the 0x26 reply.
  DWORD TakeHeldBytes(BYTE* pOut, DWORD nMax);
  DWORD HeldByteCount() const;

  static BYTE* MakeHeader(BYTE code);  // new[] 8 bytes, owned by the caller
  void SendSetBaud(int nSpeedIndex);
  void SendSwitchBaud();
  void SendBlockAck();
  void SendStart(int nJob, BOOL bSendMode, std::uint32_t nJobParameter);
  void SetImageSize(std::uint32_t n) { m_nImageSize = n; }
  // Sends one data block of min(nRemaining, 512) bytes of pData; nKind 0 first block of a job,
  // 1 next block, 2 resend. Returns nRemaining unchanged.
  DWORD SendBlock(const BYTE* pData, DWORD nRemaining, int nKind);
  void SendRebootText();
  static std::uint32_t ByteSum(const BYTE* pData, DWORD n);

  // Fills m_identity from the first bytes of a software image (fewer than 16: the rest zero)
  // and scrambles it with the identity key.
  void SetIdentityFromImage(const BYTE* pHead, DWORD nCount);
  const BYTE* Identity() const { return m_identity; }
  static void GetIdentityKey(BYTE key[16]);

  // The block buffer the dialog fills with the next piece of the file.
  BYTE m_blockBuffer[quorin::DATA_BLOCK_SIZE];
  DWORD m_nBlockLength = 0;
  BYTE m_nBlockCounter = 0;


 private:
  void HoldBytes(const BYTE* pData, DWORD nCount);
  void RefillAccumulator();
  void ConsumeAccumulator(std::int32_t n);

  // Room for bytes that arrived but do not fit the accumulator yet: two full deliveries.
  static constexpr DWORD HOLD_QUEUE_SIZE = 2 * SERIAL_CHUNK_MAX;

  BYTE m_identity[16] = {};
  std::uint32_t m_nImageSize = 0;
  HWND m_hOwner = nullptr;
  BYTE m_accumulator[quorin::FRAME_ACCUMULATOR_SIZE];
  std::int32_t m_nFill = 0;
  BYTE m_holdQueue[HOLD_QUEUE_SIZE];
  DWORD m_nHeld = 0;
};
