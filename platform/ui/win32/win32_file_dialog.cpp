#include "platform/ui/win32/win32_file_dialog.h"

#include <vector>

#include "platform/os/win32/wide.h"

namespace platform::win32ui {

std::wstring NativeFilter(const std::string& filter) {
  std::wstring native = Utf8ToWide(filter);
  for (wchar_t& ch : native) {
    if (ch == L'|') ch = L'\0';
  }
  // A filter string without the closing "||" still ends the list.
  native.push_back(L'\0');
  native.push_back(L'\0');
  return native;
}

platform::FileDialogResult RunNativeFileDialog(::HWND owner, const platform::FileDialogRequest& request) {
  const std::wstring filter = NativeFilter(request.filter);
  const std::wstring folder = Utf8ToWide(request.initialFolder);
  std::wstring defaultExt = Utf8ToWide(request.defaultExt);
  if (!defaultExt.empty() && defaultExt.front() == L'.') defaultExt.erase(0, 1);
  // Long paths fit; the dialog reports a name that does not as a failure.
  std::vector<wchar_t> file(32768, L'\0');
  const std::wstring preset = Utf8ToWide(request.fileName);
  if (preset.size() < file.size()) std::copy(preset.begin(), preset.end(), file.begin());

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = request.filter.empty() ? nullptr : filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.lpstrDefExt = defaultExt.empty() ? nullptr : defaultExt.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR;
  if (request.hideReadOnly) ofn.Flags |= OFN_HIDEREADONLY;
  if (request.overwritePrompt) ofn.Flags |= OFN_OVERWRITEPROMPT;
  if (!request.save) ofn.Flags |= OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;

  platform::FileDialogResult result;
  const BOOL chosen = request.save ? ::GetSaveFileNameW(&ofn) : ::GetOpenFileNameW(&ofn);
  if (!chosen || file[0] == L'\0') return result;
  const std::wstring path(file.data());
  result.ok = true;
  result.path = WideToUtf8(path);
  if (ofn.nFileOffset < path.size()) result.fileName = WideToUtf8(path.substr(ofn.nFileOffset));
  if (ofn.nFileExtension != 0 && ofn.nFileExtension < path.size()) {
    result.ext = WideToUtf8(path.substr(ofn.nFileExtension));
  }
  return result;
}

}  // namespace platform::win32ui
