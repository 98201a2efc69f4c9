// The Win32 backend on real windows: the templates as native dialogs, what a person does
// reaching the dialog's object as the layer's messages, posts and timers in every loop, the
// program's main window and About box as they stand on the screen (screenshots into the build
// folder), the icon and picture conversions, the file dialog, and the programs' resources.
#define QUORIN_NO_LAYER_IMPORT

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/os/process.h"
#include "platform/ui/drawing.h"
#include "platform/ui/window.h"
#include "resources/resource.h"
#include "tests/ui_win32/ui_win32_program.h"
#include "platform/ui/win32/win32_pixels.h"
#include "platform/os/win32/wide.h"
#include "platform/ui/win32/win32_ui_backend.h"
#include "tests/support/win32/remote_line.h"
#include "tests/ui_win32/ui_win32_support.h"
#include "tests/ui_win32/win32_screen.h"

#include <dlgs.h>
#include <winver.h>

namespace {

using platform::WideToUtf8;
using platform::Utf8ToWide;

platform::CWin32UiBackend& Backend() { return platform::CWin32UiBackend::Instance(); }

bool SameClass(::HWND hwnd, const wchar_t* name) {
  return ::CompareStringOrdinal(ClassOf(hwnd).c_str(), -1, name, -1, TRUE) == CSTR_EQUAL;
}

// The control's client area on the screen against the picture the layer painted for it.
int PixelsDifferingFromPicture(::HWND control, platform::HWND record) {
  const platform::CPixelBuffer* picture = platform::GetWindowPaintBuffer(record);
  if (picture == nullptr) return -1;
  ::RECT client;
  ::GetClientRect(control, &client);
  ::MapWindowPoints(control, nullptr, reinterpret_cast<::POINT*>(&client), 2);
  const CScreenPicture screen = GrabScreen(client);
  if (screen.width != picture->Width() || screen.height != picture->Height()) return -1;
  int differing = 0;
  for (int y = 0; y < screen.height; ++y) {
    for (int x = 0; x < screen.width; ++x) {
      const COLORREF c = picture->Get(x, y);
      const std::uint32_t want = (static_cast<std::uint32_t>(c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
      differing += screen.At(x, y) != want;
    }
  }
  return differing;
}

// The class a control of the template must have on the screen.
const wchar_t* ExpectedClass(const platform::WindowState& state) {
  if (state.ownerPainted) return platform::CWin32PaintedControl::kClassName;
  switch (state.kind) {
    case platform::ControlKind::PushButton:
    case platform::ControlKind::DefPushButton:
    case platform::ControlKind::GroupBox:
      return L"Button";
    case platform::ControlKind::ComboBox:
      return L"ComboBox";
    case platform::ControlKind::ProgressBar:
      return PROGRESS_CLASSW;
    default:
      return L"Static";
  }
}

// The native dialog against its template and the layer's records: caption, font, size, and every
// control's class, place, style and text.
void ExpectDialogAsTemplate(::HWND dialog, platform::HWND hDlg) {
  const platform::WindowState* dlg = platform::GetWindowState(hDlg);
  ASSERT_NE(dlg, nullptr);
  const platform::DialogTemplate* tmpl = platform::FindDialogTemplate(dlg->templateId);
  ASSERT_NE(tmpl, nullptr);
  EXPECT_EQ(WideToUtf8(TextOf(dialog)), dlg->text);

  const LONG style = ::GetWindowLongW(dialog, GWL_STYLE);
  for (const LONG bits : {WS_CAPTION, WS_SYSMENU, WS_MINIMIZEBOX}) {
    EXPECT_EQ((style & bits) == bits, (tmpl->style & bits) == static_cast<DWORD>(bits)) << std::hex << bits;
  }
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
  EXPECT_EQ((::GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW) != 0,
            (tmpl->exStyle & WS_EX_APPWINDOW) != 0);

  LOGFONTW font{};
  ASSERT_TRUE(::GetObjectW(reinterpret_cast<::HFONT>(::SendMessageW(dialog, WM_GETFONT, 0, 0)),
                           sizeof(font), &font));
  EXPECT_EQ(WideToUtf8(font.lfFaceName), tmpl->fontFace);
  ::HDC screen = ::GetDC(dialog);
  EXPECT_EQ(font.lfHeight, -::MulDiv(tmpl->pointSize, ::GetDeviceCaps(screen, LOGPIXELSY), 72));
  ::ReleaseDC(dialog, screen);

  ::RECT client;
  ::GetClientRect(dialog, &client);
  const ::RECT size = DialogUnitsToPixels(dialog, 0, 0, tmpl->cx, tmpl->cy);
  EXPECT_EQ(client.right, size.right);
  EXPECT_EQ(client.bottom, size.bottom);

  const std::vector<::HWND> natives = ChildrenInOrder(dialog);
  const std::vector<platform::HWND> records = platform::GetChildWindows(hDlg);
  ASSERT_EQ(natives.size(), tmpl->controls.size());
  ASSERT_EQ(records.size(), tmpl->controls.size());
  for (std::size_t i = 0; i < natives.size(); ++i) {
    const platform::ControlTemplate& c = tmpl->controls[i];
    const platform::WindowState& state = *platform::GetWindowState(records[i]);
    const ::HWND w = natives[i];
    SCOPED_TRACE("control " + std::to_string(i) + ", id " + std::to_string(c.id));
    EXPECT_EQ(Backend().NativeWindow(records[i]), w);
    EXPECT_EQ(::GetDlgCtrlID(w), c.id);
    EXPECT_TRUE(SameClass(w, ExpectedClass(state))) << WideToUtf8(ClassOf(w));
    // The dialog manager maps the corner and the size, each on its own.
    const ::RECT corner = DialogUnitsToPixels(dialog, c.x, c.y, 0, 0);
    const ::RECT extent = DialogUnitsToPixels(dialog, 0, 0, c.cx, c.cy);
    const ::RECT got = RectInParent(w);
    EXPECT_EQ(got.left, corner.left);
    EXPECT_EQ(got.top, corner.top);
    // An icon control takes its icon's size, as on every desktop; the template's height of a
    // list box is its open list's.
    const bool icon = c.kind == platform::ControlKind::StaticIcon;
    EXPECT_EQ(got.right - got.left, icon ? ::GetSystemMetrics(SM_CXICON) : extent.right);
    if (c.kind != platform::ControlKind::ComboBox) {
      EXPECT_EQ(got.bottom - got.top, icon ? ::GetSystemMetrics(SM_CYICON) : extent.bottom);
    }
    EXPECT_EQ(::IsWindowVisible(w) != FALSE, state.visible && ::IsWindowVisible(dialog));

    const LONG controlStyle = ::GetWindowLongW(w, GWL_STYLE);
    const LONG exStyle = ::GetWindowLongW(w, GWL_EXSTYLE);
    EXPECT_EQ((controlStyle & WS_TABSTOP) != 0, (c.style & WS_TABSTOP) != 0);
    switch (c.kind) {
      case platform::ControlKind::PushButton:
      case platform::ControlKind::DefPushButton:
      case platform::ControlKind::GroupBox:
        // The focused push button is drawn as the default one while it has the focus.
        EXPECT_TRUE((controlStyle & BS_TYPEMASK) == static_cast<LONG>(c.style & BS_TYPEMASK) ||
                    (c.kind == platform::ControlKind::PushButton && (controlStyle & BS_TYPEMASK) == BS_DEFPUSHBUTTON));
        EXPECT_EQ(WideToUtf8(TextOf(w)), state.text);
        break;
      case platform::ControlKind::ComboBox: {
        EXPECT_EQ(controlStyle & 3, CBS_DROPDOWN);
        std::vector<std::string> entries;
        const int count = static_cast<int>(::SendMessageW(w, CB_GETCOUNT, 0, 0));
        for (int n = 0; n < count; ++n) {
          wchar_t entry[64] = L"";
          ::SendMessageW(w, CB_GETLBTEXT, static_cast<WPARAM>(n), reinterpret_cast<LPARAM>(entry));
          entries.push_back(WideToUtf8(entry));
        }
        EXPECT_EQ(entries, c.items);
        EXPECT_EQ(::SendMessageW(w, CB_GETCURSEL, 0, 0), state.curSel);
        break;
      }
      case platform::ControlKind::Static:
        if (state.ownerPainted) {
          EXPECT_EQ((exStyle & WS_EX_STATICEDGE) != 0, (c.style & SS_SUNKEN) != 0);
        } else {
          EXPECT_EQ(controlStyle & (SS_SUNKEN | SS_NOPREFIX), static_cast<LONG>(c.style & (SS_SUNKEN | SS_NOPREFIX)));
          EXPECT_EQ(WideToUtf8(TextOf(w)), state.text);
        }
        break;
      case platform::ControlKind::StaticIcon:
        EXPECT_NE(::SendMessageW(w, STM_GETICON, 0, 0), 0);
        break;
      case platform::ControlKind::ProgressBar:
        // The system's own bar draws its frame itself and drops the border style; the
        // program's painted bar keeps the template's, which the dialog manager may turn into
        // the sunken edge of dialogs with the three-dimensional look.
        if (state.ownerPainted) {
          EXPECT_EQ((controlStyle & WS_BORDER) != 0 || (exStyle & WS_EX_CLIENTEDGE) != 0,
                    (c.style & WS_BORDER) != 0);
        }
        break;
    }
  }
}

// A dialog that keeps the messages that reach its object.
class CRecordingDialog : public platform::CDialog {
 public:
  explicit CRecordingDialog(UINT nIDTemplate) : CDialog(nIDTemplate) {}
  struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  std::vector<Seen> seen;
  int Count(UINT message, WPARAM wParam) const {
    return static_cast<int>(std::count_if(seen.begin(), seen.end(), [&](const Seen& s) {
      return s.message == message && s.wParam == wParam;
    }));
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_COMMAND || message == WM_CLOSE || message == WM_SYSCOMMAND || message == WM_LBUTTONDOWN) {
      seen.push_back(Seen{message, wParam, lParam});
    }
    return CDialog::WindowProc(message, wParam, lParam);
  }
};

// ---- templates and what the user does ---------------------------------------------------------

class Win32Dialog : public CWin32WindowTest {};

TEST_F(Win32Dialog, TemplatesBecomeNativeDialogsWithTheirFontsAndControlsAtTheirPlaces) {
  RegisterQuorinResources();
  for (int id : {IDD_QUORIN_DIALOG, IDD_ABOUTBOX}) {
    SCOPED_TRACE("template " + std::to_string(id));
    platform::CDialog dlg(static_cast<UINT>(id));
    ASSERT_TRUE(dlg.Create());
    const ::HWND native = Backend().NativeWindow(dlg.m_hWnd);
    ASSERT_NE(native, nullptr);
    EXPECT_TRUE(::IsWindowVisible(native));
    ExpectDialogAsTemplate(native, dlg.m_hWnd);
    EXPECT_TRUE(dlg.DestroyWindow());
    EXPECT_FALSE(::IsWindow(native));
  }
}

TEST_F(Win32Dialog, WhatTheUserDoesReachesTheObjectAsTheLayersMessages) {
  RegisterQuorinResources();
  CRecordingDialog dlg(IDD_QUORIN_DIALOG);
  ASSERT_TRUE(dlg.Create());
  const ::HWND native = Backend().NativeWindow(dlg.m_hWnd);
  ASSERT_NE(native, nullptr);
  PumpNative(100);

  // A click on a button: BN_CLICKED with the layer's handle of the button.
  ::SendMessageW(::GetDlgItem(native, IDC_SEND), BM_CLICK, 0, 0);
  ASSERT_EQ(dlg.Count(WM_COMMAND, platform::MAKEWPARAM(IDC_SEND, BN_CLICKED)), 1);
  EXPECT_EQ(dlg.seen.back().lParam, reinterpret_cast<LPARAM>(platform::GetDlgItem(dlg.m_hWnd, IDC_SEND)));

  // A list entry chosen with the keyboard: the record follows, then CBN_SELCHANGE.
  const ::HWND combo = ::GetDlgItem(native, IDC_BAUDRATE);
  const platform::HWND comboRecord = platform::GetDlgItem(dlg.m_hWnd, IDC_BAUDRATE);
  ::SetFocus(combo);
  COMBOBOXINFO info{};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(::GetComboBoxInfo(combo, &info));
  ::SendMessageW(info.hwndItem, WM_KEYDOWN, VK_DOWN, 0);
  ::SendMessageW(info.hwndItem, WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(platform::GetWindowState(comboRecord)->curSel, 1);
  EXPECT_EQ(platform::GetWindowState(comboRecord)->text, platform::GetWindowState(comboRecord)->items[1]);
  EXPECT_EQ(dlg.Count(WM_COMMAND, platform::MAKEWPARAM(IDC_BAUDRATE, CBN_SELCHANGE)), 2);

  // Enter and Escape as the dialog manager reads them.
  for (const WPARAM key : {static_cast<WPARAM>(VK_RETURN), static_cast<WPARAM>(VK_ESCAPE)}) {
    MSG msg{};
    msg.hwnd = combo;
    msg.message = WM_KEYDOWN;
    msg.wParam = key;
    EXPECT_TRUE(::IsDialogMessageW(native, &msg));
  }
  EXPECT_EQ(dlg.Count(WM_COMMAND, platform::MAKEWPARAM(IDOK, BN_CLICKED)), 1);
  EXPECT_EQ(dlg.Count(WM_COMMAND, platform::MAKEWPARAM(IDCANCEL, BN_CLICKED)), 1);

  // The close box's WM_CLOSE reaches the object once; the layer's default makes it IDCANCEL,
  // and the system adds none of its own.
  ::SendMessageW(native, WM_CLOSE, 0, 0);
  PumpNative(100);
  EXPECT_EQ(dlg.Count(WM_CLOSE, 0), 1);
  EXPECT_EQ(dlg.Count(WM_COMMAND, platform::MAKEWPARAM(IDCANCEL, BN_CLICKED)), 2);

  // A press on the surface keeps its point.
  ::SendMessageW(native, WM_LBUTTONDOWN, MK_LBUTTON, platform::MAKELPARAM(7, 9));
  EXPECT_EQ(dlg.Count(WM_LBUTTONDOWN, MK_LBUTTON), 1);
  EXPECT_EQ(dlg.seen.back().lParam, platform::MAKELPARAM(7, 9));

  // System commands pass the object, and their default is the system's.
  ::SendMessageW(native, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_EQ(dlg.Count(WM_SYSCOMMAND, SC_MINIMIZE), 1);
  EXPECT_TRUE(::IsIconic(native));
  EXPECT_TRUE(dlg.IsIconic());
  ::SendMessageW(native, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(::IsIconic(native));
  EXPECT_FALSE(dlg.IsIconic());

  // Records changed by the program show on the screen.
  dlg.GetDlgItem(IDC_STATUS)->SetWindowText("Transferring \xC3\x9C" "ber");
  EXPECT_EQ(TextOf(::GetDlgItem(native, IDC_STATUS)), L"Transferring \u00DCber");
  dlg.GetDlgItem(IDC_READ)->ShowWindow(SW_HIDE);
  EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(native, IDC_READ)));
  dlg.SetWindowText("Renamed");
  EXPECT_EQ(TextOf(native), L"Renamed");
  platform::SendMessage(platform::GetDlgItem(dlg.m_hWnd, IDC_PROGRESS), PBM_SETPOS, 42, 0);
  EXPECT_EQ(::SendMessageW(::GetDlgItem(native, IDC_PROGRESS), PBM_GETPOS, 0, 0), 42);

  // A tooltip follows the record: added, changed, removed.
  platform::CWnd* exit = dlg.GetDlgItem(IDC_EXIT);
  const auto tipText = [&]() -> std::wstring {
    ::HWND tips = nullptr;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](::HWND hwnd, LPARAM found) -> BOOL {
          if (SameClass(hwnd, TOOLTIPS_CLASSW)) *reinterpret_cast<::HWND*>(found) = hwnd;
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&tips));
    if (tips == nullptr) return L"<no tooltip window>";
    wchar_t text[256] = L"";
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = native;
    tool.uId = reinterpret_cast<UINT_PTR>(::GetDlgItem(native, IDC_EXIT));
    tool.lpszText = text;
    if (!::SendMessageW(tips, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool))) return L"<none>";
    ::SendMessageW(tips, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
    return text;
  };
  exit->SetToolTipText("Ends the program");
  EXPECT_EQ(tipText(), L"Ends the program");
  exit->SetToolTipText("Ends it\nat once");
  EXPECT_EQ(tipText(), L"Ends it\nat once");
  exit->SetToolTipText("");
  EXPECT_EQ(tipText(), L"<none>");
  EXPECT_TRUE(dlg.DestroyWindow());
}

// A label whose object paints it, counting its paints.
class CCountingLabel : public platform::CWnd {
 public:
  int paints = 0;
  const platform::AFX_MSGMAP* GetMessageMap() const override {
    static const platform::AFX_MSGMAP_ENTRY entries[] = {
        {WM_PAINT, 0, 0, [](platform::CWnd* w, WPARAM, LPARAM) -> LRESULT {
           ++static_cast<CCountingLabel*>(w)->paints;
           platform::CPaintDC dc(w);
           platform::RECT rc;
           w->GetClientRect(&rc);
           platform::CBrush brush(platform::RGB(10, 120, 200));
           dc.FillRect(&rc, &brush);
           return 0;
         }},
        {0, 0, 0, nullptr}};
    static const platform::AFX_MSGMAP map = {platform::CWnd::GetThisMessageMap(), &entries[0]};
    return &map;
  }
};

class CLabelDialog : public platform::CDialog {
 public:
  CLabelDialog() : CDialog(IDD_QUORIN_DIALOG) {}
  CCountingLabel label;
  void DoDataExchange() override { platform::DDX_Control(this, IDC_FILENAME, label); }
};

TEST_F(Win32Dialog, AnOwnerPaintedControlIsPaintedByItsObjectOnlyWhenItChanged) {
  RegisterQuorinResources();
  CLabelDialog dlg;
  ASSERT_TRUE(dlg.Create());
  const ::HWND native = ::GetDlgItem(Backend().NativeWindow(dlg.m_hWnd), IDC_FILENAME);
  ASSERT_TRUE(SameClass(native, platform::CWin32PaintedControl::kClassName));
  PumpNative(200);
  ASSERT_GE(dlg.label.paints, 1);
  EXPECT_EQ(PixelsDifferingFromPicture(native, dlg.label.m_hWnd), 0);

  // Uncovered by the system: shown again from the picture, the object is not asked.
  const int painted = dlg.label.paints;
  ::RedrawWindow(native, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  PumpNative(100);
  EXPECT_EQ(dlg.label.paints, painted);
  EXPECT_EQ(PixelsDifferingFromPicture(native, dlg.label.m_hWnd), 0);

  // Invalidated by the program: painted once more, now (UpdateWindow).
  dlg.label.Invalidate(TRUE);
  dlg.label.UpdateWindow();
  EXPECT_EQ(dlg.label.paints, painted + 1);
  PumpNative(100);
  EXPECT_EQ(dlg.label.paints, painted + 1);
  EXPECT_TRUE(dlg.DestroyWindow());
}

// A dialog whose run is driven by a layer timer and by posts from another thread; its first
// tick opens a message box, whose own loop must go on dispatching both.
class CTickingDialog : public platform::CDialog {
 public:
  static constexpr UINT_PTR kTick = 5;
  static constexpr UINT kPosted = WM_APP + 7;
  static constexpr int kPosts = 40;
  CTickingDialog() : CDialog(IDD_ABOUTBOX) {}
  std::atomic<int> ticks{0};
  int ticksInBox = 0;
  int posts = 0;
  std::thread poster;
  BOOL OnInitDialog() override {
    SetTimer(kTick, 15);
    const platform::HWND hWnd = m_hWnd;
    poster = std::thread([hWnd] {
      for (int i = 0; i < kPosts; ++i) {
        platform::PostMessage(hWnd, kPosted, static_cast<WPARAM>(i), 0);
        ::Sleep(3);
      }
    });
    return TRUE;
  }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_TIMER && wParam == kTick) {
      if (++ticks == 1) {
        const int before = ticks;
        platform::MessageBox(m_hWnd, "Box text", "box caption", MB_OK | MB_ICONEXCLAMATION);
        ticksInBox = ticks - before;
      }
      return 0;
    }
    if (message == kPosted) {
      EXPECT_EQ(static_cast<int>(wParam), posts) << "posts arrive in order";
      ++posts;
      return 0;
    }
    return CDialog::WindowProc(message, wParam, lParam);
  }
};

