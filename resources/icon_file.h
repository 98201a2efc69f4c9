// The program icon as a Windows icon file (.ico): one 32-bit picture with alpha per size, from
// the icon code itself, so the Windows build's icon resource is never drawn by hand.
#pragma once

#include <cstdint>
#include <vector>

std::vector<std::uint8_t> MakeProgramIconFile(const std::vector<int>& sizes);
