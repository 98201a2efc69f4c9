// CSimRunner: runs a program for a test as a child process, its standard output and error
// collected together: the receiver simulator (Start returns once it has printed the path of
// its line) or any other program (Spawn).
//
//   CSimRunner sim;
//   ASSERT_TRUE(sim.Start({"--job", "software", "--expect-speed", "5"}));
//   ... map COM1 to sim.SlavePath(), run the program's side ...
//   ASSERT_TRUE(sim.Wait(30000));
//   EXPECT_EQ(sim.ExitStatus(), 0) << sim.Output();
//
// Under Wine the simulator, a Linux program, is started by the line broker
// (tests/support/win32/remote_line.h); Spawn starts Windows programs.
#pragma once

#include <string>
#include <vector>

class CSimRunner {
 public:
  CSimRunner() = default;
  ~CSimRunner() { Kill(); }  // a child still running is killed and reaped
  CSimRunner(const CSimRunner&) = delete;
  CSimRunner& operator=(const CSimRunner&) = delete;

  // Starts the simulator with the arguments and waits up to timeoutMs for its first line.
  // Paths among them may be the test's own (under Wine: Windows paths).
  bool Start(const std::vector<std::string>& args, int timeoutMs = 10000);
  bool Spawn(const std::string& program, const std::vector<std::string>& args);
  // Collects output for up to ms; false once the output has ended.
  bool Poll(int ms);
  // Waits for the child to end; false when it is still running after timeoutMs.
  bool Wait(int timeoutMs);
  void Kill();
  int Pid() const { return m_pid; }

  // Exit status, 128 + the signal's number when a signal ended it, -1 while it runs.
  int ExitStatus() const { return m_nExitStatus; }
  const std::string& SlavePath() const { return m_slavePath; }
  // What the child wrote (after the simulator's first line).
  const std::string& Output() const { return m_output; }
  // The last line of output that begins with "OK:" or "FAIL:" (empty when none).
  std::string Verdict() const {
    std::string verdict;
    for (std::size_t start = 0, end; start < m_output.size(); start = end + 1) {
      end = m_output.find('\n', start);
      if (end == std::string::npos) end = m_output.size();
      const std::string line = m_output.substr(start, end - start);
      if (line.rfind("OK:", 0) == 0 || line.rfind("FAIL:", 0) == 0) verdict = line;
    }
    return verdict;
  }

 private:
  int m_pid = -1;
#ifdef _WIN32
  int m_nSimId = 0;            // the broker's simulator
  void* m_hProcess = nullptr;  // a spawned program and the pipe of its output
  void* m_hOutput = nullptr;
#else
  int m_fd = -1;
#endif
  int m_nExitStatus = -1;
  std::string m_slavePath;
  std::string m_output;
};