TEST_F(Win32Dialog, ModalRunAndMessageBoxDispatchPostsFromOtherThreadsAndTimers) {
  RegisterQuorinResources();
  CTickingDialog dlg;
  ::HWND box = nullptr;
  std::wstring boxText, boxCaption;
  ::HWND boxOwner = nullptr;
  bool ownerEnabledUnderBox = true;
  CUserScript script;
  script
      .Then("the box, with ticks and every post arriving while it is up",
            [&] {
              const std::vector<::HWND> shown = ShownDialogs();
              for (::HWND w : shown) {
                if (TextOf(w) == L"box caption") box = w;
              }
              return box != nullptr && dlg.ticks >= 4 && dlg.posts == CTickingDialog::kPosts;
            },
            [&] {
              boxText = BoxText(box);
              boxCaption = TextOf(box);
              boxOwner = ::GetWindow(box, GW_OWNER);
              ownerEnabledUnderBox = ::IsWindowEnabled(Backend().NativeWindow(dlg.m_hWnd)) != FALSE;
              ::SendMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            })
      .Then("the box gone", [&] { return !::IsWindow(box); }, [&] { dlg.EndDialog(IDOK); })
      .Start([&] { dlg.EndDialog(IDCANCEL); });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  dlg.poster.join();
  EXPECT_TRUE(script.Finished());
  EXPECT_GE(dlg.ticksInBox, 3);
  EXPECT_EQ(dlg.posts, CTickingDialog::kPosts);
  EXPECT_EQ(boxText, L"Box text");
  EXPECT_EQ(boxCaption, L"box caption");
  EXPECT_NE(boxOwner, nullptr);
  EXPECT_FALSE(ownerEnabledUnderBox);
}

