// The loaded skin: what a skin's "facet.xml" says about colours, fonts and pictures, shared by the
// engine's objects and widgets.
#pragma once

#include "platform/base/Strings.h"
#include "platform/ui/WinUser.h"

#include <vector>

// A button the skin adds to the caption, between the links and the minimise button: a glyph drawn
// in the caption's style that sends WM_COMMAND `command` to the window, with a tooltip.
enum class CaptionGlyph { FullScreen, Resolution };

struct SkinCaptionButton {
    UINT command = 0;
    CaptionGlyph glyph = CaptionGlyph::FullScreen;
    WString tip;
};

struct Skin {
    WString folder;       // the skin folder, absolute
    WString facetXmlPath; // the "facet.xml" it was loaded from

    // Colours are COLORREF values: red in the lowest byte.
    COLORREF captionTop = 0x40342B;    // caption band gradient, top
    COLORREF captionBottom = 0x30261F; // caption band gradient, bottom
    COLORREF captionText = 0xFFFFFF;
    COLORREF windowBackground = 0xDCDAD9;
    COLORREF statusText = 0;           // DYNAMICSTATUSBAR TextColor
    COLORREF linkText = 0xFFFFFF;
    COLORREF linkHover = 0xFD8B3D;
    COLORREF buttonText = 0xFFFFFF;
    COLORREF buttonHover = 0xFD8B3D;
    WString fontFace = u"Microsoft YaHei";
    int fontSize = 9; // points
    int captionHeight = 30;
    // Check boxes keep the dialog font's 8 points unless their markup sets a size: the row of texts at
    // the window's bottom has no room for more.
    int checkBoxFontSize = 8;
    // Left to right as the skin lists them; none unless the skin has CAPTIONBUTTON elements.
    std::vector<SkinCaptionButton> captionButtons;
};

// The skin in use; the defaults above until a skin is loaded.
const Skin& CurrentSkin();

// Makes the skin of a "facet.xml" (read from disk, else from the registered packages) the current one.
// A missing or unreadable file gives the defaults above and a failure; the folder is kept either way.
// Numbers and colours are read by the rule of attribute numbers: leading blanks skipped, "0x"/"0X"
// then hexadecimal digits (3 to 10 characters in all), or else a signed decimal number.
HRESULT LoadCurrentSkin(LPCWSTR facetXmlPath, LPCWSTR skinFolder);
