#include "platform/os/win32/wide.h"

#include <climits>
#include <cwchar>

#include "platform/os/win32/win32_sdk.h"

namespace platform {

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) return std::wstring();
  const int nIn = static_cast<int>(text.size());
  const int nOut = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), nIn, nullptr, 0);
  if (nOut <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(nOut), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), nIn, wide.data(), nOut);
  return wide;
}

std::string WideToUtf8(const wchar_t* text, std::size_t length) {
  if (text == nullptr || length == 0 || length > static_cast<std::size_t>(INT_MAX)) {
    return std::string();
  }
  const int nIn = static_cast<int>(length);
  const int nOut = ::WideCharToMultiByte(CP_UTF8, 0, text, nIn, nullptr, 0, nullptr, nullptr);
  if (nOut <= 0) return std::string();
  std::string utf8(static_cast<std::size_t>(nOut), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, nIn, utf8.data(), nOut, nullptr, nullptr);
  return utf8;
}

std::string WideToUtf8(const wchar_t* text) {
  return text != nullptr ? WideToUtf8(text, std::wcslen(text)) : std::string();
}

std::string WideToUtf8(const std::wstring& text) { return WideToUtf8(text.data(), text.size()); }

std::string Win32ErrorText(unsigned long code) {
  wchar_t* buffer = nullptr;
  const ::DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = n > 0 ? WideToUtf8(buffer, n) : std::string();
  if (buffer != nullptr) ::LocalFree(buffer);
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  return text.empty() ? "error " + std::to_string(code) : text;
}

}  // namespace platform
