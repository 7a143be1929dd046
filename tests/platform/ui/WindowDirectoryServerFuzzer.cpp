// libFuzzer target: the window directory's server, in this process, fed over its own socket.
// The first byte steers the harness: bit 0 writes the server's real instance token into the
// request and bit 1 the served window's handle (a fuzzer cannot guess either), bits 2-4 cut the
// rest into that many writes with the main context run between them. The rest is what a peer sends
// before it closes its side. A complete request gets one well-formed answer; anything else gets no
// answer or a refusal, and the server is ready for the next peer.
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Presenter.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"
#include "platform/ui/WindowDirectory.h"
#include "support/FuzzSupport.h"

#include <glib.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kInstanceOffset = 8;
constexpr size_t kHandleOffset = 16;
constexpr auto kAnswerDeadline = std::chrono::seconds(3);
constexpr LRESULT kCopyDataAnswer = 0x5A17;

struct Received {
    bool copyData = false;
    ULONG_PTR dwData = 0;
    std::vector<BYTE> bytes;
};
Received g_received;

LRESULT ServedProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COPYDATA) {
        const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        g_received.copyData = true;
        g_received.dwData = copy->dwData;
        const auto* bytes = static_cast<const BYTE*>(copy->lpData);
        g_received.bytes.assign(bytes, bytes + copy->cbData);
        return kCopyDataAnswer;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

struct Served {
    HWND window = nullptr;
    uint64_t instance = 0;
    std::string socket;
};

void Pump()
{
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

int Connect(const std::string& path)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends the pieces, lets the server run, closes the sending side and collects the answer until
// the server closes the connection.
std::optional<std::vector<BYTE>> Exchange(const std::string& socketPath, const std::vector<BYTE>& bytes, unsigned pieces)
{
    int fd = Connect(socketPath);
    if (fd < 0)
        return std::nullopt;
    auto deadline = std::chrono::steady_clock::now() + kAnswerDeadline;
    size_t piece = pieces ? bytes.size() / pieces + 1 : bytes.size();
    std::vector<BYTE> answer;
    bool closed = false;
    auto receive = [&] {
        BYTE buffer[4096];
        for (;;) {
            ssize_t n = recv(fd, buffer, sizeof buffer, 0);
            if (n > 0) {
                answer.insert(answer.end(), buffer, buffer + n);
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EINTR))
                closed = true;
            return;
        }
    };
    for (size_t sent = 0; sent < bytes.size() && !closed && std::chrono::steady_clock::now() < deadline;) {
        size_t length = std::min(piece, bytes.size() - sent);
        ssize_t n = send(fd, bytes.data() + sent, length, MSG_NOSIGNAL);
        if (n > 0)
            sent += static_cast<size_t>(n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        Pump();
        receive();
    }
    shutdown(fd, SHUT_WR);
    while (!closed && std::chrono::steady_clock::now() < deadline) {
        Pump();
        receive();
        if (!closed) {
            pollfd ready { fd, POLLIN, 0 };
            poll(&ready, 1, 1);
        }
    }
    close(fd);
    if (!closed)
        return std::nullopt;
    return answer;
}

const Served& Serve()
{
    static const Served served = [] {
        Served s;
        std::string runtime = fuzz::ScratchFolder() + "/runtime";
        mkdir(runtime.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        InstallPresenter(CreateHeadlessPresenter());
        WNDCLASSEXW wc {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = ServedProc;
        wc.lpszClassName = u"LumoFuzzServed";
        RegisterClassExW(&wc);
        s.window = CreateWindowExW(0, wc.lpszClassName, u"served", WS_POPUP | WS_VISIBLE, 0, 0, 100, 80, nullptr,
            nullptr, nullptr, nullptr);
        fuzz::Check(s.window && IsServingWindowDirectory(), "the process serves its window");
        s.socket = WindowDirectoryFolder() + "/" + std::to_string(getpid());
        auto answer = Exchange(s.socket, EncodeRequest(DirectoryRequest {}), 0);
        fuzz::Check(answer.has_value(), "a list request is answered");
        auto reply = DecodeReply(answer->data(), answer->size());
        fuzz::Check(reply && reply->status == DirectoryStatus::Done && reply->windows.size() == 1, "the list names the window");
        s.instance = reply->instance;
        return s;
    }();
    return served;
}

template <typename T> void Stamp(std::vector<BYTE>& bytes, size_t at, T value)
{
    if (bytes.size() >= at + sizeof value)
        std::memcpy(bytes.data() + at, &value, sizeof value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Served& served = Serve();
    if (size == 0 || size > 64 * 1024)
        return 0;
    unsigned control = data[0];
    std::vector<BYTE> bytes(data + 1, data + size);
    if (control & 1)
        Stamp(bytes, kInstanceOffset, served.instance);
    if (control & 2)
        Stamp(bytes, kHandleOffset, static_cast<uint64_t>(reinterpret_cast<ULONG_PTR>(served.window)));
    unsigned pieces = (control >> 2) & 7;

    g_received = {};
    std::optional<std::vector<BYTE>> answer = Exchange(served.socket, bytes, pieces);
    fuzz::Check(answer.has_value(), "the server closes every connection in time");

    std::optional<size_t> body = bytes.size() >= kRequestHeaderSize ? RequestBodyLength(bytes.data()) : std::nullopt;
    bool complete = body && bytes.size() >= kRequestHeaderSize + *body;
    if (bytes.size() < kRequestHeaderSize || (body && !complete)) {
        fuzz::Check(answer->empty(), "a request cut short is not answered");
        fuzz::Check(!g_received.copyData, "a request cut short delivers nothing");
        return 0;
    }
    std::optional<DirectoryReply> reply = DecodeReply(answer->data(), answer->size());
    fuzz::Check(reply.has_value(), "a whole header gets a well-formed answer");
    fuzz::Check(reply->instance == served.instance, "the answer carries the server's token");
    if (!body) {
        fuzz::Check(reply->status == DirectoryStatus::Refused, "a malformed header is refused");
        return 0;
    }
    std::optional<DirectoryRequest> request = DecodeRequest(bytes.data(), kRequestHeaderSize + *body);
    fuzz::Check(request.has_value(), "a whole request reads");
    if (request->kind == DirectoryRequestKind::List) {
        fuzz::Check(reply->status == DirectoryStatus::Done && reply->windows.size() == 1
                && reply->windows[0].handle == reinterpret_cast<ULONG_PTR>(served.window),
            "a list answer names the served window");
        return 0;
    }
    bool addressed = request->instance == served.instance && request->handle == reinterpret_cast<ULONG_PTR>(served.window);
    if (!addressed) {
        fuzz::Check(reply->status == DirectoryStatus::Refused, "a request for another process or window is refused");
        fuzz::Check(!g_received.copyData, "a refused request delivers nothing");
        return 0;
    }
    if (request->kind == DirectoryRequestKind::Send && request->message == WM_COPYDATA) {
        fuzz::Check(reply->status == DirectoryStatus::Done && reply->result == kCopyDataAnswer, "the window's answer comes back");
        fuzz::Check(g_received.copyData && g_received.bytes == request->data
                && g_received.dwData == static_cast<ULONG_PTR>(request->argument),
            "the window receives the data sent");
    }
    // Whatever the request did to the window, the next one finds it shown.
    ShowWindow(served.window, SW_SHOWNORMAL);
    return 0;
}
