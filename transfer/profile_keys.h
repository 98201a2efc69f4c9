// Where the program keeps its settings in the private profile.
#pragma once

constexpr const char* PROFILE_SECTION = "Marlpane";
constexpr const char* PROFILE_COM_PORT = "Com Port";  // "COM 3", after every successful port change
constexpr const char* PROFILE_FOLDER = "Folder";      // folder of the last software image
