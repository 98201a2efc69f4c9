// Start-up (settings, command line, the job it arms), port change and the ways out of the
// main dialog, on the headless backend with a pseudo-terminal as COM1.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/os/serial_device.h"
#include "platform/os/settings.h"
#include "tests/support/dialog_fixture.h"

namespace fs = std::filesystem;

namespace {

class DialogStartup : public CDialogFixture {};

const std::vector<std::string> kNoBox;

TEST_F(DialogStartup, WithoutSettingsOpensCom1At9600AndShowsReady) {
  CQuorinDlg& dlg = Start();
  EXPECT_EQ(dlg.m_cboComPort.GetCurSel(), 0);
  EXPECT_EQ(dlg.m_cboBaud.GetCurSel(), 5);
  EXPECT_TRUE(dlg.Engine().IsLinkOpen());
  EXPECT_EQ(m_pty.SlaveSpeed(), 9600u);
  EXPECT_EQ(Statuses(), std::vector<std::string>{" Ready "});
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(dlg.GetWindowText(), "Quorin ver0.99 ");
  EXPECT_EQ(dlg.m_ctlFileName.GetWindowText(), "No File Selected");
  // The system menu ends with a separator, the Ports item and the About item.
  const WindowState* state = GetWindowState(dlg.m_hWnd);
  ASSERT_EQ(state->systemMenuExtra.size(), 3u);
  EXPECT_EQ(state->systemMenuExtra[0].flags & MF_SEPARATOR, MF_SEPARATOR);
  EXPECT_EQ(state->systemMenuExtra[1].id, PORTS_COMMAND);
  EXPECT_EQ(state->systemMenuExtra[1].text, "&Ports...");
  EXPECT_EQ(state->systemMenuExtra[2].id, ABOUT_COMMAND);
  EXPECT_EQ(state->systemMenuExtra[2].text, "&About Quorin...");
  // A press on the surface asks the desktop to move the window.
  dlg.SendMessage(WM_LBUTTONDOWN, 0, MAKELPARAM(30, 40));
  PumpPostedMessages();
  EXPECT_EQ(Ui().MoveDrags().size(), 1u);
  EXPECT_NE(dlg.m_hIcon, nullptr);
  EXPECT_EQ(reinterpret_cast<HICON>(dlg.SendMessage(WM_QUERYDRAGICON)), dlg.m_hIcon);

  // A port that cannot be opened still brings the window up.
  MapComPort("COM1", m_tmp.Path("no-such-device"));
  CQuorinDlg& failed = Start();
  EXPECT_FALSE(failed.Engine().IsLinkOpen());
  EXPECT_EQ(Statuses(), std::vector<std::string>{" Not Connected"});
  // The box's second line says which device failed and why.
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Port Open Error\nNo such device: " +
                                              CSerialDevice::DevicePathFor("COM1") + "."});
  EXPECT_EQ(failed.GetWindowText(), "Quorin ver0.99 ");
  EXPECT_EQ(failed.m_ctlFileName.GetWindowText(), "No File Selected");
}

TEST_F(DialogStartup, PortAndSpeedFromSettingsAndCommandLine) {
  const struct {
    const char* name;
    const char* storedPort;  // nullptr: no settings value
    std::vector<std::string> args;
    int port;
    int speed;
  } cases[] = {
      {"stored with a blank", "COM 3", {}, 2, 5},
      {"stored port 9 falls back", "COM 9", {}, 0, 5},
      {"options win over settings", "COM 2", {"-c", "COM5", "-s", "38400"}, 4, 3},
      {"lower case is not recognised", nullptr, {"-c", "com3"}, 0, 5},
      {"-c last has an empty value", nullptr, {"-c"}, 0, 5},
      {"-s -1 is a value, not a speed", nullptr, {"-s", "-1"}, 0, 5},
      {"230400 is offered", nullptr, {"-s", "230400"}, 0, 6},
      {"unknown options change nothing", nullptr, {"-h", "-S", "9600"}, 0, 5},
  };
  for (int n = 1; n <= 9; ++n) m_pty.MapTo("COM" + std::to_string(n));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteProfileString("Marlpane", "Com Port", c.storedPort != nullptr ? c.storedPort : "");
    CQuorinDlg& dlg = Start(c.args);
    EXPECT_EQ(dlg.m_cboComPort.GetCurSel(), c.port);
    EXPECT_EQ(dlg.m_cboBaud.GetCurSel(), c.speed);
    EXPECT_EQ(m_pty.SlaveSpeed(), 9600u) << "start-up always opens at 9600";
  }
}

