// Start-up, port change and the ways out of the main dialog, on the headless backend with a
// pseudo-terminal as COM1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/quorin_dlg.h"
#include "platform/headless_backend.h"
#include "platform/pty.h"
#include "platform/settings.h"
#include "resources/resource.h"

namespace fs = std::filesystem;

namespace {

class DialogStartup : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quorin-startup-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    m_dir = tmpl;
    setenv("XDG_CONFIG_HOME", m_dir.c_str(), 1);
    ASSERT_TRUE(m_pty.Open());
    MapPort("COM1", m_pty.SlavePath());
    GetHeadlessBackend().ClearEvents();
  }
  void TearDown() override {
    m_dlg.reset();
    std::error_code ec;
    fs::remove_all(m_dir, ec);
  }

  void MapPort(const std::string& name, const std::string& path) {
    ASSERT_TRUE(WriteProfileString("Devices", name, path));
  }

  CQuorinDlg& Start(std::vector<const char*> args = {}) {
    m_args = {"quorin"};
    m_args.insert(m_args.end(), args.begin(), args.end());
    m_dlg = std::make_unique<CQuorinDlg>(nullptr, static_cast<int>(m_args.size()), m_args.data());
    EXPECT_TRUE(m_dlg->Create());
    return *m_dlg;
  }

  std::vector<std::string> Boxes() const {
    return GetHeadlessBackend().Texts(HeadlessEvent::MessageBox);
  }
  std::vector<std::string> Statuses() const {
    return GetHeadlessBackend().Texts(HeadlessEvent::Text, IDC_STATUS);
  }
  std::string IniText() const {
    std::ifstream in(GetProfileFilePath());
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string m_dir;
  CPseudoTerminal m_pty;
  std::vector<const char*> m_args;
  std::unique_ptr<CQuorinDlg> m_dlg;
};

TEST_F(DialogStartup, WithoutSettingsOpensCom1At9600AndShowsReady) {
  CQuorinDlg& dlg = Start();
  EXPECT_EQ(dlg.m_cboComPort.GetCurSel(), 0);
  EXPECT_EQ(dlg.m_cboBaud.GetCurSel(), 5);
  EXPECT_EQ(dlg.m_cboBaud.GetCount(), 7);
  ASSERT_NE(dlg.m_pLink, nullptr);
  EXPECT_TRUE(dlg.m_pLink->IsConnected());
  EXPECT_EQ(m_pty.SlaveSpeed(), 9600u);
  EXPECT_EQ(Statuses(), std::vector<std::string>{" Ready "});
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(dlg.GetWindowText(), "Quorin ver0.99 ");
  EXPECT_EQ(dlg.m_ctlFileName.GetWindowText(), "No File Selected");
  EXPECT_EQ(dlg.m_ctlFileName.m_bPathEllipsis, 1);
  int low = -1, high = -1;
  dlg.m_ctlProgress.GetRange(low, high);
  EXPECT_EQ(low, 0);
  EXPECT_EQ(high, 100);
  // The system menu ends with a separator and the About item.
  const WindowState* state = GetWindowState(dlg.m_hWnd);
  ASSERT_NE(state, nullptr);
  ASSERT_EQ(state->systemMenuExtra.size(), 2u);
  EXPECT_EQ(state->systemMenuExtra[0].flags & MF_SEPARATOR, MF_SEPARATOR);
  EXPECT_EQ(state->systemMenuExtra[1].id, ABOUT_COMMAND);
  EXPECT_EQ(state->systemMenuExtra[1].text, "&About Quorin...");
}

TEST_F(DialogStartup, PortThatCannotOpenStillBringsTheWindowUp) {
  MapPort("COM1", m_dir + "/no-such-device");
  CQuorinDlg& dlg = Start();
  EXPECT_FALSE(dlg.m_pLink->IsConnected());
  EXPECT_EQ(Statuses(), std::vector<std::string>{" Not Connected"});
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Port Open Error"});
  EXPECT_EQ(dlg.GetWindowText(), "Quorin ver0.99 ");
  EXPECT_EQ(dlg.m_ctlFileName.GetWindowText(), "No File Selected");
}

