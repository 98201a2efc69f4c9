// The ports as a technician meets them: what "-c" and "-s" select and what the terminal warns
// about, a device path given to "-c", the Ports dialog's assignment, the listing of "--ports"
// and the reason a port without an entry gives when it cannot be opened. The machine is a fake
// tree of the test's own (tests/support/fake_machine.h); its ttyUSB0 is a pseudo-terminal.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/port_choice.h"
#include "app/ports_dlg.h"
#include "platform/os/serial_device.h"
#include "platform/os/serial_ports.h"
#include "platform/os/settings.h"
#include "tests/support/dialog_fixture.h"
#include "tests/support/fake_machine.h"
#include "tests/support/program_run.h"
#include "tests/support/sim_runner.h"
#include "transfer/profile_keys.h"

namespace fs = std::filesystem;

namespace {

CCommandLine Parsed(std::vector<std::string> args) {
  args.insert(args.begin(), "quorin");
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  CCommandLine commandLine;
  commandLine.Parse(static_cast<int>(argv.size()), argv.data());
  return commandLine;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class Ports : public CDialogFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_usbLine.Open());
    m_machine = std::make_unique<FakeMachine>(m_tmp.Path("root"), m_usbLine.SlavePath());
    SetSerialPortFinder(std::make_unique<CSerialPortFinder>(
        m_machine->Dev().string(), m_machine->Sys().string(), m_machine->Probe()));
    CDialogFixture::SetUp();
  }
  void TearDown() override {
    CDialogFixture::TearDown();
    SetSerialPortFinder(nullptr);
    CSerialDevice::ClearRunDevices();
  }
  std::string Dev(const std::string& name) const { return (m_machine->Dev() / name).string(); }
  std::string ById() const { return Dev("serial/by-id/usb-Zeta_USB_Serial_A12345-if00-port0"); }

  CPtyPeer m_usbLine;  // the adapter's far end
  std::unique_ptr<FakeMachine> m_machine;
};

TEST_F(Ports, DashCTakesEveryListEntryAndDashSTheSevenSpeedsElseWarns) {
  EXPECT_EQ(ChoosePort(Parsed({"-c", "COM9"}), "COM 2").nPortIndex, 8);
  EXPECT_EQ(ChoosePort(Parsed({"-c", "COM 9"}), "COM 2").nPortIndex, 8);
  EXPECT_EQ(ChoosePort(Parsed({"-c", "COM3"}), "COM 2").warning, "");
  // Without -c the remembered port counts, by the settings' own rule (COM9 is not kept), and
  // without a word.
  EXPECT_EQ(ChoosePort(Parsed({}), "COM 9").warning, "");

  for (const char* odd : {"com3", "COM10", "3", "ttyUSB0"}) {
    const PortChoice choice = ChoosePort(Parsed({"-c", odd}), "COM 2");
    EXPECT_EQ(choice.nPortIndex, 0) << odd;
    EXPECT_TRUE(choice.runDevice.empty()) << odd;
    EXPECT_TRUE(Contains(choice.warning, std::string("\"") + odd + "\"")) << choice.warning;
    // COM1 is the fixture's pseudo-terminal; the warning names it.
    EXPECT_TRUE(Contains(choice.warning, "using COM1 (" + m_pty.SlavePath() + ")")) << choice.warning;
  }
  EXPECT_EQ(ChoosePort(Parsed({"-c"}), "COM 2").warning.rfind("Warning: -c has no value", 0), 0u);

  // The speeds chosen are the start-up tests' concern; here what is said about them.
  EXPECT_EQ(ChooseSpeed(Parsed({"-s", "230400"})).warning, "");
  EXPECT_EQ(ChooseSpeed(Parsed({"-s", "-1"})).warning,
            "Warning: -s \"-1\" is not one of the speeds 9600, 14400, 19200, 38400, 57600, 115200, "
            "230400; using 115200.");
}

TEST_F(Ports, ADevicePathStandsForItsMappedEntryElseCom1) {
  // Unmapped: COM1's place, for this run.
  PortChoice choice = ChoosePort(Parsed({"-c", "/dev/ttyUSB5"}), "COM 2");
  EXPECT_EQ(choice.nPortIndex, 0);
  EXPECT_EQ(choice.runDevice, "/dev/ttyUSB5");
  EXPECT_EQ(choice.warning, "");
  // Mapped under another name (the by-id link): that entry.
  ASSERT_TRUE(MapComPort("COM4", ById()));
  choice = ChoosePort(Parsed({"-c", Dev("ttyUSB0")}), "COM 2");
  EXPECT_EQ(choice.nPortIndex, 3);
  // A default device is its entry's too.
  EXPECT_EQ(ChoosePort(Parsed({"-c", Dev("ttyS2")}), "COM 2").nPortIndex, 2);
}

