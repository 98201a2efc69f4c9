// The job state machine: every step of a job after arming is a reaction to a delivery of the
// serial reader (WM_USER+1). A delivery is taken whole: raw database bytes go to the file up
// to the end of the current 512-byte piece, everything else is cut into reply frames, and every
// complete frame held afterwards is acted on in order before the reader is released.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "app/quorin_dlg.h"
#include "platform/os/sync.h"

namespace {

constexpr DWORD PIECE_SIZE = quorin::DATA_BLOCK_SIZE;
constexpr std::uint32_t PROGRESS_SEND_SHARE = 90;  // software and database jobs
constexpr std::uint32_t PROGRESS_BOOT_SHARE = 100;
constexpr DWORD BOOT_PAUSE_MS = 1000;

bool IsJobWithFile(int nJob) {
  return nJob == JOB_BOOT || nJob == JOB_DATABASE || nJob == JOB_SOFTWARE;
}

// Reads n bytes unless the file ends first; -1 on a read error.
long long ReadUpTo(CFile& file, BYTE* pOut, DWORD n) {
  DWORD nGot = 0;
  while (nGot < n) {
    const long long r = file.Read(pOut + nGot, n - nGot);
    if (r < 0) return -1;
    if (r == 0) break;
    nGot += static_cast<DWORD>(r);
  }
  return nGot;
}

}  // namespace

LRESULT CQuorinDlg::OnReceiverEvent(WPARAM wParam, LPARAM) {
  if (m_pLink == nullptr) return 0;
  // The mailbox says what it holds; a message whose chunk was already released (the port was
  // reopened before it was handled) finds it empty.
  DWORD nCount = m_pLink->m_nPending.load();
  nCount = std::min<DWORD>(nCount, SERIAL_CHUNK_MAX);
  if (nCount == 0 || wParam == 0) {
    ReleaseReader();
    return 0;
  }
  // A reply may reopen the port before the chunk is used up.
  BYTE chunk[SERIAL_CHUNK_MAX];
  std::memcpy(chunk, m_pLink->m_RecvBuf, nCount);

  if (!m_bSendFileOpen && !m_bReceiveFileOpen && !m_bAwaitDone) {
    SetStatusText("Select File");
  } else {
    ConsumeDelivery(chunk, nCount);
  }
  ReleaseReader();
  return 0;
}

void CQuorinDlg::ConsumeDelivery(const BYTE* pData, DWORD nCount) {
  if (m_bRawReceive) {
    const DWORD nRoom = RawPieceRoom();
    if (nRoom == 0) m_bRawReceive = FALSE;
    const DWORD nRaw = std::min(nCount, nRoom);
    ReceiveRawChunk(pData, nRaw);
    pData += nRaw;
    nCount -= nRaw;
    if (m_bRawReceive) return;  // the piece is still open, so nothing was left over
  }
  if (m_pLink == nullptr) return;

  BYTE code = 0;
  BYTE paramA = 0;
  int nResult = m_pLink->ParseBytes(pData, nCount, code, paramA);
  for (;;) {
    if (nResult == 0) ActOnReply(code, paramA);
    if (m_pLink == nullptr) return;
    if (m_bRawReceive) {
      TakeHeldRawBytes();
      if (m_bRawReceive) return;
    }
    const DWORD nHeldBefore = m_pLink->HeldByteCount();
    if (nHeldBefore == 0) return;
    code = 0;
    nResult = m_pLink->ParseFrame(0, code, paramA);
    // A call that neither takes nor drops anything is waiting for more bytes.
    if (nResult != 0 && m_pLink->HeldByteCount() >= nHeldBefore) return;
  }
}

DWORD CQuorinDlg::RawPieceRoom() const {
  if (m_nReceived < 0 || static_cast<std::uint32_t>(m_nReceived) >= DATABASE_SIZE) return 0;
  return PIECE_SIZE - static_cast<DWORD>(m_nReceived) % PIECE_SIZE;
}

void CQuorinDlg::TakeHeldRawBytes() {
  while (m_bRawReceive && m_pLink != nullptr && m_pLink->HeldByteCount() > 0) {
    BYTE buffer[PIECE_SIZE];
    const DWORD nTaken = m_pLink->TakeHeldBytes(buffer, RawPieceRoom());
    if (nTaken == 0) return;
    ReceiveRawChunk(buffer, nTaken);
  }
}

