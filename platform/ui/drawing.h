// Drawing for owner-painted windows: device contexts, pens, brushes, bitmaps, text and icons,
// in the shape of the GDI calls the controls are written against.
//
// How it works. A device context (HDC) draws into a CPixelBuffer of our own: either a
// window's paint buffer (BeginPaint, GetDC: one buffer per window, the size of its client
// area, shown by the backend at EndPaint) or the bitmap selected into a memory context.
// Everything is clipped to that buffer. Pens are solid and one pixel wide, brushes are solid.
// A line includes its start point and excludes its end point, in any direction. Text is
// measured and drawn by the backend in the selected font (a dialog's, from WM_GETFONT; the
// backend's default face without one), transparently, in the system button-text colour.
//
// Handles are checked: a stale or foreign handle makes the call fail and draw nothing.
// Window thread only (creating and deleting objects is safe from any thread).
#pragma once

#include <functional>
#include <string>

#include "platform/ui/pixel_buffer.h"
#include "platform/win_types.h"

namespace platform {

class CWnd;

struct HGDIOBJ__;
using HGDIOBJ = HGDIOBJ__*;
using HPEN = HGDIOBJ;
using HBRUSH = HGDIOBJ;
using HBITMAP = HGDIOBJ;

constexpr int PS_SOLID = 0;
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

struct PAINTSTRUCT {
  HDC hdc = nullptr;
  BOOL fErase = FALSE;
  RECT rcPaint;
};

// Margins are honoured, tabs are not expanded; uiLengthDrawn is filled in.
struct DRAWTEXTPARAMS {
  UINT cbSize = sizeof(DRAWTEXTPARAMS);
  int iTabLength = 0;
  int iLeftMargin = 0;
  int iRightMargin = 0;
  UINT uiLengthDrawn = 0;
};

// ---- system colours and metrics (the backend's) ---------------------------------------------

COLORREF GetSysColor(int nIndex);
int GetSystemMetrics(int nIndex);

// ---- device contexts --------------------------------------------------------------------

// A context on the window's paint buffer, sized to its client area; nullptr for a dead window.
// EndPaint hands the buffer to the backend to be shown.
HDC BeginPaint(HWND hWnd, PAINTSTRUCT* pPaint);
BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* pPaint);
// A context on the same paint buffer outside a paint (nothing is shown at ReleaseDC).
HDC GetDC(HWND hWnd);
int ReleaseDC(HWND hWnd, HDC hDC);
// The window's paint buffer as last drawn (nullptr when it has none).
const CPixelBuffer* GetWindowPaintBuffer(HWND hWnd);

// A memory context: draws into the bitmap selected into it (1 x 1 pixel until then).
HDC CreateCompatibleDC(HDC hDC);
BOOL DeleteDC(HDC hDC);
int SaveDC(HDC hDC);                   // the saved state's level, 0 on failure
BOOL RestoreDC(HDC hDC, int nSavedDC);  // a level from SaveDC, or negative: that many back

// ---- GDI objects ------------------------------------------------------------------------

// Only solid pens one pixel wide (width 0 or 1) exist; other pens cannot be created.
HPEN CreatePen(int nPenStyle, int nWidth, COLORREF colour);
HBRUSH CreateSolidBrush(COLORREF colour);
HBITMAP CreateCompatibleBitmap(HDC hDC, int nWidth, int nHeight);
// Safe while the object is selected: the context keeps what it draws with.
BOOL DeleteObject(HGDIOBJ hObject);
// Selects a pen, brush or bitmap; returns the one of the same kind it replaces.
HGDIOBJ SelectObject(HDC hDC, HGDIOBJ hObject);

// ---- drawing ----------------------------------------------------------------------------

int FillRect(HDC hDC, const RECT* pRect, HBRUSH hBrush);
BOOL MoveToEx(HDC hDC, int x, int y, POINT* pPrevious);
BOOL LineTo(HDC hDC, int x, int y);
COLORREF SetPixel(HDC hDC, int x, int y, COLORREF colour);  // CLR_INVALID when clipped
BOOL BitBlt(HDC hDest, int x, int y, int nWidth, int nHeight, HDC hSrc, int xSrc, int ySrc,
            DWORD dwRop);
