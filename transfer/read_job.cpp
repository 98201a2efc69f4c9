// The Read button: the receiver's database into a file on the PC. Arming creates the file and
// sends the reboot text; the data come as raw 512-byte pieces (job_state_machine.cpp).
#include "app/quorin_dlg.h"
#include "platform/os/process.h"

namespace {

const char* const READ_FILTER = "Upload File (*.bin)|*.bin|All File (*.*)|*.*||";
const char* const DEFAULT_EXTENSION = ".bin";

std::string FileNameOf(const std::string& path) {
  const std::size_t nSep = path.rfind(PATH_SEPARATOR);
  return nSep == std::string::npos ? path : path.substr(nSep + 1);
}

}  // namespace

void CQuorinDlg::OnReadFromReceiver() {
  m_bAwaitDone = FALSE;
  if (m_bSendFileOpen || m_bReceiveFileOpen) CloseJobFile();
  m_bSendMode = FALSE;
  m_nJob = JOB_DATABASE;
  ChooseReadFile();
}

void CQuorinDlg::ChooseReadFile() {
  FileDialogRequest request;
  request.save = true;
  request.filter = READ_FILTER;
  request.hideReadOnly = true;
  request.overwritePrompt = true;
  // ".bin" is added to a name without extension below; the dialog is told so that its
  // overwrite prompt asks about the file that will really be written.
  request.defaultExt = "bin";
  const FileDialogResult result = RunFileDialog(m_hWnd, request);
  if (!result.ok) return;

  std::string path = result.path;
  std::string fileName = result.fileName.empty() ? FileNameOf(path) : result.fileName;
  if (fileName.find('.') == std::string::npos) {
    path += DEFAULT_EXTENSION;
    fileName += DEFAULT_EXTENSION;
  }
  m_ctlFileName.SetWindowText(fileName);
  SetStatusText(fileName);

  if (m_nJob == JOB_DATABASE) {
    StartReadJob(path);
    // Only an armed job asks for the receiver; a file that could not be made says so itself.
    if (m_bReceiveFileOpen) SetStatusText("Turn on the STB");
  }
}

void CQuorinDlg::StartReadJob(const std::string& path) {
  if (m_file.IsOpen()) m_file.Close();
  if (!m_file.Open(path, CFile::modeCreate | CFile::modeReadWrite)) {
    AfxMessageBox("File Open Error");
    return;
  }
  m_bReceiveFileOpen = TRUE;
  m_bRawReceive = FALSE;
  SetJobSize();
  m_nReceived = 0;
  if (m_pLink != nullptr) m_pLink->SendRebootText();
  SetStatusText("Turn on the STB");
}
