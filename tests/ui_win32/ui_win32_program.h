// The program's own dialogs for the Win32 window suite. They come from a unit of their own: the
// program's classes name the layer's types unqualified, which <windows.h> cannot stand beside.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_types.h"

// Runs the main dialog modally from the command line given (argument 0 included), as the
// program does; returns DoModal's result.
std::intptr_t RunQuorinMainDialog(const std::vector<std::string>& args);
// The main dialog's window while RunQuorinMainDialog runs it (nullptr otherwise).
platform::HWND QuorinMainDialog();
