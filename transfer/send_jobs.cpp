// Sending to the receiver: a chosen file's length and first bytes decide the job, and the job
// is armed (file open, size fixed, reboot text sent); the receiver's replies do the rest.
#include <cstdint>
#include <limits>
#include <vector>

#include "platform/os/file.h"
#include "platform/os/settings.h"
#include "transfer/job_summary.h"
#include "transfer/profile_keys.h"
#include "transfer/transfer_engine.h"

namespace {

constexpr std::uint32_t BOOT_GRANULE_MASK = 0xFFFF;
constexpr std::uint32_t BOOT_FALLBACK_SIZE = 0x20000;
constexpr BYTE HANDOFF_MARK_0 = 0xB1;
constexpr BYTE HANDOFF_MARK_1 = 0xE8;
constexpr DWORD IDENTITY_SIZE = 16;

// The box's first line is the program's own; the second names the file and the reason.
std::string FileOpenErrorText(const std::string& path, const std::string& why) {
  if (why.empty()) return "File Open Error";
  return "File Open Error\n" + (path.empty() ? why : path + ": " + why);
}

}  // namespace

int CTransferEngine::PrepareSend(const std::string& path, const std::string& fileName) {
  AbandonJob();
  SetStatusText(fileName.empty() ? FileNameOf(path) : fileName);

  const int nJob = ClassifyFile(path);
  if (nJob == JOB_INVALID) {
    SetStatusText("Invalid File");
    ShowBox("Invalid File", BoxKind::Error);
    ReportEnd({JobOutcome::FileError, 0, path});
  }
  return nJob;
}

void CTransferEngine::StartSendJob(int nJob, const std::string& path) {
  switch (nJob) {
    case JOB_CHANNEL_LIST:
      SendChannelListRaw(path);
      break;
    case JOB_DATABASE:
      StartDatabaseJob(path);
      break;
    case JOB_SOFTWARE:
      StartSoftwareJob(path);
      break;
    case JOB_BOOT:
      StartBootJob(path);
      break;
    default:
      break;
  }
  if (m_phase == JobPhase::SendArmed) SetStatusText("Turn on the STB");
}

int CTransferEngine::ClassifyFile(const std::string& path) {
  // Only the length and the first two bytes decide; the file is never read whole.
  std::uint64_t nLength = 0;
  BYTE head[2] = {};
  std::size_t nHead = 0;
  std::string why;
  if (!ReadFileHead(path, nLength, head, sizeof head, nHead, &why)) {
    ShowBox(FileOpenErrorText(path, why), BoxKind::Error);
    return JOB_INVALID;
  }
  if (nHead >= 2 && head[0] == HANDOFF_MARK_0 && head[1] == HANDOFF_MARK_1) {
    HandOffChannelList(path);
  }
  return ClassifyByContent(path, nLength, head, nHead);
}

BOOL CTransferEngine::OpenSendFile(const std::string& path) {
  AbandonJob();
  if (!EnsureLinkOpen()) return FALSE;
  if (!m_file.Open(path, CFile::modeRead)) {
    RefuseFile(path, m_file.LastErrorText());
    return FALSE;
  }
  // A resend before this job's first block must not repeat the last job's block.
  if (m_pLink != nullptr) m_pLink->ForgetBlock();
  return TRUE;
}

void CTransferEngine::RefuseFile(const std::string& path, const std::string& why) {
  ShowBox(FileOpenErrorText(path, why), BoxKind::Error);
  ReportEnd({JobOutcome::FileError, 0, path});
}

BOOL CTransferEngine::RefuseUnannounceableImage() {
  // An empty image has nothing to announce: arming it would leave the receiver waiting for a
  // first block that never comes, or fill its flash with padding alone. A software image's
  // length goes out in 32 bits, which cannot tell 4 GiB or more.
  const long long nLength = m_file.GetLength();
  const bool bTooLong = m_nJob == JOB_SOFTWARE &&
                        nLength > static_cast<long long>(std::numeric_limits<std::uint32_t>::max());
  if (nLength > 0 && !bTooLong) return FALSE;
  m_file.Close();
  ShowBox(nLength < 0 ? "File Read Error" : "Invalid File", BoxKind::Error);
  ReportEnd({JobOutcome::FileError, 0, m_file.GetFilePath()});
  return TRUE;
}

