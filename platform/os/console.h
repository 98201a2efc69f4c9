// The terminal the program was started from, and the signals that end a terminal session.
#pragma once

#include <functional>
#include <string>

#include "platform/win_types.h"

namespace platform {

// Whether standard output is a terminal (progress then redraws one line).
bool IsStdoutTerminal();
// Writes text to standard output at once (no buffering surprises when piped).
void WriteStdout(const std::string& text);
void WriteStderr(const std::string& text);

// From now on SIGINT and SIGTERM no longer end the process; each calls onSignal with the exit
// status it stands for (130 for SIGINT, 143 for SIGTERM), on a thread of its own. Call before
// any other thread starts, so that every thread inherits the blocked signals.
void RouteTerminationSignals(std::function<void(int nExitStatus)> onSignal);
// Stops the routing thread (the signals stay blocked until the process ends).
void StopRoutingTerminationSignals();

}  // namespace platform
