// The program's resource script: dialog templates 102 (main window) and 100 (About box),
// string 101 and icon 128.
#include <mutex>

#include "platform/ui/pixel_buffer.h"
#include "platform/ui/window.h"
#include "resources/icon_image.h"
#include "resources/resource.h"
#include "transfer/line_choices.h"

const char* const COMMAND_LINE_HELP_LINES[6] = {
    "Quorin.exe -c COM1",          "Quorin.exe -s 9600",          "Quorin.exe -p new_sw.bin",
    "Quorin.exe -d download_db.bin", "Quorin.exe -u upload_db.bin", "Quorin.exe -h",
};

std::string CommandLineHelpText() {
  std::string text;
  for (int i = 0; i < 6; ++i) {
    if (i > 0) text += "\n\n";
    text += COMMAND_LINE_HELP_LINES[i];
  }
  return text;
}

// The terminal's help, printed under the six lines above (the About box shows those only).
// These are the options both systems share, and the lines after the option list.
#define HELP_JOB_OPTIONS \
  "  -s SPEED     the data speed of a send job: 9600, 14400, 19200, 38400,\n" \
  "               57600, 115200 (the default) or 230400; every job starts\n" \
  "               at 9600 baud and returns to it\n" \
  "  -p FILE      send a software image (64 KiB to under 4 MiB)\n" \
  "  -d FILE      send a database (262,144 bytes)\n" \
  "  -u FILE      read the receiver's database into FILE (at 9600 baud)\n" \
  "  -b FILE      send a boot image (a multiple of 65,536 bytes)\n"
#define HELP_END_OF_OPTIONS \
  "  -h, --help   this help\n" \
  "  --version    the program's version\n" \
  "Only the first of -p, -d, -u and -b counts. Arm the job, then switch the\n" \
  "receiver on.\n" \
  "\n"

#ifdef _WIN32
const char* const TERMINAL_HELP_TEXT =
    "Usage: quorin-cli [-c COMn] [-s SPEED] -p|-d|-u|-b FILE\n"
    "  -c COMn      the serial port, COM1 to COM9 (the COM names are the\n"
    "               devices); anything else selects COM1\n"
    HELP_JOB_OPTIONS
    "  --ports      list the COM ports the system knows and their devices\n"
    HELP_END_OF_OPTIONS
    "Exit status: 0 done, or the help or version asked for; 1 the job failed or\n"
    "the port could not be opened; 2 no job was given; 130 Ctrl+C or\n"
    "Ctrl+Break; 143 the console was closed.\n"
    "\n"
    "Settings: %APPDATA%\\quorin.INI (the last COM port and the folder of the\n"
    "last software image).\n";
#else
const char* const TERMINAL_HELP_TEXT =
    "Usage: quorin [-c COMn|/dev/DEVICE] [-s SPEED] -p|-d|-u|-b FILE\n"
    "  -c COMn|/dev/DEVICE\n"
    "               the serial port: COM1 to COM9, each mapped to a device\n"
    "               (below), or a device path for this run only; anything\n"
    "               else selects COM1\n"
    HELP_JOB_OPTIONS
    "  --ports      list the COM entries, their devices and the serial devices\n"
    "               found\n"
    HELP_END_OF_OPTIONS
    "Exit status: 0 done, or the help or version asked for; 1 the job failed or\n"
    "the port could not be opened; 2 no job was given; 130 Ctrl+C; 143 SIGTERM;\n"
    "129 hang-up.\n"
    "\n"
    "Settings: ~/.config/quorin.INI ($XDG_CONFIG_HOME/quorin.INI when set).\n"
    "COMn without a mapping is /dev/ttyS(n-1). To map it to a device, add it\n"
    "to section [Devices] of that file, for example:\n"
    "  [Devices]\n"
    "  COM1=/dev/ttyUSB0\n"
    "To open a serial device, be in the group that owns it (usually dialout).\n";
#endif

