#include "app/quorin_dlg.h"

#include "app/command_line.h"
#include "platform/ui/drawing.h"
#include "platform/os/settings.h"
#include "resources/resource.h"

namespace {
const char* const PROFILE_SECTION = "Marlpane";
const char* const PROFILE_COM_PORT = "Com Port";
}  // namespace

BEGIN_MESSAGE_MAP(CQuorinDlg, CDialog)
  ON_WM_SYSCOMMAND()
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_CBN_SELCHANGE(IDC_COMPORT, OnComPortChanged)
  ON_BN_CLICKED(IDC_SEND, OnSendToReceiver)
  ON_BN_CLICKED(IDC_EXIT, OnExit)
  ON_WM_LBUTTONDOWN()
  ON_BN_CLICKED(IDC_READ, OnReadFromReceiver)
  ON_WM_CLOSE()
  ON_MESSAGE(WM_SERIAL_DATA, OnReceiverEvent)
  ON_MESSAGE(WM_SERIAL_LINK_LOST, OnLinkLost)
END_MESSAGE_MAP()

CQuorinDlg::CQuorinDlg(CWnd* pParent, int argc, const char* const* argv)
    : CDialog((RegisterQuorinResources(), IDD_QUORIN_DIALOG), pParent),
      m_bAwaitDone(0),
      m_ctlFileName(DT_NOPREFIX | DT_VCENTER, FALSE),
      m_hIcon(LoadIconResource(IDR_MAINFRAME)),
      // The byte counts get their meaning when a job is armed; zero keeps them defined.
      m_nRemaining(0),
      m_nTotal(0),
      m_bSendMode(1),
      m_bSendFileOpen(0),
      m_bReceiveFileOpen(0),
      m_bRawReceive(0),
      m_pLink(nullptr),
      m_nJob(JOB_SOFTWARE),
      m_argc(argc),
      m_argv(argv) {}

CQuorinDlg::~CQuorinDlg() { ReleaseLink(); }

void CQuorinDlg::DoDataExchange() {
  CDialog::DoDataExchange();
  DDX_Control(this, IDC_FILENAME, m_ctlFileName);
  DDX_Control(this, IDC_STATUS, m_ctlStatus);
  DDX_Control(this, IDC_PROGRESS, m_ctlProgress);
  DDX_Control(this, IDC_BAUDRATE, m_cboBaud);
  DDX_Control(this, IDC_COMPORT, m_cboComPort);
}

int CQuorinDlg::PortIndexFromName(const std::string& name) {
  static const char* const kNames[8][2] = {
      {"COM 1", "COM1"}, {"COM 2", "COM2"}, {"COM 3", "COM3"}, {"COM 4", "COM4"},
      {"COM 5", "COM5"}, {"COM 6", "COM6"}, {"COM 7", "COM7"}, {"COM 8", "COM8"},
  };
  for (int i = 0; i < 8; ++i) {
    if (name == kNames[i][0] || name == kNames[i][1]) return i;
  }
  return 0;
}

int CQuorinDlg::SpeedIndexFromName(const std::string& name) {
  static const char* const kNames[] = {"9600", "14400", "19200", "38400", "57600", "115200", "230400"};
  for (int i = 0; i < 7; ++i) {
    if (name == kNames[i]) return i;
  }
  return 5;
}

BOOL CQuorinDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  m_ctlProgress.SetRange(0, 100);

  const std::string aboutText = LoadStringResource(IDS_ABOUTBOX);
  if (HasSystemMenu() && !aboutText.empty()) {
    AppendSystemMenu(MF_SEPARATOR, 0, "");
    AppendSystemMenu(MF_STRING, ABOUT_COMMAND, aboutText);
  }

  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  m_ctlFileName.m_bPathEllipsis = 1;
  Invalidate(TRUE);

  std::string portName = GetProfileString(PROFILE_SECTION, PROFILE_COM_PORT, "COM1");
  std::string speedName = "115200";

  CCommandLine commandLine;
  if (commandLine.Parse(m_argc, m_argv) >= 1) {
    if (commandLine.HasOption("-c")) portName = commandLine.GetValue("-c", 0);
    if (commandLine.HasOption("-s")) speedName = commandLine.GetValue("-s", 0);
  }

  m_cboComPort.SetCurSel(PortIndexFromName(portName));
  m_cboBaud.SetCurSel(SpeedIndexFromName(speedName));

  m_pLink = new CReceiverLink;
  if (m_pLink->Open(m_cboComPort.GetCurSel(), SPEED_INDEX_BASE, m_hWnd)) {
    SetStatusText(" Ready ");
  } else {
    SetStatusText(" Not Connected");
    AfxMessageBox("Port Open Error", MB_OK | MB_ICONEXCLAMATION);
  }

  SetWindowText("Quorin ver0.99 ");

  std::string fileText = "No File Selected";

  if (commandLine.Parse(m_argc, m_argv) >= 1) {
    // The first job option present counts, in this order.
    static const struct {
      const char* option;
      int nJob;
      BOOL bSendMode;
      void (CQuorinDlg::*pStart)(const std::string&);
    } kJobOptions[] = {
        {"-p", JOB_SOFTWARE, 1, &CQuorinDlg::StartSoftwareJob},
        {"-d", JOB_DATABASE, 1, &CQuorinDlg::StartDatabaseJob},
        {"-u", JOB_DATABASE, 0, &CQuorinDlg::StartReadJob},
        {"-b", JOB_BOOT, 1, &CQuorinDlg::StartBootJob},
    };
    for (const auto& job : kJobOptions) {
      if (!commandLine.HasOption(job.option)) continue;
      // A read always runs at the base speed; the list shows it before the job is armed.
      if (!job.bSendMode) m_cboBaud.SetCurSel(SPEED_INDEX_BASE);
      m_nJob = job.nJob;
      m_bSendMode = job.bSendMode;
      fileText = commandLine.GetValue(job.option, 0);
      (this->*job.pStart)(fileText);
      break;
    }
    if (m_bSendFileOpen || m_bReceiveFileOpen) SetStatusText("Turn on the STB");
  }

  m_ctlFileName.SetWindowText(fileText);
  return TRUE;
}

void CQuorinDlg::OnComPortChanged() {
  const int nSpeedIndex = m_cboBaud.GetCurSel();
  const int nPortIndex = m_cboComPort.GetCurSel();
  if (m_pLink != nullptr && m_pLink->Reopen(nPortIndex, nSpeedIndex)) {
    m_bLinkLost = FALSE;
    WriteProfileString(PROFILE_SECTION, PROFILE_COM_PORT, "COM " + std::to_string(nPortIndex + 1));
    SetStatusText(" Ready");
  } else {
    SetStatusText(" Not Connected");
    AfxMessageBox("Port Open Error", MB_OK | MB_ICONEXCLAMATION);
  }
}

void CQuorinDlg::OnSysCommand(UINT nID, LPARAM lParam) {
  if ((nID & 0xFFF0) == ABOUT_COMMAND) {
    CAboutDlg dlgAbout;
    dlgAbout.DoModal();
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

void CQuorinDlg::OnClose() {
  ReleaseLink();
  CloseJobFile();
  Default();
}

void CQuorinDlg::OnExit() {
  CloseJobFile();
  DestroyWindow();
}

void CQuorinDlg::PostNcDestroy() {
  ReleaseLink();
  CDialog::PostNcDestroy();
}

void CQuorinDlg::ReleaseLink() {
  if (m_pLink == nullptr) return;
  if (m_pLink->IsConnected()) m_pLink->Close();
  delete m_pLink;
  m_pLink = nullptr;
}
