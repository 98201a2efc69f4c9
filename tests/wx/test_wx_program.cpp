// The program itself on the display, as a separate process: it loads its window module and
// shows the main window (looked for by its title among the X server's windows), with the job
// of its command line armed in the window; the terminal gets nothing. The screen is left in
// screenshot-program.png in the build folder.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/process_probe.h"
#include "tests/support/pty_peer.h"
#include "tests/support/sim_runner.h"
#include "tests/wx/wx_test_support.h"
#include "transfer/protocol.h"

namespace {

namespace fs = std::filesystem;

constexpr int TIMEOUT_MS = 20000;

// The X server's window tree, as xwininfo lists it (names in double quotes).
std::string WindowTree() {
  CSimRunner query;
  if (!query.Spawn("/bin/sh", {"-c", "xwininfo -root -tree"})) return std::string();
  while (query.Poll(50)) {
  }
  query.Wait(5000);
  return query.Output();
}

bool Contains(const std::vector<std::string>& files, const std::string& part) {
  return std::any_of(files.begin(), files.end(), [&](const std::string& f) { return f.find(part) != std::string::npos; });
}

class ProgramWindow : public CWxTest {
 protected:
  void TearDown() override { UseSettingsFolder(RunFolder()); }
};

TEST_F(ProgramWindow, TheProgramLoadsItsModuleAndShowsTheMainWindowWithTheJobArmed) {
  if (std::system("command -v xwininfo >/dev/null 2>&1") != 0) GTEST_SKIP() << "xwininfo (x11-utils) is missing: no way to look for the window";
  CTempFolder tmp;
  CPtyPeer peer;
  ASSERT_TRUE(peer.Open());
  ASSERT_TRUE(peer.MapTo("COM1"));
  const std::string image = tmp.MakeFile("new_sw.bin", Pattern(300000));

  CSimRunner program;
  ASSERT_TRUE(program.Spawn(QUORIN_EXE_PATH, {"-c", "COM1", "-p", image}));
  const ByteVec reboot = peer.ReadBytes(REBOOT_TEXT_SIZE, TIMEOUT_MS);
  EXPECT_EQ(reboot, ByteVec(REBOOT_TEXT, REBOOT_TEXT + REBOOT_TEXT_SIZE)) << program.Output();
  bool shown = false;
  std::string tree;
  for (int waited = 0; waited < TIMEOUT_MS && !shown; waited += 100) {
    tree = WindowTree();
    shown = tree.find("\"Quorin ver0.99 \"") != std::string::npos;
    if (!program.Poll(100)) break;  // it ended
  }
  EXPECT_TRUE(shown) << program.Output() << "\n" << tree;
  if (shown) GrabScreen(std::string(QUORIN_BUILD_DIR) + "/screenshot-program.png");

  const std::vector<std::string> files = MappedFiles(program.Pid());
  EXPECT_TRUE(Contains(files, (fs::path(QUORIN_BUILD_DIR) / "quorin-wx.so").string()));
  EXPECT_TRUE(Contains(files, "libgtk-3"));
  program.Poll(100);
  // The status is the window's to show; the terminal stays silent.
  EXPECT_EQ(program.Output().find("Turn on the STB"), std::string::npos) << program.Output();
  EXPECT_EQ(program.Output().find("running in the terminal"), std::string::npos) << program.Output();
  program.Kill();
}

}  // namespace
