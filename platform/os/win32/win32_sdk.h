// The Windows SDK for the layer's Win32 units (platform/os/win32, platform/ui/win32), and
// nothing else. Include it after every header of the project: the SDK's macros would break the
// layer's own constants (TRUE, WM_PAINT, NOPARITY...) were they seen first. Those constants
// keep the SDK's values, so the macros that stay behind are harmless where used unqualified.
//
// What is taken away: the SDK's A/W switch macros named like functions of the layer
// (SendMessage, GetProfileString...) and its function-like macros named like the layer's
// constexpr helpers (RGB, LOWORD...). With them defined, a unit would declare or call
// SendMessageW where it means platform::SendMessage. Call the SDK's W functions by their full
// names (SendMessageW, CreateFileW); write the layer's names in full (platform::RGB).
#pragma once

#ifndef QUORIN_NO_LAYER_IMPORT
#error "A unit that includes <windows.h> is compiled with QUORIN_NO_LAYER_IMPORT (CMakeLists.txt)"
#endif

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

// Functions and methods of the layer.
#undef CreateDialog
#undef CreateEvent
#undef CreateFile
#undef CreateWindow
#undef DefWindowProc
#undef DrawText
#undef DrawTextEx
#undef GetModuleBaseName
#undef GetModuleFileName
#undef GetObject
#undef GetProfileString
#undef GetWindowText
#undef LoadIcon
#undef MessageBox
#undef PostMessage
#undef ReplaceFile
#undef SendMessage
#undef SetWindowText
#undef WriteProfileString

// constexpr helpers of platform/win_types.h.
#undef GetBValue
#undef GetGValue
#undef GetRValue
#undef HIWORD
#undef LOWORD
#undef MAKELPARAM
#undef MAKEWPARAM
#undef RGB
