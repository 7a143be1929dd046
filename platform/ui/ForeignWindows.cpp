#include "platform/ui/ForeignWindows.h"

#include "platform/ui/WindowClass.h"
#include "platform/ui/WindowDirectory.h"
#include "platform/ui/WindowObject.h"

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>

namespace {

// Local handles count up from 0x10010 in steps of 4 and never reach this range.
constexpr ULONG_PTR kForeignBase = 0x40000000;
constexpr ULONG_PTR kForeignIndexMask = 0x00FFFFFF;

struct ForeignWindow {
    pid_t pid = 0;
    uint64_t instance = 0;
    uint64_t handle = 0;
};

// A foreign handle is an index into this table, which only grows, so a handle stays valid for
// the life of the process (it answers "no such window" once the window is gone).
struct ForeignTable {
    std::mutex lock;
    std::vector<ForeignWindow> windows;
    std::map<std::tuple<pid_t, uint64_t, uint64_t>, size_t> indexOf;
    std::atomic<size_t> count {0};
};

ForeignTable& Table()
{
    static ForeignTable* table = new ForeignTable;
    return *table;
}

HWND HandleFor(pid_t pid, uint64_t instance, uint64_t handle)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    auto key = std::make_tuple(pid, instance, handle);
    auto it = table.indexOf.find(key);
    if (it != table.indexOf.end())
        return reinterpret_cast<HWND>(kForeignBase | it->second);
    size_t index = table.windows.size();
    if (index > kForeignIndexMask)
        return nullptr;
    table.windows.push_back({pid, instance, handle});
    table.indexOf.emplace(key, index);
    table.count.store(table.windows.size());
    return reinterpret_cast<HWND>(kForeignBase | index);
}

std::optional<ForeignWindow> Lookup(HWND hwnd)
{
    if (!IsForeignWindow(hwnd))
        return std::nullopt;
    auto& table = Table();
    std::lock_guard guard(table.lock);
    return table.windows[reinterpret_cast<ULONG_PTR>(hwnd) & kForeignIndexMask];
}

bool Matches(const WString& windowClass, const WString& title, LPCWSTR className, LPCWSTR windowName)
{
    if (className && lstrcmpiW(windowClass.c_str(), className) != 0)
        return false;
    return !windowName || title == ToView(windowName);
}

// The window as its process lists it now; nothing when the window or its process is gone.
std::optional<DirectoryWindow> Listed(HWND hwnd)
{
    auto foreign = Lookup(hwnd);
    if (!foreign)
        return std::nullopt;
    auto reply = AskWindowDirectoryPeer(foreign->pid, DirectoryRequest {});
    if (!reply || reply->status != DirectoryStatus::Done || reply->instance != foreign->instance)
        return std::nullopt;
    for (auto& w : reply->windows) {
        if (w.handle == foreign->handle)
            return std::move(w);
    }
    return std::nullopt;
}

std::optional<LRESULT> Ask(HWND hwnd, DirectoryRequest request)
{
    auto foreign = Lookup(hwnd);
    if (!foreign) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return std::nullopt;
    }
    request.instance = foreign->instance;
    request.handle = foreign->handle;
    auto reply = AskWindowDirectoryPeer(foreign->pid, request);
    if (!reply || reply->status != DirectoryStatus::Done) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return std::nullopt;
    }
    return reply->result;
}

// A class given as an atom means the name registered here under it.
std::optional<WString> ClassNameOf(LPCWSTR className)
{
    if (!className || !IS_INTRESOURCE(className))
        return WString(ToView(className));
    auto record = FindWindowClass(className);
    if (!record)
        return std::nullopt;
    return record->name;
}

} // namespace

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName)
{
    auto name = ClassNameOf(className);
    if (!name)
        return nullptr;
    LPCWSTR wanted = className ? name->c_str() : nullptr;
    std::vector<HWND> local = TopLevelWindowsOfProcess();
    if (!local.empty())
        ServeWindowDirectory();
    for (HWND hwnd : local) {
        WindowObject* w = FindWindowObject(hwnd);
        if (w && Matches(w->windowClass->name, w->text, wanted, windowName))
            return hwnd;
    }
    HWND found = nullptr;
    ListWindowDirectoryPeers([&](pid_t pid, const DirectoryReply& reply) {
        for (const auto& w : reply.windows) {
            if (Matches(w.className, w.title, wanted, windowName)) {
                found = HandleFor(pid, reply.instance, w.handle);
                return true;
            }
        }
        return false;
    });
    return found;
}

bool IsForeignWindow(HWND hwnd)
{
    auto value = reinterpret_cast<ULONG_PTR>(hwnd);
    if ((value & ~kForeignIndexMask) != kForeignBase)
        return false;
    return (value & kForeignIndexMask) < Table().count.load();
}

BOOL ForeignShowWindow(HWND hwnd, int command)
{
    DirectoryRequest request;
    request.kind = DirectoryRequestKind::Show;
    request.argument = command;
    auto result = Ask(hwnd, request);
    return result && *result ? TRUE : FALSE;
}

BOOL ForeignIsWindowVisible(HWND hwnd)
{
    auto listed = Listed(hwnd);
    return listed && listed->visible ? TRUE : FALSE;
}

BOOL ForeignSetForegroundWindow(HWND hwnd)
{
    DirectoryRequest request;
    request.kind = DirectoryRequestKind::Foreground;
    auto result = Ask(hwnd, request);
    return result && *result ? TRUE : FALSE;
}

BOOL ForeignIsWindow(HWND hwnd)
{
    return Listed(hwnd) ? TRUE : FALSE;
}

LRESULT ForeignSendMessage(HWND hwnd, UINT message, WPARAM, LPARAM lParam)
{
    DirectoryRequest request;
    request.kind = DirectoryRequestKind::Send;
    request.message = message;
    if (message == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (!data || data->cbData > kDirectoryMaxCopyData || (data->cbData && !data->lpData)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        request.argument = static_cast<int64_t>(data->dwData);
        const auto* bytes = static_cast<const BYTE*>(data->lpData);
        request.data.assign(bytes, bytes + data->cbData);
    } else if (message != WM_NULL) {
        return 0;
    }
    return Ask(hwnd, request).value_or(0);
}
