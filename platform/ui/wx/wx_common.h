// What the wx backend's units share: the toolkit's headers and the conversions between the
// program's strings (UTF-8) and the toolkit's.
#pragma once

#include <string>

// The program's Windows-era names first: GLib, which the toolkit may bring in, defines TRUE
// and FALSE as macros of the same values.
#include "platform/win_types.h"

#include <wx/wx.h>

namespace platform {

// Texts are UTF-8; a text that is not valid UTF-8 (a name from an old file system) is shown
// as Latin-1 rather than not at all.
inline wxString ToWx(const std::string& text) {
  wxString s = wxString::FromUTF8(text.data(), text.size());
  if (s.empty() && !text.empty()) s = wxString(text.data(), wxConvISO8859_1, text.size());
  return s;
}

inline std::string FromWx(const wxString& text) {
  const wxScopedCharBuffer utf8 = text.utf8_str();
  return std::string(utf8.data(), utf8.length());
}

}  // namespace platform
