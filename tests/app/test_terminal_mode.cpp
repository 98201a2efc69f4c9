// The program in the terminal, as a separate process, against the receiver simulator (or a test
// playing the receiver): what it prints, what it leaves on disk and how it exits.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/pty_peer.h"
#include "tests/support/sim_runner.h"
#include "transfer/protocol.h"
#ifndef _WIN32
#include "tests/support/program_run.h"
#endif

namespace {

struct RunResult {
  int status = -1;  // exit status, or 128 + signal
  std::string output;
};

// Runs the program with the arguments; onOutput sees the output so far and may act (send a
// signal); the run is killed after 30 s.
RunResult RunQuorin(const std::vector<std::string>& args,
                    const std::function<void(int, const std::string&)>& onOutput = nullptr) {
  CSimRunner run;
  EXPECT_TRUE(run.Spawn(QUORIN_EXE_PATH, args));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (run.Poll(50)) {
    if (onOutput) onOutput(run.Pid(), run.Output());
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "the program did not end; output so far:\n" << run.Output();
      run.Kill();
    }
  }
  run.Wait(5000);
  return {run.ExitStatus(), run.Output()};
}

#ifndef _WIN32
// Whether a signal sent to the process waits for it: a second signal of the same kind sent
// before the program took the first would be lost in it.
bool IsSignalPending(int pid, int sig) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("ShdPnd:", 0) == 0) {
      return (std::stoull(line.substr(7), nullptr, 16) >> (sig - 1)) & 1;
    }
  }
  return false;
}
#endif

class TerminalMode : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    // No display: the terminal mode, whatever the test's environment has.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
#endif
  }
  void MapCom1(const std::string& path) { ASSERT_TRUE(MapComPort("COM1", path)); }
  std::string MakeFile(const std::string& name, std::size_t size) {
    return m_tmp.MakeFile(name, Pattern(size));
  }

  CTempFolder m_tmp;
};

TEST_F(TerminalMode, SoftwareJobEndsWithDoneAndStatusZero) {
  const std::string image = MakeFile("new_sw.bin", 300000);
  CSimRunner sim;
  ASSERT_TRUE(sim.Start({"--job", "software", "--expect-speed", "5", "--out", m_tmp.Path("got.bin")}));
  MapCom1(sim.SlavePath());
  const RunResult run = RunQuorin({"-c", "COM1", "-s", "115200", "-p", image});
  EXPECT_EQ(run.status, 0) << run.output;
  for (const char* line : {" Ready ", "Turn on the STB", "Communicating with IRD", "Transferring Data",
                           "(300,000 of 300,000 bytes)", "Done"}) {
    EXPECT_NE(run.output.find(std::string(line) + "\n"), std::string::npos) << line << "\n"
                                                                             << run.output;
  }
  // Arming puts the bar back at 0 without a line of its own: the first comes with the data.
  const std::size_t firstZero = run.output.find("  0 %");
  EXPECT_NE(firstZero, std::string::npos) << run.output;
  EXPECT_GT(firstZero, run.output.find("Transferring Data\n")) << run.output;
  EXPECT_EQ(run.output.find("  0 %", firstZero + 1), std::string::npos) << run.output;
  ASSERT_TRUE(sim.Wait(10000));
  EXPECT_EQ(sim.ExitStatus(), 0) << sim.Output();
  EXPECT_EQ(ReadWholeFile(m_tmp.Path("got.bin")), ReadWholeFile(image));
}

TEST_F(TerminalMode, ReadJobStoresTheReceiversDatabase) {
  const std::string db = MakeFile("receiver_db.bin", DATABASE_SIZE);
  CSimRunner sim;
  ASSERT_TRUE(sim.Start({"--job", "read", "--db", db}));  // each piece in a write of its own
  MapCom1(sim.SlavePath());
  const std::string out = m_tmp.Path("upload_db.bin");
  const RunResult run = RunQuorin({"-c", "COM1", "-u", out});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("Done\n"), std::string::npos);
  ASSERT_TRUE(sim.Wait(10000));
  EXPECT_EQ(sim.ExitStatus(), 0) << sim.Output();
  EXPECT_EQ(ReadWholeFile(out), ReadWholeFile(db));
}

