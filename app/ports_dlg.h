// CPortsDlg: the Ports dialog of the window's system menu. It lists the COM entries with their
// devices and the serial devices of the machine; on Linux the user can assign a found device
// to an entry (the main window writes it to the settings and reopens the port when it is the
// selected one). On Windows it only lists.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/window.h"

class CQuorinDlg;

class CPortsDlg : public CDialog {
 public:
  explicit CPortsDlg(CQuorinDlg* pOwner);

  CStatic m_ctlList;
  CComboBox m_cboDevice;
  CComboBox m_cboEntry;

  BOOL OnInitDialog() override;
  void DoDataExchange() override;
  void OnAssign();

  DECLARE_MESSAGE_MAP()

 private:
  void ShowPorts();

  CQuorinDlg* m_pOwner;
  std::vector<std::string> m_devices;  // what each entry of the device list assigns
};
