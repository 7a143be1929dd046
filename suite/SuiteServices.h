// What the main window and start-up ask of the suite: usage reports, the camera item in the file
// manager, the command-line switch for the sibling program, and the services behind them (the
// machine identifier, the statistics sender, the sibling program).
#pragma once

#include "platform/base/WinTypes.h"
#include "suite/SuiteInterfaces.h"

inline constexpr int kMachineIdCapacity = 200;
// Used whenever the suite cannot tell the machine's identifier.
inline constexpr WCHAR kFallbackMachineId[] = u"6c756d6fa4c1e0d93b5f7e210d9c8f64";

inline constexpr WCHAR kSuiteAppPathsKey[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Ternsafe.exe";
inline constexpr WCHAR kLenswardSwitchKey[] = u"SOFTWARE\\TernSafe\\watchcore\\radazadadi";

// Usage reports. `kept` is the sender the main window holds for its life: the start and the
// recording-failure reports replace it with a fresh one, the camera-item report only uses it.
void ReportStart(TernStatSender*& kept);
void ReportCameraItem(TernStatSender* kept);
// The recording could not start (WM_USER + 2).
void ReportRecordingFailure(TernStatSender*& kept);

// Whether the camera item exists; without it the caption offers a link (command 101) that adds it.
bool IsCameraItemPresent();
// Command 101: reports the click through `kept`, opens the computer view and adds the item.
void AddCameraItem(TernStatSender* kept);
// The suite folder joined with `relativePath` (the folder alone when it is empty), cut to
// `capacity`. False, with `out` untouched, when no suite folder can be had.
bool GetSuiteFilePath(LPWSTR out, size_t capacity, LPCWSTR relativePath);

// Reads the process's command line for the switch that starts the sibling program.
void ApplyCommandLine();
// Starts the sibling program with its one request; true when the process was made.
bool LaunchLensward();

// The machine identifier, filled on first use and then fixed for the process.
LPCWSTR GetMachineId();
// The common-services library's statistics sender, or nullptr; the library is looked for again at
// every call until it has loaded.
TernStatSender* GetStatSender();
void SendStat(TernStatSender* sender, LPCWSTR url);

// Start-up tells which language resource library it loaded (nullptr for none); the identifier is
// looked for beside the resource module.
void SetResourceModule(HMODULE module);
