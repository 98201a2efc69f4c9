// Sending to the receiver: a chosen file's length and first bytes decide the job, and the job
// is armed (file open, size fixed, reboot text sent); the receiver's replies do the rest.
#include <cstdint>
#include <limits>

#include "platform/os/file.h"
#include "platform/os/settings.h"
#include "transfer/profile_keys.h"
#include "transfer/transfer_engine.h"

namespace {

constexpr std::uint64_t MIN_IMAGE_SIZE = 0x10000;
constexpr std::uint64_t DATABASE_RANGE_LOW = 0x30000;   // exclusive
constexpr std::uint64_t DATABASE_RANGE_HIGH = 0x60000;  // exclusive
constexpr std::uint64_t DATABASE_GRANULE = 1024;
constexpr std::uint64_t SOFTWARE_SIZE_LIMIT = 0x400000;  // exclusive
constexpr std::uint32_t BOOT_GRANULE_MASK = 0xFFFF;
constexpr std::uint32_t BOOT_FALLBACK_SIZE = 0x20000;
constexpr BYTE HANDOFF_MARK_0 = 0xB1;
constexpr BYTE HANDOFF_MARK_1 = 0xE8;
constexpr DWORD IDENTITY_SIZE = 16;

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
  if (!ReadFileHead(path, nLength, head, sizeof head, nHead)) {
    ShowBox("File Open Error", BoxKind::Error);
    return JOB_INVALID;
  }
  if (nHead >= 2 && head[0] == HANDOFF_MARK_0 && head[1] == HANDOFF_MARK_1) {
    HandOffChannelList(path);
  }
  if (path.find(".sdx") != std::string::npos) return JOB_CHANNEL_LIST;
  if (nLength < MIN_IMAGE_SIZE) return JOB_INVALID;
  if (nLength > DATABASE_RANGE_LOW && nLength < DATABASE_RANGE_HIGH) {
    return nLength % DATABASE_GRANULE == 0 ? JOB_DATABASE : JOB_INVALID;
  }
  if (nLength < SOFTWARE_SIZE_LIMIT) return JOB_SOFTWARE;
  return JOB_INVALID;
}

BOOL CTransferEngine::OpenSendFile(const std::string& path) {
  AbandonJob();
  if (!m_file.Open(path, CFile::modeRead)) {
    ShowBox("File Open Error", BoxKind::Error);
    ReportEnd({JobOutcome::FileError, 0, path});
    return FALSE;
  }
  // A resend before this job's first block must not repeat the last job's block.
  if (m_pLink != nullptr) m_pLink->ForgetBlock();
  return TRUE;
}

BOOL CTransferEngine::RefuseEmptyImage() {
  // An empty software or boot image has nothing to announce: arming it would leave the
  // receiver waiting for a first block that never comes, or fill its boot area with padding.
  if (m_file.GetLength() != 0) return FALSE;
  m_file.Close();
  ShowBox("Invalid File", BoxKind::Error);
  ReportEnd({JobOutcome::FileError, 0, m_file.GetFilePath()});
  return TRUE;
}

void CTransferEngine::StartSoftwareJob(const std::string& path) {
  m_nJob = JOB_SOFTWARE;
  if (!OpenSendFile(path) || RefuseEmptyImage()) return;

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
  if (!OpenSendFile(path)) return;
  ArmSendJob(JOB_DATABASE);
}

void CTransferEngine::StartBootJob(const std::string& path) {
  m_nJob = JOB_BOOT;
  if (!OpenSendFile(path) || RefuseEmptyImage()) return;
  ArmSendJob(JOB_BOOT);
}

void CTransferEngine::ArmSendJob(int nJob) {
  m_nJob = nJob;
  SetJobSize();
  if (m_pLink != nullptr) m_pLink->SendRebootText();
  m_phase = JobPhase::SendArmed;
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
      if (nLength <= 0) {
        m_nTotal = 0;
      } else if (nLength > std::numeric_limits<std::uint32_t>::max()) {
        m_nTotal = std::numeric_limits<std::uint32_t>::max();
      } else {
        m_nTotal = static_cast<std::uint32_t>(nLength);
      }
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
