#include "app/ports_dlg.h"

#include "app/port_choice.h"
#include "app/quorin_dlg.h"
#include "platform/os/serial_ports.h"
#include "resources/resource.h"

BEGIN_MESSAGE_MAP(CPortsDlg, CDialog)
  ON_BN_CLICKED(IDC_PORTS_ASSIGN, OnAssign)
END_MESSAGE_MAP()

CPortsDlg::CPortsDlg(CQuorinDlg* pOwner) : CDialog(IDD_PORTS, pOwner), m_pOwner(pOwner) {}

void CPortsDlg::DoDataExchange() {
  CDialog::DoDataExchange();
  DDX_Control(this, IDC_PORTS_LIST, m_ctlList);
  DDX_Control(this, IDC_PORTS_DEVICE, m_cboDevice);
  DDX_Control(this, IDC_PORTS_ENTRY, m_cboEntry);
}

BOOL CPortsDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (!CSerialPortFinder::CanAssignDevices()) {
    for (int id : {IDC_PORTS_ASSIGN_LABEL, IDC_PORTS_DEVICE, IDC_PORTS_TO_LABEL, IDC_PORTS_ENTRY,
                   IDC_PORTS_ASSIGN}) {
      if (CWnd* pControl = GetDlgItem(id)) pControl->ShowWindow(SW_HIDE);
    }
  }
  m_cboEntry.SetCurSel(m_pOwner != nullptr ? m_pOwner->Engine().SelectedPortIndex() : 0);
  ShowPorts();
  return TRUE;
}

void CPortsDlg::ShowPorts() {
  // The dialog's own controls do what the listing's closing hint says.
  m_ctlList.SetWindowText(PortsReport(false));
  const int nKept = m_cboDevice.GetCurSel();
  const std::string kept = nKept >= 0 ? m_cboDevice.GetLBText(nKept) : std::string();
  m_devices.clear();
  m_cboDevice.SendMessage(CB_RESETCONTENT);
  for (const SerialPortInfo& port : SerialPortFinder().Find()) {
    m_devices.push_back(port.StableName());
    m_cboDevice.AddString(port.StableName());
  }
  int nSel = 0;
  for (int i = 0; i < static_cast<int>(m_devices.size()); ++i) {
    if (m_devices[static_cast<std::size_t>(i)] == kept) nSel = i;
  }
  m_cboDevice.SetCurSel(m_devices.empty() ? -1 : nSel);
}

void CPortsDlg::OnAssign() {
  const int nDevice = m_cboDevice.GetCurSel();
  const int nEntry = m_cboEntry.GetCurSel();
  if (m_pOwner == nullptr || nEntry < 0) return;
  if (nDevice < 0 || nDevice >= static_cast<int>(m_devices.size())) {
    AfxMessageBox("No serial device was found to assign.", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  if (m_pOwner->AssignPortDevice(nEntry, m_devices[static_cast<std::size_t>(nDevice)])) ShowPorts();
}
