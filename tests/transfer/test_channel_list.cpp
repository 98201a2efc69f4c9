// Channel-list files: sent raw at the selected speed, or handed to the companion program.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "platform/os/serial_device.h"
#include "platform/os/settings.h"
#include "platform/os/sync.h"
#include "tests/support/dialog_fixture.h"

namespace fs = std::filesystem;

namespace {

class ChannelList : public CDialogFixture {};

// What the line had received, and at which speed, each time the bar moved.
using Step = std::tuple<int, std::size_t, std::uint32_t>;

TEST_F(ChannelList, RawListGoesOutIn128BytePiecesAtTheSelectedSpeed) {
  struct Case {
    std::size_t size;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {300, {{0, 128, 38400}, {42, 128, 38400}, {85, 44, 38400}, {100, 0, 9600}}},
      {0, {{100, 0, 9600}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const ByteVec list = Pattern(c.size, 5);
    const std::string name = "sat" + std::to_string(c.size) + ".sdx";
    const std::string path = MakeFile(name, list);
    SelectSpeed(3);
    Ui().ClearEvents();
    std::vector<Step> steps;
    ByteVec line;
    m_onEvent = [&](const HeadlessEvent& e) {
      if (e.kind != HeadlessEvent::Progress || e.id != IDC_PROGRESS) return;
      // The next piece is written only after this returns; a pty passes bytes on a moment later.
      std::size_t nPiece = 0;
      BYTE buffer[512];
      for (int n, wait = 1000; (n = m_pty.Read(buffer, sizeof buffer, wait)) > 0; wait = 20) {
        line.insert(line.end(), buffer, buffer + n);
        nPiece += static_cast<std::size_t>(n);
      }
      steps.emplace_back(e.value, nPiece, LineSpeed());
    };
    Ui().QueueFileDialogAnswer(path);
    Click(IDC_SEND);
    EXPECT_TRUE(PumpUntil([&] { return !Boxes().empty(); }));
    m_onEvent = nullptr;
    EXPECT_EQ(steps, c.steps);
    EXPECT_EQ(line, list);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Done"});
    EXPECT_EQ(Statuses(), std::vector<std::string>{name});
    EXPECT_EQ(Dlg().m_ctlFileName.GetWindowText(), path);
  }
}

// The list goes out from timer steps: each piece waits for the one before it to leave the wire
// (128 bytes at 38400 baud: 33.3 ms) and 10 ms more, and meanwhile the window takes the user's
// clicks, though Send and the lists do nothing until the list is through.
TEST_F(ChannelList, PiecesKeepTheirGapsWhileTheWindowStaysFree) {
  SelectSpeed(3);
  const std::string path = MakeFile("gaps.sdx", Pattern(128 * 6, 8));
  std::vector<std::chrono::steady_clock::time_point> pieces;
  m_onEvent = [&](const HeadlessEvent& e) {
    if (e.kind == HeadlessEvent::Progress && e.id == IDC_PROGRESS && e.value < 100) {
      pieces.push_back(std::chrono::steady_clock::now());
    }
  };
  Ui().QueueFileDialogAnswer(path);
  Click(IDC_SEND);
  ASSERT_TRUE(PumpUntil([&] { return pieces.size() == 2; }));
  const std::size_t nDialogs = Ui().FileDialogRequests().size();
  Click(IDC_SEND);
  Click(IDC_READ);
  CHeadlessBackend::SelectComboEntry(Dlg().m_hWnd, IDC_COMPORT, 1);
  CHeadlessBackend::SelectComboEntry(Dlg().m_hWnd, IDC_BAUDRATE, 0);
  EXPECT_EQ(Ui().FileDialogRequests().size(), nDialogs);
  EXPECT_EQ(Dlg().m_cboComPort.GetCurSel(), 0);
  EXPECT_EQ(Dlg().m_cboBaud.GetCurSel(), 3);
  EXPECT_TRUE(PumpUntil([&] { return !Boxes().empty(); }));
  m_onEvent = nullptr;
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Done"});
  ASSERT_EQ(pieces.size(), 6u);
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    EXPECT_GE(pieces[i] - pieces[i - 1], std::chrono::microseconds(43300)) << "piece " << i;
  }
  EXPECT_EQ(ReadWholeFile(path).size(), m_pty.ReadUntilQuiet(1000).size());
}

// The program's side of the hand-off, run by the test below in a copy of this test program
// placed beside a stand-in companion.
TEST(ChannelListHandOffChild, DISABLED_HandsTheFileOver) {
#ifdef _WIN32
  GTEST_SKIP() << "the hand-off test runs on Linux";
#endif
  const char* file = std::getenv("QUORIN_HANDOFF_FILE");
  ASSERT_NE(file, nullptr);
  CQuorinDlg dlg;
  ASSERT_TRUE(dlg.Create());
  GetHeadlessBackend().QueueFileDialogAnswer(std::string(file));
  CHeadlessBackend::Click(dlg.m_hWnd, IDC_SEND);
  std::_Exit(3);  // the hand-off came back
}

TEST_F(ChannelList, MarkedFileIsHandedToTheCompanionAndTheProgramEnds) {
#ifdef _WIN32
  GTEST_SKIP() << "a stand-in companion is a shell script, and the child copy comes from /proc";
#else
  m_pDlg.reset();  // the port is the child's now
  ASSERT_TRUE(MapComPort("COM3", m_pty.SlavePath()));
  ASSERT_TRUE(WriteProfileString("Marlpane", "Com Port", "COM 3"));

  const std::string bin = Path("bin");
  fs::create_directory(bin);
  fs::copy_file("/proc/self/exe", bin + "/quorin-child");
  const std::string args = Path("args");
  {
    std::ofstream script(bin + "/Kestrelhub.exe");
    script << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << args
           << ".tmp'\nmv '" << args << ".tmp' '" << args << "'\n";
  }
  fs::permissions(bin + "/Kestrelhub.exe", fs::perms::owner_all);
  // Named .bin, with blanks, quotes and shell syntax: it must arrive as one argument, inert.
  const std::string list = MakeFile("my \"sat\" list's $(touch gotcha);.bin", ByteVec{0xB1, 0xE8} + Pattern(200));

  setenv("QUORIN_HANDOFF_FILE", list.c_str(), 1);
  const int status = std::system((bin + "/quorin-child --gtest_also_run_disabled_tests"
                                        " --gtest_filter=ChannelListHandOffChild.*").c_str());
  unsetenv("QUORIN_HANDOFF_FILE");
  ASSERT_EQ(status & 0x7F, 0) << "the program did not end by itself";
  EXPECT_EQ((status >> 8) & 0xFF, 0);

  for (int i = 0; i < 1000 && !fs::exists(args); ++i) Sleep(10);
  std::ifstream in(args);
  std::vector<std::string> got;
  for (std::string line; std::getline(in, line);) got.push_back(line);
  EXPECT_EQ(got, (std::vector<std::string>{"-c", "3", "-p", list}));
  EXPECT_FALSE(fs::exists(Path("gotcha")));
  EXPECT_FALSE(fs::exists(bin + "/gotcha"));
  // The program let go of the port before it ended: it opens again.
  CSerialDevice device;
  EXPECT_TRUE(device.Open("COM3"));
#endif
}

}  // namespace
