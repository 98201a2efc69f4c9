// What the program maps and where it runs, as a separate process with a job armed against a
// line the test holds: in the terminal nothing of the toolkit is loaded; with a display set but
// no window to be had (no module, a module that is none, a display that cannot be opened) it
// says why in one line and runs the job in the terminal all the same.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/os/sync.h"
#include "tests/support/process_probe.h"
#include "tests/support/pty_peer.h"
#include "tests/support/sim_runner.h"
#include "transfer/protocol.h"

namespace {

namespace fs = std::filesystem;

constexpr int TIMEOUT_MS = 20000;
const char* const kTurnOn = "Turn on the STB\n";
const char* const kFallback = "; running in the terminal\n";

struct ArmedRun {
  std::string output;              // standard output and error so far
  std::vector<std::string> files;  // mapped while the job waited for the receiver
};

bool Contains(const std::vector<std::string>& files, const std::string& part) {
  for (const std::string& file : files) {
    if (file.find(part) != std::string::npos) return true;
  }
  return false;
}

class WindowModule : public ::testing::Test {
 protected:
  void SetUp() override {
    m_image = m_tmp.MakeFile("new_sw.bin", Pattern(300000));
    if (const char* display = std::getenv("DISPLAY")) m_display = display;
  }
  void TearDown() override { SetDisplay(m_display ? m_display->c_str() : nullptr); }
  static void SetDisplay(const char* display) {
    if (display != nullptr) {
      setenv("DISPLAY", display, 1);
    } else {
      unsetenv("DISPLAY");
    }
  }

  // Starts the program with a software job on a line of its own and the display given
  // (nullptr: none), waits until the reboot text is on the line and the terminal shows "Turn
  // on the STB", then reads what the process maps and ends it.
  ArmedRun RunUntilArmed(const std::string& exe, const char* display) {
    SetDisplay(display);
    unsetenv("WAYLAND_DISPLAY");
    ArmedRun result;
    // A new line each time: a program ended while it held its line leaves that line exclusive
    // while the test still has it open.
    CPtyPeer peer;
    EXPECT_TRUE(peer.Open());
    EXPECT_TRUE(peer.MapTo("COM1"));
    CSimRunner run;
    EXPECT_TRUE(run.Spawn(exe, {"-c", "COM1", "-p", m_image}));
    const ByteVec reboot = peer.ReadBytes(REBOOT_TEXT_SIZE, TIMEOUT_MS);
    EXPECT_EQ(reboot, ByteVec(REBOOT_TEXT, REBOOT_TEXT + REBOOT_TEXT_SIZE)) << run.Output();
    for (int waited = 0; waited < TIMEOUT_MS && run.Output().find(kTurnOn) == std::string::npos;
         waited += 20) {
      if (!run.Poll(20)) break;
    }
    result.files = MappedFiles(run.Pid());
    result.output = run.Output();
    run.Kill();
    return result;
  }

  // A copy of the program in a folder of its own (bin/ of a made-up installation).
  std::string CopyProgram() {
    const fs::path bin = fs::path(m_tmp.Dir()) / "inst" / "bin";
    fs::create_directories(bin);
    const fs::path copy = bin / "quorin";
    fs::copy_file(QUORIN_EXE_PATH, copy);
    return copy.string();
  }

  CTempFolder m_tmp;
  std::string m_image;
  std::optional<std::string> m_display;  // the test's own, put back afterwards
};

TEST_F(WindowModule, TheTerminalModeMapsNothingOfTheToolkit) {
  const ArmedRun run = RunUntilArmed(QUORIN_EXE_PATH, nullptr);
  EXPECT_NE(run.output.find(kTurnOn), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find(kFallback), std::string::npos) << "no display, nothing to warn of\n"
                                                           << run.output;
  // The list was read: the program itself and the C library are in it.
  ASSERT_TRUE(Contains(run.files, fs::path(QUORIN_EXE_PATH).filename().string())) << run.files.size();
  ASSERT_TRUE(Contains(run.files, "libc.so"));
  for (const char* toolkit : {"quorin-wx", "libwx_", "libgtk", "libgdk", "libX11"}) {
    EXPECT_FALSE(Contains(run.files, toolkit)) << toolkit << " is mapped in the terminal mode";
  }
}

#ifdef QUORIN_TEST_WINDOW_MODULE
// No X server listens there.
const char* const kDeadDisplay = ":4093";

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST_F(WindowModule, ADisplayWithoutAWindowToHaveRunsTheJobInTheTerminalAndSaysWhy) {
  const std::string copy = CopyProgram();
  const fs::path installed =
      (fs::path(copy).parent_path() / QUORIN_TEST_WX_MODULE_DIR).lexically_normal();
  const std::string beside = (fs::path(copy).parent_path() / "quorin-wx.so").string();
  const fs::path built = fs::path(QUORIN_BUILD_DIR) / "quorin-wx.so";
  const struct {
    const char* name;
    std::function<void()> prepare;  // on top of the cases before
    std::string exe;
    std::string warning;     // the one line on stderr
    std::string moduleMapped;  // empty: no module may be mapped
  } cases[] = {
      {"no module anywhere", [] {}, copy,
       "quorin: no window (quorin-wx.so is neither beside the program nor in " + installed.string() +
           ")" + kFallback,
       ""},
      {"installed module, display that cannot be opened",
       [&] {
         fs::create_directories(installed);
         fs::copy_file(built, installed / "quorin-wx.so");
       },
       copy, std::string("quorin: the display ") + kDeadDisplay + " cannot be opened" + kFallback,
       (installed / "quorin-wx.so").string()},
      {"something else beside the program, before the installed one",
       [&] { m_tmp.MakeFile("inst/bin/quorin-wx.so", ByteVec(64, 'x')); }, copy,
       "quorin: no window (" + beside, ""},
      {"the build's module beside the program", [] {}, QUORIN_EXE_PATH,
       std::string("quorin: the display ") + kDeadDisplay + " cannot be opened" + kFallback,
       built.string()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.prepare();
    const ArmedRun run = RunUntilArmed(c.exe, kDeadDisplay);
    // The warning comes first and once; then the terminal runs the job as without a display.
    EXPECT_EQ(run.output.rfind(c.warning, 0), 0u) << run.output;
    EXPECT_EQ(Count(run.output, kFallback), 1u) << run.output;
    EXPECT_NE(run.output.find(kTurnOn), std::string::npos) << run.output;
    if (c.moduleMapped.empty()) {
      EXPECT_FALSE(Contains(run.files, "libgtk")) << run.output;
      EXPECT_FALSE(Contains(run.files, "libwx_"));
    } else {
      EXPECT_TRUE(Contains(run.files, c.moduleMapped)) << c.moduleMapped;
    }
  }
}
#else
TEST_F(WindowModule, ADisplayWithoutAWindowToHaveRunsTheJobInTheTerminalAndSaysWhy) {
  GTEST_SKIP() << "this build has no window module (wxWidgets and GTK 3 were not used)";
}
#endif

}  // namespace
