// The job state machine: every step of a job after arming is a reaction to a delivery of the
// serial reader (WM_USER+1). A delivery is taken whole: raw database bytes go to the file up
// to the end of the current 512-byte piece, everything else is cut into reply frames, and every
// complete frame held afterwards is acted on in order before the reader is released. A reply
// that starts a pause stops the delivery there; it goes on when the pause is over.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "transfer/progress.h"
#include "transfer/transfer_engine.h"

namespace {

constexpr DWORD PIECE_SIZE = quorin::DATA_BLOCK_SIZE;
constexpr DWORD BOOT_PAUSE_MS = 1000;

}  // namespace

LRESULT CTransferEngine::OnReceiverEvent(WPARAM, LPARAM) {
  if (m_pLink == nullptr) return 0;
  if (IsBusy() || m_bDeliveryInHand) {
    // Acted on when the pause is over; until then the reader waits for it.
    m_bDeliveryWaiting = true;
    return 0;
  }
  TakeDelivery();
  return 0;
}

void CTransferEngine::TakeDelivery() {
  if (m_pLink == nullptr) return;
  // The mailbox says what it holds; a message whose chunk was already released finds it empty.
  if (m_pLink->DeliveryCount() == 0) return;
  if (m_phase == JobPhase::Idle) {
    SetStatusText("Select File");
    ReleaseReader();
    return;
  }
  m_pLink->HoldDelivery();
  m_bDeliveryInHand = true;
  ActOnHeldBytes();
  if (IsBusy()) return;
  m_bDeliveryInHand = false;
  ReleaseReader();
}

void CTransferEngine::ActOnHeldBytes() {
  while (m_pLink != nullptr && !IsBusy()) {
    if (m_phase == JobPhase::ReadingRaw) {
      const DWORD nRoom = RawPieceRoom();
      if (nRoom == 0) {
        m_phase = JobPhase::ReadingFrames;  // the database is whole; what follows are frames
        continue;
      }
      BYTE buffer[PIECE_SIZE];
      const DWORD nTaken = m_pLink->TakeHeldBytes(buffer, nRoom);
      if (nTaken == 0) return;  // the piece is still open: its rest comes with the next delivery
      ReceiveRawChunk(buffer, nTaken);
      continue;
    }
    const DWORD nHeldBefore = m_pLink->HeldByteCount();
    if (nHeldBefore == 0) return;
    BYTE code = 0;
    BYTE paramA = 0;
    const ParseResult result = m_pLink->ParseFrame(0, code, paramA);
    if (result == ParseResult::Frame) {
      ActOnReply(code, paramA);
    } else if (m_pLink->HeldByteCount() >= nHeldBefore) {
      return;  // nothing taken and nothing dropped: waiting for more bytes
    }
  }
}