TEST_F(DialogStartup, PortAndSpeedFromSettingsAndCommandLine) {
  struct Case {
    const char* name;
    const char* storedPort;  // nullptr: no settings value
    std::vector<const char*> args;
    int port;
    int speed;
  };
  const std::vector<Case> cases = {
      {"stored with a blank", "COM 3", {}, 2, 5},
      {"stored port 9 falls back", "COM 9", {}, 0, 5},
      {"options win over settings", "COM 2", {"-c", "COM5", "-s", "38400"}, 4, 3},
      {"lower case is not recognised", nullptr, {"-c", "com3"}, 0, 5},
      {"-c last has an empty value", nullptr, {"-c"}, 0, 5},
      {"-s -1 is a value, not a speed", nullptr, {"-s", "-1"}, 0, 5},
      {"230400 is offered", nullptr, {"-s", "230400"}, 0, 6},
      {"unknown options change nothing", nullptr, {"-h", "-S", "9600"}, 0, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.storedPort != nullptr) WriteProfileString("Marlpane", "Com Port", c.storedPort);
    for (int n = 1; n <= 9; ++n) MapPort("COM" + std::to_string(n), m_pty.SlavePath());
    CQuorinDlg& dlg = Start(c.args);
    EXPECT_EQ(dlg.m_cboComPort.GetCurSel(), c.port);
    EXPECT_EQ(dlg.m_cboBaud.GetCurSel(), c.speed);
    EXPECT_EQ(m_pty.SlaveSpeed(), 9600u) << "start-up always opens at 9600";
    m_dlg.reset();
    fs::remove(GetProfileFilePath());
    MapPort("COM1", m_pty.SlavePath());
  }
}

TEST_F(DialogStartup, PortChangeReopensAtTheSelectedSpeedAndStoresThePort) {
  CPseudoTerminal second;
  ASSERT_TRUE(second.Open());
  MapPort("COM9", second.SlavePath());
  MapPort("COM3", m_dir + "/no-such-device");
  CQuorinDlg& dlg = Start();
  GetHeadlessBackend().ClearEvents();

  dlg.m_cboBaud.SetCurSel(4);  // a speed change alone does nothing
  EXPECT_EQ(m_pty.SlaveSpeed(), 9600u);
  CHeadlessBackend::SelectComboEntry(dlg.m_hWnd, IDC_COMPORT, 8);
  EXPECT_TRUE(dlg.m_pLink->IsConnected());
  EXPECT_EQ(second.SlaveSpeed(), 57600u);
  EXPECT_EQ(GetProfileString("Marlpane", "Com Port", ""), "COM 9");
  EXPECT_EQ(Statuses(), std::vector<std::string>{" Ready"});

  const std::string before = IniText();
  CHeadlessBackend::SelectComboEntry(dlg.m_hWnd, IDC_COMPORT, 2);
  EXPECT_FALSE(dlg.m_pLink->IsConnected());
  EXPECT_EQ(IniText(), before) << "a failed change stores nothing";
  EXPECT_EQ(Statuses().back(), " Not Connected");
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Port Open Error"});

  // The next start takes COM9's stored "COM 9", which the start-up table does not know.
  m_dlg.reset();
  CQuorinDlg& again = Start();
  EXPECT_EQ(again.m_cboComPort.GetCurSel(), 0);
}

TEST_F(DialogStartup, EveryWayOutReleasesTheLinkOnce) {
  {
    CQuorinDlg& dlg = Start();
    CHeadlessBackend::Click(dlg.m_hWnd, IDC_EXIT);
    EXPECT_EQ(dlg.m_pLink, nullptr);
    EXPECT_FALSE(IsWindow(dlg.m_hWnd));
    m_dlg.reset();
  }
  {
    CQuorinDlg& dlg = Start();
    CHeadlessBackend::CloseWindow(dlg.m_hWnd);
    EXPECT_EQ(dlg.m_pLink, nullptr);
    EXPECT_TRUE(dlg.IsModalRunEnded());
    EXPECT_EQ(dlg.ModalResult(), IDCANCEL);
    m_dlg.reset();
  }
  {
    CQuorinDlg& dlg = Start();
    CHeadlessBackend::PressEnter(dlg.m_hWnd);
    EXPECT_TRUE(dlg.IsModalRunEnded());
    EXPECT_EQ(dlg.ModalResult(), IDOK);
    m_dlg.reset();  // the destructor releases the link
  }
  // After all of them the device is free again: a new start opens it.
  CQuorinDlg& dlg = Start();
  EXPECT_TRUE(dlg.m_pLink->IsConnected());
}

TEST_F(DialogStartup, SurfacePressAsksTheDesktopToMoveTheWindow) {
  CQuorinDlg& dlg = Start();
  dlg.SendMessage(WM_LBUTTONDOWN, 0, MAKELPARAM(30, 40));
  // The press is turned into a caption grab, posted to the window itself.
  EXPECT_GE(PumpPostedMessages(), 1);
  EXPECT_EQ(reinterpret_cast<HICON>(dlg.SendMessage(WM_QUERYDRAGICON)), dlg.m_hIcon);
  EXPECT_NE(dlg.m_hIcon, nullptr);
}

}  // namespace
