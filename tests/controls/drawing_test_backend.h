// A headless backend that also records the text drawn, and whose system colours a test can
// change. Installed for the lifetime of the object.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/ui/headless/headless_backend.h"

class CRecordingBackend : public CHeadlessBackend {
 public:
  struct TextCall {
    HWND hFontOwner;
    int x, y;
    std::string text;
    COLORREF colour;
    RECT clip;
  };

  CRecordingBackend() { SetUiBackend(this); }
  ~CRecordingBackend() override { SetUiBackend(nullptr); }

  void SetColour(int index, COLORREF colour) { m_colours[index] = colour; }
  COLORREF GetSysColor(int index) override {
    auto it = m_colours.find(index);
    return it != m_colours.end() ? it->second : CHeadlessBackend::GetSysColor(index);
  }
  void RenderText(HWND hFontOwner, CPixelBuffer& target, int x, int y, const std::string& text,
                  COLORREF colour, const RECT& clip) override {
    m_texts.push_back({hFontOwner, x, y, text, colour, clip});
    CHeadlessBackend::RenderText(hFontOwner, target, x, y, text, colour, clip);
  }

  std::vector<TextCall> m_texts;

 private:
  std::map<int, COLORREF> m_colours;
};
