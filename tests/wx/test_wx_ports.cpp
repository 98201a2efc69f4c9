// The Ports dialog in the real window: reached from the window's context menu next to About,
// it lists the COM entries and the machine's serial devices (a fake tree of the test's own
// whose ttyUSB0 is a pseudo-terminal) and assigns one to the selected entry, which reopens
// the port there. The screenshot goes to build/screenshot-ports.png.
#include <memory>
#include <string>
#include <vector>

#include "app/quorin_dlg.h"
#include "platform/os/serial_device.h"
#include "platform/os/serial_ports.h"
#include "platform/os/settings.h"
#include "resources/resource.h"
#include "tests/support/engine_probe.h"
#include "tests/support/fake_machine.h"
#include "tests/wx/wx_test_support.h"

#include <wx/combobox.h>
#include <wx/stattext.h>

namespace {

CWxDialogWindow* FindPortsDialog() { return FindShownDialog(IDD_PORTS); }

class PortsWindow : public CMainWindowTest {
 protected:
  void SetUp() override {
    CMainWindowTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(m_usbLine.Open());
    m_machine = std::make_unique<FakeMachine>(m_tmp.Path("root"), m_usbLine.SlavePath());
    SetSerialPortFinder(std::make_unique<CSerialPortFinder>(
        m_machine->Dev().string(), m_machine->Sys().string(), m_machine->Probe()));
  }
  void TearDown() override {
    SetSerialPortFinder(nullptr);
    CSerialDevice::ClearRunDevices();
  }
  CPseudoTerminal m_usbLine;
  std::unique_ptr<FakeMachine> m_machine;
};

TEST_F(PortsWindow, ThePortsDialogFromTheContextMenuAssignsTheAdapterToTheSelectedPort) {
  CQuorinDlg dlg;
  bool screenshot = false;
  std::string listing;
  std::vector<std::string> devices;
  const std::string byId =
      (m_machine->Dev() / "serial/by-id/usb-Zeta_USB_Serial_A12345-if00-port0").string();
  CUserScript script;
  script.Then("the window on screen", [&] { return IsShownOnScreen(dlg.m_hWnd); },
              [&] { RightClickSurface(dlg.m_hWnd); })
      // Up from the top wraps to the last item (About); Ports is the one above it.
      .After(500, "the menu open", [] { PressKeys({WXK_UP, WXK_UP, WXK_RETURN}); })
      .Then("the Ports dialog on screen", [] { return FindPortsDialog() != nullptr; }, [] {})
      .After(300, "the Ports dialog painted", [&] {
        CWxDialogWindow* ports = FindPortsDialog();
        ASSERT_NE(ports, nullptr);
        screenshot = GrabScreen(std::string(QUORIN_BUILD_DIR) + "/screenshot-ports.png",
                                ports->GetScreenRect());
        const auto control = [ports](int id) { return ports->FindControl(GetDlgItem(ports->Handle(), id)); };
        if (auto* list = dynamic_cast<wxStaticText*>(control(IDC_PORTS_LIST))) listing = FromWx(list->GetLabelText());
        if (auto* combo = dynamic_cast<wxComboBox*>(control(IDC_PORTS_DEVICE))) {
          for (const wxString& device : combo->GetStrings()) devices.push_back(FromWx(device));
        }
        // The adapter (the second entry) to COM1, the selected port.
        SendMessage(GetDlgItem(ports->Handle(), IDC_PORTS_DEVICE), CB_SETCURSEL, 1, 0);
        ClickOn(control(IDC_PORTS_ASSIGN));
      })
      .Then("the port reopened on the adapter",
            [&] {
              CReceiverLink* link = CTransferEngineProbe::Link(dlg.Engine());
              return link != nullptr && dlg.Engine().IsLinkOpen() && link->DevicePath() == byId;
            },
            [] {
              CWxDialogWindow* ports = FindPortsDialog();
              ASSERT_NE(ports, nullptr);
              ClickOn(ports->FindControl(GetDlgItem(ports->Handle(), IDOK)));
            })
      .Then("the Ports dialog closed", [] { return FindPortsDialog() == nullptr; },
            [&] { ClickOn(Control(IDC_EXIT)); })
      .Run(dlg);
  EXPECT_TRUE(screenshot);
  EXPECT_NE(listing.find("COM1 = " + m_pty.SlavePath() + " [Devices], present"), std::string::npos)
      << listing;
  EXPECT_NE(listing.find(byId), std::string::npos) << listing;
  ASSERT_EQ(devices.size(), 5u);
  EXPECT_EQ(devices[1], byId);
  EXPECT_EQ(GetProfileString("Devices", "COM1", ""), byId);
}

}  // namespace