// ---- the program as a person sees it ---------------------------------------------------------

class Win32Program : public CWin32WindowTest {};

// A COM port the command line can name that opens nothing: the window then shows its "no
// port" state, and no real device is ever opened. Under the Windows test run every such port is
// a link the line broker points; one is pointed at a path that does not exist.
std::string MissingPort() {
  if (MapComPortRemote("COM8", "/nonexistent/quorin-no-line")) return "COM8";
  for (int n = 2; n <= 8; ++n) {
    const std::wstring name = L"COM" + std::to_wstring(n);
    wchar_t target[512];
    if (::QueryDosDeviceW(name.c_str(), target, 512) == 0) return WideToUtf8(name);
  }
  return std::string();
}

::HWND FindShownDialog(const std::wstring& caption) {
  for (::HWND w : ShownDialogs()) {
    if (TextOf(w) == caption) return w;
  }
  return nullptr;
}

TEST_F(Win32Program, MainWindowAndAboutBoxAsAPersonSeesThem) {
  const std::string port = MissingPort();
  if (port.empty()) GTEST_SKIP() << "every COM port the command line can name exists here";
  RegisterQuorinResources();
  const platform::DialogTemplate* about = platform::FindDialogTemplate(IDD_ABOUTBOX);
  ASSERT_NE(about, nullptr);

  std::wstring portBox, portBoxCaption;
  ::HWND box = nullptr, main = nullptr, aboutBox = nullptr, portsBox = nullptr;
  std::wstring portsList;
  ULONGLONG mark = 0;
  const auto settled = [&mark] { return ::GetTickCount64() - mark > 300; };
  CUserScript script;
  script
      .Then("the port's message box",
            [&] {
              for (::HWND w : ShownDialogs()) {
                if (w != Backend().NativeWindow(QuorinMainDialog()) && !BoxText(w).empty()) box = w;
              }
              return box != nullptr;
            },
            [&] {
              portBox = BoxText(box);
              portBoxCaption = TextOf(box);
              ::SendMessageW(::GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            })
      .Then("the main window on the screen, painted",
            [&] {
              main = Backend().NativeWindow(QuorinMainDialog());
              if (main == nullptr || !::IsWindowVisible(main)) return false;
              ::RedrawWindow(main, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
              return platform::GetWindowPaintBuffer(platform::GetDlgItem(QuorinMainDialog(), IDC_PROGRESS)) != nullptr &&
                     platform::GetWindowPaintBuffer(platform::GetDlgItem(QuorinMainDialog(), IDC_FILENAME)) != nullptr;
            },
            [&] { mark = ::GetTickCount64(); })
      .Then("the main window settled", settled,
            [&] {
              const platform::HWND hDlg = QuorinMainDialog();
              ExpectDialogAsTemplate(main, hDlg);
              EXPECT_EQ(TextOf(::GetDlgItem(main, IDC_STATUS)), L" Not Connected");
              EXPECT_EQ(WideToUtf8(TextOf(::GetDlgItem(main, IDC_COMPORT))), port);

              // The system menu ends with the program's items: a separator, Ports and About.
              const ::HMENU menu = ::GetSystemMenu(main, FALSE);
              const int count = ::GetMenuItemCount(menu);
              ASSERT_GE(count, 4);
              EXPECT_NE(::GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND), static_cast<UINT>(-1));
              MENUITEMINFOW item{};
              item.cbSize = sizeof(item);
              item.fMask = MIIM_FTYPE;
              ASSERT_TRUE(::GetMenuItemInfoW(menu, static_cast<UINT>(count - 3), TRUE, &item));
              EXPECT_NE(item.fType & MFT_SEPARATOR, 0u);
              EXPECT_EQ(::GetMenuItemID(menu, count - 2), PORTS_COMMAND);
              EXPECT_EQ(::GetMenuItemID(menu, count - 1), ABOUT_COMMAND);
              wchar_t label[64] = L"";
              ::GetMenuStringW(menu, static_cast<UINT>(count - 1), label, 64, MF_BYPOSITION);
              EXPECT_EQ(WideToUtf8(label), platform::LoadStringResource(IDS_ABOUTBOX));

              // Title bar and task bar icons, at the system's sizes.
              for (const WPARAM which : {static_cast<WPARAM>(ICON_BIG), static_cast<WPARAM>(ICON_SMALL)}) {
                const auto icon = reinterpret_cast<::HICON>(::SendMessageW(main, WM_GETICON, which, 0));
                ASSERT_NE(icon, nullptr);
                ICONINFO info{};
                ASSERT_TRUE(::GetIconInfo(icon, &info));
                BITMAP bitmap{};
                ::GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
                EXPECT_EQ(bitmap.bmWidth, ::GetSystemMetrics(which == ICON_BIG ? SM_CXICON : SM_CXSMICON));
                ::DeleteObject(info.hbmColor);
                ::DeleteObject(info.hbmMask);
              }

              // The owner-painted label and bar show their pictures, pixel for pixel.
              for (int id : {IDC_FILENAME, IDC_PROGRESS}) {
                SCOPED_TRACE(id);
                EXPECT_EQ(PixelsDifferingFromPicture(::GetDlgItem(main, id), platform::GetDlgItem(hDlg, id)), 0);
              }
              EXPECT_TRUE(WritePng(BuildFolderPath("screenshot-main.png"), GrabWindow(main)));
              // What choosing "About" in the system menu sends.
              ::PostMessageW(main, WM_SYSCOMMAND, ABOUT_COMMAND, 0);
            })
      .Then("the About box on the screen",
            [&] {
              aboutBox = FindShownDialog(Utf8ToWide(about->caption));
              return aboutBox != nullptr;
            },
            [&] { mark = ::GetTickCount64(); })
      .Then("the About box settled", settled,
            [&] {
              EXPECT_EQ(::GetWindow(aboutBox, GW_OWNER), main);
              EXPECT_FALSE(::IsWindowEnabled(main)) << "the main window takes no input under its modal box";
              EXPECT_EQ(::GetWindowLongW(aboutBox, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
              EXPECT_TRUE(WritePng(BuildFolderPath("screenshot-about.png"), GrabWindow(aboutBox)));
              ::SendMessageW(::GetDlgItem(aboutBox, IDOK), BM_CLICK, 0, 0);
            })
      .Then("the About box gone, the main window usable again",
            [&] { return !::IsWindow(aboutBox) && ::IsWindowEnabled(main); },
            [&] { ::PostMessageW(main, WM_SYSCOMMAND, PORTS_COMMAND, 0); })
      .Then("the Ports dialog on the screen",
            [&] {
              portsBox = FindShownDialog(L"Ports");
              return portsBox != nullptr;
            },
            [&] { mark = ::GetTickCount64(); })
      .Then("the Ports dialog settled", settled,
            [&] {
              EXPECT_EQ(::GetWindow(portsBox, GW_OWNER), main);
              // It lists the system's ports; nothing here assigns one.
              portsList = TextOf(::GetDlgItem(portsBox, IDC_PORTS_LIST));
              for (int id : {IDC_PORTS_DEVICE, IDC_PORTS_ENTRY, IDC_PORTS_ASSIGN}) {
                EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(portsBox, id))) << id;
              }
              EXPECT_TRUE(WritePng(BuildFolderPath("screenshot-ports.png"), GrabWindow(portsBox)));
              ::SendMessageW(::GetDlgItem(portsBox, IDOK), BM_CLICK, 0, 0);
            })
      .Then("the Ports dialog gone",
            [&] { return !::IsWindow(portsBox) && ::IsWindowEnabled(main); },
            [&] { ::SendMessageW(::GetDlgItem(main, IDC_EXIT), BM_CLICK, 0, 0); })
      .Start([] { platform::DestroyWindow(QuorinMainDialog()); }, 60000);

  RunQuorinMainDialog({"quorin", "-c", port});
  EXPECT_TRUE(script.Finished());
  // The head, then why: the device the port names is not there.
  EXPECT_EQ(WideToUtf8(portBox), "Port Open Error\nNo such device: \\\\.\\" + port + ".");
  EXPECT_EQ(WideToUtf8(portsList).rfind("COM ports:\n  COM1: ", 0), 0u) << WideToUtf8(portsList);
  EXPECT_NE(WideToUtf8(portsList).find("Serial ports of this system:"), std::string::npos);
  EXPECT_EQ(WideToUtf8(portBoxCaption), platform::GetModuleBaseName());
  EXPECT_FALSE(::IsWindow(main));
}

// ---- pictures, icons and the file dialog -----------------------------------------------------

TEST(Win32Pixels, IconClearnessBecomesAlphaAndClearPixelsLendNoColour) {
  // Left half opaque red, right half clear blue, one half-clear green pixel.
  platform::CPixelBuffer icon(4, 4, platform::RGB(255, 0, 0));
  for (int y = 0; y < 4; ++y) {
    for (int x = 2; x < 4; ++x) icon.Set(x, y, platform::RGB(0, 0, 255) | 0xFF000000u);
  }
  icon.Set(0, 0, platform::RGB(0, 255, 0) | 0x80000000u);

  const ::HICON native = platform::win32ui::MakeNativeIcon(icon, 4);
  ASSERT_NE(native, nullptr);
  ICONINFO info{};
  ASSERT_TRUE(::GetIconInfo(native, &info));
  BITMAPINFO bmi = platform::win32ui::TopDownDibInfo(4, 4);
  std::uint32_t bits[16] = {};
  ::HDC dc = ::GetDC(nullptr);
  EXPECT_EQ(::GetDIBits(dc, info.hbmColor, 0, 4, bits, &bmi, DIB_RGB_COLORS), 4);
  ::ReleaseDC(nullptr, dc);
  ::DeleteObject(info.hbmColor);
  ::DeleteObject(info.hbmMask);
  ::DestroyIcon(native);
  EXPECT_EQ(bits[0], 0x7F00FF00u);   // green, alpha 255 - 0x80
  EXPECT_EQ(bits[1], 0xFFFF0000u);   // opaque red as 0xAARRGGBB
  EXPECT_EQ(bits[2] >> 24, 0u);      // clear
  EXPECT_EQ(bits[15] >> 24, 0u);

  // Halved: the red column pair stays red and opaque, the clear pair stays clear, and the
  // block with the half-clear green pixel is mostly red.
  const platform::CPixelBuffer half = platform::win32ui::ResampleIcon(icon, 2);
  ASSERT_EQ(half.Width(), 2);
  EXPECT_EQ(half.Get(0, 1), platform::RGB(255, 0, 0));
  EXPECT_EQ(half.Get(1, 1) >> 24, 255u);
  const COLORREF mixed = half.Get(0, 0);
  EXPECT_GT(platform::GetRValue(mixed), 180);
  EXPECT_GT(platform::GetGValue(mixed), 20);
  EXPECT_EQ(platform::GetBValue(mixed), 0);  // the clear blue next to it lends nothing
  EXPECT_LT(mixed >> 24, 40u);
}

TEST(Win32Pixels, TextIsDrawnWhereAndAsWideAsItIsMeasured) {
  const auto font = static_cast<::HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  const std::wstring text = L"Quorin \u00DC";
  const ::SIZE size = platform::win32ui::MeasureGdiText(font, text);
  ASSERT_GT(size.cx, 0);
  const COLORREF face = platform::RGB(212, 208, 200);
  platform::CPixelBuffer target(size.cx + 20, size.cy + 10, face);
  const platform::RECT clip{0, 0, target.Width(), target.Height()};
  platform::win32ui::RenderGdiText(font, target, 10, 5, text, platform::RGB(0, 0, 0), clip);
  int left = target.Width(), right = -1, top = target.Height(), bottom = -1;
  for (int y = 0; y < target.Height(); ++y) {
    for (int x = 0; x < target.Width(); ++x) {
      if (target.Get(x, y) == face) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  ASSERT_GE(right, 0) << "nothing was drawn";
  EXPECT_GE(left, 10);
  EXPECT_LT(right, 10 + size.cx);
  EXPECT_GE(top, 5);
  EXPECT_LT(bottom, 5 + size.cy);
  EXPECT_GT(right - left, size.cx / 2);
}

class Win32Files : public CWin32WindowTest {};

TEST_F(Win32Files, SaveDialogStartsInTheFolderAndAddsTheDefaultExtension) {
  platform::FileDialogRequest request;
  request.save = true;
  request.filter = "Upload File (*.bin)|*.bin|All File (*.*)|*.*||";
  request.initialFolder = WideToUtf8(m_settings.wstring());
  request.defaultExt = "bin";
  request.overwritePrompt = true;
  CUserScript script;
  script
      .Then("the save dialog", [] { return !ShownDialogs().empty(); },
            [] {
              const ::HWND dialog = ShownDialogs().front();
              // The name field (the combo box of newer dialogs, the edit field of older ones).
              ::HWND field = ::GetDlgItem(dialog, cmb13);
              if (field == nullptr) field = ::GetDlgItem(dialog, edt1);
              ::SetWindowTextW(field, L"D\u00F6sen");
              ::PostMessageW(dialog, WM_COMMAND, platform::MAKEWPARAM(IDOK, BN_CLICKED),
                             reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDOK)));
            })
      .Start([] {
        for (::HWND dialog : ShownDialogs()) ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      });
  const platform::FileDialogResult result = platform::RunFileDialog(nullptr, request);
  EXPECT_TRUE(script.Finished());
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.fileName, "D\xC3\xB6sen.bin");
  EXPECT_EQ(result.ext, "bin");
  EXPECT_EQ(std::filesystem::path(Utf8ToWide(result.path)), m_settings / L"D\u00F6sen.bin");
}

