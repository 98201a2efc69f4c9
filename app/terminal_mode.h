// The terminal mode: the same dialog on the headless backend, for a bench without a screen, a
// session over ssh or a script. Status and message-box texts are printed as they appear,
// progress as one updating line (or a line every 10 % when the output is not a terminal), and
// the program ends by itself when the command-line job has ended.
//
// Exit statuses: 0 after "Done"; 1 after a job-ending error or when the port cannot be opened;
// 2 when no job option was given (the help is printed); 130 / 143 / 129 after Ctrl+C / SIGTERM /
// SIGHUP (on Windows: Ctrl+C or Ctrl+Break / the console's close), unless the job had already
// ended. A second signal ends the program at once.
#pragma once

#include <string>

#include "platform/ui/window.h"
#include "transfer/job_observer.h"

constexpr int EXIT_DONE = 0;
constexpr int EXIT_JOB_FAILED = 1;
constexpr int EXIT_NO_JOB = 2;

class CTerminalMode : public CWnd, public IJobObserver {
 public:
  CTerminalMode();
  ~CTerminalMode() override;

  // True when the command line names a job ("-p", "-d", "-u" or "-b").
  static bool HasJobOption(int argc, const char* const* argv);
  static std::string HelpText();

  // Runs the dialog in the terminal; returns the exit status.
  int Run(int argc, const char* const* argv);

  void OnStatusText(const std::string& text) override;
  void OnProgress(const JobProgress& progress) override;
  void OnMessageBox(const std::string& text, BoxKind kind) override;
  void OnJobEnded(const JobResult& result) override;
  LRESULT OnTerminationSignal(WPARAM wParam, LPARAM lParam);

  DECLARE_MESSAGE_MAP()

 private:
  // What "-c" and "-s" did not understand, and what is used instead, on stderr.
  static void PrintOptionWarnings(int argc, const char* const* argv);
  void Finish(int status);
  void CloseMainWindow();
  void PrintLine(const std::string& text);

  bool m_bTerminal = false;
  bool m_bProgressLineOpen = false;
  int m_nLastDecile = -1;
  int m_nStatus = EXIT_JOB_FAILED;
  bool m_bFinished = false;
};
