// The in-memory dialog template (DLGTEMPLATEEX and its DLGITEMTEMPLATEEX items) that
// CreateDialogIndirectParamW builds a dialog from: the layer's template records written the way
// a resource compiler writes a DIALOGEX resource.
#pragma once

#include <string>
#include <vector>

#include "platform/os/win32/win32_sdk.h"

namespace platform::win32ui {

// Predefined classes by ordinal, as resource files name them.
constexpr WORD kButtonClass = 0x0080;
constexpr WORD kStaticClass = 0x0082;
constexpr WORD kComboBoxClass = 0x0085;

struct DialogItemLayout {
  WORD classOrdinal = 0;    // a predefined class, or 0 when className names the class
  std::wstring className;
  std::wstring text;
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  DWORD id = 0;
};

struct DialogLayout {
  std::wstring caption;
  std::wstring fontFace;  // with pointSize: DS_SETFONT is added
  WORD pointSize = 8;
  DWORD style = 0;
  DWORD exStyle = 0;
  short cx = 0, cy = 0;  // dialog units
  std::vector<DialogItemLayout> items;
};

// The template's bytes; the vector's storage is aligned as the function requires.
std::vector<BYTE> BuildDialogTemplate(const DialogLayout& layout);

}  // namespace platform::win32ui
