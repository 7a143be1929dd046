// The per-thread message queue. Internal to platform/ui.
#pragma once

#include "platform/ui/WinUser.h"

#include <glib.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

struct SentMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
    bool done = false;
    std::shared_ptr<struct ThreadQueue> sender;
};

// An event of a presenter, not yet turned into messages.
enum class RawKind { Motion, Button, Wheel, Leave, Key, Close, Activate, Moved };
struct RawInput {
    RawKind kind = RawKind::Motion;
    HWND topLevel = nullptr;
    POINT point {};
    int button = 0;
    bool pressed = false;
    int delta = 0;
    UINT virtualKey = 0;
    WCHAR character = 0;
    bool alt = false;
    bool active = false;
    RECT rect {};
    DWORD time = 0;
};

struct Timer {
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    UINT elapse = 0;
    DWORD due = 0;
    TIMERPROC proc = nullptr;
};

struct ThreadQueue {
    DWORD threadId = 0;
    GMainContext* context = nullptr;
    bool ownsContext = false;

    // Shared with other threads, under `lock`.
    std::mutex lock;
    std::condition_variable signal;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> incoming;
    std::deque<RawInput> input;
    bool quitPosted = false;
    int quitCode = 0;
    unsigned wakeups = 0;

    // Owner thread only.
    std::vector<Timer> timers;
    UINT_PTR nextThreadTimerId = 0x7FF0;
    MSG current {};
    int sendDepth = 0;

    ~ThreadQueue();
    // Wakes the owner thread wherever it waits: in its main context or in a cross-thread send.
    void Wake();
};

// The calling thread's queue, created on first use.
std::shared_ptr<ThreadQueue> CurrentQueue();
// A thread's queue if that thread has one.
std::shared_ptr<ThreadQueue> QueueOfThread(DWORD threadId);
// Runs the sent messages that other threads wait for. Returns true if any ran.
bool ProcessIncomingSends(ThreadQueue& queue);
