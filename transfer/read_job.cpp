// Reading the receiver's database into a file on the PC. Arming creates the file and sends the
// reboot text; the data come as raw 512-byte pieces (job_state_machine.cpp).
#include "transfer/transfer_engine.h"

void CTransferEngine::PrepareRead() {
  AbandonJob();
  m_nJob = JOB_DATABASE;
}

void CTransferEngine::StartReadJob(const std::string& path) {
  AbandonJob();
  m_nJob = JOB_DATABASE;
  if (!m_file.Open(path, CFile::modeCreate | CFile::modeReadWrite)) {
    ShowBox("File Open Error", BoxKind::Error);
    ReportEnd({JobOutcome::FileError, 0, path});
    return;
  }
  m_phase = JobPhase::ReadArmed;
  SetJobSize();
  m_nReceived = 0;
  if (m_pLink != nullptr) m_pLink->SendRebootText();
  SetStatusText("Turn on the STB");
}
