// The whole PC side in a process of its own: the main dialog on the headless backend, armed
// from the command line (a software or boot job on COM1 at 115200 baud) or through the Send
// button (a raw channel list at 230400 baud), pumped until the job ends.
#pragma once

#include <string>

// Exit statuses of the PC side's process.
constexpr int PC_SIDE_DONE = 0;          // the job ended with "Done"
constexpr int PC_SIDE_OTHER_BOX = 1;     // the job ended with another message
constexpr int PC_SIDE_NO_START = 2;      // the dialog could not be made or the port opened
constexpr int PC_SIDE_LINK_LOST = 3;     // the line went away (how the idle run is ended)
constexpr int PC_SIDE_TIMED_OUT = 4;
constexpr int PC_SIDE_NO_FIGURE = 5;     // the window's lateness could not be written

enum class PcSideJob { Software, Boot, ChannelList };

// The period of the window's probe timer; how late its messages come is the window's stall.
constexpr unsigned PROBE_PERIOD_MS = 10;

class CBenchPcSide {
 public:
  // Runs in the child: settings in sConfigDir, COM1 mapped to sDevicePath. With sProbePath,
  // a periodic timer runs on a window of its own through the job, and the worst lateness of
  // its messages (milliseconds) and their count are written there.
  // sSpeed is the "-s" value; empty: 115200 for a software or boot job, 230400 for a list.
  static int Run(PcSideJob job, const std::string& sDevicePath, const std::string& sFilePath,
                 const std::string& sConfigDir, const std::string& sProbePath = std::string(),
                 const std::string& sSpeed = std::string());
  static const char* JobName(PcSideJob job);
  static bool JobFromName(const std::string& sName, PcSideJob& job);
};
