// The common file dialogs (GetOpenFileNameW, GetSaveFileNameW) for a FileDialogRequest.
#pragma once

#include <string>

#include "platform/ui/window.h"
#include "platform/os/win32/win32_sdk.h"

namespace platform::win32ui {

// "Name (*.a)|*.a|All (*.*)|*.*||" as the dialogs take it: '|' become zeros, and the list ends
// with two of them.
std::wstring NativeFilter(const std::string& filter);

platform::FileDialogResult RunNativeFileDialog(::HWND owner, const platform::FileDialogRequest& request);

}  // namespace platform::win32ui
