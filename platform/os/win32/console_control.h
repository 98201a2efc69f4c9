// The console control handler that RouteTerminationSignals installs, for win32/console.cpp and
// its test: the system calls it on a thread of its own with the event's type (CTRL_C_EVENT,
// CTRL_CLOSE_EVENT...), and the test calls it the same way, as no console under Wine sends
// events.
#pragma once

namespace platform {

// Milliseconds Windows leaves a process after its console was closed, less a margin.
constexpr unsigned CLOSE_GRACE_MS = 4000;

// TRUE when the event was handled. A close waits until StopRoutingTerminationSignals, then
// until nGraceMs after the event, for the program to end with its own status.
int HandleConsoleControl(unsigned long type, unsigned nGraceMs = CLOSE_GRACE_MS);

}  // namespace platform