TEST_F(TerminalMode, AnErrorReplyEndsWithStatusOneButACommunicationErrorDoesNot) {
  const std::string image = MakeFile("new_sw.bin", 100000);
  const struct {
    const char* option;
    const char* value;
    int status;
    const char* line;
  } cases[] = {{"--error-at", "3:0x1A", 1, "Check Sum Error 1\n"},
               {"--comm-error-at", "3", 0, "Communication Error\n"}};
  for (const auto& c : cases) {
    CSimRunner sim;
    ASSERT_TRUE(sim.Start({"--job", "software", c.option, c.value}));
    MapCom1(sim.SlavePath());
    const RunResult run = RunQuorin({"-c", "COM1", "-p", image});
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_NE(run.output.find(c.line), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("Done") != std::string::npos, c.status == 0);
    ASSERT_TRUE(sim.Wait(10000));
    EXPECT_EQ(sim.ExitStatus(), 0) << sim.Output();
  }
}

// The help begins with the About box's six lines and describes every option, the exit statuses
// and the settings file within 80 columns; printed for want of a job it ends with status 2,
// asked for with 0. The console build on Windows answers the same way, with its own usage and
// settings path.
TEST_F(TerminalMode, HelpAndVersion) {
  const RunResult noJob = RunQuorin({"-c", "COM1"});
  EXPECT_EQ(noJob.status, 2);
  const std::string head =
      "Quorin.exe -c COM1\nQuorin.exe -s 9600\nQuorin.exe -p new_sw.bin\n"
      "Quorin.exe -d download_db.bin\nQuorin.exe -u upload_db.bin\nQuorin.exe -h\n\nUsage: ";
  ASSERT_EQ(noJob.output.substr(0, head.size()), head) << noJob.output;
  std::vector<std::string> parts = {"  -b FILE ", "  --ports ", "  --version ", "Exit status: ",
                                    "quorin.INI"};
#ifdef _WIN32
  const RunResult version = RunQuorin({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(std::regex_match(version.output, std::regex("quorin [0-9]+\\.[0-9]+(\\.[0-9]+)*\n")))
      << version.output;
#else
  parts.insert(parts.end(),
               {"\n  -c COMn|/dev/DEVICE\n", "\n  -s SPEED ", "\n  -p FILE ", "\n  -d FILE ",
                "\n  -u FILE ", "\n  -h, --help ", "Exit status: 0 ", "2 no job was given",
                "130 Ctrl+C; 143 SIGTERM;\n129 hang-up", "~/.config/quorin.INI",
                "$XDG_CONFIG_HOME/quorin.INI", "\n  [Devices]\n  COM1=/dev/ttyUSB0\n", "dialout"});
  for (std::size_t at = 0, end; at < noJob.output.size(); at = end + 1) {
    end = noJob.output.find('\n', at);
    EXPECT_LT(end - at, 80u) << noJob.output.substr(at, end - at);
  }
  // Asked for, with or without a job on the same line.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--help"}, {"-h"}, {"-c", "COM1", "-p", "x.bin", "--help"}}) {
    const RunResult asked = RunQuorin(args);
    EXPECT_EQ(asked.status, 0) << args.back();
    EXPECT_EQ(asked.output, noJob.output) << args.back();
  }
  // The version CMake was given in project(), as its cache keeps it; it wins over a job too.
  std::ifstream cache(std::string(QUORIN_BUILD_DIR) + "/CMakeCache.txt");
  std::string line, project;
  while (std::getline(cache, line)) {
    if (line.rfind("CMAKE_PROJECT_VERSION:", 0) == 0) project = line.substr(line.find('=') + 1);
  }
  ASSERT_FALSE(project.empty()) << "no project version in the build's cache";
  const RunResult version = RunQuorin({"--version", "-p", "x.bin"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output, "quorin " + project + "\n");
#endif
  for (const std::string& part : parts) {
    EXPECT_NE(noJob.output.find(part), std::string::npos) << part << "\n" << noJob.output;
  }
}

#ifndef _WIN32
// Errors and warnings on standard error, everything else on standard output; the job summary
// before the receiver is switched on, and a file the Send button would have taken for another
// kind is still sent as the command line asks.
TEST_F(TerminalMode, ErrorsAndWarningsGoToStandardError) {
  for (const char* asked : {"--help", "--version"}) {
    EXPECT_EQ(RunSplit(m_tmp, {asked}).err, "") << asked;
  }
  MapCom1(m_tmp.Path("no-such-device"));
  SplitRun run = RunSplit(m_tmp, {"-c", "COM1", "-p", MakeFile("a.bin", 70000)});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, " Not Connected\n");
  EXPECT_EQ(run.err.substr(0, run.err.find('\n')), "Port Open Error") << run.err;

  const std::string database = MakeFile("db.bin", DATABASE_SIZE);
  CSimRunner sim;
  ASSERT_TRUE(sim.Start({"--job", "software", "--out", m_tmp.Path("got.bin")}));
  MapCom1(sim.SlavePath());
  run = RunSplit(m_tmp, {"-c", "COM1", "-s", "57600", "-p", database});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.err,
            "Warning: the Send button would take db.bin (262,144 bytes) for a database; it is "
            "sent as a software image, as the command line asks.\n");
  EXPECT_EQ(run.out.substr(0, run.out.find("Communicating")),
            " Ready \nSoftware image, 262,144 bytes, data at 57600 baud\nTurn on the STB\n");
  // Said between the last block and the receiver's own progress replies.
  EXPECT_NE(run.out.find(" 80 % (233,472 of 262,144 bytes)\n"
                         "All data sent; the receiver is writing its flash.\nProgress  9"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.substr(run.out.size() - 5), "Done\n") << run.out;
  ASSERT_TRUE(sim.Wait(10000));
  EXPECT_EQ(sim.ExitStatus(), 0) << sim.Output();
  EXPECT_EQ(ReadWholeFile(m_tmp.Path("got.bin")), ReadWholeFile(database));
}

// On a terminal the progress is one line, redrawn no more than about ten times a second
// whatever the number of blocks, with the rate and the time left, and it says so when the
// blocks are out and the receiver is at work.
TEST_F(TerminalMode, OnATerminalTheProgressLineIsRedrawnAtAMeasuredPace) {
  const std::string image = MakeFile("new_sw.bin", 1024 * 512);
  CSimRunner sim;
  // A millisecond per reply keeps 1024 blocks on the line for a second or more.
  ASSERT_TRUE(sim.Start({"--job", "software", "--reply-latency-ms", "1", "--out", m_tmp.Path("got.bin")}));
  MapCom1(sim.SlavePath());
  CPtyPeer screen;  // the terminal the technician looks at
  ASSERT_TRUE(screen.Open());
  const auto start = std::chrono::steady_clock::now();
  const SplitRun run = RunSplit(m_tmp, {"-c", "COM1", "-p", image}, screen.SlavePath(), [&] {
    const ByteVec got = screen.ReadUntilQuiet(10, 5);
    return std::string(got.begin(), got.end());
  });
  const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.find("Progress "), std::string::npos) << "no piped lines on a terminal";
  std::vector<std::string> redraws;
  for (std::size_t at = run.out.find('\r'); at != std::string::npos; at = run.out.find('\r', at + 1)) {
    const std::size_t end = run.out.find_first_of("\r\n", at + 1);
    redraws.push_back(run.out.substr(at + 1, end == std::string::npos ? end : end - at - 1));
  }
  // Each redraw begins with the percentage; a terminal's own carriage returns before its line
  // feeds are not redraws.
  std::size_t drawn = 0;
  bool rate = false;
  bool sent = false;
  for (const std::string& r : redraws) {
    if (r.size() < 5 || r[4] != '%') continue;
    ++drawn;
    rate = rate || (r.find(" bytes/s  ") != std::string::npos && r.find(" left") != std::string::npos);
    sent = sent || r.find("all data sent; the receiver is writing its flash") != std::string::npos;
  }
  ASSERT_GE(elapsedMs, 1000) << "the job was too quick to show a pace";
  EXPECT_GE(drawn, 3u) << run.out;
  // The first report, one every 100 ms, the wait for the receiver and the last one held back.
  EXPECT_LE(drawn, static_cast<std::size_t>(elapsedMs / 100 + 3)) << run.out;
  EXPECT_TRUE(rate) << run.out;
  EXPECT_TRUE(sent) << run.out;
  EXPECT_NE(run.out.find("Done"), std::string::npos) << run.out;
  ASSERT_TRUE(sim.Wait(10000));
  EXPECT_EQ(ReadWholeFile(m_tmp.Path("got.bin")), ReadWholeFile(image));
}
#endif

