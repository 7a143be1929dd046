// Scripted answers for menus and message boxes while the headless presenter shows the windows.
// A test queues the answers before the code under test opens the modal; each shown menu and message
// box is recorded. The real window is still created and painted; the script only decides the outcome.
// Without a scripted answer a menu is dismissed and a message box takes its default button, as soon
// as its loop has nothing else to do. Outside the headless presenter the script is not used.
#pragma once

#include "platform/base/Strings.h"
#include "platform/ui/WinUser.h"

#include <cstddef>
#include <functional>
#include <vector>

// Test: the delay runs on GetTickCount, so on the test clock while it runs. Real: wall-clock time.
enum class ScriptClock { Test, Real };
enum class ModalKind { Menu, MessageBox };

struct RecordedMenuItem {
    UINT id = 0; // 0 for popups and separators
    WString text;
    bool checked = false;
    bool grayed = false;
    bool separator = false;
    bool popup = false;
    RECT rect {}; // where the item is drawn, in the menu window's client coordinates
};

struct RecordedMenu {
    HWND window = nullptr;
    HWND owner = nullptr;
    HMENU menu = nullptr;
    UINT flags = 0;
    int x = 0; // as asked for
    int y = 0;
    RECT rect {}; // where the menu window was shown, in screen coordinates
    std::vector<RecordedMenuItem> items;
    UINT result = 0; // the chosen command, 0 when dismissed
};

struct RecordedMessageBox {
    HWND window = nullptr;
    HWND owner = nullptr;
    WString text;
    WString caption;
    UINT type = 0;
    DWORD threadId = 0;
    RECT rect {};
    int result = 0;
};

class ModalScript {
public:
    // command 0 dismisses the menu.
    static void AnswerMenu(UINT command, DWORD delayMs = 0, ScriptClock clock = ScriptClock::Test);
    static void AnswerMessageBox(int result, DWORD delayMs = 0, ScriptClock clock = ScriptClock::Test);
    // Called on the modal's thread once its window is shown and painted, before any answer is taken:
    // a test can inspect the window or drive it with the presenter's input here.
    static void OnShown(std::function<void(ModalKind kind, HWND window)> hook);
    static std::vector<RecordedMenu> Menus();
    static std::vector<RecordedMessageBox> MessageBoxes();
    // Answers not taken yet.
    static size_t PendingAnswers(ModalKind kind);
    // Forgets answers, records and the hook.
    static void Reset();
};

// Internal to platform/ui: what the menu and message box code uses.
bool ModalScriptInUse();
size_t RecordShownMenu(const RecordedMenu& menu);
void SetShownMenuResult(size_t index, UINT result);
size_t RecordShownMessageBox(const RecordedMessageBox& box);
void SetShownMessageBoxResult(size_t index, int result);
void NotifyModalShown(ModalKind kind, HWND window);

enum class ModalLoopEnd { Finished, Answered, Quit };

// Runs the calling thread's messages until `finished` holds, WM_QUIT arrives (it is posted again)
// or the modal's answer is taken (`*answer` receives it): under the script that is the next scripted
// answer of `kind` once its delay has passed, or else `idleAnswer` once nothing is left to do.
// `preview` sees every message before it is dispatched and returns true when it consumed it.
ModalLoopEnd RunModalLoop(HWND window, ModalKind kind, int idleAnswer, const std::function<bool(MSG&)>& preview,
    const std::function<bool()>& finished, int* answer);