TEST_F(DialogStartup, CommandLineArmsTheJobOrSaysWhyNot) {
  const std::string sw = m_tmp.MakeFile("b.bin", Pattern(100000));
  const std::string db = m_tmp.MakeFile("a.bin", Pattern(262144));
  const std::string boot = m_tmp.MakeFile("boot.bin", Pattern(131072));
  const std::string empty = m_tmp.MakeFile("empty.bin", {});
  const std::string huge = m_tmp.MakeFile("huge.bin", {});
  fs::resize_file(huge, std::uintmax_t{1} << 32);  // sparse: one byte past what 32 bits tell
  const ByteVec backup = Pattern(5000, 3);
  const std::string out = m_tmp.MakeFile("upload_db.bin", backup);
  const std::string missing = m_tmp.Path("missing.bin");
  const struct {
    std::vector<std::string> args;
    int job;  // 0: nothing armed
    DWORD total;
    std::string fileName;
    std::string box;  // the refusal's first line
  } cases[] = {
      {{"-d", db, "-p", sw}, JOB_SOFTWARE, 100000, sw, ""},  // -p is looked at before -d
      {{"-s", "115200", "-u", out}, JOB_DATABASE, 0, out, ""},
      {{"-b", boot}, JOB_BOOT, 131072, boot, ""},
      {{"-p", "-new_sw.bin"}, 0, 0, "", "File Open Error"},  // a dashed path is an option of its own
      {{"-p", missing}, 0, 0, missing, "File Open Error"},
      {{"-p", huge}, 0, 0, huge, "Invalid File"},
      {{"-d", empty}, 0, 0, empty, "Invalid File"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    CQuorinDlg& dlg = Start(c.args);
    const bool read = c.job == JOB_DATABASE;
    EXPECT_EQ(JobFileOpen(), c.job != 0);
    EXPECT_EQ(BoxHeads(), c.job != 0 ? kNoBox : std::vector<std::string>{c.box});
    EXPECT_EQ(Statuses().back(), c.job != 0 ? "Turn on the STB" : " Ready ");
    EXPECT_EQ(Settle(), c.job != 0 ? kRebootText : ByteVec{});
    if (c.job != 0) {
      EXPECT_EQ(dlg.Engine().JobCode(), c.job);
      EXPECT_EQ(Phase(), read ? JobPhase::ReadArmed : JobPhase::SendArmed);
    }
    EXPECT_EQ(dlg.m_ctlFileName.GetWindowText(), c.fileName);
    if (read) {
      EXPECT_EQ(dlg.m_cboBaud.GetCurSel(), 0) << "a read job selects 9600 first";
      EXPECT_TRUE(ReadWholeFile(out) == backup) << "the backup was touched before the receiver answered";
      EXPECT_TRUE(fs::exists(CTransferEngine::PartialPath(out)));
    } else if (c.job != 0) {
      EXPECT_EQ(dlg.Engine().JobSize(), c.total);
    }
  }
}

// A port change reopens at the base speed, whatever the speed list shows: the next job's
// handshake, which always starts there, then meets the receiver.
TEST_F(DialogStartup, PortChangeReopensAtTheBaseSpeedAndStoresThePort) {
  CPtyPeer second;
  ASSERT_TRUE(second.Open());
  ASSERT_TRUE(second.MapTo("COM9"));
  MapComPort("COM3", m_tmp.Path("no-such-device"));
  CQuorinDlg& dlg = Start();
  Ui().ClearEvents();

  SelectSpeed(4);  // a speed change alone does nothing
  EXPECT_EQ(m_pty.SlaveSpeed(), 9600u);
  second.SetSlaveSpeed(57600);  // so that the reopening shows
  CHeadlessBackend::SelectComboEntry(dlg.m_hWnd, IDC_COMPORT, 8);
  EXPECT_TRUE(WaitUntilIdle());
  EXPECT_TRUE(dlg.Engine().IsLinkOpen());
  EXPECT_EQ(second.SlaveSpeed(), 9600u);
  EXPECT_EQ(GetProfileString("Marlpane", "Com Port", ""), "COM 9");
  EXPECT_EQ(Statuses(), std::vector<std::string>{" Ready"});

  const std::string before = ReadText(GetProfileFilePath());
  CHeadlessBackend::SelectComboEntry(dlg.m_hWnd, IDC_COMPORT, 2);
  EXPECT_TRUE(WaitUntilIdle());
  EXPECT_FALSE(dlg.Engine().IsLinkOpen());
  EXPECT_EQ(ReadText(GetProfileFilePath()), before) << "a failed change stores nothing";
  EXPECT_EQ(Statuses().back(), " Not Connected");
  EXPECT_EQ(BoxHeads(), std::vector<std::string>{"Port Open Error"});

  // Back to a port that opens, then a read: its reboot text and handshake go at 9600.
  ASSERT_TRUE(m_pty.MapTo("COM1"));
  m_pty.SetSlaveSpeed(57600);
  CHeadlessBackend::SelectComboEntry(dlg.m_hWnd, IDC_COMPORT, 0);
  EXPECT_TRUE(WaitUntilIdle());
  EXPECT_EQ(Statuses().back(), " Ready");
  EXPECT_EQ(m_pty.SlaveSpeed(), 9600u);
  dlg.Engine().StartReadJob(m_tmp.Path("db.bin"));
  EXPECT_EQ(Expect(9), kRebootText);
  Handshake(0);

  // The next start takes COM9's stored "COM 9", which the start-up table does not know.
  EXPECT_EQ(Start().m_cboComPort.GetCurSel(), 0);
}

// Every way out with nothing running ends the program without asking and releases the link
// once (at once, or when the dialog goes); while blocks are moving it asks first: No leaves the
// job running untouched, Yes abandons it and ends the program.
TEST_F(DialogStartup, EveryWayOutReleasesTheLinkOnceAndAsksFirstMidJob) {
  const std::string question = "A transfer is running. Stop it and exit?";
  const struct {
    const char* name;
    void (*act)(HWND);
    INT_PTR idleResult;  // 0: the window is destroyed at once; -1: only tried mid-job
    bool released;       // at once; otherwise by the destructor
  } ways[] = {{"Exit", [](HWND h) { CHeadlessBackend::Click(h, IDC_EXIT); }, 0, true},
              {"close box", [](HWND h) { CHeadlessBackend::CloseWindow(h); }, IDCANCEL, true},
              {"Enter", [](HWND h) { CHeadlessBackend::PressEnter(h); }, IDOK, false},
              {"Escape", [](HWND h) { CHeadlessBackend::PressEscape(h); }, -1, false}};
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    if (way.idleResult >= 0) {
      CQuorinDlg& dlg = Start();
      const HWND hWnd = dlg.m_hWnd;
      way.act(hWnd);
      EXPECT_TRUE(Boxes().empty()) << "nothing runs: nothing to ask";
      EXPECT_EQ(CTransferEngineProbe::Link(dlg.Engine()) == nullptr, way.released);
      if (way.idleResult == 0) {
        EXPECT_FALSE(IsWindow(hWnd));
      } else {
        EXPECT_TRUE(dlg.IsModalRunEnded());
        EXPECT_EQ(dlg.ModalResult(), way.idleResult);
      }
      m_pDlg.reset();
    }

    CQuorinDlg& dlg = Start();
    const HWND hWnd = dlg.m_hWnd;
    Engine().StartSoftwareJob(MakeFile("sw.bin", Pattern(4 * 512)));
    EXPECT_EQ(Expect(9), kRebootText);
    Handshake(5);
    Reply(RSP_FIRST_BLOCK);
    ASSERT_EQ(Expect(520).size(), 520u);
    Ui().QueueMessageBoxAnswer(IDNO);
    way.act(hWnd);
    EXPECT_EQ(Boxes(), std::vector<std::string>{question});
    ASSERT_TRUE(IsWindow(hWnd));
    EXPECT_FALSE(dlg.IsModalRunEnded());
    Reply(RSP_NEXT_BLOCK);
    EXPECT_EQ(Expect(520).size(), 520u) << "the job goes on";

    Ui().QueueMessageBoxAnswer(IDYES);
    way.act(hWnd);
    EXPECT_EQ(Boxes(), (std::vector<std::string>{question, question}));
    EXPECT_TRUE(!IsWindow(hWnd) || dlg.IsModalRunEnded());
    EXPECT_EQ(dlg.Engine().Phase(), JobPhase::Idle);
    Reply(RSP_NEXT_BLOCK);
    EXPECT_TRUE(Expect(1, 300).empty()) << "nothing more goes out";
    m_pDlg.reset();
  }
  // After all of them the device is free again: a new start opens it.
  EXPECT_TRUE(Start().Engine().IsLinkOpen());
}

}  // namespace
