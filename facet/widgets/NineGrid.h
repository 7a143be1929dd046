// A picture spread over an area in nine parts: the corners as they are, the edges stretched along
// their side, the centre stretched both ways. Frames keep their rounded corners at any window size.
#pragma once

#include "platform/ui/WinUser.h"

#include <cairo.h>

// Where one axis is cut: the picture's and the area's edges of the leading part, the centre and the
// trailing part (four positions each, first to last).
struct NineGridAxis {
    LONG source[4] {};
    LONG dest[4] {};
};

// `centreStart`/`centreEnd`: the centre part of the picture along the axis (clamped to the picture; an
// empty centre takes one pixel).
// An area too small for both corners shares it between them in proportion.
NineGridAxis SliceNineGridAxis(LONG pictureExtent, LONG centreStart, LONG centreEnd, LONG destStart, LONG destExtent);
// Draws `picture` over `dest`; `centre` is the centre part in picture coordinates.
void DrawNineGrid(cairo_t* cr, cairo_surface_t* picture, const RECT& centre, const RECT& dest);
