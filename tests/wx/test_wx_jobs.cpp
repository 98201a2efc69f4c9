// The program at work in its window: boxes and file dialogs raised by jobs, deliveries from
// the serial reader, the About box from the context menu. Screenshots of the main window (idle
// and during a transfer) and the About box go to the build folder.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/quorin_dlg.h"
#include "platform/os/process.h"
#include "platform/os/settings.h"
#include "platform/ui/drawing.h"
#include "platform/ui/wx/wx_ui_backend.h"
#include "resources/resource.h"
#include "serial/serial_comm.h"
#include "tests/support/pty_peer.h"
#include "transfer/profile_keys.h"
#include "tests/support/sim_runner.h"
#include "tests/wx/wx_test_support.h"

#include <wx/display.h>

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <wx/uiaction.h>

namespace {

// The main dialog with its deliveries watched: each records the thread it ran on.
class CWatchedDlg : public CQuorinDlg {
 public:
  using CQuorinDlg::CQuorinDlg;
  LRESULT OnWatchedDelivery(WPARAM wParam, LPARAM lParam) {
    m_threads.push_back(std::this_thread::get_id());
    return OnReceiverEvent(wParam, lParam);
  }
  std::vector<std::thread::id> m_threads;
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CWatchedDlg, CQuorinDlg)
  ON_MESSAGE(WM_SERIAL_DATA, OnWatchedDelivery)
END_MESSAGE_MAP()

// A file dialog expected: what it was asked is kept; the path is the answer, Cancel when none.
struct SeenFileDialog {
  std::string wildcard, folder, name;
  long style = 0;
};
class CExpectFile : public wxExpectModalBase<wxFileDialog, CExpectFile> {
 public:
  CExpectFile(std::string path, SeenFileDialog* seen) : m_path(std::move(path)), m_pSeen(seen) {}

 protected:
  int OnInvoked(wxFileDialog* dialog) const override {
    *m_pSeen = {FromWx(dialog->GetWildcard()), FromWx(dialog->GetDirectory()),
                FromWx(dialog->GetFilename()), dialog->GetWindowStyle()};
    if (m_path.empty()) return wxID_CANCEL;
    dialog->SetPath(ToWx(m_path));
    return wxID_OK;
  }

