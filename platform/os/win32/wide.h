// UTF-8, the program's strings, to and from UTF-16, what the W functions of Win32 take; and
// the text of a Win32 error code. For the layer's Win32 units only.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Invalid sequences become U+FFFD; an empty string gives an empty string.
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const wchar_t* text, std::size_t length);
std::string WideToUtf8(const std::wstring& text);
// Up to the terminating zero; nullptr gives an empty string.
std::string WideToUtf8(const wchar_t* text);

// The system's own message for a GetLastError code, on one line without a final full stop
// (like strerror), or "error N" when the system has none.
std::string Win32ErrorText(unsigned long code);

}  // namespace platform
