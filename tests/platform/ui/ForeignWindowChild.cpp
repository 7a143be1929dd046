// The other process of the foreign window tests. It makes one top-level window and writes what
// reaches it, one line at a time, to the report file:
//   ForeignWindowChild <report> <class> <title> visible|inactive|hidden|minimized|hang <timeout ms>
// "hang" makes no window: it listens on a directory entry of its own and never answers.
// The child ends on a WM_COPYDATA with dwData kQuitData, or when the timeout passes (exit code 3).
#include "platform/base/Clock.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Presenter.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"
#include "platform/ui/WindowDirectory.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr ULONG_PTR kQuitData = 0xDEAD;
constexpr UINT_PTR kTimeoutTimer = 1;
constexpr LRESULT kNullAnswer = 77;

int g_report = -1;

void Report(const std::string& line)
{
    std::string text = line + "\n";
    if (write(g_report, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        std::_Exit(4);
}

uint32_t Fnv1a(const BYTE* bytes, size_t size)
{
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

LRESULT ChildProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SHOWWINDOW:
        Report("showwindow " + std::to_string(wParam));
        break;
    case WM_SIZE:
        Report("size " + std::to_string(wParam));
        break;
    case WM_ACTIVATE:
        Report("activate " + std::to_string(LOWORD(wParam)));
        break;
    case WM_NULL:
        Report("null");
        return kNullAnswer;
    case WM_USER:
        Report("user");
        return 1;
    case WM_TIMER:
        if (wParam != kTimeoutTimer)
            break;
        Report("timeout");
        PostQuitMessage(3);
        return 0;
    case WM_COPYDATA: {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        uint32_t hash = Fnv1a(static_cast<const BYTE*>(data->lpData), data->cbData);
        char line[96];
        std::snprintf(line, sizeof line, "copydata %lx %lu %08x sender %lu", static_cast<unsigned long>(data->dwData),
            static_cast<unsigned long>(data->cbData), hash, static_cast<unsigned long>(wParam));
        Report(line);
        if (data->dwData == kQuitData)
            PostQuitMessage(0);
        return static_cast<LRESULT>(hash);
    }
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// Takes the directory entry of this process and accepts nothing, like a process stuck in a long task.
int Hang(DWORD timeoutMs)
{
    std::string path = WindowDirectoryFolder() + "/" + std::to_string(getpid());
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || listen(fd, 4) != 0) {
        Report("bind failed");
        return 5;
    }
    Report("ready");
    Sleep(timeoutMs);
    unlink(path.c_str());
    return 3;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 6)
        return 2;
    g_report = open(argv[1], O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (g_report < 0)
        return 2;
    std::string mode = argv[4];
    auto timeoutMs = static_cast<DWORD>(std::strtoul(argv[5], nullptr, 10));
    if (mode == "hang")
        return Hang(timeoutMs);

    InstallPresenter(CreateHeadlessPresenter());
    WString className = Utf8ToWide(argv[2]);
    WString title = Utf8ToWide(argv[3]);
    WNDCLASSEXW wc {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ChildProc;
    wc.lpszClassName = className.c_str();
    if (!RegisterClassExW(&wc))
        return 2;
    DWORD style = WS_POPUP | (mode == "visible" ? WS_VISIBLE : 0);
    HWND hwnd = CreateWindowExW(0, className.c_str(), title.c_str(), style, 10, 10, 200, 100, nullptr, nullptr, nullptr, nullptr);
    if (!hwnd)
        return 2;
    if (mode == "inactive")
        ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    else if (mode == "minimized")
        ShowWindow(hwnd, SW_MINIMIZE);
    SetTimer(hwnd, kTimeoutTimer, timeoutMs, nullptr);
    Report(IsServingWindowDirectory() ? "ready" : "not serving");

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    DestroyWindow(hwnd);
    return static_cast<int>(msg.wParam);
}
