// The engine's frame: its observers, the link and the port, and the pauses that run as timer
// steps on the window thread.
#include "transfer/transfer_engine.h"

#include <algorithm>
#include <utility>

#include "platform/os/settings.h"
#include "platform/ui/window.h"
#include "transfer/line_choices.h"
#include "transfer/profile_keys.h"

namespace {

constexpr DWORD REOPEN_PAUSE_MS = 100;

}  // namespace

CTransferEngine::CTransferEngine() = default;

CTransferEngine::~CTransferEngine() {
  if (m_hOwner != nullptr) KillTimer(m_hOwner, TIMER_STEP);
  ReleaseLink();
  // A job's file is settled even when no one is left to tell.
  m_observers.clear();
  AbandonJob();
}

void CTransferEngine::AddObserver(IJobObserver* pObserver) {
  if (pObserver != nullptr &&
      std::find(m_observers.begin(), m_observers.end(), pObserver) == m_observers.end()) {
    m_observers.push_back(pObserver);
  }
}

void CTransferEngine::RemoveObserver(IJobObserver* pObserver) {
  m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), pObserver),
                    m_observers.end());
}

// ---- the link and the port -----------------------------------------------------------------

BOOL CTransferEngine::OpenLink(HWND hOwner) {
  ReleaseLink();
  m_hOwner = hOwner;
  m_pLink = new CReceiverLink;
  if (m_pLink->Open(m_nPortIndex, SPEED_INDEX_BASE, hOwner)) {
    SetStatusText(" Ready ");
    return TRUE;
  }
  SetStatusText(" Not Connected");
  ShowBox(PortOpenErrorText(), BoxKind::Error);
  ReportEnd({JobOutcome::PortOpenError, 0, PortOpenReason()});
  return FALSE;
}

void CTransferEngine::ReleaseLink() {
  if (m_pLink == nullptr) return;
  if (m_pLink->IsConnected()) m_pLink->Close();
  delete m_pLink;
  m_pLink = nullptr;
}

BOOL CTransferEngine::IsLinkOpen() const { return m_pLink != nullptr && m_pLink->IsConnected(); }

void CTransferEngine::SelectPort(int nPortIndex) {
  m_nPortIndex = std::clamp(nPortIndex, 0, PORT_COUNT - 1);
}

void CTransferEngine::SelectSpeed(int nSpeedIndex) {
  // A list left without a selection runs at the base speed rather than announcing index -1.
  m_nSpeedIndex = (nSpeedIndex < 0 || nSpeedIndex >= SPEED_COUNT) ? SPEED_INDEX_BASE : nSpeedIndex;
}

void CTransferEngine::ChangePort(int nPortIndex) {
  if (IsBusy()) return;
  SelectPort(nPortIndex);
  // Every job starts its handshake at the base speed; the data speed applies from the switch.
  ReopenLink(SPEED_INDEX_BASE, [this](BOOL bOpened) {
    if (bOpened) {
      WriteProfileString(PROFILE_SECTION, PROFILE_COM_PORT, PortSettingText(m_nPortIndex));
      SetStatusText(" Ready");
    } else {
      ShowBox(PortOpenErrorText(), BoxKind::Error);
      ReportEnd({JobOutcome::PortOpenError, 0, PortOpenReason()});
    }
  });
}

void CTransferEngine::ReopenLink(int nSpeedIndex, std::function<void(BOOL)> then) {
  if (m_pLink == nullptr) {
    then(FALSE);
    return;
  }
  m_pLink->BeginReopen();
  Pause(REOPEN_PAUSE_MS, [this, nSpeedIndex, then = std::move(then)] {
    const BOOL bOpened = m_pLink != nullptr && m_pLink->Reopen(m_nPortIndex, nSpeedIndex);
    if (!bOpened) SetStatusText(" Not Connected");
    then(bOpened);
  });
}

std::string CTransferEngine::PortOpenReason() const {
  return m_pLink != nullptr ? m_pLink->LastOpenErrorText() : std::string();
}

std::string CTransferEngine::PortOpenErrorText() const {
  const std::string reason = PortOpenReason();
  return reason.empty() ? std::string("Port Open Error") : "Port Open Error\n" + reason;
}

BOOL CTransferEngine::EnsureLinkOpen() {
  if (IsLinkOpen()) return TRUE;
  // The port has been closed since it failed or went away: no pause is owed before it opens.
  if (m_pLink != nullptr && m_pLink->Reopen(m_nPortIndex, SPEED_INDEX_BASE)) {
    SetStatusText(" Ready");
    return TRUE;
  }
  SetStatusText(" Not Connected");
  ShowBox(PortOpenErrorText(), BoxKind::Error);
  ReportEnd({JobOutcome::PortOpenError, 0, PortOpenReason()});
  return FALSE;
}

