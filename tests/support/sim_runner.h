// CSimRunner: runs quorin-receiver-sim as a child process for a test. Start returns once the
// simulator has printed the path of its line; Wait collects its exit status and output.
//
//   CSimRunner sim;
//   ASSERT_TRUE(sim.Start({"--job", "software", "--expect-speed", "5"}));
//   ... map COM1 to sim.SlavePath(), run the program's side ...
//   ASSERT_TRUE(sim.Wait(30000));
//   EXPECT_EQ(sim.ExitStatus(), 0) << sim.Output() << sim.ErrorOutput();
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class CSimRunner {
 public:
  CSimRunner() = default;
  ~CSimRunner();  // a simulator still running is killed and reaped
  CSimRunner(const CSimRunner&) = delete;
  CSimRunner& operator=(const CSimRunner&) = delete;

  // Starts the simulator (QUORIN_SIM_PATH unless program is given) with the arguments and
  // waits up to timeoutMs for its first line.
  bool Start(const std::vector<std::string>& args, int timeoutMs = 10000,
             const std::string& program = std::string());
  const std::string& SlavePath() const { return m_slavePath; }

  // Waits for the simulator to end; false when it is still running after timeoutMs.
  bool Wait(int timeoutMs);
  bool IsRunning() const { return m_pid > 0; }
  void Kill();

  // Exit status (0 to 255), or -1 when it ended by a signal or has not ended.
  int ExitStatus() const { return m_nExitStatus; }
  // Standard output after the first line, and standard error.
  const std::string& Output() const { return m_output; }
  const std::string& ErrorOutput() const { return m_errors; }
  // The last line of output that begins with "OK:" or "FAIL:" (empty when none).
  std::string Verdict() const;

 private:
  void ReadAvailable(int fd, std::string& into, bool& open);
  void CloseDescriptors();

  pid_t m_pid = -1;
  int m_outFd = -1;
  int m_errFd = -1;
  bool m_bOutOpen = false;
  bool m_bErrOpen = false;
  std::string m_slavePath;
  std::string m_pendingOut;  // stdout before the first line ends
  std::string m_output;
  std::string m_errors;
  int m_nExitStatus = -1;
};
