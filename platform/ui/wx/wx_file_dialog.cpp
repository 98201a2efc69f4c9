#include "platform/ui/wx/wx_file_dialog.h"

#include <cctype>

#include <wx/filedlg.h>
#include <wx/filename.h>

namespace platform {

namespace {

// "*.bin" -> "*.[bB][iI][nN]": the toolkit's patterns are case-sensitive.
std::string AnyCase(const std::string& pattern) {
  std::string out;
  for (char ch : pattern) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (std::isalpha(c)) {
      out += '[';
      out += static_cast<char>(std::tolower(c));
      out += static_cast<char>(std::toupper(c));
      out += ']';
    } else {
      out += ch;
    }
  }
  return out;
}

std::string Patterns(const std::string& list) {
  std::string out;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    std::string pattern = list.substr(start, end - start);
    while (!pattern.empty() && pattern.front() == ' ') pattern.erase(pattern.begin());
    while (!pattern.empty() && pattern.back() == ' ') pattern.pop_back();
    start = end + 1;
    if (pattern.empty()) continue;
    if (pattern == "*.*") pattern = "*";
    // The pattern as written comes first: the toolkit takes a save dialog's extension from it.
    const std::string any = AnyCase(pattern);
    out += (out.empty() ? "" : ";") + pattern;
    if (any != pattern) out += ";" + any;
  }
  return out;
}

// GTK's chooser reports a path set from code (a test's answer) only once it has read the
// folder; until then the path as set is the answer.
class CChosenPathDialog : public wxFileDialog {
 public:
  using wxFileDialog::wxFileDialog;
  wxString ChosenPath() const {
    const wxString path = GetPath();
    return path.empty() ? m_path : path;
  }
};

}  // namespace

wxString WildcardFromFilter(const std::string& filter) {
  std::string wildcard;
  for (const auto& [description, patterns] : ParseFileFilter(filter)) {
    const std::string list = Patterns(patterns);
    if (list.empty()) continue;
    if (!wildcard.empty()) wildcard += '|';
    wildcard += description + '|' + list;
  }
  return ToWx(wildcard);
}

FileDialogResult RunWxFileDialog(wxWindow* parent, const FileDialogRequest& request) {
  long style = request.save ? wxFD_SAVE : (wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  if (request.save && request.overwritePrompt) style |= wxFD_OVERWRITE_PROMPT;
  CChosenPathDialog dialog(parent, request.save ? _("Save As") : _("Open"), ToWx(request.initialFolder),
                      ToWx(request.fileName), WildcardFromFilter(request.filter), style);
  FileDialogResult result;
  if (dialog.ShowModal() != wxID_OK) return result;

  wxFileName name(dialog.ChosenPath());
  if (!name.IsOk() || name.GetFullName().empty()) return result;
  if (request.save && !name.HasExt() && !request.defaultExt.empty()) {
    name.SetExt(ToWx(request.defaultExt));
    // The name the user confirmed had no extension; the file we would write may exist.
    if (request.overwritePrompt && name.FileExists()) {
      wxMessageDialog ask(parent,
                          wxString::Format(_("%s already exists.\nDo you want to replace it?"),
                                           name.GetFullName()),
                          _("Confirm Save As"), wxYES_NO | wxNO_DEFAULT | wxICON_EXCLAMATION);
      if (ask.ShowModal() != wxID_YES) return result;
    }
  }
  result.ok = true;
  result.path = FromWx(name.GetFullPath());
  result.fileName = FromWx(name.GetFullName());
  result.ext = FromWx(name.GetExt());
  return result;
}

}  // namespace platform
