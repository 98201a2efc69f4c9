// The program in the terminal, as a separate process, against the receiver simulator (or a test
// playing the receiver): what it prints, what it leaves on disk and how it exits.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/pty_peer.h"
#include "tests/support/sim_runner.h"
#include "transfer/protocol.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

struct RunResult {
  int status = -1;  // exit status, or 128 + signal
  std::string output;
};

// Runs the program with the arguments; onOutput sees the output so far and may act (send a
// signal); the run is killed after timeoutMs.
RunResult RunQuorin(const std::vector<std::string>& args,
                    const std::function<void(pid_t, const std::string&)>& onOutput = nullptr,
                    int timeoutMs = 30000) {
  int out[2];
  if (pipe(out) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, out[1], 2);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<std::string> all{QUORIN_EXE_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  // No display: the terminal mode, whatever the test's environment has.
  std::vector<std::string> envStrings;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0) continue;
    envStrings.push_back(entry);
  }
  std::vector<char*> envp;
  for (std::string& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  RunResult result;
  if (rc != 0) {
    close(out[0]);
    return result;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 50) > 0) {
      char buf[4096];
      const ssize_t n = read(out[0], buf, sizeof buf);
      if (n <= 0) break;
      result.output.append(buf, static_cast<std::size_t>(n));
    }
    if (onOutput) onOutput(pid, result.output);
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      ADD_FAILURE() << "the program did not end; output so far:\n" << result.output;
      break;
    }
  }
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TerminalMode : public ::testing::Test {
 protected:
  void SetUp() override {
    m_settings = CPtyPeer::IsolateSettings();
    char tmpl[] = "/tmp/quorin-terminal-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    m_dir = tmpl;
    std::error_code ec;
    fs::remove(m_settings + "/quorin.INI", ec);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(m_dir, ec);
  }
  void MapCom1(const std::string& path) {
    std::ofstream ini(m_settings + "/quorin.INI");
    ini << "[Devices]\nCOM1=" << path << "\n";
  }
  std::string MakeFile(const std::string& name, std::size_t size) {
    const std::string path = m_dir + "/" + name;
    std::ofstream out(path, std::ios::binary);
    for (std::size_t i = 0; i < size; ++i) out.put(static_cast<char>((i * 31) ^ (i >> 9)));
    return path;
  }

  std::string m_settings;
  std::string m_dir;
};

TEST_F(TerminalMode, SoftwareJobEndsWithDoneAndStatusZero) {
  const std::string image = MakeFile("new_sw.bin", 300000);
  CSimRunner sim;
  ASSERT_TRUE(sim.Start({"--job", "software", "--expect-speed", "5", "--out", m_dir + "/got.bin"}));
  MapCom1(sim.SlavePath());
  const RunResult run = RunQuorin({"-c", "COM1", "-s", "115200", "-p", image});
  EXPECT_EQ(run.status, 0) << run.output;
  for (const char* line : {" Ready ", "Turn on the STB", "Communicating with IRD",
                           "Transferring Data", "Done"}) {
    EXPECT_NE(run.output.find(std::string(line) + "\n"), std::string::npos) << line;
  }
  EXPECT_NE(run.output.find("(300,000 of 300,000 bytes)"), std::string::npos)
      << run.output;
  ASSERT_TRUE(sim.Wait(10000));
  EXPECT_EQ(sim.ExitStatus(), 0) << sim.Output() << sim.ErrorOutput();
  EXPECT_EQ(ReadWholeFile(m_dir + "/got.bin"), ReadWholeFile(image));
}

TEST_F(TerminalMode, ReadJobStoresTheReceiversDatabase) {
  const std::string db = MakeFile("receiver_db.bin", DATABASE_SIZE);
  CSimRunner sim;
  ASSERT_TRUE(sim.Start({"--job", "read", "--db", db, "--join-raw"}));
  MapCom1(sim.SlavePath());
  const std::string out = m_dir + "/upload_db.bin";
  const RunResult run = RunQuorin({"-c", "COM1", "-u", out});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("Done\n"), std::string::npos);
  ASSERT_TRUE(sim.Wait(10000));
  EXPECT_EQ(sim.ExitStatus(), 0) << sim.Output() << sim.ErrorOutput();
  EXPECT_EQ(ReadWholeFile(out), ReadWholeFile(db));
}

