#include "bench/media/MediaBenchSupport.h"

#include "platform/media/MediaClasses.h"
#include "platform/sys/Com.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"

#include <algorithm>

const WCHAR kBenchOwnerClass[] = u"MediaBenchOwner";

namespace {

LRESULT OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace

double CpuSeconds(const rusage& usage)
{
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ProcessCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return CpuSeconds(usage);
}

void StartMediaLayer()
{
    static const bool started = [] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        RegisterMediaClasses();
        WNDCLASSEXW wc {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = OwnerProc;
        wc.lpszClassName = kBenchOwnerClass;
        return RegisterClassExW(&wc) != 0;
    }();
    (void)started;
}

void DispatchPending()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool RunLoopUntil(const std::function<bool()>& done, BenchClock::time_point deadline)
{
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - BenchClock::now()).count() + 1;
    UINT_PTR timer = SetTimer(nullptr, 0, static_cast<UINT>(std::max<long long>(wait, 1)), nullptr);
    bool reached = false;
    while (!(reached = done()) && BenchClock::now() < deadline) {
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            WaitMessage();
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    KillTimer(nullptr, timer);
    return reached;
}
