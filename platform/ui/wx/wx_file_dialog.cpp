#include "platform/ui/wx/wx_file_dialog.h"

#include <algorithm>
#include <cctype>

#include <wx/display.h>
#include <wx/filedlg.h>
#include <wx/filename.h>

#include <gtk/gtk.h>

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

// The chooser opens at the size it had last time in any program, which can be the whole screen
// and hide the window it was opened for. It is held to the limit as it opens (its remembered
// size is set when it is realised, its own default when it is mapped); what the user does with
// it afterwards is the user's business.
struct OpeningLimit {
  int width;
  int height;
};

void ClampDefaultSize(GtkWidget* widget, gpointer data) {
  const auto* limit = static_cast<const OpeningLimit*>(data);
  GtkWindow* window = GTK_WINDOW(widget);
  gint width = 0, height = 0;
  gtk_window_get_default_size(window, &width, &height);
  if (width <= limit->width && height <= limit->height) return;
  gtk_window_set_default_size(window, std::min(width, limit->width), std::min(height, limit->height));
}

void ClampMappedSize(GtkWidget* widget, gpointer data) {
  const auto* limit = static_cast<const OpeningLimit*>(data);
  GtkWindow* window = GTK_WINDOW(widget);
  gint width = 0, height = 0;
  gtk_window_get_size(window, &width, &height);
  if (width <= limit->width && height <= limit->height) return;
  width = std::min(width, limit->width);
  height = std::min(height, limit->height);
  gtk_window_resize(window, width, height);
  // Placed for its old size, it would now stand off-centre.
  gint x = 0, y = 0;
  gtk_window_get_position(window, &x, &y);
  GtkWindow* parent = gtk_window_get_transient_for(window);
  if (parent != nullptr && gtk_widget_get_mapped(GTK_WIDGET(parent))) {
    gint px = 0, py = 0, pw = 0, ph = 0;
    gtk_window_get_position(parent, &px, &py);
    gtk_window_get_size(parent, &pw, &ph);
    x = px + (pw - width) / 2;
    y = py + (ph - height) / 2;
  } else {
    GdkRectangle area{};
    gdk_monitor_get_workarea(gdk_display_get_monitor_at_window(gtk_widget_get_display(widget),
                                                               gtk_widget_get_window(widget)),
                             &area);
    x = area.x + (area.width - width) / 2;
    y = area.y + (area.height - height) / 2;
  }
  gtk_window_move(window, std::max(x, 0), std::max(y, 0));
}

}  // namespace

wxSize FileDialogSizeLimit(wxWindow* parent) {
  int index = parent != nullptr ? wxDisplay::GetFromWindow(parent) : wxNOT_FOUND;
  if (index == wxNOT_FOUND) index = 0;
  const wxRect area = wxDisplay(static_cast<unsigned>(index)).GetClientArea();
  return wxSize(area.width * 2 / 3, area.height * 2 / 3);
}

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
  const wxSize limitSize = FileDialogSizeLimit(parent);
  OpeningLimit limit{limitSize.x, limitSize.y};
  GtkWidget* widget = dialog.GetHandle();
  const gulong onRealize = g_signal_connect_after(widget, "realize", G_CALLBACK(ClampDefaultSize), &limit);
  const gulong onMap = g_signal_connect_after(widget, "map", G_CALLBACK(ClampMappedSize), &limit);
  const int answer = dialog.ShowModal();
  g_signal_handler_disconnect(widget, onRealize);
  g_signal_handler_disconnect(widget, onMap);
  FileDialogResult result;
  if (answer != wxID_OK) return result;

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
