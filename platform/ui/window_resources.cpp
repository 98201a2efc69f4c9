// Resource registries (dialog templates, strings, icons), message boxes and the common file
// dialogs, all answered through the backend in use.
#include <cstdint>
#include <map>
#include <mutex>

#include "platform/ui/pixel_buffer.h"
#include "platform/os/process.h"
#include "platform/ui/ui_backend.h"
#include "platform/ui/window.h"

namespace platform {

namespace {

struct IconEntry {
  int id;
  CPixelBuffer image;
  std::function<CPixelBuffer()> render;  // until the picture is first asked for
};

struct Resources {
  std::mutex mutex;
  std::map<int, DialogTemplate> templates;
  std::map<int, std::string> strings;
  std::map<std::uintptr_t, IconEntry> icons;  // by handle
  std::map<int, std::uintptr_t> iconHandles;  // by id
  std::uintptr_t nextIcon = 0x20000;
};

Resources& Res() {
  static Resources* resources = new Resources;
  return *resources;
}

}  // namespace

void RegisterDialogTemplate(const DialogTemplate& tmpl) {
  Resources& res = Res();
  std::lock_guard<std::mutex> lock(res.mutex);
  res.templates[tmpl.id] = tmpl;
}

const DialogTemplate* FindDialogTemplate(int id) {
  Resources& res = Res();
  std::lock_guard<std::mutex> lock(res.mutex);
  auto it = res.templates.find(id);
  return it == res.templates.end() ? nullptr : &it->second;
}

void RegisterStringResource(int id, const std::string& text) {
  Resources& res = Res();
  std::lock_guard<std::mutex> lock(res.mutex);
  res.strings[id] = text;
}

std::string LoadStringResource(int id) {
  Resources& res = Res();
  std::lock_guard<std::mutex> lock(res.mutex);
  auto it = res.strings.find(id);
  return it == res.strings.end() ? std::string() : it->second;
}

void RegisterIconResource(int id, std::function<CPixelBuffer()> render) {
  Resources& res = Res();
  std::lock_guard<std::mutex> lock(res.mutex);
  // One handle per id, as a shared icon: registering again changes the picture behind it.
  auto known = res.iconHandles.find(id);
  if (known != res.iconHandles.end()) {
    res.icons[known->second].render = std::move(render);
    return;
  }
  const std::uintptr_t handle = res.nextIcon;
  res.nextIcon += 4;
  res.icons[handle] = IconEntry{id, CPixelBuffer(), std::move(render)};
  res.iconHandles[id] = handle;
}

void RegisterIconResource(int id, const CPixelBuffer& image) {
  RegisterIconResource(id, [image] { return image; });
}

HICON LoadIconResource(int id) {
  Resources& res = Res();
  std::lock_guard<std::mutex> lock(res.mutex);
  auto it = res.iconHandles.find(id);
  return it == res.iconHandles.end() ? nullptr : reinterpret_cast<HICON>(it->second);
}

const CPixelBuffer* GetIconImage(HICON icon) {
  Resources& res = Res();
  std::lock_guard<std::mutex> lock(res.mutex);
  auto it = res.icons.find(reinterpret_cast<std::uintptr_t>(icon));
  if (it == res.icons.end()) return nullptr;
  IconEntry& entry = it->second;
  if (entry.render) {
    entry.image = entry.render();
    entry.render = nullptr;
  }
  return &entry.image;
}

// ---- boxes and common dialogs -------------------------------------------------------------

int MessageBox(HWND hOwner, const std::string& text, const std::string& caption, UINT type) {
  return GetUiBackend().MessageBox(hOwner, text, caption, type);
}

int AfxMessageBox(const std::string& text, UINT type) {
  CWnd* pMain = AfxGetMainWnd();
  const HWND hOwner = pMain != nullptr && IsWindow(pMain->m_hWnd) ? pMain->m_hWnd : nullptr;
  return MessageBox(hOwner, text, GetModuleBaseName(), type);
}

FileDialogResult RunFileDialog(HWND hOwner, const FileDialogRequest& request) {
  return GetUiBackend().FileDialog(hOwner, request);
}

std::vector<std::pair<std::string, std::string>> ParseFileFilter(const std::string& filter) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  while (start <= filter.size()) {
    const std::string::size_type bar = filter.find('|', start);
    if (bar == std::string::npos) {
      parts.push_back(filter.substr(start));
      break;
    }
    parts.push_back(filter.substr(start, bar - start));
    start = bar + 1;
  }
  // Pairs of description and patterns; an empty description ends the list ("||").
  std::vector<std::pair<std::string, std::string>> pairs;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty()) break;
    pairs.emplace_back(parts[i], parts[i + 1]);
  }
  return pairs;
}

}  // namespace platform
