// The rows of pixels a grabbed frame is made of.
#pragma once

#include "platform/base/WinTypes.h"

namespace lumo::media {

// One row of BGRx pixels as the 24-bit blue, green, red a grabbed frame holds.
void PackBgrxRow(const BYTE* source, BYTE* line, int width);

} // namespace lumo::media