TEST_F(Ports, TheWindowOpensADevicePathForThisRunAndStoresNothing) {
  ASSERT_TRUE(MapComPort("COM3", ById()));
  ASSERT_TRUE(WriteProfileString(PROFILE_SECTION, PROFILE_COM_PORT, "COM 2"));
  CQuorinDlg& dlg = Start({"-c", m_usbLine.SlavePath(), "-s", "57600"});
  ASSERT_TRUE(dlg.Engine().IsLinkOpen());
  EXPECT_EQ(dlg.m_cboComPort.GetCurSel(), 2) << "the entry the device is mapped to";
  EXPECT_EQ(dlg.m_cboBaud.GetCurSel(), 4);
  EXPECT_EQ(Link()->DevicePath(), m_usbLine.SlavePath());
  EXPECT_EQ(GetProfileString("Devices", "COM3", ""), ById());
  EXPECT_EQ(GetProfileString(PROFILE_SECTION, PROFILE_COM_PORT, ""), "COM 2");

  // Unmapped: it stands for COM1 without touching COM1's entry, and a port change away and
  // back stores the entry's name, never the path.
  ASSERT_TRUE(WriteProfileString("Devices", "COM3", ""));
  CQuorinDlg& again = Start({"-c", m_usbLine.SlavePath()});
  ASSERT_TRUE(again.Engine().IsLinkOpen());
  EXPECT_EQ(again.m_cboComPort.GetCurSel(), 0);
  EXPECT_EQ(Link()->DevicePath(), m_usbLine.SlavePath());
  EXPECT_EQ(GetProfileString("Devices", "COM1", ""), m_pty.SlavePath());
  CHeadlessBackend::SelectComboEntry(again.m_hWnd, IDC_COMPORT, 2);
  ASSERT_TRUE(WaitUntilIdle());
  CHeadlessBackend::SelectComboEntry(again.m_hWnd, IDC_COMPORT, 0);
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_EQ(Link()->DevicePath(), m_usbLine.SlavePath());
  EXPECT_EQ(GetProfileString(PROFILE_SECTION, PROFILE_COM_PORT, ""), "COM 1");

  // The next start without it is back on the mapped device.
  Start();
  EXPECT_EQ(Link()->DevicePath(), m_pty.SlavePath());
}

TEST_F(Ports, TheDialogAssignsAFoundDeviceAndReopensTheSelectedPort) {
  CPortsDlg ports(&Dlg());
  ASSERT_TRUE(ports.Create());
  const std::string listing = ports.m_ctlList.GetWindowText();
  EXPECT_TRUE(Contains(listing, "COM1 = " + m_pty.SlavePath() + " [Devices], present")) << listing;
  EXPECT_TRUE(Contains(listing, "COM2 = " + Dev("ttyS1") + " (default), present")) << listing;
  EXPECT_TRUE(Contains(listing, "COM5 = " + Dev("ttyS4") + " (default), missing")) << listing;
  // ttyS3 may not be looked at: nothing is said about a UART there.
  EXPECT_TRUE(Contains(listing, "COM4 = " + Dev("ttyS3") + " (default), present\n")) << listing;
  EXPECT_TRUE(Contains(listing, ById())) << listing;
  EXPECT_FALSE(Contains(listing, "quorin -c")) << "the dialog's own controls assign";
  EXPECT_EQ(ports.m_cboEntry.GetCurSel(), 0) << "the selected port";
  ASSERT_EQ(ports.m_cboDevice.GetCount(), 5);  // ttyACM0, ttyUSB0, ttyS1, ttyS2, ttyS10
  EXPECT_EQ(ports.m_cboDevice.GetLBText(1), ById());

  // Another entry: written, the open port left alone.
  CHeadlessBackend::SelectComboEntry(ports.m_hWnd, IDC_PORTS_DEVICE, 1);
  CHeadlessBackend::SelectComboEntry(ports.m_hWnd, IDC_PORTS_ENTRY, 3);
  Ui().ClearEvents();
  CHeadlessBackend::Click(ports.m_hWnd, IDC_PORTS_ASSIGN);
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_EQ(GetProfileString("Devices", "COM4", ""), ById());
  EXPECT_EQ(Link()->DevicePath(), m_pty.SlavePath());
  EXPECT_TRUE(Statuses().empty());
  EXPECT_TRUE(Contains(ports.m_ctlList.GetWindowText(), "COM4 = " + ById() + " [Devices], present"));

  // The selected entry: written, and the port reopened there at the base speed.
  SelectSpeed(6);
  CHeadlessBackend::SelectComboEntry(ports.m_hWnd, IDC_PORTS_ENTRY, 0);
  CHeadlessBackend::Click(ports.m_hWnd, IDC_PORTS_ASSIGN);
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_EQ(GetProfileString("Devices", "COM1", ""), ById());
  ASSERT_TRUE(Engine().IsLinkOpen());
  EXPECT_EQ(Link()->DevicePath(), ById());
  EXPECT_TRUE(m_usbLine.WaitForSpeed(9600, 2000));
  EXPECT_EQ(Statuses(), std::vector<std::string>{" Ready"});
  EXPECT_TRUE(Boxes().empty());
  // The line really is the adapter's: what the program writes arrives at its far end.
  ASSERT_TRUE(Link()->Write("x", 1));
  EXPECT_EQ(m_usbLine.ReadBytes(1, 2000), Bytes({'x'}));
  ports.DestroyWindow();
}

