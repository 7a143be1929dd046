// Helpers for tests of the windowing layer: the headless presenter, pumping with a watchdog,
// and a window class that records the messages it receives.
#pragma once

#include "platform/base/Clock.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"
#include "platform/ui/presenters/HeadlessPresenter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Ends a modal loop (a menu, a message box, a dialog) that does not end by itself: after `ms` of real
// time it posts WM_QUIT to the thread that made it, and the test fails.
class ModalWatchdog {
public:
    explicit ModalWatchdog(DWORD ms = 8000);
    ~ModalWatchdog();
    ModalWatchdog(const ModalWatchdog&) = delete;
    ModalWatchdog& operator=(const ModalWatchdog&) = delete;

private:
    DWORD m_thread;
    std::mutex m_lock;
    std::condition_variable m_signal;
    bool m_disarmed = false;
    std::atomic<bool> m_fired = false;
    std::thread m_worker;
};

// Every message queued for the calling thread, dispatched; returns how many ran.
int PumpPending();
// Pumps until `done` holds; fails the test when `watchdogMs` of real time pass first.
bool PumpUntil(const std::function<bool()>& done, DWORD watchdogMs = 5000);

struct RecordedMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// A class whose procedure records every message and then gives it to DefWindowProcW, unless a
// handler set by the test answers it.
class RecordingClass {
public:
    explicit RecordingClass(const WCHAR* name, UINT style = 0);
    ~RecordingClass();
    const WCHAR* Name() const { return m_name; }
    static std::vector<RecordedMessage>& Log();
    // Only the messages of these numbers, in order, for one window (or all when hwnd is null).
    static std::vector<UINT> Sequence(HWND hwnd, std::initializer_list<UINT> interesting);
    static std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)> handler;

private:
    const WCHAR* m_name;
};

// Installs the headless presenter once for the test program and gives each test a fresh log.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    HeadlessPresenter& Presenter();
};
