// The main window as the program starts it, in-process: the headless presenter, the real UI engine
// (Facet.so) and the real capture engine on virtual devices, the test clock, and user folders of the
// test's own. The program's module is a copy of a library with the program's resources at
// "install/suite/program" in the temporary folder, so the suite's folder two levels up is "install".
#pragma once

#include "AppTestSupport.h"
#include "app/MainDlg.h"
#include "platform/base/Clock.h"
#include "platform/framework/MessageLoop.h"
#include "platform/ui/ModalScript.h"
#include "tests/platform/ui/UiTestSupport.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class MainWindowTest : public UiTest {
protected:
    static constexpr DWORD kStartCheckMs = 1000;

    // The main window is published to the user's window directory: a folder of the test's own keeps
    // it from programs and tests that look for the running program there.
    static void SetUpTestSuite();
    static void TearDownTestSuite();

    // Start-up as the program does it, up to the main window: COM and the media classes, the engine
    // library, the skin (whose status text colour is `m_startColor`), the common controls and the main
    // window's class, and a message loop for the thread, so the window's message filter is installed
    // as in the program.
    void SetUp() override;
    void TearDown() override;

    // Creates and shows the main window with `devices` as LUMO_VIRTUAL_DEVICES ("" for none).
    void OpenMainWindow(const char* devices);
    // The first tick of timer 3: the device line is written and the start check's message, if any,
    // is shown (and takes its default answer unless the test queued one).
    void RunStartCheck();
    // Dispatches what is queued, each message first offered to the thread's message filters as the
    // program's loop does; returns how many messages came.
    int PumpFiltered();
    // PumpFiltered until `done` holds; fails the test after `watchdogMs` of real time.
    bool PumpFilteredUntil(const std::function<bool()>& done, DWORD watchdogMs = 8000);
    // Moves the test clock (timers run on it) and lets the due timer ticks run.
    void AdvanceClock(DWORD milliseconds);

    // The texts of the message boxes shown so far.
    static std::vector<WString> MessageTexts();
    WString ControlText(int id) const;
    // Pixels of `hwnd`'s client area as the presenter shows its top-level window: 0xRRGGBB, -1 outside.
    long PixelOf(HWND hwnd, POINT client);
    // How many pixels of the control's client area are near `color`.
    int CountNear(HWND hwnd, COLORREF color);

    static std::string FacetXml(COLORREF statusText);
    static void WriteFile(const std::string& path, const std::string& text);

    COLORREF m_startColor = RGB(255, 0, 0);
    ScopedTestClock m_clock {SYSTEMTIME {2024, 5, 3, 10, 12, 0, 0, 0}, 100000};
    TempFolder m_temp;
    ScopedEnv m_home {"HOME", m_temp.Native("home")};
    ScopedEnv m_config {"XDG_CONFIG_HOME", m_temp.Native("home/.config")};
    ScopedEnv m_tmpdir {"TMPDIR", m_temp.Native()};
    ScopedEnv m_devices {"LUMO_VIRTUAL_DEVICES", ""};
    TempModule m_module {m_temp, "install/suite/program"};
    CMessageLoop m_loop;
    CMainDlg m_dialog;
    std::vector<WString> m_boxClasses;

private:
    static inline TempFolder* s_runtime = nullptr;
    static inline ScopedEnv* s_runtimeEnv = nullptr;
};

// True when the two colours differ by at most `tolerance` in each channel (0xRRGGBB and a COLORREF).
bool IsNear(long pixel, COLORREF color, int tolerance = 50);
