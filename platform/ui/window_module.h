// The native window on Linux comes from a module (quorin-wx.so: the wxWidgets backend, with the
// toolkit and GTK behind it), loaded only when the program is to show a window. The terminal mode
// never maps any of it.
//
// The module is looked for beside the executable (the build tree), then where an installation
// puts it: <executable's folder>/../<lib folder>/quorin/quorin-wx.so. Once loaded it stays.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Where the module is looked for, in that order.
std::vector<std::string> WindowModulePaths();

// Loads the module and connects it to the window layer; true when it is ready to start (also
// when it was loaded before). False, with why in reason, when it is in neither place, cannot
// be loaded (a library of its own is missing, say) or belongs to another build.
bool LoadWindowModule(std::string& reason);

// The module's StartWxBackend and StopWxBackend (wx/wx_backend.h): the toolkit on the display
// and the backend installed, and the reverse. Start is false before a load, and when the
// display cannot be opened.
bool StartWindowModule(int& argc, char** argv);
void StopWindowModule();

}  // namespace platform
