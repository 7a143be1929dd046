// What the main window asks of the suite: usage reports, the camera item in the file manager and the
// command-line switch for the sibling program.
#pragma once

#include "platform/ui/WinUser.h"

// The start-up usage report.
void ReportStart();
// The recording could not start (WM_USER + 2).
void ReportRecordingFailure();
// Whether the camera item exists; without it the caption offers a link (command 101) that adds it.
bool IsCameraItemPresent();
void AddCameraItem();
// Reads the process's command line for the switches the suite passes.
void ApplyCommandLine();
