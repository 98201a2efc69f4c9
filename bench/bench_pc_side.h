// The whole PC side in a process of its own: the main dialog on the headless backend, armed
// from the command line with a software job on COM1 at 115200 baud, pumped until the job ends.
#pragma once

#include <string>

// Exit statuses of the PC side's process.
constexpr int PC_SIDE_DONE = 0;          // the job ended with "Done"
constexpr int PC_SIDE_OTHER_BOX = 1;     // the job ended with another message
constexpr int PC_SIDE_NO_START = 2;      // the dialog could not be made or the port opened
constexpr int PC_SIDE_LINK_LOST = 3;     // the line went away (how the idle run is ended)
constexpr int PC_SIDE_TIMED_OUT = 4;

class CBenchPcSide {
 public:
  // Runs in the child: settings in sConfigDir, COM1 mapped to sDevicePath.
  static int Run(const std::string& sDevicePath, const std::string& sImagePath,
                 const std::string& sConfigDir);
};
