#include "platform/ui/drawing.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "platform/ui/ui_backend.h"
#include "platform/ui/window.h"

namespace platform {

struct HGDIOBJ__ {
  enum class Kind { Pen, Brush, Bitmap };
  Kind kind;
  COLORREF colour = 0;
  std::shared_ptr<CPixelBuffer> pixels;  // bitmaps
};

namespace {

// What SaveDC keeps. Colours are copied out of the selected objects, so deleting an object
// that is still selected leaves nothing dangling.
struct DcState {
  HGDIOBJ pen = nullptr;
  HGDIOBJ brush = nullptr;
  HGDIOBJ bitmap = nullptr;  // memory contexts only
  COLORREF penColour = 0;
  COLORREF brushColour = 0;
  std::shared_ptr<CPixelBuffer> target;
  POINT pos;
  COLORREF textColour = 0;
  HFONT font = nullptr;
  HWND fontOwner = nullptr;
};

}  // namespace

struct HDC__ {
  HWND hWnd = nullptr;  // the window whose paint buffer this is; nullptr: a memory context
  DcState state;
  std::vector<DcState> saved;
};

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

HGDIOBJ__* StockPen() {
  static HGDIOBJ__ pen{HGDIOBJ__::Kind::Pen, 0, nullptr};
  return &pen;
}
HGDIOBJ__* StockBrush() {
  static HGDIOBJ__ brush{HGDIOBJ__::Kind::Brush, kWhite, nullptr};
  return &brush;
}
HGDIOBJ__* StockBitmap() {
  static HGDIOBJ__ bitmap{HGDIOBJ__::Kind::Bitmap, 0, std::make_shared<CPixelBuffer>(1, 1, 0)};
  return &bitmap;
}
bool IsStock(HGDIOBJ h) { return h == StockPen() || h == StockBrush() || h == StockBitmap(); }

std::mutex g_mutex;
std::unordered_set<const void*> g_objects;
std::unordered_set<const void*> g_dcs;
std::map<HWND, std::shared_ptr<CPixelBuffer>> g_windowBuffers;

HGDIOBJ__* LiveObject(HGDIOBJ h) {
  if (h == nullptr) return nullptr;
  if (IsStock(h)) return h;
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_objects.count(h) != 0 ? h : nullptr;
}

HDC__* LiveDc(HDC h) {
  if (h == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_dcs.count(h) != 0 ? h : nullptr;
}

HGDIOBJ NewObject(HGDIOBJ__::Kind kind, COLORREF colour, std::shared_ptr<CPixelBuffer> pixels) {
  auto* obj = new HGDIOBJ__{kind, colour, std::move(pixels)};
  std::lock_guard<std::mutex> lock(g_mutex);
  g_objects.insert(obj);
  return obj;
}

HDC NewDc(HWND hWnd, std::shared_ptr<CPixelBuffer> target, HGDIOBJ bitmap) {
  auto* dc = new HDC__;
  dc->hWnd = hWnd;
  dc->state.pen = StockPen();
  dc->state.penColour = StockPen()->colour;
  dc->state.brush = StockBrush();
  dc->state.brushColour = StockBrush()->colour;
  dc->state.bitmap = bitmap;
  dc->state.target = std::move(target);
  dc->state.textColour = GetUiBackend().GetSysColor(COLOR_BTNTEXT);
  std::lock_guard<std::mutex> lock(g_mutex);
  g_dcs.insert(dc);
  return dc;
}

void FreeDc(HDC dc) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_dcs.erase(dc);
  }
  delete dc;
}

// The window's paint buffer at the size of its client area, made on first use. Buffers of
// windows that are gone are dropped whenever a new one is made.
std::shared_ptr<CPixelBuffer> WindowBuffer(HWND hWnd) {
  if (hWnd == nullptr || !IsWindow(hWnd)) return nullptr;
  const RECT rc = GetUiBackend().ClientRectPixels(hWnd);
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_windowBuffers.find(hWnd);
  if (it == g_windowBuffers.end()) {
    for (auto dead = g_windowBuffers.begin(); dead != g_windowBuffers.end();) {
      dead = IsWindow(dead->first) ? std::next(dead) : g_windowBuffers.erase(dead);
    }
    it = g_windowBuffers.emplace(hWnd, std::make_shared<CPixelBuffer>()).first;
  }
  CPixelBuffer& buffer = *it->second;
  if (buffer.Width() != rc.Width() || buffer.Height() != rc.Height()) {
    buffer.Resize(rc.Width(), rc.Height(), GetUiBackend().GetSysColor(COLOR_BTNFACE));
  }
  return it->second;
}