 private:
  std::string m_path;
  SeenFileDialog* m_pSeen;
};

wxFileDialog* ShownFileDialog() {
  wxFileDialog* dialog = CRealFileDialogs::Running();
  return dialog != nullptr && dialog->IsShownOnScreen() ? dialog : nullptr;
}

std::string ShotPath(const char* name) { return std::string(QUORIN_BUILD_DIR) + "/" + name; }

wxString StatusText(HWND hDlg) {
  auto* frame = WidgetFor(GetDlgItem(hDlg, IDC_STATUS));
  if (frame == nullptr || frame->GetChildren().empty()) return wxString();
  return frame->GetChildren().front()->GetLabel();
}

class WindowAtWork : public CMainWindowTest {};

// Send and Read ask through file dialogs that open in the folder of the last software image,
// Read proposing the name the command-line help gives the receiver's database; a file the job
// refuses is said in a box of the main window.
TEST_F(WindowAtWork, FileDialogsAndBoxesOfJobsAreAnsweredThroughTheTestHook) {
  const std::string folder = m_tmp.Path("images");
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  ASSERT_TRUE(WriteProfileString(PROFILE_SECTION, PROFILE_FOLDER, folder));
  const std::string file = folder + "/tiny.bin";
  std::ofstream(file) << std::string(1000, 'x');
  const std::string readInto = folder + "/database.bin";
  SeenFileDialog send, read;
  std::string text, caption;
  wxWindow* owner = nullptr;
  CQuorinDlg dlg;
  CUserScript script;
  script.Then("the window on screen", [&] { return IsShownOnScreen(dlg.m_hWnd); },
              [&] { ClickOn(Control(IDC_SEND)); })
      .Then("the job refused the file", [&] { return StatusText(dlg.m_hWnd) == "Invalid File"; },
            [&] { ClickOn(Control(IDC_READ)); })
      .Then("the read job armed", [&] { return StatusText(dlg.m_hWnd) == "Turn on the STB"; },
            [&] { ClickOn(Control(IDC_EXIT)); })
      .Run(dlg, [&] {
        wxTEST_DIALOG(dlg.DoModal(), CExpectFile(file, &send), CExpectBox(&text, &caption, &owner),
                      CExpectFile(readInto, &read));
      });
  EXPECT_EQ(text, "Invalid File");
  EXPECT_EQ(caption, GetModuleBaseName());
  EXPECT_NE(dynamic_cast<CWxDialogWindow*>(owner), nullptr) << "the box belongs to the main window";
  EXPECT_EQ(send.wildcard, "Download File (*.bin;*.sdx)|*.bin;*.[bB][iI][nN];*.sdx;*.[sS][dD][xX]|"
                           "SatCoDx Files (*.sdx)|*.sdx;*.[sS][dD][xX]|All File (*.*)|*");
  EXPECT_TRUE(send.style & wxFD_OPEN);
  EXPECT_EQ(send.folder, folder);
  EXPECT_EQ(send.name, "");
  EXPECT_EQ(read.wildcard, "Upload File (*.bin)|*.bin;*.[bB][iI][nN]|All File (*.*)|*");
  EXPECT_TRUE((read.style & wxFD_SAVE) && (read.style & wxFD_OVERWRITE_PROMPT));
  EXPECT_EQ(read.folder, folder);
  EXPECT_EQ(read.name, "upload_db.bin");
  // The read job writes only its working file, and an abandoned one that received nothing
  // leaves nothing behind.
  EXPECT_FALSE(std::ifstream(readInto).good());
  EXPECT_FALSE(std::ifstream(CTransferEngine::PartialPath(readInto)).good());
}

// The file chooser remembers its size from program to program; one left as large as the screen
// still opens at no more than two thirds of it, and on the screen.
TEST_F(WindowAtWork, AFileDialogOpensAtNoMoreThanTwoThirdsOfTheScreen) {
  GSettingsSchemaSource* schemas = g_settings_schema_source_get_default();
  GSettingsSchema* schema = schemas != nullptr
                                ? g_settings_schema_source_lookup(schemas, "org.gtk.Settings.FileChooser", TRUE)
                                : nullptr;
  if (schema == nullptr) GTEST_SKIP() << "the toolkit's file chooser settings are not installed";
  g_settings_schema_unref(schema);
  GSettings* settings = g_settings_new("org.gtk.Settings.FileChooser");
  const wxRect screen = wxDisplay(0u).GetGeometry();
  g_settings_set(settings, "window-size", "(ii)", screen.width * 2, screen.height * 2);

  CRealFileDialogs realDialogs;
  CQuorinDlg dlg;
  std::vector<wxRect> places;
  CUserScript script;
  script.Then("the window on screen", [&] { return IsShownOnScreen(dlg.m_hWnd); }, [] {});
  for (int id : {IDC_SEND, IDC_READ}) {
    script.Then("the window free", [] { return CRealFileDialogs::Running() == nullptr; },
                [&, id] { ClickOn(Control(id)); })
        .Then("the file dialog on screen", [] { return ShownFileDialog() != nullptr; }, [] {})
        .After(700, "the file dialog settled", [&] {
          wxFileDialog* dialog = ShownFileDialog();
          ASSERT_NE(dialog, nullptr);
          // The toolkit's own window: the dialog object does not follow its size.
          GdkRectangle frame{};
          gdk_window_get_frame_extents(gtk_widget_get_window(dialog->GetHandle()), &frame);
          places.push_back(wxRect(frame.x, frame.y, frame.width, frame.height));
          if (id == IDC_READ) GrabScreen(ShotPath("screenshot-read-dialog.png"));
          dialog->EndModal(wxID_CANCEL);
        });
  }
  script.Then("the window free", [] { return CRealFileDialogs::Running() == nullptr; },
              [&] { ClickOn(Control(IDC_EXIT)); })
      .Run(dlg, nullptr, 30000);
  g_object_unref(settings);

  const wxRect area = wxDisplay(0u).GetClientArea();
  ASSERT_EQ(places.size(), 2u);
  for (const wxRect& place : places) {
    EXPECT_LE(place.width, area.width * 2 / 3 + 2) << place.width << "x" << place.height;
    EXPECT_LE(place.height, area.height * 2 / 3 + 2) << place.width << "x" << place.height;
    EXPECT_TRUE(area.Contains(place)) << place.x << "," << place.y << " " << place.width << "x" << place.height;
  }
}

// A box the start-up shows before its window is on screen stands in the middle of the screen,
// not where a window that is not placed yet would be (the top-left corner).
TEST_F(WindowAtWork, APortErrorAtStartUpStandsInTheMiddleOfTheScreen) {
  ASSERT_TRUE(MapComPort("COM1", m_tmp.Path("no-such-device")));
  // The real box, not the test hook's stand-in: where it stands is the point.
  auto shownBox = []() -> wxMessageDialogBase* {
    for (wxWindow* w : wxTopLevelWindows) {
      if (auto* box = dynamic_cast<wxMessageDialogBase*>(w); box != nullptr && box->IsShownOnScreen()) return box;
    }
    return nullptr;
  };
  std::string text;
  wxRect place;
  wxWindow* owner = nullptr;
  CRealBoxes realBoxes;
  CQuorinDlg dlg;
  CUserScript script;
  script.Then("the box on screen", [&] { return shownBox() != nullptr; },
              [&] {
                wxMessageDialogBase* box = shownBox();
                place = box->GetScreenRect();
                owner = box->GetParent();
                text = FromWx(box->GetMessage());
                box->EndModal(wxID_OK);
              })
      .Then("the window on screen", [&] { return IsShownOnScreen(dlg.m_hWnd); },
            [&] { ClickOn(Control(IDC_EXIT)); })
      .Run(dlg);
  EXPECT_EQ(text.substr(0, text.find('\n')), "Port Open Error");
  // Centred on a window that is not on screen yet, it would stand wherever the desktop had not
  // yet placed that window.
  EXPECT_EQ(owner, nullptr) << "the box stands on its own";
  const wxRect screen = wxDisplay(0u).GetGeometry();
  const wxPoint middle(screen.x + screen.width / 2, screen.y + screen.height / 2);
  const wxPoint centre(place.x + place.width / 2, place.y + place.height / 2);
  EXPECT_LE(std::abs(centre.x - middle.x), 40) << place.x << "," << place.y;
  EXPECT_LE(std::abs(centre.y - middle.y), 40) << place.x << "," << place.y;
}

TEST_F(WindowAtWork, DeliveriesFromTheReaderRunOnTheWindowThreadThroughATransfer) {
  CSimRunner sim;
  ASSERT_TRUE(sim.Start({"--job", "software", "--expect-speed", "5", "--timeout", "60"}));
  ASSERT_TRUE(WriteProfileString("Devices", "COM1", sim.SlavePath()));
  const std::string image = m_tmp.MakeFile("image.bin", Pattern(0x60000 + 0x40000));
  const char* argv[] = {"quorin", "-p", image.c_str()};
  CWatchedDlg dlg(nullptr, 3, argv);

  bool screenshot = false;
  std::string done;
  CUserScript script;
  script.Then("the data flowing", [&] { return IsShownOnScreen(dlg.m_hWnd) && dlg.m_ctlProgress.GetPos() >= 30; },
            [&] {
              // The transfer waits for the window thread while the screen is taken.
              dlg.UpdateWindow();
              CWxDialogWindow* win = DialogWindowFor(dlg.m_hWnd);
              win->Update();
              screenshot = GrabScreen(ShotPath("screenshot-main-transfer.png"), win->GetScreenRect());
            })
      .Then("the job done", [&] { return !done.empty(); }, [&] { ClickOn(Control(IDC_EXIT)); })
      .Run(dlg, [&] { wxTEST_DIALOG(dlg.DoModal(), CExpectBox(&done)); }, 60000);
  EXPECT_EQ(done, "Done");
  EXPECT_TRUE(screenshot) << "no screenshot (is ImageMagick's import installed?)";
  ASSERT_TRUE(sim.Wait(20000));
  EXPECT_EQ(sim.ExitStatus(), 0) << sim.Output();

  ASSERT_GT(dlg.m_threads.size(), 10u);
  for (const std::thread::id& id : dlg.m_threads) {
    ASSERT_EQ(id, std::this_thread::get_id()) << "a delivery ran off the window thread";
  }
}

// Pixels on screen that differ from the picture the owner-painted control painted last.
int DifferingFromItsPicture(HWND hWnd) {
  wxWindow* panel = WidgetFor(hWnd);
  const CPixelBuffer* picture = GetWindowPaintBuffer(hWnd);
  if (panel == nullptr || picture == nullptr) return -1;
  const RECT client = CWxUiBackend::Instance().ClientRectPixels(hWnd);
  EXPECT_EQ(wxSize(picture->Width(), picture->Height()), panel->GetClientSize());
  EXPECT_EQ(wxSize(client.right, client.bottom), panel->GetClientSize());
  const std::string shot = RunFolder() + "/panel.png";
  if (!GrabScreen(shot, wxRect(panel->ClientToScreen(wxPoint(0, 0)), panel->GetClientSize()))) return -1;
  const wxImage screen(ToWx(shot));
  if (!screen.IsOk()) return -1;
  int differing = 0;
  for (int y = 0; y < picture->Height(); ++y) {
    for (int x = 0; x < picture->Width(); ++x) {
      // The theme rounds the frame's corners over the client area.
      if ((x < 4 || x >= picture->Width() - 4) && (y < 4 || y >= picture->Height() - 4)) continue;
      const COLORREF c = picture->Get(x, y);
      differing += screen.GetRed(x, y) != GetRValue(c) || screen.GetGreen(x, y) != GetGValue(c) ||
                   screen.GetBlue(x, y) != GetBValue(c);
    }
  }
  return differing;
}

// The idle window, its owner-painted controls showing their pictures pixel for pixel, and the
// About box from the context menu.
TEST_F(WindowAtWork, IdleWindowAndTheAboutBoxFromTheWindowsContextMenu) {
  CQuorinDlg dlg;
  bool screenshot = false;
  wxSize iconSize;
  std::vector<std::string> texts;
  CUserScript script;
  script.Then("the window on screen", [&] { return IsShownOnScreen(dlg.m_hWnd); }, [] {})
      .After(300, "the idle window painted", [&] {
        CWxDialogWindow* win = DialogWindowFor(dlg.m_hWnd);
        EXPECT_TRUE(GrabScreen(ShotPath("screenshot-main-idle.png"), win->GetScreenRect()));
        // The shaded bar at the start, inside and at the end of its range, for a person to see.
        for (int pos : {0, 100, 42}) {
          dlg.m_ctlProgress.SetPos(pos);
          dlg.m_ctlProgress.UpdateWindow();
          win->Update();
          EXPECT_TRUE(GrabScreen(ShotPath(("screenshot-bar-" + std::to_string(pos) + ".png").c_str()),
                                 win->GetScreenRect()));
        }
      })
      .After(200, "the bar repainted", [&] {
        for (int id : {IDC_FILENAME, IDC_PROGRESS}) {
          EXPECT_EQ(DifferingFromItsPicture(GetDlgItem(dlg.m_hWnd, id)), 0) << "control " << id;
        }
        RightClickSurface(dlg.m_hWnd);
      })
      // Up from the top wraps to the last item, the program's own.
      .After(500, "the menu open", [] { PressKeys({WXK_UP, WXK_RETURN}); })
      .Then("the About box on screen", [] { return FindShownDialog(IDD_ABOUTBOX) != nullptr; }, [] {})
      .After(300, "the About box painted", [&] {
        CWxDialogWindow* about = FindShownDialog(IDD_ABOUTBOX);
        ASSERT_NE(about, nullptr);
        screenshot = GrabScreen(ShotPath("screenshot-about.png"), about->GetScreenRect());
        for (wxWindow* child : about->GetChildren()) {
          if (auto* icon = dynamic_cast<wxStaticBitmap*>(child)) iconSize = icon->GetBitmap().GetSize();
          if (auto* label = dynamic_cast<wxStaticText*>(child)) texts.push_back(FromWx(label->GetLabelText()));
        }
        ClickOn(about->FindControl(GetDlgItem(about->Handle(), IDOK)));
      })
      .Then("the About box closed", [] { return FindShownDialog(IDD_ABOUTBOX) == nullptr; },
            [&] { ClickOn(Control(IDC_EXIT)); })
      .Run(dlg);
  EXPECT_TRUE(screenshot);
  EXPECT_EQ(iconSize, wxSize(32, 32));
  ASSERT_GE(texts.size(), 3u);
  EXPECT_EQ(texts[0], "Quorin SoftWare Loader");
  EXPECT_NE(texts[2].find("Quorin.exe -c COM1"), std::string::npos);
}

}  // namespace
