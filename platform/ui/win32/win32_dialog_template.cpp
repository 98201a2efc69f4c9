#include "platform/ui/win32/win32_dialog_template.h"

#include <cstring>

namespace platform::win32ui {

namespace {

class CTemplateWriter {
 public:
  template <typename T>
  void Put(T value) {
    const auto* p = reinterpret_cast<const BYTE*>(&value);
    m_bytes.insert(m_bytes.end(), p, p + sizeof(T));
  }
  void PutString(const std::wstring& text) {
    for (wchar_t ch : text) Put<WORD>(static_cast<WORD>(ch));
    Put<WORD>(0);
  }
  // A class or menu given by ordinal (0xFFFF, ordinal) or by name.
  void PutNameOrOrdinal(WORD ordinal, const std::wstring& name) {
    if (ordinal != 0) {
      Put<WORD>(0xFFFF);
      Put<WORD>(ordinal);
    } else {
      PutString(name);
    }
  }
  // Every item starts on a DWORD boundary.
  void AlignToDword() {
    while (m_bytes.size() % 4 != 0) m_bytes.push_back(0);
  }
  std::vector<BYTE> Take() { return std::move(m_bytes); }

 private:
  std::vector<BYTE> m_bytes;
};

}  // namespace

std::vector<BYTE> BuildDialogTemplate(const DialogLayout& layout) {
  CTemplateWriter w;
  const bool hasFont = !layout.fontFace.empty();
  w.Put<WORD>(1);       // dlgVer
  w.Put<WORD>(0xFFFF);  // signature: the extended template
  w.Put<DWORD>(0);      // helpID
  w.Put<DWORD>(layout.exStyle);
  w.Put<DWORD>(hasFont ? layout.style | DS_SETFONT : layout.style & ~static_cast<DWORD>(DS_SETFONT));
  w.Put<WORD>(static_cast<WORD>(layout.items.size()));
  w.Put<short>(0);
  w.Put<short>(0);
  w.Put<short>(layout.cx);
  w.Put<short>(layout.cy);
  w.Put<WORD>(0);  // no menu
  w.Put<WORD>(0);  // the dialog class
  w.PutString(layout.caption);
  if (hasFont) {
    w.Put<WORD>(layout.pointSize);
    w.Put<WORD>(FW_NORMAL);
    w.Put<BYTE>(FALSE);  // italic
    w.Put<BYTE>(DEFAULT_CHARSET);
    w.PutString(layout.fontFace);
  }
  for (const DialogItemLayout& item : layout.items) {
    w.AlignToDword();
    w.Put<DWORD>(0);  // helpID
    w.Put<DWORD>(item.exStyle);
    w.Put<DWORD>(item.style);
    w.Put<short>(item.x);
    w.Put<short>(item.y);
    w.Put<short>(item.cx);
    w.Put<short>(item.cy);
    w.Put<DWORD>(item.id);
    w.PutNameOrOrdinal(item.classOrdinal, item.className);
    w.PutString(item.text);
    w.Put<WORD>(0);  // no creation data
  }
  return w.Take();
}

}  // namespace platform::win32ui
