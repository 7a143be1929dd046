// Keeping the computer awake while something must not be cut short, such as a recording.
#pragma once

#include "platform/base/WinTypes.h"

// Asks the desktop not to sleep or go idle until AllowSleep: logind's inhibitor lock on the
// system bus, else the desktop portal's or the screen saver's inhibition on the session bus,
// whichever answers first. Both calls only post the wish and return; the asking and releasing
// happen on a thread of their own, each call bounded by a short timeout, so a missing or hung
// service never holds anybody up. A second InhibitSleep while held changes nothing; one try is
// made per InhibitSleep, and a process that ends loses whatever it held.
void InhibitSleep();
void AllowSleep();

enum class SleepInhibition { None, Login, Portal, ScreenSaver };
// Who holds the inhibition now: None while it is being asked for or when nobody gave one.
SleepInhibition CurrentSleepInhibition();
// Waits up to `milliseconds` until what was asked for has been done (or refused); for tests.
BOOL WaitForSleepInhibitor(DWORD milliseconds);
