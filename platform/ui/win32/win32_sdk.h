// <windows.h> for the window layer's Win32 backend. Include it after every header of the
// project: its macros (WM_PAINT, RGB, SendMessage...) would rewrite the layer's own names in a
// header that comes later. The units that include it are compiled with QUORIN_NO_LAYER_IMPORT,
// so the layer's types are written platform::HWND and Win32's ::HWND.
#pragma once

#ifndef QUORIN_NO_LAYER_IMPORT
#error "a unit that includes <windows.h> must be built with QUORIN_NO_LAYER_IMPORT"
#endif

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

// Macros that stand for functions or members of the layer with the same names.
#undef SendMessage
#undef PostMessage
#undef MessageBox
#undef DrawText
#undef DrawTextEx
#undef GetWindowText
#undef SetWindowText
#undef CreateWindow
#undef CreateDialog
#undef DefWindowProc
#undef LoadIcon
#undef GetObject
#undef GetModuleFileName
#undef GetProfileString
#undef WriteProfileString
// Function-like macros the layer has as constexpr functions of the same meaning.
#undef RGB
#undef GetRValue
#undef GetGValue
#undef GetBValue
#undef LOWORD
#undef HIWORD
#undef MAKELPARAM
#undef MAKEWPARAM
