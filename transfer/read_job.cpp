// Reading the receiver's database into a file on the PC. Arming creates the working file beside
// the target and sends the reboot text; the data come as raw 512-byte pieces
// (job_state_machine.cpp). The target, often the last good backup, is not touched before the
// new database is whole: then the working file takes its place in one step.
#include "platform/os/file.h"
#include "transfer/transfer_engine.h"

void CTransferEngine::PrepareRead() {
  AbandonJob();
  m_nJob = JOB_DATABASE;
}

void CTransferEngine::StartReadJob(const std::string& path) {
  AbandonJob();
  m_nJob = JOB_DATABASE;
  if (!EnsureLinkOpen()) return;
  // A folder, a device or a FIFO in the target's place would be replaced by the file at the end.
  if (GetPathKind(path) == PathKind::Special) {
    RefuseFile(path, "not a regular file");
    return;
  }
  const std::string partPath = PartialPath(path);
  if (!m_file.Open(partPath, CFile::modeCreate | CFile::modeReadWrite)) {
    RefuseFile(partPath, m_file.LastErrorText());
    return;
  }
  m_readTarget = path;
  m_phase = JobPhase::ReadArmed;
  SetJobSize();
  m_nReceived = 0;
  ReportArmed(false);
  if (m_pLink != nullptr) m_pLink->SendRebootText();
  ReportJobArmed();
  SetStatusText("Turn on the STB");
}

BOOL CTransferEngine::PutReadFileInPlace() {
  // On the disk before it replaces the backup, so a power cut leaves one whole file or the other.
  const BOOL bFlushed = m_file.Flush();
  m_file.Close();
  if (!bFlushed || !MoveFileOver(m_file.GetFilePath(), m_readTarget)) return FALSE;
  m_phase = JobPhase::Idle;
  return TRUE;
}