long long FloorDiv(long long a, long long b) {
  long long q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// Draws from (x0, y0) towards (x1, y1), the end point left out. Only the steps that fall
// inside the buffer along the major axis are visited, so far-away coordinates cost nothing.
void DrawLine(CPixelBuffer& buf, long long x0, long long y0, long long x1, long long y1,
              COLORREF colour) {
  const long long dx = x1 - x0;
  const long long dy = y1 - y0;
  const bool xMajor = std::llabs(dx) >= std::llabs(dy);
  const long long n = xMajor ? std::llabs(dx) : std::llabs(dy);
  if (n == 0) return;
  const long long major0 = xMajor ? x0 : y0;
  const long long minor0 = xMajor ? y0 : x0;
  const long long minorDelta = xMajor ? dy : dx;
  const long long step = (xMajor ? dx : dy) > 0 ? 1 : -1;
  const long long limit = xMajor ? buf.Width() : buf.Height();
  // Steps i with 0 <= major0 + step * i < limit.
  long long first = step > 0 ? -major0 : major0 - limit + 1;
  long long last = step > 0 ? limit - 1 - major0 : major0;
  first = std::max(first, 0LL);
  last = std::min(last, n - 1);
  for (long long i = first; i <= last; ++i) {
    const long long major = major0 + step * i;
    const long long minor = minor0 + FloorDiv(2 * i * minorDelta + n, 2 * n);
    const long long x = xMajor ? major : minor;
    const long long y = xMajor ? minor : major;
    if (x >= 0 && y >= 0 && x < buf.Width() && y < buf.Height()) {
      buf.Set(static_cast<int>(x), static_cast<int>(y), colour);
    }
  }
}

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r;
  r.left = std::max(a.left, b.left);
  r.top = std::max(a.top, b.top);
  r.right = std::max(r.left, std::min(a.right, b.right));
  r.bottom = std::max(r.top, std::min(a.bottom, b.bottom));
  return r;
}

RECT BufferRect(const CPixelBuffer& buf) {
  RECT r;
  r.right = buf.Width();
  r.bottom = buf.Height();
  return r;
}

std::string EndEllipsis(const std::string& text, int nWidth,
                        const std::function<int(const std::string&)>& measure) {
  if (measure(text) <= nWidth) return text;
  // Cut only between characters, never inside a UTF-8 sequence.
  std::vector<std::size_t> cuts;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) cuts.push_back(i);
  }
  std::size_t lo = 0;
  std::size_t hi = cuts.size();  // cuts[lo] fits (or is the empty prefix), cuts[hi] does not
  if (measure("...") > nWidth) return "...";
  while (hi - lo > 1) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (measure(text.substr(0, cuts[mid]) + "...") <= nWidth) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return text.substr(0, cuts.empty() ? 0 : cuts[lo]) + "...";
}

// "&&" shows one '&'; a single '&' only marks the character after it.
std::string StripPrefixes(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      if (i + 1 < text.size()) out.push_back(text[++i]);
      continue;
    }
    out.push_back(text[i]);
  }
  return out;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.emplace_back();
    } else {
      lines.back().push_back(text[i]);
    }
  }
  return lines;
}

}  // namespace

// ---- system colours and metrics -------------------------------------------------------------

COLORREF GetSysColor(int nIndex) { return GetUiBackend().GetSysColor(nIndex); }
int GetSystemMetrics(int nIndex) { return GetUiBackend().GetSystemMetrics(nIndex); }

// ---- device contexts ----------------------------------------------------------------------

HDC BeginPaint(HWND hWnd, PAINTSTRUCT* pPaint) {
  std::shared_ptr<CPixelBuffer> buffer = WindowBuffer(hWnd);
  HDC hDC = buffer ? NewDc(hWnd, buffer, nullptr) : nullptr;
  if (pPaint != nullptr) {
    pPaint->hdc = hDC;
    pPaint->fErase = FALSE;  // the layer sends WM_ERASEBKGND before WM_PAINT
    pPaint->rcPaint = buffer ? BufferRect(*buffer) : RECT{};
  }
  return hDC;
}

BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* pPaint) {
  HDC__* dc = pPaint != nullptr ? LiveDc(pPaint->hdc) : nullptr;
  if (dc == nullptr || dc->hWnd != hWnd) return FALSE;
  if (IsWindow(hWnd)) GetUiBackend().PresentPixels(hWnd, *dc->state.target);
  FreeDc(dc);
  return TRUE;
}

HDC GetDC(HWND hWnd) {
  std::shared_ptr<CPixelBuffer> buffer = WindowBuffer(hWnd);
  return buffer ? NewDc(hWnd, buffer, nullptr) : nullptr;
}

int ReleaseDC(HWND hWnd, HDC hDC) {
  HDC__* dc = LiveDc(hDC);
  if (dc == nullptr || dc->hWnd == nullptr || dc->hWnd != hWnd) return 0;
  FreeDc(dc);
  return 1;
}

const CPixelBuffer* GetWindowPaintBuffer(HWND hWnd) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_windowBuffers.find(hWnd);
  return it != g_windowBuffers.end() ? it->second.get() : nullptr;
}

HDC CreateCompatibleDC(HDC hDC) {
  if (hDC != nullptr && LiveDc(hDC) == nullptr) return nullptr;
  return NewDc(nullptr, StockBitmap()->pixels, StockBitmap());
}

BOOL DeleteDC(HDC hDC) {
  HDC__* dc = LiveDc(hDC);
  if (dc == nullptr || dc->hWnd != nullptr) return FALSE;  // paint contexts end with EndPaint
  FreeDc(dc);
  return TRUE;
}

int SaveDC(HDC hDC) {
  HDC__* dc = LiveDc(hDC);
  if (dc == nullptr) return 0;
  dc->saved.push_back(dc->state);
  return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC hDC, int nSavedDC) {
  HDC__* dc = LiveDc(hDC);
  if (dc == nullptr || nSavedDC == 0) return FALSE;
  const long long depth = static_cast<long long>(dc->saved.size());
  const long long level = nSavedDC < 0 ? depth + 1 + nSavedDC : nSavedDC;
  if (level < 1 || level > depth) return FALSE;
  dc->state = dc->saved[static_cast<std::size_t>(level - 1)];
  dc->saved.resize(static_cast<std::size_t>(level - 1));
  return TRUE;
}

// ---- GDI objects --------------------------------------------------------------------------

HPEN CreatePen(int nPenStyle, int nWidth, COLORREF colour) {
  if (nPenStyle != PS_SOLID || nWidth < 0 || nWidth > 1) return nullptr;
  return NewObject(HGDIOBJ__::Kind::Pen, colour & 0x00FFFFFF, nullptr);
}

HBRUSH CreateSolidBrush(COLORREF colour) {
  return NewObject(HGDIOBJ__::Kind::Brush, colour & 0x00FFFFFF, nullptr);
}

HBITMAP CreateCompatibleBitmap(HDC hDC, int nWidth, int nHeight) {
  if (LiveDc(hDC) == nullptr || nWidth < 0 || nHeight < 0) return nullptr;
  return NewObject(HGDIOBJ__::Kind::Bitmap, 0, std::make_shared<CPixelBuffer>(nWidth, nHeight, 0));
}

BOOL DeleteObject(HGDIOBJ hObject) {
  if (hObject == nullptr) return FALSE;
  if (IsStock(hObject)) return TRUE;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_objects.erase(hObject) == 0) return FALSE;
  }
  delete hObject;
  return TRUE;
}

HGDIOBJ SelectObject(HDC hDC, HGDIOBJ hObject) {
  HDC__* dc = LiveDc(hDC);
  HGDIOBJ__* obj = LiveObject(hObject);
  if (dc == nullptr || obj == nullptr) return nullptr;
  DcState& s = dc->state;
  HGDIOBJ previous = nullptr;
  switch (obj->kind) {
    case HGDIOBJ__::Kind::Pen:
      previous = s.pen;
      s.pen = obj;
      s.penColour = obj->colour;
      break;
    case HGDIOBJ__::Kind::Brush:
      previous = s.brush;
      s.brush = obj;
      s.brushColour = obj->colour;
      break;
    case HGDIOBJ__::Kind::Bitmap:
      if (dc->hWnd != nullptr) return nullptr;  // only memory contexts take bitmaps
      previous = s.bitmap;
      s.bitmap = obj;
      s.target = obj->pixels;
      break;
  }
  return previous;
}