void CTransferEngine::ActOnReply(BYTE code, BYTE paramA) {
  // Replies behind the end of a job in the same delivery find nothing to act on.
  if (m_phase == JobPhase::Idle || m_pLink == nullptr) return;
  const bool bSendMode = IsSendPhase();
  switch (code) {
    case RSP_CONNECT:
      SetStatusText("Communicating with IRD");
      m_pLink->SendSetBaud(bSendMode ? m_nSpeedIndex : SPEED_INDEX_BASE);
      break;
    case RSP_BAUD_OK: {
      m_pLink->SendSwitchBaud();
      const int nDataSpeed = bSendMode ? m_nSpeedIndex : SPEED_INDEX_BASE;
      if (bSendMode && nDataSpeed == SPEED_INDEX_BASE) break;
      ReopenLink(nDataSpeed, [this](BOOL bOpened) {
        if (bOpened) return;
        // Without the port the job could only wait for ever.
        CloseJobFile();
        m_phase = JobPhase::Idle;
        ShowBox(PortOpenErrorText(), BoxKind::Error);
        ReportEnd({JobOutcome::PortOpenError, 0, PortOpenReason()});
      });
      break;
    }
    case RSP_READY:
      SetStatusText("Transferring Data");
      m_pLink->SendStart(m_nJob, bSendMode ? TRUE : FALSE,
                         m_nJob == JOB_DATABASE ? JOB_PARAMETER_DATABASE : 0);
      break;
    case RSP_FIRST_BLOCK:
      if (bSendMode) {
        m_nRemaining = m_nTotal;
        SendNextBlock(BlockKind::First);
      }
      break;
    case RSP_NEXT_BLOCK:
      if (m_phase == JobPhase::SendArmed || m_phase == JobPhase::Sending) {
        SendNextBlock(BlockKind::Next);
      }
      break;
    case RSP_RESEND:
      if (bSendMode) SendNextBlock(BlockKind::Resend);
      break;
    case RSP_RAW_DATA:
      // Raw data only make sense where a file is open for writing.
      if (m_phase == JobPhase::ReadArmed || m_phase == JobPhase::ReadingFrames) {
        m_phase = JobPhase::ReadingRaw;
      }
      break;
    case RSP_PROGRESS:
      if (m_phase == JobPhase::AwaitingDone) {
        SetProgressPos(CompletionProgress(paramA, m_nTotal), m_nTotal, m_nTotal);
      }
      break;
    case RSP_DONE:
      ReturnToBaseSpeed([this] {
        if (m_phase == JobPhase::AwaitingDone) m_phase = JobPhase::Idle;
        ShowBox("Done", BoxKind::Information);
        ReportEnd({JobOutcome::Done, RSP_DONE, std::string()});
      });
      break;
    case RSP_CHECKSUM_ERROR_1:
      EndJobWithError("Check Sum Error 1", {JobOutcome::Refused, code, std::string()});
      break;
    case RSP_CHECKSUM_ERROR_2:
      EndJobWithError("Check Sum Error 2", {JobOutcome::Refused, code, std::string()});
      break;
    case RSP_LINK_ERROR_1:
    case RSP_LINK_ERROR_2:
      EndJobWithError("Communication Error", {JobOutcome::Refused, code, std::string()});
      break;
    case RSP_COMM_ERROR:
      // The receiver reports a hiccup and carries on.
      ShowBox("Communication Error", BoxKind::Warning);
      break;
    case RSP_DATA_COMM_ERROR:
      EndJobWithError("Data Communication Error", {JobOutcome::Refused, code, std::string()});
      break;
    case RSP_INVALID_SW:
      EndJobWithError("Invalid S/W", {JobOutcome::Refused, code, std::string()});
      break;
    case RSP_DIFFERENT_MODEL:
      EndJobWithError("Different Model", {JobOutcome::Refused, code, std::string()});
      break;
    default:
      break;
  }
}

void CTransferEngine::EndJobWithError(const std::string& message, JobResult result) {
  CloseJobFile();
  ReturnToBaseSpeed([this, message, result] {
    ShowBox(message, BoxKind::Error);
    ReportEnd(result);
  });
}