void CTransferEngine::StartSoftwareJob(const std::string& path) {
  m_nJob = JOB_SOFTWARE;
  if (!OpenSendFile(path) || RefuseUnannounceableImage()) return;

  BYTE head[IDENTITY_SIZE] = {};
  const long long nHead = m_file.Read(head, sizeof head);
  if (nHead < 0 || !m_file.SeekToBegin()) {
    m_file.Close();
    ShowBox("File Read Error", BoxKind::Error);
    ReportEnd({JobOutcome::FileError, 0, path});
    return;
  }
  if (m_pLink != nullptr) m_pLink->SetIdentityFromImage(head, static_cast<DWORD>(nHead));
  ArmSendJob(JOB_SOFTWARE);
  RememberFolder(path);
}

void CTransferEngine::StartDatabaseJob(const std::string& path) {
  m_nJob = JOB_DATABASE;
  if (!OpenSendFile(path) || RefuseUnannounceableImage()) return;
  ArmSendJob(JOB_DATABASE);
}

void CTransferEngine::StartBootJob(const std::string& path) {
  m_nJob = JOB_BOOT;
  if (!OpenSendFile(path) || RefuseUnannounceableImage()) return;
  ArmSendJob(JOB_BOOT);
}

void CTransferEngine::ArmSendJob(int nJob) {
  m_nJob = nJob;
  SetJobSize();
  ReportArmed(true);
  if (m_pLink != nullptr) m_pLink->SendRebootText();
  m_phase = JobPhase::SendArmed;
  ReportJobArmed();
}

void CTransferEngine::ReportArmed(bool bSend) {
  JobSummary summary;
  summary.nJob = m_nJob;
  summary.bSend = bSend;
  summary.nAnnounced = m_nTotal;
  if (bSend) {
    summary.sPath = m_file.GetFilePath();
    const long long nLength = m_file.GetLength();
    summary.nFileSize = nLength > 0 ? static_cast<std::uint64_t>(nLength) : 0;
    summary.nBaud = SPEED_TABLE[m_nSpeedIndex];
    // The Send button's view of the same file: its length, its first two bytes, its name.
    std::uint64_t nHeadLength = 0;
    BYTE head[2] = {};
    std::size_t nHead = 0;
    if (!ReadFileHead(summary.sPath, nHeadLength, head, sizeof head, nHead, nullptr)) nHead = 0;
    summary.nClassifiedJob = ClassifyByContent(summary.sPath, summary.nFileSize, head, nHead);
  } else {
    summary.sPath = m_readTarget;
    summary.nBaud = SPEED_TABLE[SPEED_INDEX_BASE];
    summary.nClassifiedJob = m_nJob;
  }
  for (IJobObserver* pObserver : std::vector<IJobObserver*>(m_observers)) pObserver->OnJobArmed(summary);
}

void CTransferEngine::SetJobSize() {
  const long long nLength = m_file.GetLength();
  switch (m_nJob) {
    case JOB_BOOT:
      // An empty file or one too long to announce is no boot image either.
      if (nLength <= 0 || nLength > std::numeric_limits<std::uint32_t>::max() ||
          (static_cast<std::uint32_t>(nLength) & BOOT_GRANULE_MASK) != 0) {
        ShowBox("Not Boot File!", BoxKind::Warning);
        m_nTotal = BOOT_FALLBACK_SIZE;
      } else {
        m_nTotal = static_cast<std::uint32_t>(nLength);
      }
      break;
    case JOB_DATABASE:
      m_nTotal = DATABASE_SIZE;
      break;
    case JOB_SOFTWARE:
      // Armed only with a length that 32 bits hold.
      m_nTotal = nLength > 0 && nLength <= std::numeric_limits<std::uint32_t>::max()
                     ? static_cast<std::uint32_t>(nLength)
                     : 0;
      break;
    default:
      break;
  }
  if (m_pLink != nullptr) m_pLink->SetImageSize(m_nTotal);
}

void CTransferEngine::RememberFolder(const std::string& path) {
  // The search stops at the second character: a separator in front is no folder to remember.
  std::string folder;
  for (std::size_t i = path.size(); i-- > 1;) {
    if (path[i] == PATH_SEPARATOR) {
      folder = path.substr(0, i);
      break;
    }
  }
  WriteProfileString(PROFILE_SECTION, PROFILE_FOLDER, folder);
}