// ---- drawing ------------------------------------------------------------------------------

int FillRect(HDC hDC, const RECT* pRect, HBRUSH hBrush) {
  HDC__* dc = LiveDc(hDC);
  HGDIOBJ__* brush = LiveObject(hBrush);
  if (dc == nullptr || pRect == nullptr || brush == nullptr ||
      brush->kind != HGDIOBJ__::Kind::Brush) {
    return 0;
  }
  CPixelBuffer& buf = *dc->state.target;
  const RECT r = Intersect(*pRect, BufferRect(buf));
  for (LONG y = r.top; y < r.bottom; ++y) {
    for (LONG x = r.left; x < r.right; ++x) buf.Set(x, y, brush->colour);
  }
  return 1;
}

BOOL MoveToEx(HDC hDC, int x, int y, POINT* pPrevious) {
  HDC__* dc = LiveDc(hDC);
  if (dc == nullptr) return FALSE;
  if (pPrevious != nullptr) *pPrevious = dc->state.pos;
  dc->state.pos.x = x;
  dc->state.pos.y = y;
  return TRUE;
}

BOOL LineTo(HDC hDC, int x, int y) {
  HDC__* dc = LiveDc(hDC);
  if (dc == nullptr) return FALSE;
  DcState& s = dc->state;
  DrawLine(*s.target, s.pos.x, s.pos.y, x, y, s.penColour);
  s.pos.x = x;
  s.pos.y = y;
  return TRUE;
}

COLORREF SetPixel(HDC hDC, int x, int y, COLORREF colour) {
  HDC__* dc = LiveDc(hDC);
  if (dc == nullptr || !dc->state.target->Contains(x, y)) return CLR_INVALID;
  dc->state.target->Set(x, y, colour & 0x00FFFFFF);
  return colour & 0x00FFFFFF;
}

BOOL BitBlt(HDC hDest, int x, int y, int nWidth, int nHeight, HDC hSrc, int xSrc, int ySrc,
            DWORD dwRop) {
  HDC__* dst = LiveDc(hDest);
  HDC__* src = LiveDc(hSrc);
  if (dst == nullptr || src == nullptr || dwRop != SRCCOPY) return FALSE;
  CPixelBuffer& to = *dst->state.target;
  // Within one buffer, read from a copy so that the copy cannot read what it just wrote.
  CPixelBuffer snapshot;
  if (src->state.target == dst->state.target) snapshot = *src->state.target;
  const CPixelBuffer& from = src->state.target == dst->state.target ? snapshot : *src->state.target;
  // The destination area, clipped to the destination; source pixels outside the source are
  // left out below.
  const long long x0 = std::max<long long>(x, 0);
  const long long y0 = std::max<long long>(y, 0);
  const long long x1 = std::min<long long>(static_cast<long long>(x) + std::max(nWidth, 0), to.Width());
  const long long y1 = std::min<long long>(static_cast<long long>(y) + std::max(nHeight, 0), to.Height());
  const long long offX = static_cast<long long>(xSrc) - x;
  const long long offY = static_cast<long long>(ySrc) - y;
  for (long long ty = y0; ty < y1; ++ty) {
    const long long sy = ty + offY;
    if (sy < 0 || sy >= from.Height()) continue;
    for (long long tx = x0; tx < x1; ++tx) {
      const long long sx = tx + offX;
      if (sx < 0 || sx >= from.Width()) continue;
      to.Set(static_cast<int>(tx), static_cast<int>(ty),
             from.Get(static_cast<int>(sx), static_cast<int>(sy)));
    }
  }
  return TRUE;
}

