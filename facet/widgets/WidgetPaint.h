// Drawing and pointer helpers shared by the engine's widgets.
#pragma once

#include "facet/widgets/Markup.h"
#include "ui/Engine.h"

#include <cairo.h>

// One reference to an engine image, released when the holder goes.
class ImageHandle {
public:
    ImageHandle() = default;
    explicit ImageHandle(EngineImage* adopted) : m_image(adopted) { }
    ImageHandle(ImageHandle&& other) noexcept : m_image(other.m_image) { other.m_image = nullptr; }
    ImageHandle& operator=(ImageHandle&& other) noexcept;
    ImageHandle(const ImageHandle&) = delete;
    ImageHandle& operator=(const ImageHandle&) = delete;
    ~ImageHandle() { Reset(); }

    void Reset();
    // The decoded picture, or nullptr when there is none.
    cairo_surface_t* Surface() const;
    int Width() const;
    int Height() const;

private:
    EngineImage* m_image = nullptr;
};

// A picture from a path or URL; an empty holder when it cannot be read.
ImageHandle LoadWidgetImage(LPCWSTR pathOrUrl);

// A picture cut into `across` by `down` equal cells (button states side by side).
struct ImageCells {
    int across = 1;
    int down = 1;
    int CellWidth(const ImageHandle& image) const { return across > 0 ? image.Width() / across : 0; }
    int CellHeight(const ImageHandle& image) const { return down > 0 ? image.Height() / down : 0; }
};

// Draws one cell at its own size with its top-left corner at (x, y) of the context's logical space.
void DrawImageCell(HDC dc, const ImageHandle& image, const ImageCells& cells, int column, int row, int x, int y);
// Draws the part `source` of a picture stretched over `dest`; edges do not bleed in from outside `source`.
void DrawSurfacePart(cairo_t* cr, cairo_surface_t* picture, const RECT& source, const RECT& dest);

// What a transparent control shows behind itself: its parent's background, erased into the
// control's device context.
void DrawParentBackdrop(HWND hwnd, HDC dc);
// Redraws what lies under a transparent control: the parent's background there, then every control
// over it. For changes of what the control covers (a new text, a new picture).
void InvalidateUnder(HWND hwnd);
// Keeps a transparent control's drawing to its content when the parent paints under its children:
// the rest of the control shows what the parent and overlapping controls drew there.
void ClipToContent(HWND hwnd, HDC dc, RECT content);
// Where DrawMarkupText puts a single line of text in `area`; the whole area for wrapped text.
RECT MarkupTextBounds(HDC dc, const LabelMarkup& markup, const RECT& area, UINT format);

// A font of the skin's face; `points` 0 stands for the skin's size. Delete it with DeleteObject.
HFONT CreateSkinFont(int points, bool bold, bool underline);

// Colours of a text that reacts to the pointer.
struct TextColors {
    COLORREF normal = 0;
    COLORREF hover = 0;
};
// The colours the markup asks for, else the defaults given.
TextColors MarkupColors(const LabelMarkup& markup, TextColors defaults);
// Draws the visible words of `markup` in `area` (DrawTextW format; DT_NOPREFIX is always added).
void DrawMarkupText(HDC dc, RECT area, const LabelMarkup& markup, COLORREF color, UINT format);
// The size of the visible words as DrawMarkupText lays them out on one line.
SIZE MeasureMarkupText(HDC dc, const LabelMarkup& markup);

// Labels are one short line; longer texts are cut before drawing so a huge text cannot stall painting.
inline constexpr size_t kLongestDrawnText = 1024;

WString WindowText(HWND hwnd);
WString ClassNameOf(HWND hwnd);
bool PointInClient(HWND hwnd, POINT point);
// A mouse message's point in the window's client coordinates.
POINT ClientPointOf(LPARAM lParam);
// A hit-test message's screen point in the window's client coordinates.
POINT ClientPointOfScreen(HWND hwnd, LPARAM lParam);
// The pointer's position in the window's client coordinates.
POINT CursorInClient(HWND hwnd);
// Asks for WM_MOUSELEAVE when the pointer leaves the window.
void TrackPointerLeave(HWND hwnd);
void SetCairoColor(cairo_t* cr, COLORREF color);
