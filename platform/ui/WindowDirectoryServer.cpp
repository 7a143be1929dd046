// The answering side of the window directory: a listening socket watched by the default main
// context, and one small state machine per connection (read the request, answer, close), so a
// slow or silent peer never blocks the UI thread.
#include "platform/ui/WindowDirectory.h"

#include "platform/sys/Thread.h"
#include "platform/ui/Input.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"
#include "platform/ui/WindowObject.h"

#include <glib-unix.h>
#include <glib.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>

namespace {

constexpr size_t kMaxConnections = 16;
// Writing an answer may wait on a slow reader; waiting for a request only on a silent one.
constexpr guint kAnswerDeadlineMs = 2000;
constexpr int kListenBacklog = 16;

struct Connection {
    int fd = -1;
    std::vector<BYTE> bytes; // the request while reading, the answer while writing
    size_t expected = kRequestHeaderSize;
    bool headerRead = false;
    size_t written = 0;
    GSource* watch = nullptr;
    GSource* deadline = nullptr;
    bool answering = false;
    uint64_t serial = 0; // order of acceptance
};

struct Server {
    std::mutex lock;
    bool attempted = false;
    pid_t owner = 0;
    uint64_t instance = 0;
    std::string socketPath;
    std::set<Connection*> connections; // touched by the thread iterating the default context only
    uint64_t accepted = 0;
};

Server& TheServer()
{
    static Server* server = new Server; // still needed by the exit handler after static destruction
    return *server;
}

void RemoveSocketAtExit()
{
    Server& server = TheServer();
    // A forked child that exits without exec must not take its parent's entry with it.
    if (server.owner == getpid() && !server.socketPath.empty())
        unlink(server.socketPath.c_str());
}

uint64_t NewInstanceToken()
{
    uint64_t token = 0;
    if (getrandom(&token, sizeof token, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof token))
        token = (static_cast<uint64_t>(getpid()) << 32) ^ static_cast<uint64_t>(time(nullptr)) ^ g_get_monotonic_time();
    return token ? token : 1;
}

GSource* Watch(int fd, GIOCondition condition, GUnixFDSourceFunc callback, Connection* connection)
{
    GSource* source = g_unix_fd_source_new(fd, condition);
    g_source_set_callback(source, G_SOURCE_FUNC(callback), connection, nullptr);
    g_source_attach(source, g_main_context_default());
    return source;
}

void Unwatch(GSource*& source)
{
    if (!source)
        return;
    g_source_destroy(source);
    g_source_unref(source);
    source = nullptr;
}

void StopWatching(Connection* connection)
{
    Unwatch(connection->watch);
    Unwatch(connection->deadline);
}

void Close(Connection* connection)
{
    StopWatching(connection);
    close(connection->fd);
    TheServer().connections.erase(connection);
    delete connection;
}

gboolean OnDeadline(gpointer data)
{
    Close(static_cast<Connection*>(data));
    return G_SOURCE_REMOVE;
}

GSource* Deadline(Connection* connection)
{
    GSource* source = g_timeout_source_new(connection->answering ? kAnswerDeadlineMs : kDirectoryIdleTimeoutMs);
    g_source_set_callback(source, OnDeadline, connection, nullptr);
    g_source_attach(source, g_main_context_default());
    return source;
}

// A handle of a request names a live top-level window of the answering thread, or nothing.
HWND ServedWindow(uint64_t handle)
{
    auto hwnd = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(handle));
    std::vector<HWND> tops = TopLevelWindowsOfProcess();
    if (std::find(tops.begin(), tops.end(), hwnd) == tops.end())
        return nullptr;
    WindowObject* w = FindWindowObject(hwnd);
    if (!w || w->IsChild() || w->destroying || w->threadId != GetCurrentThreadId())
        return nullptr;
    return hwnd;
}

std::vector<DirectoryWindow> ListWindows()
{
    std::vector<DirectoryWindow> list;
    for (HWND hwnd : TopLevelWindowsOfProcess()) {
        if (list.size() == kDirectoryMaxListed)
            break;
        if (!ServedWindow(reinterpret_cast<ULONG_PTR>(hwnd)))
            continue;
        WindowObject* w = FindWindowObject(hwnd);
        DirectoryWindow entry;
        entry.handle = reinterpret_cast<ULONG_PTR>(hwnd);
        entry.visible = IsWindowVisible(hwnd) != FALSE;
        entry.minimized = w->minimized;
        entry.className = w->windowClass->name.substr(0, kDirectoryMaxNameUnits);
        entry.title = w->text.substr(0, kDirectoryMaxNameUnits);
        list.push_back(std::move(entry));
    }
    return list;
}

LRESULT Deliver(HWND hwnd, const DirectoryRequest& request)
{
    if (request.message == WM_NULL)
        return SendMessageW(hwnd, WM_NULL, 0, 0);
    COPYDATASTRUCT data {};
    data.dwData = static_cast<ULONG_PTR>(request.argument);
    data.cbData = static_cast<DWORD>(request.data.size());
    data.lpData = request.data.empty() ? nullptr : const_cast<BYTE*>(request.data.data());
    return SendMessageW(hwnd, WM_COPYDATA, 0 /* no sender window */, reinterpret_cast<LPARAM>(&data));
}