BOOL DrawIcon(HDC hDC, int x, int y, HICON hIcon) {
  HDC__* dc = LiveDc(hDC);
  const CPixelBuffer* image = hIcon != nullptr ? GetIconImage(hIcon) : nullptr;
  if (dc == nullptr || image == nullptr) return FALSE;
  CPixelBuffer& buf = *dc->state.target;
  for (int iy = 0; iy < image->Height(); ++iy) {
    for (int ix = 0; ix < image->Width(); ++ix) {
      const long long tx = static_cast<long long>(x) + ix;
      const long long ty = static_cast<long long>(y) + iy;
      if (tx < 0 || ty < 0 || tx >= buf.Width() || ty >= buf.Height()) continue;
      const COLORREF c = image->Get(ix, iy);
      const COLORREF under = buf.Get(static_cast<int>(tx), static_cast<int>(ty));
      const unsigned clear = c >> 24;
      const auto blend = [clear](unsigned top, unsigned bottom) {
        return (top * (255 - clear) + bottom * clear + 127) / 255;
      };
      buf.Set(static_cast<int>(tx), static_cast<int>(ty),
              RGB(blend(GetRValue(c), GetRValue(under)), blend(GetGValue(c), GetGValue(under)),
                  blend(GetBValue(c), GetBValue(under))));
    }
  }
  return TRUE;
}

// ---- text ---------------------------------------------------------------------------------

HFONT SelectFont(HDC hDC, HFONT hFont) {
  HDC__* dc = LiveDc(hDC);
  if (dc == nullptr) return nullptr;
  const HFONT previous = dc->state.font;
  dc->state.font = hFont;
  dc->state.fontOwner = hFont != nullptr ? GetFontOwner(hFont) : nullptr;
  return previous;
}

int DrawTextEx(HDC hDC, const char* pText, int nLength, RECT* pRect, UINT nFormat,
               DRAWTEXTPARAMS* pParams) {
  HDC__* dc = LiveDc(hDC);
  if (dc == nullptr || pRect == nullptr) return 0;
  std::string text;
  if (pText != nullptr) {
    text = nLength < 0 ? std::string(pText) : std::string(pText, static_cast<std::size_t>(nLength));
  }
  if (pParams != nullptr) pParams->uiLengthDrawn = static_cast<UINT>(text.size());
  if ((nFormat & DT_NOPREFIX) == 0) text = StripPrefixes(text);

  IUiBackend& backend = GetUiBackend();
  const HWND owner = dc->state.fontOwner;
  const auto measure = [&backend, owner](const std::string& s) {
    return backend.MeasureText(owner, s).cx;
  };
  const RECT& rc = *pRect;
  LONG left = rc.left;
  LONG right = rc.right;
  if (pParams != nullptr) {
    left += pParams->iLeftMargin;
    right -= pParams->iRightMargin;
  }
  const RECT clip = Intersect(rc, BufferRect(*dc->state.target));

  const bool single = (nFormat & DT_SINGLELINE) != 0;
  const std::vector<std::string> lines = single ? std::vector<std::string>{text} : SplitLines(text);
  LONG y = rc.top;
  for (const std::string& line : lines) {
    const int lineHeight = backend.MeasureText(owner, line.empty() ? " " : line).cy;
    if (single && (nFormat & DT_VCENTER) != 0) y = rc.top + (rc.Height() - lineHeight) / 2;
    const std::string shown = EllipsizeLine(line, right - left, nFormat, measure);
    if (!shown.empty()) {
      backend.RenderText(owner, *dc->state.target, left, y, shown, dc->state.textColour, clip);
    }
    y += lineHeight;
  }
  return y - rc.top;
}

std::string EllipsizeLine(const std::string& line, int nWidth, UINT nFormat,
                          const std::function<int(const std::string&)>& measure) {
  if ((nFormat & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS)) == 0 || measure(line) <= nWidth) {
    return line;
  }
  if ((nFormat & DT_PATH_ELLIPSIS) != 0) {
    // Keep the path's start up to its first separator (a root like "C:\" or "/home/") and its
    // last component; the folders between give way to "...".
    const std::size_t last = line.find_last_of("/\\");
    const std::size_t first = line.size() > 1 ? line.find_first_of("/\\", 1) : std::string::npos;
    if (last != std::string::npos && first != std::string::npos && first < last) {
      const std::string shortened = line.substr(0, first + 1) + "..." + line.substr(last);
      if (measure(shortened) <= nWidth) return shortened;
      return EndEllipsis("..." + line.substr(last), nWidth, measure);
    }
  }
  return EndEllipsis(line, nWidth, measure);
}

// ---- object wrappers ----------------------------------------------------------------------

CGdiObject::~CGdiObject() { DeleteObject(); }

