#include "facet/widgets/NineGrid.h"

#include "facet/widgets/WidgetPaint.h"

#include <algorithm>

NineGridAxis SliceNineGridAxis(LONG pictureExtent, LONG centreStart, LONG centreEnd, LONG destStart, LONG destExtent)
{
    NineGridAxis axis;
    pictureExtent = std::max<LONG>(pictureExtent, 0);
    destExtent = std::max<LONG>(destExtent, 0);
    LONG a = std::clamp<LONG>(centreStart, 0, pictureExtent);
    LONG b = std::clamp<LONG>(centreEnd, a, pictureExtent);
    // An empty centre would leave a hole; it takes the next pixel of the picture instead.
    if (a == b && b < pictureExtent)
        ++b;
    else if (a == b && a > 0)
        --a;
    axis.source[0] = 0;
    axis.source[1] = a;
    axis.source[2] = b;
    axis.source[3] = pictureExtent;
    LONG lead = a;
    LONG trail = pictureExtent - b;
    LONG destLead = lead;
    LONG destTrail = trail;
    if (lead + trail > destExtent) {
        destLead = static_cast<LONG>(static_cast<long long>(lead) * destExtent / (lead + trail));
        destTrail = destExtent - destLead;
    }
    axis.dest[0] = destStart;
    axis.dest[1] = destStart + destLead;
    axis.dest[2] = destStart + destExtent - destTrail;
    axis.dest[3] = destStart + destExtent;
    return axis;
}

void DrawNineGrid(cairo_t* cr, cairo_surface_t* picture, const RECT& centre, const RECT& dest)
{
    if (!cr || !picture)
        return;
    LONG width = cairo_image_surface_get_width(picture);
    LONG height = cairo_image_surface_get_height(picture);
    NineGridAxis x = SliceNineGridAxis(width, centre.left, centre.right, dest.left, dest.right - dest.left);
    NineGridAxis y = SliceNineGridAxis(height, centre.top, centre.bottom, dest.top, dest.bottom - dest.top);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            RECT source {x.source[column], y.source[row], x.source[column + 1], y.source[row + 1]};
            RECT target {x.dest[column], y.dest[row], x.dest[column + 1], y.dest[row + 1]};
            DrawSurfacePart(cr, picture, source, target);
        }
    }
}