namespace {

const char* const MAKER_ADDRESS = "www.quorin-tools.net";

ControlTemplate Control(ControlKind kind, int id, const char* text, int x, int y, int cx, int cy,
                        UINT style, UINT exStyle = 0) {
  return ControlTemplate{kind, id, text, x, y, cx, cy, style | WS_CHILD | WS_VISIBLE, exStyle, {}, 0};
}

DialogTemplate MainDialogTemplate() {
  DialogTemplate t;
  t.id = IDD_QUORIN_DIALOG;
  t.caption = std::string("Quorin :: ") + MAKER_ADDRESS;
  t.fontFace = "Tahoma";
  t.pointSize = 10;
  t.cx = 259;
  t.cy = 95;
  t.style = DS_MODALFRAME | DS_SETFONT | WS_MINIMIZEBOX | WS_POPUP | WS_VISIBLE | WS_CAPTION |
            WS_SYSMENU;
  t.exStyle = WS_EX_APPWINDOW;
  t.controls = {
      Control(ControlKind::PushButton, IDC_SEND, "&Send to receiver", 180, 10, 65, 14,
              BS_PUSHBUTTON | WS_TABSTOP),
      Control(ControlKind::PushButton, IDC_READ, "&Read from receiver", 180, 30, 65, 14,
              BS_PUSHBUTTON | WS_TABSTOP),
      Control(ControlKind::PushButton, IDC_EXIT, "E&xit", 180, 50, 65, 14,
              BS_PUSHBUTTON | WS_TABSTOP),
      Control(ControlKind::ComboBox, IDC_COMPORT, "", 35, 15, 40, 124,
              CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP),
      Control(ControlKind::ComboBox, IDC_BAUDRATE, "", 100, 15, 45, 79,
              CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP),
      Control(ControlKind::Static, IDC_STATUS, "", 55, 55, 110, 10, SS_LEFT | SS_SUNKEN),
      Control(ControlKind::ProgressBar, IDC_PROGRESS, "", 15, 75, 230, 10, WS_BORDER),
      Control(ControlKind::GroupBox, IDC_STATIC, "COM Port Setting", 15, 3, 150, 30,
              BS_GROUPBOX),
      Control(ControlKind::Static, IDC_FILENAME, "", 55, 40, 110, 10, SS_LEFT | SS_SUNKEN),
      Control(ControlKind::Static, IDC_STATIC, "File Name", 15, 40, 35, 8, SS_LEFT),
      Control(ControlKind::Static, IDC_STATIC, "Status", 15, 55, 35, 8, SS_LEFT),
  };
  for (int i = 0; i < PORT_COUNT; ++i) t.controls[3].items.push_back(PortListEntry(i));
  // The link knows speed index 6 (230400 baud), so the list offers it as a seventh entry.
  for (int i = 0; i < SPEED_COUNT; ++i) t.controls[4].items.push_back(SpeedListEntry(i));
  return t;
}

DialogTemplate AboutDialogTemplate() {
  DialogTemplate t;
  t.id = IDD_ABOUTBOX;
  t.caption = std::string("About Quorin :: ") + MAKER_ADDRESS;
  t.fontFace = "MS Sans Serif";
  t.pointSize = 8;
  t.cx = 235;
  t.cy = 153;
  t.style = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  t.exStyle = 0;
  ControlTemplate icon = Control(ControlKind::StaticIcon, IDC_STATIC, "", 11, 17, 20, 20, SS_ICON);
  icon.iconId = IDR_MAINFRAME;
  static const std::string help = CommandLineHelpText();
  t.controls = {
      icon,
      Control(ControlKind::Static, IDC_STATIC, "Quorin SoftWare Loader", 40, 10, 119, 8,
              SS_LEFT | SS_NOPREFIX),
      Control(ControlKind::Static, IDC_STATIC, "Quorin Tools, www.quorin-tools.net", 40, 25,
              119, 8, SS_LEFT),
      Control(ControlKind::DefPushButton, IDOK, "OK", 178, 7, 50, 14,
              BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP),
      Control(ControlKind::GroupBox, IDC_STATIC, "Command Line Help", 40, 40, 130, 105,
              BS_GROUPBOX),
      Control(ControlKind::Static, IDC_STATIC, help.c_str(), 50, 50, 110, 90, SS_LEFT),
  };
  return t;
}

// The serial ports of the machine (a listing), and on Linux a found device assigned to a
// COM entry.
DialogTemplate PortsDialogTemplate() {
  DialogTemplate t;
  t.id = IDD_PORTS;
  t.caption = "Ports";
  t.fontFace = "MS Sans Serif";
  t.pointSize = 8;
  t.cx = 330;
  t.cy = 226;
  t.style = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  t.exStyle = 0;
  t.controls = {
      Control(ControlKind::Static, IDC_PORTS_LIST, "", 7, 7, 316, 176, SS_LEFT | SS_NOPREFIX),
      Control(ControlKind::Static, IDC_PORTS_ASSIGN_LABEL, "Assign", 7, 190, 30, 8, SS_LEFT),
      Control(ControlKind::ComboBox, IDC_PORTS_DEVICE, "", 40, 188, 283, 100,
              CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP),
      Control(ControlKind::Static, IDC_PORTS_TO_LABEL, "to", 7, 208, 30, 8, SS_LEFT),
      Control(ControlKind::ComboBox, IDC_PORTS_ENTRY, "", 40, 206, 50, 124,
              CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP),
      Control(ControlKind::PushButton, IDC_PORTS_ASSIGN, "&Assign", 96, 205, 54, 14,
              BS_PUSHBUTTON | WS_TABSTOP),
      Control(ControlKind::DefPushButton, IDOK, "Close", 269, 205, 54, 14,
              BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP),
  };
  for (int i = 0; i < PORT_COUNT; ++i) t.controls[4].items.push_back(PortListEntry(i));
  return t;
}

}  // namespace

void RegisterQuorinResources() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterDialogTemplate(MainDialogTemplate());
    RegisterDialogTemplate(AboutDialogTemplate());
    RegisterDialogTemplate(PortsDialogTemplate());
    RegisterStringResource(IDS_ABOUTBOX, "&About Quorin...");
    RegisterStringResource(IDS_TERMINAL_HELP, TERMINAL_HELP_TEXT);
    RegisterStringResource(IDS_PORTS, "&Ports...");
    // Drawn when a window first shows it; the terminal mode never does.
    RegisterIconResource(IDR_MAINFRAME, [] { return MakeProgramIcon(32); });
  });
}