TEST_F(Ports, NoAssignmentWhileBlocksAreMoving) {
  Engine().StartSoftwareJob(MakeFile("sw.bin", Pattern(4 * 512)));
  EXPECT_EQ(Expect(9), kRebootText);
  Handshake(5);
  Reply(RSP_FIRST_BLOCK);
  ASSERT_EQ(Expect(520).size(), 520u);

  CPortsDlg ports(&Dlg());
  ASSERT_TRUE(ports.Create());
  Ui().ClearEvents();
  CHeadlessBackend::Click(ports.m_hWnd, IDC_PORTS_ASSIGN);
  EXPECT_EQ(Boxes(), std::vector<std::string>{
                         "A transfer is running. Assign the device when it has ended."});
  EXPECT_EQ(GetProfileString("Devices", "COM1", ""), m_pty.SlavePath());
  EXPECT_EQ(Link()->DevicePath(), m_pty.SlavePath());
  Reply(RSP_NEXT_BLOCK);
  EXPECT_EQ(Expect(520).size(), 520u) << "the job goes on";
  ports.DestroyWindow();
}

// COMn without an entry is /dev/ttyS(n-1): missing, or a slot without a UART, the reason says
// so and points at the adapters that are there.
TEST_F(Ports, AnUnmappedPortSaysWhyAndNamesTheAdapters) {
  const std::string file = GetProfileFilePath();
  CHeadlessBackend::SelectComboEntry(Dlg().m_hWnd, IDC_COMPORT, 4);  // COM5: no ttyS4
  ASSERT_TRUE(WaitUntilIdle());
  const std::string advice =
      "\nUSB serial adapters here: " + Dev("ttyACM0") + " (Acme Board, USB 2b3c:0043), " +
      Dev("ttyUSB0") + " (Zeta USB Serial, USB 1a2b:3c4d, serial A12345).\nUse -c " +
      Dev("ttyACM0") + ", or map it: [Devices] COM5=" +
      Dev("serial/by-id/usb-Acme_Board_0042-if00") + " (quorin --ports lists the ports).";
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Port Open Error\nNo such device: " + Dev("ttyS4") +
                                              "; COM5 stands for it without an entry in section "
                                              "[Devices] of " + file + "." + advice});

  // An empty entry is an entry: nothing about defaults.
  Ui().ClearEvents();
  ASSERT_TRUE(WriteProfileString("Devices", "COM1", ""));
  CHeadlessBackend::SelectComboEntry(Dlg().m_hWnd, IDC_COMPORT, 0);
  ASSERT_TRUE(WaitUntilIdle());
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_FALSE(Contains(Boxes()[0], "ttyS0")) << Boxes()[0];

  // No entry: ttyS0 is there, but nothing answers behind it.
  Ui().ClearEvents();
  fs::remove(file);
  CHeadlessBackend::SelectComboEntry(Dlg().m_hWnd, IDC_COMPORT, 0);
  ASSERT_TRUE(WaitUntilIdle());
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].substr(0, Boxes()[0].find('\n', 17)),
            "Port Open Error\n" + Dev("ttyS0") + " is no real serial port (no UART answers there); "
            "COM1 stands for it without an entry in section [Devices] of " + file + ".");
  EXPECT_TRUE(Contains(Boxes()[0], "[Devices] COM1=")) << Boxes()[0];

  // Without adapters the reason ends there.
  fs::remove_all(m_machine->Dev() / "serial");
  fs::remove(m_machine->Dev() / "ttyUSB0");
  fs::remove(m_machine->Dev() / "ttyACM0");
  Ui().ClearEvents();
  CHeadlessBackend::SelectComboEntry(Dlg().m_hWnd, IDC_COMPORT, 4);
  ASSERT_TRUE(WaitUntilIdle());
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Port Open Error\nNo such device: " + Dev("ttyS4") +
                                              "; COM5 stands for it without an entry in section "
                                              "[Devices] of " + file + "."});
}

