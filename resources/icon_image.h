// The program icon (resource 128), drawn in code: a square picture of the given size.
#pragma once

#include "platform/pixel_buffer.h"

CPixelBuffer MakeProgramIcon(int size);
