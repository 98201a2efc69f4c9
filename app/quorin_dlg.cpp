#include "app/quorin_dlg.h"

#include "app/port_choice.h"
#include "app/ports_dlg.h"
#include "platform/os/serial_device.h"
#include "platform/os/settings.h"
#include "platform/ui/drawing.h"
#include "resources/resource.h"
#include "serial/serial_comm.h"
#include "transfer/job_summary.h"
#include "transfer/line_choices.h"
#include "transfer/profile_keys.h"

namespace {

const char* const READ_FILTER = "Upload File (*.bin)|*.bin|All File (*.*)|*.*||";
const char* const SEND_FILTER =
    "Download File (*.bin;*.sdx)|*.bin;*.sdx|SatCoDx Files (*.sdx)|*.sdx|All File (*.*)|*.*||";
const char* const DEFAULT_EXTENSION = ".bin";
// What the Read dialog proposes: the name the command-line help gives the receiver's database.
const char* const READ_FILE_NAME = "upload_db.bin";

}  // namespace

BEGIN_MESSAGE_MAP(CQuorinDlg, CDialog)
  ON_WM_SYSCOMMAND()
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_CBN_SELCHANGE(IDC_COMPORT, OnComPortChanged)
  ON_CBN_SELCHANGE(IDC_BAUDRATE, OnSpeedChanged)
  ON_BN_CLICKED(IDC_SEND, OnSendToReceiver)
  ON_BN_CLICKED(IDC_EXIT, OnExit)
  ON_WM_LBUTTONDOWN()
  ON_BN_CLICKED(IDC_READ, OnReadFromReceiver)
  ON_WM_CLOSE()
  ON_WM_TIMER()
  ON_MESSAGE(WM_SERIAL_DATA, OnReceiverEvent)
  ON_MESSAGE(WM_SERIAL_LINK_LOST, OnLinkLost)
END_MESSAGE_MAP()

CQuorinDlg::CQuorinDlg(CWnd* pParent, int argc, const char* const* argv)
    : CDialog((RegisterQuorinResources(), IDD_QUORIN_DIALOG), pParent),
      m_ctlFileName(DT_NOPREFIX | DT_VCENTER, FALSE),
      m_hIcon(LoadIconResource(IDR_MAINFRAME)) {
  m_commandLine.Parse(argc, argv);
  m_engine.AddObserver(this);
}

CQuorinDlg::~CQuorinDlg() { m_engine.ReleaseLink(); }

void CQuorinDlg::DoDataExchange() {
  CDialog::DoDataExchange();
  DDX_Control(this, IDC_FILENAME, m_ctlFileName);
  DDX_Control(this, IDC_STATUS, m_ctlStatus);
  DDX_Control(this, IDC_PROGRESS, m_ctlProgress);
  DDX_Control(this, IDC_BAUDRATE, m_cboBaud);
  DDX_Control(this, IDC_COMPORT, m_cboComPort);
}

BOOL CQuorinDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  m_ctlProgress.SetRange(0, 100);

  const std::string aboutText = LoadStringResource(IDS_ABOUTBOX);
  if (HasSystemMenu() && !aboutText.empty()) {
    AppendSystemMenu(MF_SEPARATOR, 0, "");
    const std::string portsText = LoadStringResource(IDS_PORTS);
    if (!portsText.empty()) AppendSystemMenu(MF_STRING, PORTS_COMMAND, portsText);
    AppendSystemMenu(MF_STRING, ABOUT_COMMAND, aboutText);
  }

  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  m_ctlFileName.m_bPathEllipsis = 1;
  Invalidate(TRUE);

  // A device the command line named stands in for its entry for this run, and only then.
  CSerialDevice::ClearRunDevices();
  const PortChoice port =
      ChoosePort(m_commandLine, GetProfileString(PROFILE_SECTION, PROFILE_COM_PORT, "COM1"));
  const SpeedChoice speed = ChooseSpeed(m_commandLine);
  if (!port.runDevice.empty()) {
    CSerialDevice::SetRunDevice(PortListEntry(port.nPortIndex), port.runDevice);
  }
  m_cboComPort.SetCurSel(port.nPortIndex);
  m_cboBaud.SetCurSel(speed.nSpeedIndex);
  m_engine.SelectPort(m_cboComPort.GetCurSel());
  m_engine.SelectSpeed(m_cboBaud.GetCurSel());

  // The port is always opened at the base speed, whatever the speed list shows.
  m_engine.OpenLink(m_hWnd);
  ShowPortDevices();

  SetWindowText("Quorin ver0.99 ");

  const std::string fileText = StartCommandLineJob("No File Selected");
  m_ctlFileName.SetWindowText(fileText);
  return TRUE;
}