BOOL CGdiObject::DeleteObject() {
  if (m_hObject == nullptr) return FALSE;
  const BOOL ok = platform::DeleteObject(m_hObject);
  m_hObject = nullptr;
  return ok;
}

BOOL CPen::CreatePen(int nPenStyle, int nWidth, COLORREF colour) {
  if (m_hObject != nullptr) return FALSE;
  m_hObject = platform::CreatePen(nPenStyle, nWidth, colour);
  return m_hObject != nullptr;
}

CBrush::CBrush(COLORREF colour) { CreateSolidBrush(colour); }

BOOL CBrush::CreateSolidBrush(COLORREF colour) {
  if (m_hObject != nullptr) return FALSE;
  m_hObject = platform::CreateSolidBrush(colour);
  return m_hObject != nullptr;
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* pDC, int nWidth, int nHeight) {
  if (m_hObject != nullptr || pDC == nullptr) return FALSE;
  m_hObject = platform::CreateCompatibleBitmap(pDC->GetSafeHdc(), nWidth, nHeight);
  return m_hObject != nullptr;
}

CDC::~CDC() {
  if (m_bOwned) DeleteDC();
}

BOOL CDC::CreateCompatibleDC(CDC* pDC) {
  if (m_hDC != nullptr) return FALSE;
  m_hDC = platform::CreateCompatibleDC(pDC != nullptr ? pDC->GetSafeHdc() : nullptr);
  m_bOwned = m_hDC != nullptr;
  return m_bOwned;
}

BOOL CDC::DeleteDC() {
  if (m_hDC == nullptr || !m_bOwned) return FALSE;
  const BOOL ok = platform::DeleteDC(m_hDC);
  m_hDC = nullptr;
  m_bOwned = false;
  return ok;
}

HGDIOBJ CDC::SelectObject(CGdiObject* pObject) {
  return pObject != nullptr ? platform::SelectObject(m_hDC, pObject->GetSafeHandle()) : nullptr;
}
HGDIOBJ CDC::SelectObject(HGDIOBJ hObject) { return platform::SelectObject(m_hDC, hObject); }
HFONT CDC::SelectFont(HFONT hFont) { return platform::SelectFont(m_hDC, hFont); }
int CDC::SaveDC() { return platform::SaveDC(m_hDC); }
BOOL CDC::RestoreDC(int nSavedDC) { return platform::RestoreDC(m_hDC, nSavedDC); }

void CDC::FillRect(const RECT* pRect, CBrush* pBrush) {
  if (pBrush != nullptr) platform::FillRect(m_hDC, pRect, pBrush->GetSafeHandle());
}

POINT CDC::MoveTo(int x, int y) {
  POINT previous;
  platform::MoveToEx(m_hDC, x, y, &previous);
  return previous;
}
BOOL CDC::LineTo(int x, int y) { return platform::LineTo(m_hDC, x, y); }
COLORREF CDC::SetPixel(int x, int y, COLORREF colour) { return platform::SetPixel(m_hDC, x, y, colour); }

BOOL CDC::BitBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc,
                 DWORD dwRop) {
  if (pSrcDC == nullptr) return FALSE;
  return platform::BitBlt(m_hDC, x, y, nWidth, nHeight, pSrcDC->GetSafeHdc(), xSrc, ySrc, dwRop);
}

BOOL CDC::DrawIcon(int x, int y, HICON hIcon) { return platform::DrawIcon(m_hDC, x, y, hIcon); }

int CDC::DrawTextEx(const char* pText, int nLength, RECT* pRect, UINT nFormat,
                    DRAWTEXTPARAMS* pParams) {
  return platform::DrawTextEx(m_hDC, pText, nLength, pRect, nFormat, pParams);
}

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd != nullptr ? pWnd->GetSafeHwnd() : nullptr) {
  m_hDC = BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC() {
  if (m_hDC != nullptr) EndPaint(m_hWnd, &m_ps);
  m_hDC = nullptr;
}

CClientDC::CClientDC(CWnd* pWnd) : m_hWnd(pWnd != nullptr ? pWnd->GetSafeHwnd() : nullptr) {
  m_hDC = m_hWnd != nullptr ? GetDC(m_hWnd) : nullptr;
}

CClientDC::~CClientDC() {
  if (m_hDC != nullptr) ReleaseDC(m_hWnd, m_hDC);
  m_hDC = nullptr;
}

}  // namespace platform
