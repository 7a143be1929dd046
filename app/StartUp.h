// The program's entry and outermost frame.
#pragma once

#include "platform/framework/AppModule.h"

// The application module, one for the life of the process.
extern CAppModuleEx g_module;

inline const WCHAR* const kMainWindowClass = u"QTernBoxMain";
inline const WCHAR* const kSingleInstanceMutex = u"Global//QTernCameraMutex__";

// Runs the program: start-up, the single-instance check, the main dialog and its message loop,
// teardown. Returns the exit code: the closing command's number, or 0.
int RunProgram(HINSTANCE instance, int showCommand);