std::string CQuorinDlg::StartCommandLineJob(const std::string& fileText) {
  const char* option = m_commandLine.FirstJobOption();
  if (option == nullptr) return fileText;
  const std::string path = m_commandLine.GetValue(option, 0);
  // The port failed a moment ago and said why; a second try at arming would only say it again.
  if (!m_engine.IsLinkOpen()) return path;
  switch (option[1]) {
    case 'p':
      m_engine.StartSoftwareJob(path);
      break;
    case 'd':
      m_engine.StartDatabaseJob(path);
      break;
    case 'u':
      // A read always runs at the base speed; the list shows it before the job is armed.
      m_cboBaud.SetCurSel(SPEED_INDEX_BASE);
      m_engine.SelectSpeed(SPEED_INDEX_BASE);
      m_engine.StartReadJob(path);
      break;
    default:
      m_engine.StartBootJob(path);
      break;
  }
  if (m_engine.Phase() != JobPhase::Idle) m_engine.SetStatusText("Turn on the STB");
  return path;
}

// ---- what the engine reports ---------------------------------------------------------------

void CQuorinDlg::OnStatusText(const std::string& text) { SetStatusText(text); }

void CQuorinDlg::SetStatusText(const std::string& text) {
  if (m_ctlStatus.GetSafeHwnd() == nullptr) return;
  // Hidden and shown again so that the new text replaces the old at once.
  m_ctlStatus.ShowWindow(SW_HIDE);
  m_ctlStatus.SetWindowText(text);
  m_ctlStatus.ShowWindow(SW_SHOW);
  m_ctlStatus.RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CQuorinDlg::OnProgress(const JobProgress& progress) {
  if (m_ctlProgress.GetSafeHwnd() == nullptr) return;
  // Most blocks leave the bar where it stands; only a new position is painted at once.
  const int nPrevious = m_ctlProgress.SetPos(progress.nPos);
  if (m_ctlProgress.GetPos() != nPrevious) m_ctlProgress.UpdateWindow();
}

void CQuorinDlg::OnMessageBox(const std::string& text, BoxKind) {
  // Every box of the program looks the same: the text, the exclamation icon and OK.
  AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
}

void CQuorinDlg::OnJobEnded(const JobResult& result) {
  // The terminal says this line itself; a window that only went " Not Connected" would leave
  // the technician waiting for a job that is gone.
  if (result.outcome == JobOutcome::LinkLost) {
    AfxMessageBox("The serial link to " + result.sReason + " was lost in the middle of the job.",
                  MB_OK | MB_ICONEXCLAMATION);
  }
}

void CQuorinDlg::OnJobArmed(const JobSummary& summary) {
  // What the job will do, on the file name label: a file taken for another kind than meant is
  // seen before the receiver is switched on.
  std::string tip = JobSummaryText(summary);
  const std::string warning = JobKindWarning(summary);
  if (!warning.empty()) tip += "\nNote: " + warning;
  m_ctlFileName.SetToolTipText(tip);
}

// ---- the user's actions --------------------------------------------------------------------

void CQuorinDlg::ShowEngineSelection() {
  m_cboComPort.SetCurSel(m_engine.SelectedPortIndex());
  m_cboBaud.SetCurSel(m_engine.SelectedSpeedIndex());
}

void CQuorinDlg::ShowPortDevices() {
  // Which device each entry stands for on this machine, the selected one marked.
  std::string tip;
  for (int i = 0; i < m_cboComPort.GetCount(); ++i) {
    const std::string name = m_cboComPort.GetLBText(i);
    const std::string path = CSerialDevice::DevicePathFor(name);
    if (path.empty()) continue;
    if (!tip.empty()) tip += "\n";
    tip += (i == m_cboComPort.GetCurSel() ? "\u25B8 " : "    ") + name + " \u2192 " + path;
  }
  m_cboComPort.SetToolTipText(tip);
}

void CQuorinDlg::OnComPortChanged() {
  if (m_engine.IsBusy()) {
    ShowEngineSelection();
    return;
  }
  m_engine.SelectSpeed(m_cboBaud.GetCurSel());
  m_engine.ChangePort(m_cboComPort.GetCurSel());
  ShowPortDevices();
}

void CQuorinDlg::OnSpeedChanged() {
  // A speed change alone does nothing at that moment; a job reads it when it needs it.
  if (m_engine.IsBusy()) {
    ShowEngineSelection();
    return;
  }
  m_engine.SelectSpeed(m_cboBaud.GetCurSel());
}

void CQuorinDlg::OnSendToReceiver() {
  if (m_engine.IsBusy()) return;
  FileDialogRequest request;
  request.save = false;
  request.filter = SEND_FILTER;
  request.initialFolder = GetProfileString(PROFILE_SECTION, PROFILE_FOLDER, "");
  request.hideReadOnly = true;
  const FileDialogResult result = RunFileDialog(m_hWnd, request);
  if (!result.ok || m_engine.IsBusy()) return;

  m_ctlFileName.SetToolTipText(std::string());
  const int nJob = m_engine.PrepareSend(result.path, result.fileName);
  if (nJob == JOB_INVALID) return;
  m_ctlFileName.SetWindowText(result.path);
  m_engine.StartSendJob(nJob, result.path);
}

void CQuorinDlg::OnReadFromReceiver() {
  if (m_engine.IsBusy()) return;
  m_engine.PrepareRead();
  ChooseReadFile();
}

void CQuorinDlg::ChooseReadFile() {
  FileDialogRequest request;
  request.save = true;
  request.filter = READ_FILTER;
  request.hideReadOnly = true;
  request.overwritePrompt = true;
  // Where the images are kept, backups usually are too.
  request.initialFolder = GetProfileString(PROFILE_SECTION, PROFILE_FOLDER, "");
  request.fileName = READ_FILE_NAME;
  // ".bin" is added to a name without extension below; the dialog is told so that its
  // overwrite prompt asks about the file that will really be written.
  request.defaultExt = "bin";
  const FileDialogResult result = RunFileDialog(m_hWnd, request);
  if (!result.ok || m_engine.IsBusy()) return;

  std::string path = result.path;
  std::string fileName = result.fileName.empty() ? FileNameOf(path) : result.fileName;
  if (fileName.find('.') == std::string::npos) {
    path += DEFAULT_EXTENSION;
    fileName += DEFAULT_EXTENSION;
  }
  m_ctlFileName.SetWindowText(fileName);
  m_ctlFileName.SetToolTipText(std::string());
  m_engine.SetStatusText(fileName);
  m_engine.StartReadJob(path);
}

BOOL CQuorinDlg::AssignPortDevice(int nPortIndex, const std::string& path) {
  // Blocks or pieces are moving: the port stays as it is until the job has ended.
  if (m_engine.IsPastArming() || m_engine.IsBusy()) {
    AfxMessageBox("A transfer is running. Assign the device when it has ended.",
                  MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }
  const std::string name = PortListEntry(nPortIndex);
  if (!CSerialDevice::AssignDevice(name, path)) {
    AfxMessageBox("The assignment could not be written to " + GetProfileFilePath() + ".",
                  MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }
  // What the user assigned now counts, also over a device the command line named.
  CSerialDevice::SetRunDevice(name, "");
  if (nPortIndex == m_engine.SelectedPortIndex()) {
    m_engine.SelectSpeed(m_cboBaud.GetCurSel());
    m_engine.ChangePort(nPortIndex);
  }
  ShowPortDevices();
  return TRUE;
}

void CQuorinDlg::OnSysCommand(UINT nID, LPARAM lParam) {
  if ((nID & 0xFFF0) == ABOUT_COMMAND) {
    CAboutDlg dlgAbout;
    dlgAbout.DoModal();
  } else if ((nID & 0xFFF0) == PORTS_COMMAND) {
    CPortsDlg dlgPorts(this);
    dlgPorts.DoModal();
  } else {
    Default();
  }
}

void CQuorinDlg::OnPaint() {
  if (!IsIconic()) {
    Default();
    return;
  }
  // Minimised: the program icon, centred in the client area.
  CPaintDC dc(this);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
  const int cxIcon = GetSystemMetrics(SM_CXICON);
  const int cyIcon = GetSystemMetrics(SM_CYICON);
  RECT rect;
  GetClientRect(&rect);
  const int x = (rect.Width() - cxIcon + 1) / 2;
  const int y = (rect.Height() - cyIcon + 1) / 2;
  dc.DrawIcon(x, y, m_hIcon);
}

HICON CQuorinDlg::OnQueryDragIcon() { return m_hIcon; }

void CQuorinDlg::OnLButtonDown(UINT nFlags, POINT point) {
  Default();
  // Grabbing the surface moves the window as if its caption had been grabbed.
  PostMessage(WM_NCLBUTTONDOWN, static_cast<WPARAM>(HTCAPTION),
              MAKELPARAM(static_cast<unsigned>(point.x), static_cast<unsigned>(point.y)));
}

bool CQuorinDlg::MayEndNow() {
  if (!m_engine.IsPastArming()) return true;
  // Blocks or pieces are moving: stopping now can leave the receiver half written.
  if (AfxMessageBox("A transfer is running. Stop it and exit?", MB_YESNO | MB_ICONEXCLAMATION) !=
      IDYES) {
    return false;
  }
  m_engine.AbandonJob();
  return true;
}

void CQuorinDlg::OnOK() {
  if (MayEndNow()) CDialog::OnOK();
}

void CQuorinDlg::OnCancel() {
  if (MayEndNow()) CDialog::OnCancel();
}

void CQuorinDlg::OnClose() {
  if (!MayEndNow()) return;
  m_engine.ReleaseLink();
  m_engine.AbandonJob();
  Default();
}

void CQuorinDlg::OnExit() {
  if (!MayEndNow()) return;
  m_engine.AbandonJob();
  DestroyWindow();
}

void CQuorinDlg::PostNcDestroy() {
  m_engine.ReleaseLink();
  CDialog::PostNcDestroy();
}

// ---- forwarded to the engine ---------------------------------------------------------------

void CQuorinDlg::OnTimer(UINT_PTR nIDEvent) { m_engine.OnTimer(nIDEvent); }

LRESULT CQuorinDlg::OnReceiverEvent(WPARAM wParam, LPARAM lParam) {
  return m_engine.OnReceiverEvent(wParam, lParam);
}

LRESULT CQuorinDlg::OnLinkLost(WPARAM wParam, LPARAM lParam) {
  return m_engine.OnLinkLost(wParam, lParam);
}
