// The two lists of the main window, in one place: the COM ports (index 0 is COM1) and the
// speeds (the protocol's speed indexes). The window fills its lists from here, the command line
// and the settings name entries by the same texts, and the link opens what an index stands for.
#pragma once

#include <string>

#include "transfer/protocol.h"

// COM1 ... COM9 in the list.
constexpr int PORT_COUNT = 9;
// A name in the settings selects one of the first eight; any other name selects COM1. The
// command line's "-c" names all nine (app/port_choice.h).
constexpr int PORT_NAMED_COUNT = 8;
constexpr int PORT_INDEX_DEFAULT = 0;
// 115200 baud unless the command line says otherwise.
constexpr int SPEED_INDEX_DEFAULT = 5;

// The list's entry for an index: "COM1", "9600".
inline std::string PortListEntry(int nPortIndex) { return "COM" + std::to_string(nPortIndex + 1); }
inline std::string SpeedListEntry(int nSpeedIndex) {
  if (nSpeedIndex < 0 || nSpeedIndex >= SPEED_COUNT) return std::string();
  return std::to_string(SPEED_TABLE[nSpeedIndex]);
}

// The text the settings store for a port: "COM 3".
inline std::string PortSettingText(int nPortIndex) {
  return "COM " + std::to_string(nPortIndex + 1);
}

// A port name ("COM3" or "COM 3", case-sensitive) or speed name ("38400") to its entry; names
// that are not recognised give the defaults.
inline int PortIndexFromName(const std::string& name) {
  for (int i = 0; i < PORT_NAMED_COUNT; ++i) {
    if (name == PortSettingText(i) || name == PortListEntry(i)) return i;
  }
  return PORT_INDEX_DEFAULT;
}
inline int SpeedIndexFromName(const std::string& name) {
  for (int i = 0; i < SPEED_COUNT; ++i) {
    if (name == SpeedListEntry(i)) return i;
  }
  return SPEED_INDEX_DEFAULT;
}