void CQuorinDlg::ActOnReply(BYTE code, BYTE paramA) {
  // Replies behind the end of a job in the same delivery find nothing to act on.
  if (!m_bSendFileOpen && !m_bReceiveFileOpen && !m_bAwaitDone) return;
  if (m_pLink == nullptr) return;
  m_nReplyInHand = code;
  const int nSpeed = SelectedSpeedIndex();
  switch (code) {
    case RSP_CONNECT:
      SetStatusText("Communicating with IRD");
      m_pLink->SendSetBaud(m_bSendMode ? nSpeed : SPEED_INDEX_BASE);
      break;
    case RSP_BAUD_OK: {
      m_pLink->SendSwitchBaud();
      BOOL bOpen = TRUE;
      if (!m_bSendMode) {
        bOpen = ReopenLink(SPEED_INDEX_BASE);
      } else if (nSpeed != SPEED_INDEX_BASE) {
        bOpen = ReopenLink(nSpeed);
      }
      if (!bOpen) {
        // Without the port the job could only wait for ever.
        CloseJobFile();
        m_bAwaitDone = FALSE;
        AfxMessageBox("Port Open Error");
      }
      break;
    }
    case RSP_READY:
      SetStatusText("Transferring Data");
      m_pLink->SendStart(m_nJob, m_bSendMode, m_nJob == JOB_DATABASE ? JOB_PARAMETER_DATABASE : 0);
      break;
    case RSP_FIRST_BLOCK:
      if (m_bSendMode) {
        m_nRemaining = m_nTotal;
        SendNextBlock(0);
      }
      break;
    case RSP_NEXT_BLOCK:
      if (m_bSendFileOpen) SendNextBlock(1);
      break;
    case RSP_RESEND:
      if (m_bSendMode) SendNextBlock(2);
      break;
    case RSP_RAW_DATA:
      // Raw data only make sense where a file is open for writing.
      if (m_bReceiveFileOpen && !m_bSendMode) m_bRawReceive = TRUE;
      break;
    case RSP_PROGRESS:
      if (m_bAwaitDone) {
        SetProgressPos(static_cast<int>(paramA * 10u / (m_nTotal / 65536u + 1u) + 90u));
      }
      break;
    case RSP_DONE:
      ReturnToBaseSpeed();
      m_bAwaitDone = FALSE;
      AfxMessageBox("Done");
      break;
    case RSP_CHECKSUM_ERROR_1:
      EndJobWithError("Check Sum Error 1");
      break;
    case RSP_CHECKSUM_ERROR_2:
      EndJobWithError("Check Sum Error 2");
      break;
    case RSP_LINK_ERROR_1:
    case RSP_LINK_ERROR_2:
      EndJobWithError("Communication Error");
      break;
    case RSP_COMM_ERROR:
      AfxMessageBox("Communication Error");
      break;
    case RSP_DATA_COMM_ERROR:
      EndJobWithError("Data Communication Error");
      break;
    case RSP_INVALID_SW:
      EndJobWithError("Invalid S/W");
      break;
    case RSP_DIFFERENT_MODEL:
      EndJobWithError("Different Model");
      break;
    default:
      break;
  }
  m_nReplyInHand = 0;
}

void CQuorinDlg::EndJobWithError(const std::string& message) {
  CloseJobFile();
  ReturnToBaseSpeed();
  AfxMessageBox(message);
}

void CQuorinDlg::SendNextBlock(int nKind) {
  if (!m_bSendFileOpen || m_pLink == nullptr) return;
  CReceiverLink& link = *m_pLink;
  const DWORD nThisBlock = std::min<DWORD>(m_nRemaining, PIECE_SIZE);

  if (IsJobWithFile(m_nJob)) {
    if (nKind != 2) {
      // The receiver may start a job over; the first block is always the file's start.
      if (nKind == 0 && !m_file.SeekToBegin()) {
        EndJobWithError("File Read Error");
        return;
      }
      // What the file does not hold is sent as erased flash.
      std::memset(link.m_blockBuffer, 0xFF, sizeof link.m_blockBuffer);
      // Only database and boot jobs may announce more than the file holds; a software image
      // that comes up short has changed since it was armed.
      const long long nGot = ReadUpTo(m_file, link.m_blockBuffer, nThisBlock);
      if (nGot < 0 || (m_nJob == JOB_SOFTWARE && nGot < static_cast<long long>(nThisBlock))) {
        EndJobWithError("File Read Error");
        return;
      }
      link.m_nBlockLength = nThisBlock;
    }
    if (m_nTotal != 0) {
      const std::uint64_t nShare = m_nJob == JOB_BOOT ? PROGRESS_BOOT_SHARE : PROGRESS_SEND_SHARE;
      const std::uint64_t nTotal = m_nTotal;
      const std::uint64_t nRemaining = std::min(m_nRemaining, m_nTotal);
      SetProgressPos(static_cast<int>((nTotal * nShare - nRemaining * nShare) / nTotal));
    }
  }

  if (nKind == 2) {
    if (link.m_nBlockLength == 0) return;  // nothing was sent in this job yet
    link.SendBlock(link.m_blockBuffer, link.m_nBlockLength, 2);
  } else {
    if (nThisBlock > 0) link.SendBlock(link.m_blockBuffer, m_nRemaining, nKind);
    m_nRemaining -= nThisBlock;
  }

  if (m_nRemaining == 0) {
    CloseJobFile();
    m_bAwaitDone = TRUE;
    if (m_nJob == JOB_BOOT) {
      SetProgressPos(100);
      Sleep(BOOT_PAUSE_MS);
      AfxMessageBox("Boot Changed");
    }
  }
}