// An icon pixel's high byte is its transparency (0 opaque, 255 clear): it is blended over
// what is there.
BOOL DrawIcon(HDC hDC, int x, int y, HICON hIcon);

// ---- text -------------------------------------------------------------------------------

// Selects a font a window answered to WM_GETFONT (nullptr: the default face). Returns the font
// it replaces.
HFONT SelectFont(HDC hDC, HFONT hFont);
// Formats: DT_SINGLELINE, DT_VCENTER (single line only), DT_NOPREFIX, DT_END_ELLIPSIS,
// DT_PATH_ELLIPSIS. Without DT_SINGLELINE the text breaks at its line ends. A length below
// zero means up to the terminating zero. Returns the height of the text drawn.
int DrawTextEx(HDC hDC, const char* pText, int nLength, RECT* pRect, UINT nFormat,
               DRAWTEXTPARAMS* pParams);

// What DrawTextEx shows of one line in the given width for the ellipsis flags of nFormat
// (the line itself when it fits or no ellipsis flag is given). Separators of a path are '/'
// and '\'.
std::string EllipsizeLine(const std::string& line, int nWidth, UINT nFormat,
                          const std::function<int(const std::string&)>& measure);

// ---- object wrappers --------------------------------------------------------------------

class CDC;

class CGdiObject {
 public:
  CGdiObject() = default;
  virtual ~CGdiObject();
  CGdiObject(const CGdiObject&) = delete;
  CGdiObject& operator=(const CGdiObject&) = delete;

  HGDIOBJ m_hObject = nullptr;
  HGDIOBJ GetSafeHandle() const { return m_hObject; }
  BOOL DeleteObject();  // FALSE when nothing is held
};

class CPen : public CGdiObject {
 public:
  CPen() = default;
  BOOL CreatePen(int nPenStyle, int nWidth, COLORREF colour);  // FALSE when one is held
};

class CBrush : public CGdiObject {
 public:
  CBrush() = default;
  explicit CBrush(COLORREF colour);
  BOOL CreateSolidBrush(COLORREF colour);
};

class CBitmap : public CGdiObject {
 public:
  BOOL CreateCompatibleBitmap(CDC* pDC, int nWidth, int nHeight);
};

// ---- device context wrappers ------------------------------------------------------------

class CDC {
 public:
  CDC() = default;
  virtual ~CDC();  // deletes a context it created (CreateCompatibleDC)
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;

  HDC m_hDC = nullptr;
  HDC GetSafeHdc() const { return m_hDC; }

  BOOL CreateCompatibleDC(CDC* pDC);
  BOOL DeleteDC();

  HGDIOBJ SelectObject(CGdiObject* pObject);
  HGDIOBJ SelectObject(HGDIOBJ hObject);
  HFONT SelectFont(HFONT hFont);
  int SaveDC();
  BOOL RestoreDC(int nSavedDC);

  void FillRect(const RECT* pRect, CBrush* pBrush);
  POINT MoveTo(int x, int y);
  BOOL LineTo(int x, int y);
  COLORREF SetPixel(int x, int y, COLORREF colour);
  BOOL BitBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc, DWORD dwRop);
  BOOL DrawIcon(int x, int y, HICON hIcon);

  int DrawTextEx(const char* pText, int nLength, RECT* pRect, UINT nFormat,
                 DRAWTEXTPARAMS* pParams = nullptr);

 protected:
  bool m_bOwned = false;  // m_hDC came from CreateCompatibleDC
};

// BeginPaint / EndPaint for the window's paint.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* pWnd);
  ~CPaintDC() override;
  PAINTSTRUCT m_ps;

 private:
  HWND m_hWnd;
};

// GetDC / ReleaseDC: the window's paint buffer outside a paint. No window: no context.
class CClientDC : public CDC {
 public:
  explicit CClientDC(CWnd* pWnd);
  ~CClientDC() override;

 private:
  HWND m_hWnd;
};

}  // namespace platform