void CTransferEngine::SendNextBlock(BlockKind kind) {
  if ((m_phase != JobPhase::SendArmed && m_phase != JobPhase::Sending) || m_pLink == nullptr) {
    return;  // a request after the last block, or after the job ended, does nothing
  }
  const DWORD nThisBlock = std::min<DWORD>(m_nRemaining, PIECE_SIZE);
  // What the file does not hold is sent as erased flash.
  BYTE block[PIECE_SIZE];
  std::memset(block, 0xFF, sizeof block);

  if (kind != BlockKind::Resend) {
    // The receiver may start a job over; the first block is always the file's start.
    if (kind == BlockKind::First && !m_file.SeekToBegin()) {
      EndJobWithError("File Read Error", {JobOutcome::FileError, 0, m_file.GetFilePath()});
      return;
    }
    // Only database and boot jobs may announce more than the file holds; a software image
    // that comes up short has changed since it was armed.
    const long long nGot = m_file.Read(block, nThisBlock);
    if (nGot < 0 || (m_nJob == JOB_SOFTWARE && nGot < static_cast<long long>(nThisBlock))) {
      EndJobWithError("File Read Error", {JobOutcome::FileError, 0, m_file.GetFilePath()});
      return;
    }
  }
  if (m_nTotal != 0) {
    const std::uint32_t nShare = m_nJob == JOB_BOOT ? PROGRESS_BOOT_SHARE : PROGRESS_SEND_SHARE;
    SetProgressPos(BlockProgress(m_nTotal, m_nRemaining, nShare),
                   m_nTotal - std::min(m_nRemaining, m_nTotal), m_nTotal);
  }

  if (kind == BlockKind::Resend) {
    if (m_pLink->KeptBlockLength() == 0) return;  // nothing was sent in this job yet
    m_pLink->SendBlock(nullptr, 0, BlockKind::Resend);
  } else {
    if (nThisBlock > 0) m_pLink->SendBlock(block, m_nRemaining, kind);
    m_nRemaining -= nThisBlock;
    m_phase = JobPhase::Sending;
  }

  if (m_nRemaining == 0) {
    CloseJobFile();
    m_phase = JobPhase::AwaitingDone;
    if (m_nJob == JOB_BOOT) {
      SetProgressPos(PROGRESS_FULL, m_nTotal, m_nTotal);
      Pause(BOOT_PAUSE_MS, [this] { ShowBox("Boot Changed", BoxKind::Information); });
    } else {
      for (IJobObserver* pObserver : std::vector<IJobObserver*>(m_observers)) pObserver->OnAllDataSent();
    }
  }
}

DWORD CTransferEngine::RawPieceRoom() const {
  if (m_nReceived < 0 || static_cast<std::uint32_t>(m_nReceived) >= DATABASE_SIZE) return 0;
  return PIECE_SIZE - static_cast<DWORD>(m_nReceived) % PIECE_SIZE;
}

void CTransferEngine::ReceiveRawChunk(const BYTE* pData, DWORD nCount) {
  if (m_phase != JobPhase::ReadingRaw) return;
  // The database has a fixed size; the file never gets more.
  const DWORD nTake = std::min(nCount, RawPieceRoom());
  if (nTake == 0) return;
  if (!m_file.Write(pData, nTake)) {
    EndJobWithError("File Write Error", {JobOutcome::FileError, 0, m_file.GetFilePath()});
    return;
  }
  m_nReceived += static_cast<std::int32_t>(nTake);
  const std::uint32_t nReceived = static_cast<std::uint32_t>(m_nReceived);
  if (nReceived % PIECE_SIZE != 0 && nReceived < DATABASE_SIZE) return;

  SetProgressPos(ReadProgress(nReceived), nReceived, DATABASE_SIZE);
  m_phase = JobPhase::ReadingFrames;
  if (m_pLink != nullptr) m_pLink->SendBlockAck();
  if (nReceived >= DATABASE_SIZE) {
    if (!PutReadFileInPlace()) {
      EndJobWithError("File Write Error", {JobOutcome::FileError, 0, m_readTarget});
      return;
    }
    ReturnToBaseSpeed([this] {
      m_nReceived = 0;
      ShowBox("Done", BoxKind::Information);
      ReportEnd({JobOutcome::Done, 0, std::string()});
    });
  }
}

void CTransferEngine::CloseJobFile() {
  if (!HasJobFile()) return;
  m_file.Close();
  // An unfinished read leaves the target as it was; what came is kept in the working file,
  // and a working file that got nothing is not kept.
  if (IsReadPhase()) {
    if (m_nReceived > 0) {
      m_partialPath = m_file.GetFilePath();
    } else {
      RemoveFile(m_file.GetFilePath());
    }
  }
  m_phase = JobPhase::Idle;
}

void CTransferEngine::ReturnToBaseSpeed(std::function<void()> then) {
  if (m_nSpeedIndex == SPEED_INDEX_BASE) {
    then();
    return;
  }
  ReopenLink(SPEED_INDEX_BASE, [then = std::move(then)](BOOL) { then(); });
}

void CTransferEngine::ReleaseReader() {
  // The link may have been reopened while the delivery was handled: it is the current link's
  // mailbox that is freed.
  if (m_pLink != nullptr) m_pLink->AcknowledgeDelivery();
}