void CQuorinDlg::ReceiveRawChunk(const BYTE* pData, DWORD nCount) {
  if (!m_bReceiveFileOpen) return;
  // The database has a fixed size; the file never gets more.
  const DWORD nTake = std::min(nCount, RawPieceRoom());
  if (nTake == 0) return;
  if (!m_file.Write(pData, nTake)) {
    EndJobWithError("File Write Error");
    return;
  }
  m_nReceived += static_cast<std::int32_t>(nTake);
  const std::uint32_t nReceived = static_cast<std::uint32_t>(m_nReceived);
  if (nReceived % PIECE_SIZE == 0 || nReceived >= DATABASE_SIZE) {
    SetProgressPos(static_cast<int>(static_cast<std::uint64_t>(nReceived) * 100u / DATABASE_SIZE));
    m_bRawReceive = FALSE;
    if (m_pLink != nullptr) m_pLink->SendBlockAck();
    if (nReceived >= DATABASE_SIZE) {
      CloseJobFile();
      ReturnToBaseSpeed();
      m_nReceived = 0;
      AfxMessageBox("Done");
    }
  }
}

void CQuorinDlg::CloseJobFile() {
  if (m_bSendFileOpen) {
    m_bSendFileOpen = FALSE;
    m_file.Close();
  }
  if (m_bReceiveFileOpen) {
    m_bReceiveFileOpen = FALSE;
    m_bRawReceive = FALSE;
    m_file.Close();
  }
}

void CQuorinDlg::ReturnToBaseSpeed() {
  if (SelectedSpeedIndex() != SPEED_INDEX_BASE) ReopenLink(SPEED_INDEX_BASE);
}

BOOL CQuorinDlg::ReopenLink(int nSpeedIndex) {
  if (m_pLink == nullptr) return FALSE;
  if (m_pLink->Reopen(SelectedPortIndex(), nSpeedIndex)) return TRUE;
  SetStatusText(" Not Connected");
  return FALSE;
}

void CQuorinDlg::SetStatusText(const std::string& text) {
  if (m_ctlStatus.GetSafeHwnd() == nullptr) return;
  // Hidden and shown again so that the new text replaces the old at once, also while this
  // thread stays busy afterwards.
  m_ctlStatus.ShowWindow(SW_HIDE);
  m_ctlStatus.SetWindowText(text);
  m_ctlStatus.ShowWindow(SW_SHOW);
  m_ctlStatus.RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CQuorinDlg::SetProgressPos(int nPos) {
  if (m_ctlProgress.GetSafeHwnd() == nullptr) return;
  m_ctlProgress.SetPos(nPos);
  m_ctlProgress.UpdateWindow();
}

int CQuorinDlg::SelectedPortIndex() {
  const int nSel = m_cboComPort.GetSafeHwnd() != nullptr ? m_cboComPort.GetCurSel() : CB_ERR;
  return nSel < 0 ? 0 : nSel;
}

int CQuorinDlg::SelectedSpeedIndex() {
  // A list left without a selection runs at the base speed rather than announcing index -1.
  const int nSel = m_cboBaud.GetSafeHwnd() != nullptr ? m_cboBaud.GetCurSel() : CB_ERR;
  return (nSel < 0 || nSel >= SPEED_COUNT) ? SPEED_INDEX_BASE : nSel;
}

void CQuorinDlg::ReleaseReader() {
  // The link may have been reopened or released while the delivery was handled: it is the
  // current link's mailbox that is freed.
  if (m_pLink == nullptr) return;
  m_pLink->m_nPending = 0;
  m_pLink->m_hAckEvent.Set();
}

LRESULT CQuorinDlg::OnLinkLost(WPARAM, LPARAM) {
  // A report from before a successful reopen is stale.
  if (m_pLink == nullptr || m_pLink->IsConnected()) return 0;
  m_bLinkLost = TRUE;
  // Let go of the device at once: a USB adapter plugged in again then gets its old name back.
  m_pLink->Close();
  CloseJobFile();
  m_bAwaitDone = FALSE;
  SetStatusText(" Not Connected");
  return 0;
}
