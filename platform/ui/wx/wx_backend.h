// The window backend on wxWidgets (GTK 3): native dialogs, message boxes and file dialogs for
// the window layer. This header keeps the toolkit out of the program: only platform/wx/ sees it.
#pragma once
#include "platform/win_types.h"

namespace platform {

// Starts the toolkit on the display and installs the backend (SetUiBackend). False when the
// toolkit cannot start (no display, or it cannot be opened); nothing is changed then. The
// toolkit takes its own options out of argc/argv.
bool StartWxBackend(int& argc, char** argv);
// Puts the headless backend back and shuts the toolkit down. On the thread that started it,
// after every dialog is gone.
void StopWxBackend();

}  // namespace platform