TEST_F(TerminalMode, ErrorReplyEndsWithStatusOneButACommunicationHiccupDoesNot) {
  const std::string image = MakeFile("new_sw.bin", 100000);
  {
    CSimRunner sim;
    ASSERT_TRUE(sim.Start({"--job", "software", "--error-at", "3:0x1A"}));
    MapCom1(sim.SlavePath());
    const RunResult run = RunQuorin({"-c", "COM1", "-p", image});
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("Check Sum Error 1\n"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("Done"), std::string::npos);
  }
  {
    CSimRunner sim;
    ASSERT_TRUE(sim.Start({"--job", "software", "--comm-error-at", "3"}));
    MapCom1(sim.SlavePath());
    const RunResult run = RunQuorin({"-c", "COM1", "-p", image});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Communication Error\n"), std::string::npos) << run.output;
    ASSERT_TRUE(sim.Wait(10000));
    EXPECT_EQ(sim.ExitStatus(), 0) << sim.Output() << sim.ErrorOutput();
  }
}

TEST_F(TerminalMode, MissingFileEndsWithStatusOneAndNothingOnTheLine) {
  CPtyPeer peer;
  ASSERT_TRUE(peer.Open());
  MapCom1(peer.SlavePath());
  const RunResult run = RunQuorin({"-c", "COM1", "-p", m_dir + "/missing.bin"});
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("File Open Error\n"), std::string::npos) << run.output;
  EXPECT_TRUE(peer.ReadUntilQuiet(300).empty());
}

TEST_F(TerminalMode, WithoutAJobOptionPrintsTheHelpAndExitsTwo) {
  const RunResult run = RunQuorin({"-c", "COM1"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.output,
            "Quorin.exe -c COM1\nQuorin.exe -s 9600\nQuorin.exe -p new_sw.bin\n"
            "Quorin.exe -d download_db.bin\nQuorin.exe -u upload_db.bin\nQuorin.exe -h\n");
}

TEST_F(TerminalMode, PortThatCannotOpenSaysWhy) {
  MapCom1(m_dir + "/no-such-device");
  const RunResult run = RunQuorin({"-c", "COM1", "-p", MakeFile("a.bin", 70000)});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("Port Open Error\nNo such device: " + m_dir + "/no-such-device"),
            std::string::npos)
      << run.output;
}

TEST_F(TerminalMode, SigtermDuringAReadKeepsThePartialFile) {
  CPtyPeer peer;
  ASSERT_TRUE(peer.Open());
  MapCom1(peer.SlavePath());
  const std::string out = m_dir + "/partial.bin";
  const std::vector<std::uint8_t> piece(512, 0x5A);
  int stage = 0;
  const RunResult run = RunQuorin({"-c", "COM1", "-u", out}, [&](pid_t pid, const std::string& text) {
    if (stage == 0 && text.find("Turn on the STB") != std::string::npos) {
      // Hello, speed switch at 9600, start, then two raw pieces.
      peer.ReadBytes(REBOOT_TEXT_SIZE, 2000);
      peer.SendReply(RSP_CONNECT);
      peer.ReadBytes(8, 2000);
      peer.SendReply(RSP_BAUD_OK);
      peer.ReadBytes(8, 2000);
      peer.WaitForSpeed(9600, 2000);
      peer.SendReply(RSP_READY);
      peer.ReadBytes(8 + quorin::JOB_BLOCK_SIZE, 2000);
      for (int i = 0; i < 2; ++i) {
        peer.SendReply(RSP_RAW_DATA);
        peer.Write(piece);
        peer.ReadBytes(8, 2000);  // the acknowledgement
      }
      kill(pid, SIGTERM);
      stage = 1;
    }
  });
  EXPECT_EQ(run.status, 143) << run.output;
  EXPECT_EQ(fs::file_size(out), 1024u);
}

TEST_F(TerminalMode, LostLinkEndsWithStatusOne) {
  CPtyPeer peer;
  ASSERT_TRUE(peer.Open());
  MapCom1(peer.SlavePath());
  bool closed = false;
  const RunResult run = RunQuorin({"-c", "COM1", "-p", MakeFile("a.bin", 70000)},
                                  [&](pid_t, const std::string& text) {
                                    if (!closed && text.find("Turn on the STB") != std::string::npos) {
                                      peer.ReadBytes(REBOOT_TEXT_SIZE, 2000);
                                      peer.Close();  // the adapter is pulled out
                                      closed = true;
                                    }
                                  });
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find(" Not Connected\n"), std::string::npos) << run.output;
}

}  // namespace
