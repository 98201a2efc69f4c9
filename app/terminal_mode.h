// The terminal mode: the same dialog on the headless backend, for a bench without a screen, a
// session over ssh or a script. Status and message-box texts are printed as they appear,
// progress as one updating line (or a line every 10 % when the output is not a terminal), and
// the program ends by itself when the command-line job has ended.
//
// Status texts, progress and "Done" go to standard output; error and warning boxes, and the
// warnings of the terminal's own, to standard error.
//
// Exit statuses: 0 after "Done", and after "-h", "--help" or "--version"; 1 after a job-ending
// error or when the port cannot be opened; 2 when no job option was given (the help is
// printed); 130 / 143 / 129 after Ctrl+C / SIGTERM / SIGHUP (on Windows: Ctrl+C or Ctrl+Break /
// the console's close), unless the job had already ended. A second signal ends the program at
// once.
#pragma once

#include <string>

#include "app/progress_line.h"
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
  // True when the command line asks for the help or the version only ("--help", "--version"):
  // they are answered in the terminal whether a display is there or not.
  static bool AsksForInformation(int argc, const char* const* argv);
  // The six lines of the About box, then the terminal's description of the options.
  static std::string HelpText();
  static std::string VersionText();

  // Runs the dialog in the terminal; returns the exit status.
  int Run(int argc, const char* const* argv);

  void OnStatusText(const std::string& text) override;
  void OnProgress(const JobProgress& progress) override;
  void OnMessageBox(const std::string& text, BoxKind kind) override;
  void OnJobEnded(const JobResult& result) override;
  void OnJobArmed(const JobSummary& summary) override;
  void OnAllDataSent() override;
  LRESULT OnTerminationSignal(WPARAM wParam, LPARAM lParam);

  DECLARE_MESSAGE_MAP()

 private:
  // What "-c" and "-s" did not understand, and what is used instead, on stderr.
  static void PrintOptionWarnings(int argc, const char* const* argv);
  void Finish(int status);
  void CloseMainWindow();
  // A line of its own, on standard error when bError; an open progress line is ended first.
  void PrintLine(const std::string& text, bool bError = false);
  void EndProgressLine();

  bool m_bTerminal = false;
  CProgressLine m_progressLine;
  int m_nLastDecile = -1;
  int m_nStatus = EXIT_JOB_FAILED;
  bool m_bFinished = false;
};