// ---- the programs' resources -------------------------------------------------------------------

TEST(Win32Resources, IconVersionAndManifestAreInTheProgram) {
  // The suite links the programs' resource script, so its own module holds what they hold.
  const ::HRSRC group = ::FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_MAINFRAME), MAKEINTRESOURCEW(14));
  ASSERT_NE(group, nullptr);
  const auto* dir = static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, group)));
  ASSERT_NE(dir, nullptr);
  // GRPICONDIR: reserved, type, count, then 14-byte entries starting with width and height.
  const WORD count = *reinterpret_cast<const WORD*>(dir + 4);
  std::vector<int> sizes;
  for (WORD i = 0; i < count; ++i) {
    const int width = dir[6 + 14 * i];
    sizes.push_back(width == 0 ? 256 : width);
  }
  for (int wanted : {16, 32, 48, 256}) {
    EXPECT_NE(std::find(sizes.begin(), sizes.end(), wanted), sizes.end()) << wanted << " px";
  }
  const auto icon = static_cast<::HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                                      IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
  EXPECT_NE(icon, nullptr);
  if (icon != nullptr) ::DestroyIcon(icon);

  wchar_t path[MAX_PATH];
  ASSERT_GT(::GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
  DWORD ignored = 0;
  std::vector<BYTE> version(::GetFileVersionInfoSizeW(path, &ignored));
  ASSERT_FALSE(version.empty());
  ASSERT_TRUE(::GetFileVersionInfoW(path, 0, static_cast<DWORD>(version.size()), version.data()));
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(version.data(), L"\\StringFileInfo\\040904B0\\ProductVersion", &value, &length));
  EXPECT_EQ(WideToUtf8(static_cast<const wchar_t*>(value)), QUORIN_EXPECTED_VERSION);
  ASSERT_TRUE(::VerQueryValueW(version.data(), L"\\", &value, &length));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  const std::string expected = QUORIN_EXPECTED_VERSION;
  EXPECT_EQ(std::to_string(platform::HIWORD(fixed->dwProductVersionMS)) + "." + std::to_string(platform::LOWORD(fixed->dwProductVersionMS)),
            expected.substr(0, expected.find('.', expected.find('.') + 1)));

  const ::HRSRC manifest = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(manifest, nullptr);
  // Where the system reads it (Windows 10 and later), the process is per-monitor aware.
  using GetContext = void*(WINAPI*)();
  using GetAwareness = int(WINAPI*)(void*);
  const ::HMODULE user = ::GetModuleHandleW(L"user32.dll");
  const auto context = reinterpret_cast<GetContext>(reinterpret_cast<void*>(::GetProcAddress(user, "GetThreadDpiAwarenessContext")));
  const auto awareness = reinterpret_cast<GetAwareness>(
      reinterpret_cast<void*>(::GetProcAddress(user, "GetAwarenessFromDpiAwarenessContext")));
  if (context != nullptr && awareness != nullptr) {
    EXPECT_EQ(awareness(context()), 2);
  }
}

}  // namespace
