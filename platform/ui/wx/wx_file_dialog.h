// The file-open and file-save dialogs of the toolkit, asked the way the program asks them
// (a Windows filter string, an initial folder, a default extension, an overwrite prompt).
#pragma once

#include <string>

#include "platform/ui/window.h"
#include "platform/ui/wx/wx_common.h"

namespace platform {

// "Name (*.a;*.b)|*.a;*.b|All (*.*)|*.*||" as the toolkit's wildcard. Patterns match without
// regard to case, as they did where the filter strings come from, and "*.*" is every file,
// also one without a dot.
wxString WildcardFromFilter(const std::string& filter);

// The largest size a file dialog opens at on the screen that shows parent (the first screen
// without one): two thirds of its work area each way.
wxSize FileDialogSizeLimit(wxWindow* parent);

FileDialogResult RunWxFileDialog(wxWindow* parent, const FileDialogRequest& request);

}  // namespace platform
