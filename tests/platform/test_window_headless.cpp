// The controls' built-in handling and what the headless backend records and answers.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/headless_backend.h"
#include "platform/process.h"
#include "platform/window.h"

namespace {

constexpr int IDD_PANEL = 9201;
constexpr int IDC_LIST = 20;
constexpr int IDC_BAR = 30;
constexpr int IDC_STATUS_LINE = 40;

void RegisterPanelTemplate() {
  auto control = [](ControlKind kind, int id, int x, int y, int cx, int cy) {
    return ControlTemplate{kind, id, "", x, y, cx, cy, WS_CHILD | WS_VISIBLE, 0, {}, 0};
  };
  DialogTemplate t{IDD_PANEL, "Panel", "Tahoma", 8, 120, 80,
                   WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, {}};
  t.controls = {control(ControlKind::ComboBox, IDC_LIST, 5, 5, 50, 60),
                control(ControlKind::ProgressBar, IDC_BAR, 5, 25, 100, 10),
                control(ControlKind::Static, IDC_STATUS_LINE, 5, 40, 100, 10)};
  t.controls[0].items = {"COM1", "COM2", "COM3"};
  RegisterDialogTemplate(t);
}

class CPanelDlg : public CDialog {
 public:
  CPanelDlg() : CDialog(IDD_PANEL) {}
  CComboBox m_list;
  CProgressCtrl m_bar;
  std::vector<int> m_selections;
  void DoDataExchange() override {
    DDX_Control(this, IDC_LIST, m_list);
    DDX_Control(this, IDC_BAR, m_bar);
  }
  void OnListChanged() { m_selections.push_back(m_list.GetCurSel()); }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CPanelDlg, CDialog)
  ON_CBN_SELCHANGE(IDC_LIST, OnListChanged)
END_MESSAGE_MAP()

class WindowHeadless : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterPanelTemplate();
    GetHeadlessBackend().Reset();
    ASSERT_TRUE(m_dlg.Create());
  }
  CPanelDlg m_dlg;
};

