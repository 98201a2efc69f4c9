// What the transfer engine tells whoever watches it: the window shows it in its controls and
// boxes, the terminal mode prints it and takes its exit status from the outcome. The engine
// never knows which of them is watching. All calls come on the window thread, in the order the
// things happen; a message box call returns when the box has been answered.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/win_types.h"

enum class BoxKind {
  Information,  // the job is done
  Warning,      // the job goes on after it
  Error,        // the job, or what was asked, failed
};

struct JobProgress {
  int nPos = 0;  // the bar's position in its range
  int nRangeLow = 0;
  int nRangeHigh = 100;
  std::uint64_t nDone = 0;   // bytes of the job that are through
  std::uint64_t nTotal = 0;  // bytes of the job
  // A job was just armed: the bar goes back to its start, although nothing has moved yet.
  bool bJobArmed = false;
};

enum class JobOutcome {
  Done,           // the receiver (or the raw list's end) said so
  Refused,        // an error reply of the receiver (nReplyCode)
  FileError,      // the job's file could not be opened, read or written, or is no image
  PortOpenError,  // the port could not be opened (sReason says why)
  LinkLost,       // the device went away
  Interrupted,    // the job was abandoned before its end
};

struct JobResult {
  JobResult() = default;
  JobResult(JobOutcome o, BYTE code, std::string reason)
      : outcome(o), nReplyCode(code), sReason(std::move(reason)) {}

  JobOutcome outcome = JobOutcome::Done;
  BYTE nReplyCode = 0;
  std::string sReason;
  std::string sPartialPath;  // a read that did not finish: where what it received was kept
};

// What an armed job is about to do, said before the receiver is switched on.
struct JobSummary {
  int nJob = 0;             // JOB_SOFTWARE, JOB_DATABASE or JOB_BOOT
  bool bSend = true;        // false: the receiver's database into the file
  std::string sPath;        // the job's file (for a read, the file the database is for)
  std::uint64_t nFileSize = 0;   // a send job's file length
  std::uint32_t nAnnounced = 0;  // the bytes the job announces to the receiver
  std::uint32_t nBaud = 0;       // the speed of the data phase
  // What the Send button would have taken the file for (JOB_SOFTWARE, JOB_DATABASE,
  // JOB_CHANNEL_LIST or JOB_INVALID); the job itself is what was asked for. Send jobs only.
  int nClassifiedJob = 0;
};

class IJobObserver {
 public:
  virtual ~IJobObserver() = default;
  virtual void OnStatusText(const std::string& text) = 0;
  virtual void OnProgress(const JobProgress& progress) = 0;
  virtual void OnMessageBox(const std::string& text, BoxKind kind) = 0;
  virtual void OnJobEnded(const JobResult& result) = 0;
  // A job was armed and waits for the receiver.
  virtual void OnJobArmed(const JobSummary& summary) {}
  // A send job's last block went out; the bar now waits for the receiver's own progress
  // replies while it writes what it got.
  virtual void OnAllDataSent() {}
};
