// The window backend on Win32 (the Windows window build): real dialogs from the templates, the
// system menu, message boxes and the common file dialogs. This header keeps <windows.h> out of
// the program: only platform/ui/win32/ sees it.
#pragma once

namespace platform {

// Registers the backend's window classes, starts the common controls and installs the backend
// (SetUiBackend). False when the window station cannot give it a window; nothing is changed
// then. On the thread that will run the dialogs.
bool StartWin32Backend();
// Puts the headless backend back and removes what the backend made. On the same thread, after
// every dialog is gone.
void StopWin32Backend();

}  // namespace platform
