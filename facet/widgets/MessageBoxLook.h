// How the engine's message box looks with the current skin: what the skin's "facet.xml" says in its
// MESSAGEBOX element, and the drawing of the box's icons and button faces, from the skin's pictures
// when it has them and drawn with the skin's colours when it has not.
#pragma once

#include "facet/widgets/WidgetPaint.h"
#include "platform/base/Strings.h"
#include "platform/ui/WinUser.h"

#include <memory>
#include <optional>

enum class MessageBoxIcon { None, Error, Question, Exclamation, Information };

// The order of the cells of the skin's icon picture, left to right.
inline constexpr int kMessageBoxIconCells = 4;
// The states of a button, the order of the cells of the skin's button picture, left to right.
enum class MessageBoxButtonLook { Normal = 0, Hover = 1, Pressed = 2 };
inline constexpr int kMessageBoxButtonCells = 3;
// The corners of a button picture's cell that keep their size when the button is wider or taller.
inline constexpr int kMessageBoxButtonCorner = 4;
inline constexpr int kMessageBoxIconSize = 32;

struct MessageBoxLook {
    WString frame;            // the frame picture's path or URL; empty: the skin's plain window
    RECT frameCentre {};      // the part of the frame picture that stretches
    bool hasFrameCentre = false;
    COLORREF text = 0;        // the message's colour
    // Shared by the box and its buttons; empty when the skin has no such picture or it cannot be read.
    std::shared_ptr<const ImageHandle> icons;
    std::shared_ptr<const ImageHandle> buttons;
};

// The look of the skin in use; nothing when no skin is loaded (the "facet.xml" the engine was given
// cannot be read as a skin), so that the caller can stand in with a plain box.
std::optional<MessageBoxLook> ReadMessageBoxLook();

MessageBoxIcon MessageBoxIconOf(UINT flags);
// A one-pixel edge around `client` in a dark shade of the skin's caption band.
void DrawMessageBoxEdge(HDC dc, const RECT& client);
// Draws the icon kMessageBoxIconSize square with its top-left corner at (x, y).
void DrawMessageBoxIcon(HDC dc, const MessageBoxLook& look, MessageBoxIcon icon, int x, int y);
// Draws a button over `r`: the skin's picture cell of that state (nullptr or an empty picture: a
// rounded face in the skin's colours), the focus ring when `focused`, and its text.
void DrawMessageBoxButton(HDC dc, const ImageHandle* picture, const RECT& r, MessageBoxButtonLook state, bool focused,
    const WString& text);