TEST_F(WindowHeadless, ComboBoxEntriesAndSelection) {
  CComboBox& list = m_dlg.m_list;
  EXPECT_EQ(list.GetCount(), 3) << "entries come from the template";
  EXPECT_EQ(list.GetCurSel(), CB_ERR);
  struct Case {
    int select;
    int result;
    int selected;
    const char* text;
  };
  const Case cases[] = {
      {1, 1, 1, "COM2"}, {3, CB_ERR, CB_ERR, ""}, {2, 2, 2, "COM3"}, {-1, CB_ERR, CB_ERR, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.select);
    EXPECT_EQ(list.SetCurSel(c.select), c.result);
    EXPECT_EQ(list.GetCurSel(), c.selected);
    EXPECT_EQ(list.GetWindowText(), c.text);
  }
  EXPECT_EQ(list.GetLBText(0), "COM1");
  EXPECT_EQ(list.GetLBText(3), "");
  EXPECT_EQ(list.SendMessage(CB_GETLBTEXTLEN, 7), CB_ERR);
  char small[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(list.SendMessage(CB_GETLBTEXT, 9, reinterpret_cast<LPARAM>(small)), CB_ERR);
  EXPECT_EQ(list.AddString("COM4"), 3);
  list.SetCurSel(3);
  list.ResetContent();
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(list.GetCurSel(), CB_ERR);
}

TEST_F(WindowHeadless, TextCopiesStopAtTheCallersBuffer) {
  CWnd* status = m_dlg.GetDlgItem(IDC_STATUS_LINE);
  status->SetWindowText("Transferring Data");
  char buffer[6] = {'#', '#', '#', '#', '#', '#'};
  EXPECT_EQ(status->SendMessage(WM_GETTEXT, 5, reinterpret_cast<LPARAM>(buffer)), 4);
  EXPECT_STREQ(buffer, "Tran");
  EXPECT_EQ(buffer[5], '#');
  EXPECT_EQ(status->SendMessage(WM_GETTEXT, 0, reinterpret_cast<LPARAM>(buffer)), 0);
  EXPECT_EQ(status->GetWindowText(), "Transferring Data");
}

TEST_F(WindowHeadless, ProgressPositionStaysInsideTheRange) {
  CProgressCtrl& bar = m_dlg.m_bar;
  const HWND h = bar.m_hWnd;
  struct Step {
    const char* name;
    LRESULT (*act)(HWND);
    LRESULT result;
    int low, high, pos;
  };
  const Step steps[] = {
      {"inside", [](HWND w) { return SendMessage(w, PBM_SETPOS, 50); }, 0, 0, 100, 50},
      {"above", [](HWND w) { return SendMessage(w, PBM_SETPOS, 150); }, 50, 0, 100, 100},
      {"below", [](HWND w) { return SendMessage(w, PBM_SETPOS, static_cast<WPARAM>(-5)); }, 100,
       0, 100, 0},
      {"new range clamps", [](HWND w) {
         SendMessage(w, PBM_SETPOS, 5);
         return SendMessage(w, PBM_SETRANGE, 0, MAKELPARAM(10, 20));
       },
       MAKELPARAM(0, 100), 10, 20, 10},
      {"32-bit range", [](HWND w) {
         return SendMessage(w, PBM_SETRANGE32, static_cast<WPARAM>(-50), 50);
       },
       MAKELPARAM(10, 20), -50, 50, 10},
      {"negative position", [](HWND w) {
         return SendMessage(w, PBM_SETPOS, static_cast<WPARAM>(-60));
       },
       10, -50, 50, -50},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    EXPECT_EQ(s.act(h), s.result);
    EXPECT_EQ(SendMessage(h, PBM_GETRANGE, TRUE), s.low);
    EXPECT_EQ(SendMessage(h, PBM_GETRANGE, FALSE), s.high);
    PBRANGE range;
    SendMessage(h, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, s.low);
    EXPECT_EQ(range.iHigh, s.high);
    EXPECT_EQ(bar.GetPos(), s.pos);
  }
}

TEST_F(WindowHeadless, EventsAreRecordedInOrderAndBoxesAndFileDialogsAnswered) {
  CHeadlessBackend& ui = GetHeadlessBackend();
  EXPECT_EQ(&GetUiBackend(), &ui);
  ui.ClearEvents();

  CWnd* status = m_dlg.GetDlgItem(IDC_STATUS_LINE);
  status->SetWindowText(" Ready");
  status->SetWindowText(" Ready");
  m_dlg.m_bar.SetRange(0, 100);  // unchanged: nothing to see
  m_dlg.m_bar.SetPos(30);
  m_dlg.m_bar.SetRange32(0, 10);  // the position follows the range
  m_dlg.m_bar.SetPos(10);
  m_dlg.m_bar.SetRange32(0, 20);  // a range alone is no new position
  CHeadlessBackend::SelectComboEntry(m_dlg.m_hWnd, IDC_LIST, 2);
  m_dlg.SetWindowText("Quorin ver0.99 ");
  EXPECT_EQ(AfxMessageBox("Done"), IDOK);

  FileDialogRequest open;
  open.filter = "Download File (*.bin;*.sdx)|*.bin;*.sdx|All File (*.*)|*.*||";
  open.initialFolder = "/tmp";
  FileDialogRequest save = open;
  save.save = true;
  std::vector<std::string> unexpected;
  ui.SetUnexpectedFileDialogHandler(
      [&](const FileDialogRequest& r) { unexpected.push_back(r.initialFolder); });
  ui.QueueFileDialogAnswer(std::string("/data/images/image.v2.bin"));
  ui.QueueFileDialogAnswer(std::nullopt);
  const FileDialogResult chosen = RunFileDialog(m_dlg.m_hWnd, open);
  const FileDialogResult cancelled = RunFileDialog(m_dlg.m_hWnd, save);
  const FileDialogResult unscripted = RunFileDialog(m_dlg.m_hWnd, open);

  EXPECT_TRUE(chosen.ok);
  EXPECT_EQ(chosen.path, "/data/images/image.v2.bin");
  EXPECT_EQ(chosen.fileName, "image.v2.bin");
  EXPECT_EQ(chosen.ext, "bin");
  EXPECT_FALSE(cancelled.ok);
  EXPECT_FALSE(unscripted.ok);
  EXPECT_EQ(unexpected, std::vector<std::string>{"/tmp"});
  ASSERT_EQ(ui.FileDialogRequests().size(), 3u);
  EXPECT_TRUE(ui.FileDialogRequests()[1].save);
  EXPECT_EQ(m_dlg.m_selections, std::vector<int>{2});

  using E = HeadlessEvent;
  struct Expected {
    E::Kind kind;
    int id;
    std::string text;
    std::string detail;
    int value;
  };
  const std::vector<Expected> expected = {
      {E::Text, IDC_STATUS_LINE, " Ready", "", 0},
      {E::Text, IDC_STATUS_LINE, " Ready", "", 0},
      {E::Progress, IDC_BAR, "", "", 30},
      {E::Progress, IDC_BAR, "", "", 10},
      {E::Progress, IDC_BAR, "", "", 10},
      {E::Selection, IDC_LIST, "COM3", "", 2},
      {E::Title, IDD_PANEL, "Quorin ver0.99 ", "", 0},
      {E::MessageBox, -1, "Done", GetModuleBaseName(), static_cast<int>(MB_OK | MB_ICONEXCLAMATION)},
      {E::FileDialog, -1, "/data/images/image.v2.bin", "", 0},
      {E::FileDialog, -1, "", "", 1},
      {E::FileDialog, -1, "", "", 0},
  };
  const std::vector<HeadlessEvent> events = ui.Events();
  ASSERT_EQ(events.size(), expected.size());
  for (std::size_t i = 0; i < events.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(events[i].kind, expected[i].kind);
    EXPECT_EQ(events[i].id, expected[i].id);
    EXPECT_EQ(events[i].text, expected[i].text);
    EXPECT_EQ(events[i].detail, expected[i].detail);
    EXPECT_EQ(events[i].value, expected[i].value);
  }
  EXPECT_EQ(ui.Values(E::Progress, IDC_BAR), (std::vector<int>{30, 10, 10}));
}

TEST_F(WindowHeadless, SystemCommandsMinimiseRestoreAndMove) {
  CHeadlessBackend& ui = GetHeadlessBackend();
  ui.ClearEvents();
  CHeadlessBackend::ChooseSystemMenuItem(m_dlg.m_hWnd, SC_MINIMIZE);
  EXPECT_TRUE(m_dlg.IsIconic());
  CHeadlessBackend::ChooseSystemMenuItem(m_dlg.m_hWnd, SC_RESTORE);
  EXPECT_FALSE(m_dlg.IsIconic());
  EXPECT_EQ(ui.Values(HeadlessEvent::Visibility, IDD_PANEL), (std::vector<int>{0, 1}));

  m_dlg.SendMessage(WM_NCLBUTTONDOWN, static_cast<WPARAM>(HTCAPTION), MAKELPARAM(30, 40));
  ASSERT_EQ(ui.MoveDrags().size(), 1u);
  EXPECT_EQ(ui.MoveDrags()[0].x, 30);
  EXPECT_EQ(ui.MoveDrags()[0].y, 40);
  EXPECT_EQ(m_dlg.SendMessage(WM_QUERYDRAGICON), 0);

  EXPECT_TRUE(m_dlg.HasSystemMenu());
  EXPECT_TRUE(m_dlg.AppendSystemMenu(MF_SEPARATOR, 0, ""));
  EXPECT_FALSE(m_dlg.m_list.AppendSystemMenu(MF_STRING, 16, "x")) << "controls have none";

  // Controls answer WM_GETFONT with their dialog's font.
  const HFONT font = reinterpret_cast<HFONT>(m_dlg.m_list.SendMessage(WM_GETFONT));
  EXPECT_EQ(GetFontOwner(font), m_dlg.m_hWnd);
}

TEST(WindowHeadlessText, BlocksMarkWhereCharactersAreAndStayInsideTheClip) {
  CHeadlessBackend backend;
  CPixelBuffer buffer(20, 15, 0);
  const COLORREF ink = RGB(1, 2, 3);
  backend.RenderText(nullptr, buffer, 0, 0, "a bc", ink, RECT{0, 0, 15, 15});
  EXPECT_EQ(backend.MeasureText(nullptr, "a bc").cx, 24);
  EXPECT_EQ(buffer.Get(1, 2), ink);
  EXPECT_EQ(buffer.Get(4, 10), ink);
  EXPECT_EQ(buffer.Get(0, 2), 0u);
  EXPECT_EQ(buffer.Get(1, 11), 0u);
  EXPECT_EQ(buffer.Get(7, 5), 0u) << "a blank leaves its cell empty";
  EXPECT_EQ(buffer.Get(13, 5), ink);
  EXPECT_EQ(buffer.Get(14, 5), ink);
  EXPECT_EQ(buffer.Get(15, 5), 0u) << "clipped";
  EXPECT_EQ(buffer.Get(19, 5), 0u);
}

TEST(WindowFilter, PairsOfDescriptionAndPatterns) {
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(ParseFileFilter("Download File (*.bin;*.sdx)|*.bin;*.sdx|SatCoDx Files (*.sdx)|*.sdx|"
                            "All File (*.*)|*.*||"),
            (Pairs{{"Download File (*.bin;*.sdx)", "*.bin;*.sdx"},
                   {"SatCoDx Files (*.sdx)", "*.sdx"},
                   {"All File (*.*)", "*.*"}}));
  EXPECT_EQ(ParseFileFilter("Binary (*.bin)|*.bin"), (Pairs{{"Binary (*.bin)", "*.bin"}}));
  EXPECT_EQ(ParseFileFilter("Dangling|"), (Pairs{{"Dangling", ""}}));
  EXPECT_EQ(ParseFileFilter("Only a name"), Pairs{});
  EXPECT_EQ(ParseFileFilter(""), Pairs{});
}

}  // namespace