// ---- the program itself ----------------------------------------------------------------------

class PortsProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
  }
  void TearDown() override { unsetenv("QUORIN_TEST_DEVICE_ROOT"); }
  CTempFolder m_tmp;
};

TEST_F(PortsProgram, DashDashPortsListsTheMachinesPortsAndWritesNothing) {
  FakeMachine machine(m_tmp.Path("root"));
  setenv("QUORIN_TEST_DEVICE_ROOT", m_tmp.Path("root").c_str(), 1);
  ASSERT_TRUE(MapComPort("COM2", "/dev/null/none"));
  const std::string before = ReadText(GetProfileFilePath());
  const SplitRun run = RunSplit(m_tmp, {"--ports"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_FALSE(Contains(run.err, "Warning")) << run.err;
  const std::string dev = m_tmp.Path("root") + "/dev/";
  for (const std::string& line : std::vector<std::string>{
           "  COM1 = " + dev + "ttyS0 (default), present, but no UART answers there\n", "  COM2 = /dev/null/none [Devices], missing\n",
        "  COM9 = " + dev + "ttyS8 (default), missing\n",
        "  " + dev + "ttyUSB0  Zeta USB Serial, USB 1a2b:3c4d, serial A12345\n",
        "      " + dev + "serial/by-id/usb-Zeta_USB_Serial_A12345-if00-port0\n",
        "  COM1=" + dev + "serial/by-id/usb-Acme_Board_0042-if00\n"}) {
    EXPECT_TRUE(Contains(run.out, line)) << line << "\n" << run.out;
  }
  // The fake ttyS nodes are plain files: the kernel's probe finds no UART in them.
  EXPECT_FALSE(Contains(run.out, "  " + dev + "ttyS")) << run.out;
  EXPECT_EQ(ReadText(GetProfileFilePath()), before);
}

TEST_F(PortsProgram, ADevicePathRunsAJobAndOddValuesAreWarnedOnStderr) {
  const std::string image = m_tmp.MakeFile("new_sw.bin", Pattern(128 * 1024));
  {
    CSimRunner sim;
    ASSERT_TRUE(sim.Start({"--job", "software", "--expect-speed", "5", "--out", m_tmp.Path("got.bin")}));
    const SplitRun run = RunSplit(m_tmp, {"-c", sim.SlavePath(), "-p", image});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(Contains(run.out, "Done\n")) << run.out;
    EXPECT_FALSE(Contains(run.err, "Warning")) << run.err;
    ASSERT_TRUE(sim.Wait(10000));
    EXPECT_EQ(sim.ExitStatus(), 0) << sim.Output();
    EXPECT_EQ(ReadWholeFile(m_tmp.Path("got.bin")), ReadWholeFile(image));
    // Nothing of the path reached the settings.
    const std::string settings = ReadText(GetProfileFilePath());
    EXPECT_FALSE(Contains(settings, sim.SlavePath())) << settings;
  }
  {
    CSimRunner sim;
    ASSERT_TRUE(sim.Start({"--job", "software", "--expect-speed", "5"}));
    ASSERT_TRUE(MapComPort("COM1", sim.SlavePath()));
    const SplitRun run = RunSplit(m_tmp, {"-c", "/dev", "-s", "fast", "-p", image});
    // "/dev" is a path but no serial device: the run fails and says why.
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.out + run.err, "/dev is not a serial device.")) << run.out << run.err;
    const SplitRun warned = RunSplit(m_tmp, {"-c", "COMX", "-s", "fast", "-p", image});
    EXPECT_EQ(warned.status, 0) << warned.out << warned.err;
    for (const std::string& line :
         {"Warning: -c \"COMX\" is neither a port (COM1 to COM9) nor a device path; using COM1 (" +
              sim.SlavePath() + ").\n",
          std::string("Warning: -s \"fast\" is not one of the speeds 9600, 14400, 19200, 38400, "
                      "57600, 115200, 230400; using 115200.\n")}) {
      EXPECT_TRUE(Contains(warned.err, line)) << line << "\n" << warned.err;
    }
    EXPECT_FALSE(Contains(warned.out, "Warning")) << warned.out;
    ASSERT_TRUE(sim.Wait(10000));
    EXPECT_EQ(sim.ExitStatus(), 0) << sim.Output();
  }
}

}  // namespace
