// The Send button: the user picks a file, its length and first bytes decide the job, and the
// job is armed (file open, size fixed, reboot text sent); the receiver's replies do the rest.
#include <cstdint>
#include <limits>

#include "app/quorin_dlg.h"
#include "platform/os/file.h"
#include "platform/os/process.h"
#include "platform/os/settings.h"

namespace {

const char* const PROFILE_SECTION = "Marlpane";
const char* const PROFILE_FOLDER = "Folder";
const char* const SEND_FILTER =
    "Download File (*.bin;*.sdx)|*.bin;*.sdx|SatCoDx Files (*.sdx)|*.sdx|All File (*.*)|*.*||";

constexpr std::uint64_t MIN_IMAGE_SIZE = 0x10000;
constexpr std::uint64_t DATABASE_RANGE_LOW = 0x30000;   // exclusive
constexpr std::uint64_t DATABASE_RANGE_HIGH = 0x60000;  // exclusive
constexpr std::uint64_t DATABASE_GRANULE = 1024;
constexpr std::uint64_t SOFTWARE_SIZE_LIMIT = 0x400000;  // exclusive
constexpr std::uint32_t BOOT_GRANULE_MASK = 0xFFFF;
constexpr std::uint32_t BOOT_FALLBACK_SIZE = 0x20000;
constexpr BYTE HANDOFF_MARK_0 = 0xB1;
constexpr BYTE HANDOFF_MARK_1 = 0xE8;

std::string FileNameOf(const std::string& path) {
  const std::size_t nSep = path.rfind(PATH_SEPARATOR);
  return nSep == std::string::npos ? path : path.substr(nSep + 1);
}

}  // namespace

void CQuorinDlg::OnSendToReceiver() {
  FileDialogRequest request;
  request.save = false;
  request.filter = SEND_FILTER;
  request.initialFolder = GetProfileString(PROFILE_SECTION, PROFILE_FOLDER, "");
  request.hideReadOnly = true;
  const FileDialogResult result = RunFileDialog(m_hWnd, request);
  if (!result.ok) return;

  m_bAwaitDone = FALSE;
  if (m_bSendFileOpen || m_bReceiveFileOpen) CloseJobFile();
  m_bSendMode = TRUE;
  SetStatusText(result.fileName.empty() ? FileNameOf(result.path) : result.fileName);

  m_nJob = ClassifyFile(result.path);
  if (m_nJob == JOB_INVALID) {
    SetStatusText("Invalid File");
    AfxMessageBox("Invalid File");
    return;
  }
  m_ctlFileName.SetWindowText(result.path);

  switch (m_nJob) {
    case JOB_CHANNEL_LIST:
      SendChannelListRaw(result.path);
      break;
    case JOB_DATABASE:
      StartDatabaseJob(result.path);
      break;
    case JOB_SOFTWARE:
      StartSoftwareJob(result.path);
      break;
    case JOB_BOOT:
      StartBootJob(result.path);
      break;
    default:
      break;
  }
  if (m_bSendFileOpen) SetStatusText("Turn on the STB");
}

int CQuorinDlg::ClassifyFile(const std::string& path) {
  // Only the length and the first two bytes decide; the file is never read whole.
  std::uint64_t nLength = 0;
  BYTE head[2] = {};
  std::size_t nHead = 0;
  if (!ReadFileHead(path, nLength, head, sizeof head, nHead)) {
    AfxMessageBox("File Open Error");
    return JOB_INVALID;
  }
  if (nHead >= 2 && head[0] == HANDOFF_MARK_0 && head[1] == HANDOFF_MARK_1) {
    HandOffChannelList(path);
    return JOB_INVALID;  // not reached: the hand-off ends the program
  }
  if (path.find(".sdx") != std::string::npos) return JOB_CHANNEL_LIST;
  if (nLength < MIN_IMAGE_SIZE) return JOB_INVALID;
  if (nLength > DATABASE_RANGE_LOW && nLength < DATABASE_RANGE_HIGH) {
    return nLength % DATABASE_GRANULE == 0 ? JOB_DATABASE : JOB_INVALID;
  }
  if (nLength < SOFTWARE_SIZE_LIMIT) return JOB_SOFTWARE;
  return JOB_INVALID;
}

BOOL CQuorinDlg::OpenSendFile(const std::string& path) {
  if (m_file.IsOpen()) m_file.Close();
  if (!m_file.Open(path, CFile::modeRead)) {
    AfxMessageBox("File Open Error");
    return FALSE;
  }
  // A resend before this job's first block must not repeat the last job's block.
  if (m_pLink != nullptr) m_pLink->m_nBlockLength = 0;
  return TRUE;
}

BOOL CQuorinDlg::RefuseEmptyImage() {
  // An empty software or boot image has nothing to announce: arming it would leave the
  // receiver waiting for a first block that never comes, or fill its boot area with padding.
  if (m_file.GetLength() != 0) return FALSE;
  m_file.Close();
  AfxMessageBox("Invalid File");
  return TRUE;
}

void CQuorinDlg::StartSoftwareJob(const std::string& path) {
  if (!OpenSendFile(path) || RefuseEmptyImage()) return;

  BYTE head[16] = {};
  DWORD nHead = 0;
  while (nHead < sizeof head) {
    const long long r = m_file.Read(head + nHead, sizeof head - nHead);
    if (r < 0) {
      m_file.Close();
      AfxMessageBox("File Read Error");
      return;
    }
    if (r == 0) break;
    nHead += static_cast<DWORD>(r);
  }
  if (m_pLink != nullptr) m_pLink->SetIdentityFromImage(head, nHead);
  if (!m_file.SeekToBegin()) {
    m_file.Close();
    AfxMessageBox("File Read Error");
    return;
  }

  SetJobSize();
  if (m_pLink != nullptr) m_pLink->SendRebootText();
  m_bSendFileOpen = TRUE;
  RememberFolder(path);
}

void CQuorinDlg::StartDatabaseJob(const std::string& path) {
  if (!OpenSendFile(path)) return;
  SetJobSize();
  if (m_pLink != nullptr) m_pLink->SendRebootText();
  m_bSendFileOpen = TRUE;
}

void CQuorinDlg::StartBootJob(const std::string& path) {
  if (!OpenSendFile(path) || RefuseEmptyImage()) return;
  SetJobSize();
  if (m_pLink != nullptr) m_pLink->SendRebootText();
  m_bSendFileOpen = TRUE;
}

void CQuorinDlg::SetJobSize() {
  const long long nLength = m_file.GetLength();
  switch (m_nJob) {
    case JOB_BOOT:
      // An empty file or one too long to announce is no boot image either.
      if (nLength <= 0 || nLength > std::numeric_limits<std::uint32_t>::max() ||
          (static_cast<std::uint32_t>(nLength) & BOOT_GRANULE_MASK) != 0) {
        AfxMessageBox("Not Boot File!");
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

void CQuorinDlg::RememberFolder(const std::string& path) {
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
