// The main window's small skinned texts: the device line, the HD/default switch, the delayed-photo
// check box, the countdown and the recording clock, written in the engine's label markup with the
// skin's status text colour.
#pragma once

#include "platform/base/Strings.h"
#include "platform/ui/WinUser.h"

// A string of the executable's string table; empty when missing.
WString LoadStringText(HINSTANCE instance, UINT id);

// The skin's "TextColor" of "Facet.Config/DYNAMICSTATUSBAR" in the current skin's "facet.xml",
// red in the lowest byte; 0 (black) when the engine, the file, the element or the attribute is missing.
COLORREF ReadStatusTextColor();

// String 134 (fewer than two video devices) or 170 (a link to the device menu), with string 136 for
// an empty device name.
WString FormatDeviceLine(HINSTANCE instance, COLORREF textColor, int videoCount, LPCWSTR deviceName);
// String 144 ("高清") while the default mode is active, 145 ("默认") while HD is.
WString FormatHdLink(HINSTANCE instance, COLORREF textColor, bool hdActive);
// String 146.
WString FormatDelayCheckBox(HINSTANCE instance);
// String 148 with the seconds left.
WString FormatCountdown(HINSTANCE instance, int secondsLeft);
// The recording time "hh:mm:ss " (hours grow past two digits); empty for 0 seconds or less.
WString FormatElapsed(int seconds);
// String 138 with the elapsed time; empty for 0 seconds or less.
WString FormatRecordingClock(HINSTANCE instance, COLORREF textColor, int seconds);