TEST_F(TerminalMode, APortThatCannotOpenEndsWithStatusOneAndSaysWhy) {
  MapCom1(m_tmp.Path("no-such-device"));
  const RunResult run = RunQuorin({"-c", "COM1", "-p", MakeFile("a.bin", 70000)});
  EXPECT_EQ(run.status, 1);
#ifdef _WIN32
  const std::string device = "\\\\.\\COM1";  // the name is the device
#else
  const std::string device = m_tmp.Path("no-such-device");
#endif
  EXPECT_NE(run.output.find("Port Open Error\nNo such device: " + device), std::string::npos)
      << run.output;
  EXPECT_EQ(run.output.find("No such device", run.output.find("No such device") + 1),
            std::string::npos) << "the reason is said once\n" << run.output;
}

// A missing file, or a FIFO or a device named as the job's file, is refused at once and nothing
// goes out on the line; the program does not wait for the FIFO's other end, which may never come.
TEST_F(TerminalMode, AFileThatCannotBeTakenEndsTheRunAtOnce) {
#ifdef _WIN32
  const std::string special = "\\\\.\\pipe\\quorin-test";
#else
  const std::string special = m_tmp.Path("fifo");
  ASSERT_EQ(mkfifo(special.c_str(), 0600), 0);
#endif
  CPtyPeer peer;
  ASSERT_TRUE(peer.Open());
  MapCom1(peer.SlavePath());
  const struct {
    const char* option;
    std::string file;
    std::string says;
  } cases[] = {{"-p", m_tmp.Path("missing.bin"), "File Open Error\n"},
               {"-p", special, "File Open Error\n" + special + ": not a regular file\n"},
               {"-u", special, "File Open Error\n" + special + ": not a regular file\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const RunResult run = RunQuorin({"-c", "COM1", c.option, c.file});
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
  }
  EXPECT_TRUE(peer.ReadUntilQuiet(300).empty()) << "nothing goes out on the line";
}

#ifndef _WIN32
// Plays the receiver through a read's start (hello, speed switch at 9600, start) and sends
// that many raw pieces of 512 bytes 0x5A, each acknowledged.
void StartReadAndSendPieces(CPtyPeer& peer, int pieces) {
  peer.ReadBytes(REBOOT_TEXT_SIZE, 2000);
  peer.SendReply(RSP_CONNECT);
  peer.ReadBytes(8, 2000);
  peer.SendReply(RSP_BAUD_OK);
  peer.ReadBytes(8, 2000);
  peer.WaitForSpeed(9600, 2000);
  peer.SendReply(RSP_READY);
  peer.ReadBytes(8 + quorin::JOB_BLOCK_SIZE, 2000);
  for (int i = 0; i < pieces; ++i) {
    peer.Write(Frame(RSP_RAW_DATA) + ByteVec(512, 0x5A));
    peer.ReadBytes(8, 2000);
  }
}

// SIGTERM or a hang-up (the terminal or the ssh session closed) during a read: the backup that
// was there stays, what came before the signal is kept beside it and the terminal says where.
// The two differ only in the word and the status.
TEST_F(TerminalMode, ASignalDuringAReadKeepsTheBackupAndThePartialFile) {
  const std::string out = m_tmp.Path("upload_db.bin");
  const struct {
    int sig;
    int status;
    const char* word;
  } endings[] = {{SIGTERM, 143, "Terminated."}, {SIGHUP, 129, "Hung up."}};
  std::string before;  // what the SIGTERM run printed before its word
  for (const auto& ending : endings) {
    SCOPED_TRACE(ending.word);
    CPtyPeer peer;
    ASSERT_TRUE(peer.Open());
    MapCom1(peer.SlavePath());
    const ByteVec backup = ReadWholeFile(MakeFile("upload_db.bin", 3000));
    std::filesystem::remove(out + ".part");
    bool acted = false;
    const RunResult run = RunQuorin({"-c", "COM1", "-u", out}, [&](int pid, const std::string& text) {
      if (acted || text.find("Turn on the STB") == std::string::npos) return;
      StartReadAndSendPieces(peer, 2);
      kill(pid, ending.sig);
      acted = true;
    });
    EXPECT_EQ(run.status, ending.status) << run.output;
    EXPECT_TRUE(ReadWholeFile(out) == backup);
    EXPECT_EQ(ReadWholeFile(out + ".part"), ByteVec(1024, 0x5A));
    const std::size_t at = run.output.find(std::string(ending.word) +
                                           "\nThe partial data is kept in " + out + ".part.\n");
    ASSERT_NE(at, std::string::npos) << run.output;
    if (before.empty()) before = run.output.substr(0, at);
    EXPECT_EQ(run.output.substr(0, at), before);
  }
}

// Another instance is in the middle of writing the settings (stopped there, say): the program
// waits for it before the job starts and cannot act on a first SIGTERM. A second ends it at
// once, still waiting.
TEST_F(TerminalMode, ASecondSignalEndsTheProgramAtOnceWhateverItIsDoing) {
  CPtyPeer peer;
  ASSERT_TRUE(peer.Open());
  MapCom1(peer.SlavePath());
  const std::string image = MakeFile("new_sw.bin", 70000);
  const std::string lockPath = m_tmp.Path("quorin.INI.lock");
  const int lock = open(lockPath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);
  int sent = 0;
  bool released = false;
  std::chrono::steady_clock::time_point secondAt;
  auto act = [&](int pid, const std::string& text) {
    if (text.find(" Ready ") == std::string::npos) return;
    if (sent == 0 || (sent == 1 && !IsSignalPending(pid, SIGTERM))) {
      kill(pid, SIGTERM);
      secondAt = std::chrono::steady_clock::now();
      ++sent;
    } else if (sent == 2 && !released &&
               std::chrono::steady_clock::now() - secondAt > std::chrono::seconds(10)) {
      flock(lock, LOCK_UN);  // it did not end: let it go on
      released = true;
    }
  };
  const RunResult run = RunQuorin({"-c", "COM1", "-p", image}, act);
  close(lock);
  EXPECT_EQ(run.status, 143) << run.output;
  EXPECT_FALSE(released) << run.output;
  EXPECT_EQ(run.output.find("Turn on the STB"), std::string::npos) << run.output;
}

// "Done" was said and is true: a Ctrl+C after it, before the program has ended, changes
// nothing; nor does a second one, which ends the program at once.
TEST_F(TerminalMode, ACtrlCAfterDoneLeavesStatusZero) {
  const std::string image = MakeFile("new_sw.bin", 70000);
  // The program holds its end this long after the outcome, so the signal comes before it.
  struct HoldExit {
    HoldExit() { setenv("QUORIN_TEST_HOLD_EXIT_MS", "3000", 1); }
    ~HoldExit() { unsetenv("QUORIN_TEST_HOLD_EXIT_MS"); }
  } hold;
  for (const int signals : {1, 2}) {
    SCOPED_TRACE(signals);
    CSimRunner sim;
    ASSERT_TRUE(sim.Start({"--job", "software"}));
    MapCom1(sim.SlavePath());
    int sent = 0;
    auto act = [&](int pid, const std::string& text) {
      if (sent == signals || text.find("Done\n") == std::string::npos) return;
      if (sent == 0 || !IsSignalPending(pid, SIGINT)) {
        kill(pid, SIGINT);
        ++sent;
      }
    };
    const RunResult run = RunQuorin({"-c", "COM1", "-p", image}, act);
    EXPECT_EQ(sent, signals);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("Interrupted."), std::string::npos) << run.output;
  }
}

