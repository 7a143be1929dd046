// Face names of the Windows world mapped to the fonts installed here. Internal to platform/ui.
#pragma once

#include "platform/base/Strings.h"

#include <string>

// A comma-separated family list for Pango. It ends with a CJK font whenever one is installed, so
// Chinese text always finds real glyphs; a CJK face or a Chinese character set puts it first.
std::string FontFamiliesFor(WStringView face, BYTE charSet);

// The sans family used for user-interface faces and unknown faces.
const std::string& UiSansFamily();
// The installed CJK family, or an empty text when there is none.
const std::string& CjkFamily();
bool IsFontFamilyInstalled(const std::string& family);
