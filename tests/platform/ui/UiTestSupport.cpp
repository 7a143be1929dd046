#include "UiTestSupport.h"

#include "platform/sys/Thread.h"
#include "platform/ui/Input.h"

#include <chrono>

// Fontconfig keeps its configuration for the life of the process; every program that draws text
// would otherwise report it as a leak. Runs outside scripts/test get the same answer this way.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

namespace {

const bool kHeadlessInstalled = [] {
    InstallPresenter(CreateHeadlessPresenter());
    return true;
}();

LRESULT RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    RecordingClass::Log().push_back({hwnd, message, wParam, lParam});
    LRESULT result = 0;
    if (RecordingClass::handler && RecordingClass::handler(hwnd, message, wParam, lParam, &result))
        return result;
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace

std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)> RecordingClass::handler;

int PumpPending()
{
    int count = 0;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        ++count;
    }
    return count;
}

bool PumpUntil(const std::function<bool()>& done, DWORD watchdogMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(watchdogMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "watchdog: the condition did not hold within " << watchdogMs << " ms";
            return false;
        }
        if (PumpPending() == 0)
            Sleep(1);
    }
    return true;
}

RecordingClass::RecordingClass(const WCHAR* name, UINT style) : m_name(name)
{
    WNDCLASSEXW wc {};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = name;
    wc.cbWndExtra = 16;
    RegisterClassExW(&wc);
}

RecordingClass::~RecordingClass()
{
    UnregisterClassW(m_name, nullptr);
}

std::vector<RecordedMessage>& RecordingClass::Log()
{
    static std::vector<RecordedMessage> log;
    return log;
}

std::vector<UINT> RecordingClass::Sequence(HWND hwnd, std::initializer_list<UINT> interesting)
{
    std::vector<UINT> out;
    for (const auto& m : Log()) {
        if (hwnd && m.hwnd != hwnd)
            continue;
        for (UINT i : interesting) {
            if (m.message == i)
                out.push_back(m.message);
        }
    }
    return out;
}

void UiTest::SetUp()
{
    RecordingClass::Log().clear();
    RecordingClass::handler = nullptr;
}

void UiTest::TearDown()
{
    RecordingClass::handler = nullptr;
    PumpPending();
}

HeadlessPresenter& UiTest::Presenter()
{
    return *CurrentHeadlessPresenter();
}

ModalWatchdog::ModalWatchdog(DWORD ms) : m_thread(GetCurrentThreadId())
{
    m_worker = std::thread([this, ms] {
        std::unique_lock guard(m_lock);
        if (m_signal.wait_for(guard, std::chrono::milliseconds(ms), [this] { return m_disarmed; }))
            return;
        m_fired = true;
        PostThreadMessageW(m_thread, WM_QUIT, 0, 0);
    });
}

ModalWatchdog::~ModalWatchdog()
{
    {
        std::lock_guard guard(m_lock);
        m_disarmed = true;
    }
    m_signal.notify_all();
    m_worker.join();
    EXPECT_FALSE(m_fired) << "watchdog: the modal loop did not end in time";
    MSG msg;
    while (m_fired && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message != WM_QUIT) {
    }
}
