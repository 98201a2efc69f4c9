// The terminal the program was started from (on Windows its console), and the signals that end
// a terminal session (on Windows the console's control events).
#pragma once

#include <functional>
#include <string>

#include "platform/win_types.h"

namespace platform {

// Whether standard output is a terminal or a console (progress then redraws one line).
bool IsStdoutTerminal();
// Writes UTF-8 text to standard output at once (no buffering surprises when piped). On a
// Windows console it is shown as text (WriteConsoleW); redirected, the bytes are written.
void WriteStdout(const std::string& text);
void WriteStderr(const std::string& text);

// From now on SIGINT, SIGTERM and SIGHUP no longer end the process. The first of them calls
// onSignal with the exit status it stands for (130 for SIGINT, 143 for SIGTERM, 129 for
// SIGHUP), on a thread of its own; a second ends the process at once from that thread, whatever
// the others are doing, with its own status (or the one KeepExitStatusOnSignals gave). A signal
// the process was started ignoring (under nohup, in a background job) stays ignored. Call
// before any other thread starts, so that every thread inherits the blocked signals.
// On Windows Ctrl+C and Ctrl+Break stand for 130, and the console's close (log-off, shut-down)
// for 143, each on a thread the system starts; the second event ends the process the same way.
// A close ends the process when its handler returns, so the handler waits up to four seconds
// for StopRoutingTerminationSignals: the program stops its job (keeps a partial file, closes its
// port) and ends by itself.
void RouteTerminationSignals(std::function<void(int nExitStatus)> onSignal);
// The run's exit status is decided: a second signal ends the process with it instead of its own.
void KeepExitStatusOnSignals(int nExitStatus);
// Stops the routing thread and returns when no call back is under way. The signals stay
// blocked until the process ends; on Windows Ctrl+C stays ignored, and a close ends the
// process at once.
void StopRoutingTerminationSignals();

}  // namespace platform
