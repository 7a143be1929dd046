// The label markup: a style block in front of the visible words of a label, link or check box.
//
//   bracket form  "[.]name=value;name=value[/.]visible text"
//   style form    "<.style>name=value;name=value;</.style>visible text"
//
// Blanks may precede the block and stay part of the visible text. A text that does not start with a
// complete block (after those blanks) is no markup and is shown as it is. Unknown names, pairs
// without '=' and values that do not read are ignored, so each of them keeps its default.
#pragma once

#include "platform/base/Strings.h"
#include "platform/ui/WinUser.h"

struct LabelMarkup {
    WString text;             // the visible words
    bool hasStyle = false;    // the text carried a style block
    bool hand = false;        // hand cursor over the label
    bool hasColor = false;
    COLORREF color = 0;
    bool hasHoverColor = false;
    COLORREF hoverColor = 0;
    UINT link = 0;            // message posted to the parent on a click; 0 for none
    bool underline = false;
    bool bold = false;
    int size = 0;             // points; 0 for the skin's size
};

inline constexpr int kSmallestMarkupSize = 1;
inline constexpr int kLargestMarkupSize = 72;
inline constexpr UINT kLargestLinkMessage = 0xFFFF;

LabelMarkup ParseLabelMarkup(WStringView text);
// "rgb(r,g,b)" with decimal components 0 to 255; blanks around the numbers are tolerated.
bool ParseRgbColor(WStringView value, COLORREF* color);
