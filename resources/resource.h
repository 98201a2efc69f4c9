// Resource ids of the program's templates, strings, icon and controls.
#pragma once

#include <string>

constexpr int IDR_MAINFRAME = 128;  // program icon
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDS_ABOUTBOX = 101;
constexpr int IDD_QUORIN_DIALOG = 102;
constexpr int IDD_PORTS = 103;
constexpr int IDS_PORTS = 104;
constexpr int IDS_TERMINAL_HELP = 110;  // the terminal's description of the options

constexpr int IDC_COMPORT = 1002;
constexpr int IDC_BAUDRATE = 1003;
constexpr int IDC_PROGRESS = 1016;
constexpr int IDC_SEND = 1017;
constexpr int IDC_EXIT = 1018;
constexpr int IDC_STATUS = 1019;
constexpr int IDC_FILENAME = 1020;
constexpr int IDC_READ = 1021;
constexpr int IDC_PORTS_LIST = 1030;
constexpr int IDC_PORTS_ENTRY = 1031;
constexpr int IDC_PORTS_DEVICE = 1032;
constexpr int IDC_PORTS_ASSIGN = 1033;
constexpr int IDC_PORTS_ASSIGN_LABEL = 1034;
constexpr int IDC_PORTS_TO_LABEL = 1035;
constexpr int IDC_STATIC = -1;

constexpr unsigned ABOUT_COMMAND = 16;  // system menu item id (IDM_ABOUTBOX)
constexpr unsigned PORTS_COMMAND = 32;  // system menu item: the Ports dialog

// The six example lines of the About box's "Command Line Help"; the box joins them with blank
// lines, the terminal prints them one per line.
extern const char* const COMMAND_LINE_HELP_LINES[6];
std::string CommandLineHelpText();

// Registers the templates, strings and icon with the window layer (once; later calls do
// nothing).
void RegisterQuorinResources();