LRESULT CTransferEngine::OnLinkLost(WPARAM, LPARAM) {
  if (IsBusy()) {
    m_bLinkLostWaiting = true;
    return 0;
  }
  // A report from before a successful reopen is stale.
  if (m_pLink == nullptr || m_pLink->IsConnected()) return 0;
  // Let go of the device at once: a USB adapter plugged in again then gets its old name back.
  m_pLink->Close();
  const bool bMidJob = m_phase != JobPhase::Idle;
  CloseJobFile();
  m_phase = JobPhase::Idle;
  SetStatusText(" Not Connected");
  // Without a job there is nothing to end: the status line says what happened.
  if (bMidJob) ReportEnd({JobOutcome::LinkLost, 0, m_pLink->DevicePath()});
  return 0;
}

// ---- pauses ----------------------------------------------------------------------------------

void CTransferEngine::Pause(DWORD dwMilliseconds, std::function<void()> then) {
  if (m_hOwner != nullptr && SetTimer(m_hOwner, TIMER_STEP, dwMilliseconds) != 0) {
    m_afterPause = std::move(then);
    return;
  }
  // No window to time it: the step follows at once, as part of what asked for the pause.
  then();
}

void CTransferEngine::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent != TIMER_STEP) return;
  if (m_hOwner != nullptr) KillTimer(m_hOwner, TIMER_STEP);
  std::function<void()> step = std::move(m_afterPause);
  m_afterPause = nullptr;
  if (step) step();
  ResumeAfterPause();
}

void CTransferEngine::ResumeAfterPause() {
  // The step may have begun the next pause; what waits, waits for that one too.
  if (IsBusy()) return;
  if (m_bDeliveryInHand) {
    ActOnHeldBytes();
    if (IsBusy()) return;
    m_bDeliveryInHand = false;
    ReleaseReader();
  }
  if (m_bDeliveryWaiting) {
    m_bDeliveryWaiting = false;
    TakeDelivery();
    if (IsBusy()) return;
  }
  if (m_bLinkLostWaiting) {
    m_bLinkLostWaiting = false;
    OnLinkLost(0, 0);
  }
}

// ---- what the observers see ------------------------------------------------------------------

void CTransferEngine::SetStatusText(const std::string& text) {
  // The same text again changes nothing anyone sees.
  if (text == m_status) return;
  m_status = text;
  for (IJobObserver* pObserver : std::vector<IJobObserver*>(m_observers)) pObserver->OnStatusText(text);
}

void CTransferEngine::SetProgressPos(int nPos, std::uint64_t nDone, std::uint64_t nTotal) {
  JobProgress progress;
  progress.nPos = nPos;
  progress.nDone = nDone;
  progress.nTotal = nTotal;
  for (IJobObserver* pObserver : std::vector<IJobObserver*>(m_observers)) pObserver->OnProgress(progress);
}

void CTransferEngine::ReportJobArmed() {
  JobProgress progress;
  progress.nTotal = m_nTotal;
  progress.bJobArmed = true;
  for (IJobObserver* pObserver : std::vector<IJobObserver*>(m_observers)) pObserver->OnProgress(progress);
}

void CTransferEngine::ShowBox(const std::string& text, BoxKind kind) {
  for (IJobObserver* pObserver : std::vector<IJobObserver*>(m_observers)) {
    pObserver->OnMessageBox(text, kind);
  }
}

void CTransferEngine::ReportEnd(const JobResult& result) {
  JobResult ended = result;
  if (ended.sPartialPath.empty()) ended.sPartialPath = m_partialPath;
  m_partialPath.clear();
  for (IJobObserver* pObserver : std::vector<IJobObserver*>(m_observers)) pObserver->OnJobEnded(ended);
}

// ---- the phase -------------------------------------------------------------------------------

bool CTransferEngine::IsSendPhase() const {
  return m_phase == JobPhase::SendArmed || m_phase == JobPhase::Sending ||
         m_phase == JobPhase::AwaitingDone;
}

bool CTransferEngine::IsReadPhase() const {
  return m_phase == JobPhase::ReadArmed || m_phase == JobPhase::ReadingFrames ||
         m_phase == JobPhase::ReadingRaw;
}

bool CTransferEngine::HasJobFile() const {
  return m_phase != JobPhase::Idle && m_phase != JobPhase::AwaitingDone;
}

bool CTransferEngine::IsPastArming() const {
  return m_phase == JobPhase::Sending || m_phase == JobPhase::AwaitingDone ||
         m_phase == JobPhase::ReadingFrames || m_phase == JobPhase::ReadingRaw ||
         m_listFile.IsOpen();
}

void CTransferEngine::AbandonJob() {
  // A read that failed and was still to report it in a pause is ended here, with its data.
  const bool bRunning = m_phase != JobPhase::Idle || m_listFile.IsOpen() || !m_partialPath.empty();
  if (IsBusy()) {
    // The rest of a pause's work is not done; a delivery it held back is let go unread.
    if (m_hOwner != nullptr) KillTimer(m_hOwner, TIMER_STEP);
    m_afterPause = nullptr;
    if (m_bDeliveryInHand || m_bDeliveryWaiting) ReleaseReader();
    m_bDeliveryInHand = false;
    m_bDeliveryWaiting = false;
  }
  m_listFile.Close();
  CloseJobFile();
  m_phase = JobPhase::Idle;
  if (bRunning) ReportEnd({JobOutcome::Interrupted, 0, std::string()});
}
