// Port discovery on a tree of the test's own, laid out as a Linux machine lays out /dev and
// /sys: USB adapters with their by-id links and their USB device's attributes reached through
// the tty's device link, and ttyS slots of which only some have a UART behind them (the probe
// is the test's). No device of the machine is opened.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/os/pty.h"
#include "platform/os/serial_ports.h"
#include "platform/win_types.h"
#include "tests/support/fake_machine.h"
#include "tests/support/test_files.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Paths(const std::vector<SerialPortInfo>& ports) {
  std::vector<std::string> paths;
  for (const SerialPortInfo& port : ports) paths.push_back(fs::path(port.path).filename().string());
  return paths;
}

TEST(SerialPortFinder, FindsAdaptersWithTheirNamesAndOnlyTheUartsThatAnswer) {
  CTempFolder tmp;
  FakeMachine machine(tmp.Path("root"));
  CSerialPortFinder finder(machine.Dev().string(), machine.Sys().string(), machine.Probe());

  const std::vector<SerialPortInfo> found = finder.Find();
  // Adapters first, then the UARTs that answer, ttyS10 after ttyS2.
  EXPECT_EQ(Paths(found),
            (std::vector<std::string>{"ttyACM0", "ttyUSB0", "ttyS1", "ttyS2", "ttyS10"}));
  // Only ttyS nodes are probed: an adapter is never opened to be listed.
  EXPECT_EQ(machine.Probed(), (std::set<std::string>{"ttyS0", "ttyS1", "ttyS2", "ttyS3", "ttyS10"}));
  ASSERT_EQ(found.size(), 5u);

  const SerialPortInfo& acm = found[0];
  const SerialPortInfo& adapter = found[1];
  EXPECT_TRUE(adapter.usb);
  EXPECT_EQ(adapter.path, (machine.Dev() / "ttyUSB0").string());
  EXPECT_EQ(adapter.byId, std::vector<std::string>{
                           (machine.Dev() / "serial/by-id/usb-Zeta_USB_Serial_A12345-if00-port0")
                               .string()});
  EXPECT_EQ(adapter.StableName(), adapter.byId.front());
  EXPECT_EQ(adapter.Describe(), "Zeta USB Serial, USB 1a2b:3c4d, serial A12345");
  EXPECT_EQ(acm.Describe(), "Acme Board, USB 2b3c:0043");
  EXPECT_EQ(acm.byId.size(), 1u);

  const SerialPortInfo& uart = found[2];
  EXPECT_FALSE(uart.usb);
  EXPECT_TRUE(uart.byId.empty());
  EXPECT_EQ(uart.Describe(), "");
  EXPECT_EQ(uart.StableName(), uart.path);

  EXPECT_EQ(Paths(finder.FindUsbAdapters()), (std::vector<std::string>{"ttyACM0", "ttyUSB0"}));
}

TEST(SerialPortFinder, AnEmptyOrMissingTreeFindsNothingAndExistsFollowsLinks) {
  CTempFolder tmp;
  CSerialPortFinder none(tmp.Path("no-dev"), tmp.Path("no-sys"),
                         [](const std::string&) { return UartAnswer::Real; });
  EXPECT_TRUE(none.Find().empty());

  FakeMachine machine(tmp.Path("root"));
  CSerialPortFinder finder(machine.Dev().string(), machine.Sys().string(), machine.Probe());
  EXPECT_TRUE(finder.Exists((machine.Dev() / "ttyS3").string()));
  EXPECT_FALSE(finder.Exists((machine.Dev() / "ttyS4").string()));
  EXPECT_FALSE(finder.Exists((machine.Dev() / "serial/by-id/usb-Gone_Adapter-if00-port0").string()));
  EXPECT_FALSE(finder.Exists(""));
  EXPECT_TRUE(CSerialPortFinder::SameDevice(
      (machine.Dev() / "serial/by-id/usb-Zeta_USB_Serial_A12345-if00-port0").string(),
      (machine.Dev() / "ttyUSB0").string()));
  EXPECT_FALSE(CSerialPortFinder::SameDevice((machine.Dev() / "ttyUSB0").string(),
                                             (machine.Dev() / "ttyACM0").string()));
  EXPECT_FALSE(CSerialPortFinder::SameDevice("", ""));
}

// The kernel's answer, on things the test made: a plain file and a pseudo-terminal are no UART;
// a node that may not be opened is answered from the type sysfs shows.
TEST(SerialPortFinder, TheKernelProbeFindsNoUartInAFileOrAPtyAndSysfsTellsTheType) {
  CTempFolder tmp;
  const std::string plain = tmp.MakeFile("ttyS0", ByteVec{});
  EXPECT_EQ(CSerialPortFinder::ProbeKernelUart(plain, tmp.Path("sys")), UartAnswer::NotReal);
  EXPECT_EQ(CSerialPortFinder::ProbeKernelUart(tmp.Path("ttyS9"), tmp.Path("sys")),
            UartAnswer::NotReal);
  CPseudoTerminal pty;
  ASSERT_TRUE(pty.Open());
  EXPECT_EQ(CSerialPortFinder::ProbeKernelUart(pty.SlavePath(), tmp.Path("sys")),
            UartAnswer::NotReal);

  // The driver's type in sysfs, as read where the device may not be opened.
  WriteText(tmp.Path("sys/class/tty/ttyS1/type"), "4\n");  // a 16550A
  WriteText(tmp.Path("sys/class/tty/ttyS2/type"), "0\n");  // PORT_UNKNOWN
  EXPECT_EQ(CSerialPortFinder::UartFromSysfs("/dev/ttyS1", tmp.Path("sys")), UartAnswer::Real);
  EXPECT_EQ(CSerialPortFinder::UartFromSysfs("/dev/ttyS2", tmp.Path("sys")), UartAnswer::NotReal);
  EXPECT_EQ(CSerialPortFinder::UartFromSysfs("/dev/ttyS3", tmp.Path("sys")), UartAnswer::CannotTell);

}

TEST(SerialPortFinder, ADeviceThatMayNotBeOpenedIsAnsweredBySysfs) {
  if (geteuid() == 0) GTEST_SKIP() << "the superuser opens any file: no refusal to fall back on";
  CTempFolder tmp;
  WriteText(tmp.Path("sys/class/tty/ttyS1/type"), "4\n");
  WriteText(tmp.Path("sys/class/tty/ttyS2/type"), "0\n");
  const std::string locked1 = tmp.MakeFile("ttyS1", ByteVec{});
  const std::string locked2 = tmp.MakeFile("ttyS2", ByteVec{});
  const std::string locked3 = tmp.MakeFile("ttyS3", ByteVec{});
  for (const std::string& path : {locked1, locked2, locked3}) ASSERT_EQ(chmod(path.c_str(), 0), 0);
  EXPECT_EQ(CSerialPortFinder::ProbeKernelUart(locked1, tmp.Path("sys")), UartAnswer::Real);
  EXPECT_EQ(CSerialPortFinder::ProbeKernelUart(locked2, tmp.Path("sys")), UartAnswer::NotReal);
  EXPECT_EQ(CSerialPortFinder::ProbeKernelUart(locked3, tmp.Path("sys")), UartAnswer::CannotTell);
}

}  // namespace