// Started under nohup, or in the background by a script, the program leaves the signals it was
// given ignored as they were; the others still end it.
TEST_F(TerminalMode, SignalsTheProgramWasStartedIgnoringStayIgnored) {
  CPtyPeer peer;  // a receiver that stays silent: the job waits
  ASSERT_TRUE(peer.Open());
  MapCom1(peer.SlavePath());
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction savedHup {};
  struct sigaction savedInt {};
  sigaction(SIGHUP, &ignore, &savedHup);
  sigaction(SIGINT, &ignore, &savedInt);
  int sent = 0;
  auto act = [&](int pid, const std::string& text) {
    if (text.find("Turn on the STB") == std::string::npos) return;
    if (sent == 0) {
      kill(pid, SIGHUP);
      kill(pid, SIGINT);
      ++sent;
    } else if (sent == 1 && !IsSignalPending(pid, SIGHUP) && !IsSignalPending(pid, SIGINT)) {
      kill(pid, SIGTERM);
      ++sent;
    }
  };
  const RunResult run = RunQuorin({"-c", "COM1", "-p", MakeFile("new_sw.bin", 70000)}, act);
  sigaction(SIGHUP, &savedHup, nullptr);
  sigaction(SIGINT, &savedInt, nullptr);
  EXPECT_EQ(run.status, 143) << run.output;
  EXPECT_NE(run.output.find("Turn on the STB\nTerminated.\n"), std::string::npos) << run.output;
}
#endif

TEST_F(TerminalMode, ALostLinkEndsWithStatusOne) {
  CPtyPeer peer;
  ASSERT_TRUE(peer.Open());
  MapCom1(peer.SlavePath());
  bool acted = false;
  const RunResult run = RunQuorin({"-c", "COM1", "-p", MakeFile("a.bin", 70000)}, [&](int, const std::string& text) {
    if (acted || text.find("Turn on the STB") == std::string::npos) return;
    peer.ReadBytes(REBOOT_TEXT_SIZE, 2000);
    peer.Close();  // the adapter is pulled out
    acted = true;
  });
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find(" Not Connected\n"), std::string::npos) << run.output;
}

}  // namespace