DirectoryReply Handle(const DirectoryRequest& request)
{
    DirectoryReply reply;
    reply.instance = TheServer().instance;
    if (request.kind == DirectoryRequestKind::List) {
        reply.status = DirectoryStatus::Done;
        reply.windows = ListWindows();
        return reply;
    }
    if (request.instance != reply.instance)
        return reply;
    HWND hwnd = ServedWindow(request.handle);
    if (!hwnd)
        return reply;
    switch (request.kind) {
    case DirectoryRequestKind::Show:
        if (request.argument < SW_HIDE || request.argument > SW_SHOWDEFAULT)
            return reply;
        reply.result = ShowWindow(hwnd, static_cast<int>(request.argument));
        break;
    case DirectoryRequestKind::Foreground:
        reply.result = SetForegroundWindow(hwnd);
        break;
    case DirectoryRequestKind::Send:
        reply.result = Deliver(hwnd, request);
        break;
    case DirectoryRequestKind::List:
        break;
    }
    reply.status = DirectoryStatus::Done;
    return reply;
}

gboolean OnWritable(gint, GIOCondition, gpointer data)
{
    auto* connection = static_cast<Connection*>(data);
    while (connection->written < connection->bytes.size()) {
        ssize_t n = send(connection->fd, connection->bytes.data() + connection->written,
            connection->bytes.size() - connection->written, MSG_NOSIGNAL);
        if (n > 0) {
            connection->written += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return G_SOURCE_CONTINUE;
        break;
    }
    Close(connection);
    return G_SOURCE_REMOVE;
}

// Answers once the whole request is in. The connection is watched by nothing while the request
// runs a window procedure, so a nested message loop cannot close it underneath.
void Answer(Connection* connection, const std::optional<DirectoryRequest>& request)
{
    StopWatching(connection);
    // Before the request runs: a connection that is being answered is never evicted.
    connection->answering = true;
    DirectoryReply refusal;
    refusal.instance = TheServer().instance;
    connection->bytes = EncodeReply(request ? Handle(*request) : refusal);
    connection->written = 0;
    connection->watch = Watch(connection->fd, G_IO_OUT, OnWritable, connection);
    connection->deadline = Deadline(connection);
}

gboolean OnReadable(gint, GIOCondition, gpointer data)
{
    auto* connection = static_cast<Connection*>(data);
    while (connection->bytes.size() < connection->expected) {
        size_t had = connection->bytes.size();
        connection->bytes.resize(connection->expected);
        ssize_t n = recv(connection->fd, connection->bytes.data() + had, connection->expected - had, 0);
        connection->bytes.resize(had + static_cast<size_t>(std::max<ssize_t>(n, 0)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return G_SOURCE_CONTINUE;
        if (n <= 0) {
            Close(connection);
            return G_SOURCE_REMOVE;
        }
        if (!connection->headerRead && connection->bytes.size() == kRequestHeaderSize) {
            connection->headerRead = true;
            auto body = RequestBodyLength(connection->bytes.data());
            if (!body) {
                Answer(connection, std::nullopt);
                return G_SOURCE_REMOVE;
            }
            connection->expected += *body;
        }
    }
    Answer(connection, DecodeRequest(connection->bytes.data(), connection->bytes.size()));
    return G_SOURCE_REMOVE;
}

bool PeerIsThisUser(int fd)
{
    ucred credentials {};
    socklen_t size = sizeof credentials;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return false;
    return credentials.uid == geteuid();
}

gboolean OnListenerReady(gint listener, GIOCondition, gpointer)
{
    Server& server = TheServer();
    for (;;) {
        int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0 && errno == EINTR)
            continue;
        if (fd < 0)
            return G_SOURCE_CONTINUE;
        if (!PeerIsThisUser(fd)) {
            close(fd);
            continue;
        }
        // When every place is taken, the connection that has waited longest without sending its
        // request makes room: idle connections cannot lock real clients out.
        if (server.connections.size() >= kMaxConnections) {
            Connection* oldest = nullptr;
            for (Connection* other : server.connections) {
                if (!other->answering && (!oldest || other->serial < oldest->serial))
                    oldest = other;
            }
            if (!oldest) {
                close(fd);
                continue;
            }
            Close(oldest);
        }
        auto* connection = new Connection;
        connection->fd = fd;
        connection->serial = ++server.accepted;
        connection->bytes.reserve(kRequestHeaderSize);
        server.connections.insert(connection);
        connection->watch = Watch(fd, G_IO_IN, OnReadable, connection);
        connection->deadline = Deadline(connection);
    }
}

// Binds under a temporary name and renames once listening, so a client never meets the entry
// in the moment it refuses connections and takes it for the leftover of a dead process.
int Listen(const std::string& finalPath)
{
    std::string temporary = finalPath + ".new";
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (temporary.size() >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, temporary.c_str(), temporary.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    unlink(temporary.c_str());
    bool ready = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0
        && listen(fd, kListenBacklog) == 0 && rename(temporary.c_str(), finalPath.c_str()) == 0;
    if (!ready) {
        unlink(temporary.c_str());
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

void ServeWindowDirectory()
{
    Server& server = TheServer();
    std::lock_guard guard(server.lock);
    // One attempt: a process whose folder is refused does not retry with every window it makes.
    if (server.attempted)
        return;
    server.attempted = true;
    std::string folder = WindowDirectoryFolder();
    if (folder.empty())
        return;
    std::string path = folder + "/" + std::to_string(getpid());
    int fd = Listen(path);
    if (fd < 0)
        return;
    server.instance = NewInstanceToken();
    server.owner = getpid();
    server.socketPath = path;
    std::atexit(RemoveSocketAtExit);
    GSource* source = g_unix_fd_source_new(fd, G_IO_IN);
    g_source_set_callback(source, G_SOURCE_FUNC(OnListenerReady), nullptr, nullptr);
    g_source_attach(source, g_main_context_default());
    g_source_unref(source);
}

bool IsServingWindowDirectory()
{
    Server& server = TheServer();
    std::lock_guard guard(server.lock);
    return !server.socketPath.empty();
}
