// UTF-8 (the program's strings) to UTF-16 (the W functions) and back.
#pragma once

#include <string>

namespace platform::win32ui {

std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);
std::string Narrow(const wchar_t* text);  // up to the terminating zero; nullptr gives ""

}  // namespace platform::win32ui
