#include "platform/ui/WindowDirectory.h"

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

namespace {

constexpr uint32_t kRequestMagic = 0x4C575251; // "LWRQ"
constexpr uint32_t kReplyMagic = 0x4C575250;   // "LWRP"
constexpr size_t kEntryHeaderSize = 16;
constexpr size_t kMaxReplyBody = kDirectoryMaxListed * (kEntryHeaderSize + 2 * kDirectoryMaxNameUnits * sizeof(WCHAR));
constexpr uint32_t kFlagVisible = 1;
constexpr uint32_t kFlagMinimized = 2;

class Writer {
public:
    template <typename T>
    void Put(T value) { PutBytes(&value, sizeof value); }
    void PutBytes(const void* data, size_t size)
    {
        const auto* bytes = static_cast<const BYTE*>(data);
        m_bytes.insert(m_bytes.end(), bytes, bytes + size);
    }
    void PutUnits(WStringView text) { PutBytes(text.data(), text.size() * sizeof(WCHAR)); }
    std::vector<BYTE> Take() { return std::move(m_bytes); }

private:
    std::vector<BYTE> m_bytes;
};

class Reader {
public:
    Reader(const BYTE* bytes, size_t size) : m_bytes(bytes), m_size(size) {}
    template <typename T>
    bool Get(T& value)
    {
        if (m_size - m_at < sizeof value)
            return false;
        std::memcpy(&value, m_bytes + m_at, sizeof value);
        m_at += sizeof value;
        return true;
    }
    bool GetUnits(size_t count, WString& text)
    {
        if ((m_size - m_at) / sizeof(WCHAR) < count)
            return false;
        text.resize(count);
        std::memcpy(text.data(), m_bytes + m_at, count * sizeof(WCHAR));
        m_at += count * sizeof(WCHAR);
        return true;
    }
    bool AtEnd() const { return m_at == m_size; }

private:
    const BYTE* m_bytes;
    size_t m_size;
    size_t m_at = 0;
};

struct RequestHeader {
    uint32_t magic = 0;
    uint32_t kind = 0;
    uint64_t instance = 0;
    uint64_t handle = 0;
    int64_t argument = 0;
    uint32_t message = 0;
    uint32_t dataLength = 0;
};

std::optional<RequestHeader> ReadRequestHeader(const BYTE* bytes)
{
    Reader reader(bytes, kRequestHeaderSize);
    RequestHeader h;
    bool whole = reader.Get(h.magic) && reader.Get(h.kind) && reader.Get(h.instance) && reader.Get(h.handle)
        && reader.Get(h.argument) && reader.Get(h.message) && reader.Get(h.dataLength);
    if (!whole || h.magic != kRequestMagic)
        return std::nullopt;
    if (h.kind < static_cast<uint32_t>(DirectoryRequestKind::List) || h.kind > static_cast<uint32_t>(DirectoryRequestKind::Send))
        return std::nullopt;
    bool send = h.kind == static_cast<uint32_t>(DirectoryRequestKind::Send);
    if (send && h.message != WM_COPYDATA && h.message != WM_NULL)
        return std::nullopt;
    if (h.dataLength > kDirectoryMaxCopyData)
        return std::nullopt;
    if (h.dataLength > 0 && !(send && h.message == WM_COPYDATA))
        return std::nullopt;
    return h;
}

struct ReplyHeader {
    uint32_t magic = 0;
    uint32_t status = 0;
    uint64_t instance = 0;
    int64_t result = 0;
    uint32_t count = 0;
    uint32_t bodyLength = 0;
};

std::optional<ReplyHeader> ReadReplyHeader(const BYTE* bytes)
{
    Reader reader(bytes, kReplyHeaderSize);
    ReplyHeader h;
    bool whole = reader.Get(h.magic) && reader.Get(h.status) && reader.Get(h.instance) && reader.Get(h.result)
        && reader.Get(h.count) && reader.Get(h.bodyLength);
    if (!whole || h.magic != kReplyMagic || h.status > static_cast<uint32_t>(DirectoryStatus::Refused))
        return std::nullopt;
    if (h.count > kDirectoryMaxListed || h.bodyLength > kMaxReplyBody)
        return std::nullopt;
    return h;
}

WStringView Capped(const WString& text)
{
    return WStringView(text).substr(0, kDirectoryMaxNameUnits);
}

} // namespace

std::vector<BYTE> EncodeRequest(const DirectoryRequest& request)
{
    Writer writer;
    writer.Put(kRequestMagic);
    writer.Put(static_cast<uint32_t>(request.kind));
    writer.Put(request.instance);
    writer.Put(request.handle);
    writer.Put(request.argument);
    writer.Put(request.message);
    writer.Put(static_cast<uint32_t>(request.data.size()));
    writer.PutBytes(request.data.data(), request.data.size());
    return writer.Take();
}

std::optional<size_t> RequestBodyLength(const BYTE* header)
{
    auto h = ReadRequestHeader(header);
    if (!h)
        return std::nullopt;
    return h->dataLength;
}

std::optional<DirectoryRequest> DecodeRequest(const BYTE* bytes, size_t size)
{
    if (size < kRequestHeaderSize)
        return std::nullopt;
    auto h = ReadRequestHeader(bytes);
    if (!h || size != kRequestHeaderSize + h->dataLength)
        return std::nullopt;
    DirectoryRequest request;
    request.kind = static_cast<DirectoryRequestKind>(h->kind);
    request.instance = h->instance;
    request.handle = h->handle;
    request.argument = h->argument;
    request.message = h->message;
    request.data.assign(bytes + kRequestHeaderSize, bytes + size);
    return request;
}

std::vector<BYTE> EncodeReply(const DirectoryReply& reply)
{
    size_t count = std::min(reply.windows.size(), kDirectoryMaxListed);
    Writer body;
    for (size_t i = 0; i < count; ++i) {
        const DirectoryWindow& w = reply.windows[i];
        WStringView className = Capped(w.className);
        WStringView title = Capped(w.title);
        body.Put(w.handle);
        body.Put(static_cast<uint32_t>((w.visible ? kFlagVisible : 0) | (w.minimized ? kFlagMinimized : 0)));
        body.Put(static_cast<uint16_t>(className.size()));
        body.Put(static_cast<uint16_t>(title.size()));
        body.PutUnits(className);
        body.PutUnits(title);
    }
    std::vector<BYTE> entries = body.Take();
    Writer writer;
    writer.Put(kReplyMagic);
    writer.Put(static_cast<uint32_t>(reply.status));
    writer.Put(reply.instance);
    writer.Put(reply.result);
    writer.Put(static_cast<uint32_t>(count));
    writer.Put(static_cast<uint32_t>(entries.size()));
    writer.PutBytes(entries.data(), entries.size());
    return writer.Take();
}

std::optional<size_t> ReplyBodyLength(const BYTE* header)
{
    auto h = ReadReplyHeader(header);
    if (!h)
        return std::nullopt;
    return h->bodyLength;
}

std::optional<DirectoryReply> DecodeReply(const BYTE* bytes, size_t size)
{
    if (size < kReplyHeaderSize)
        return std::nullopt;
    auto h = ReadReplyHeader(bytes);
    if (!h || size != kReplyHeaderSize + h->bodyLength)
        return std::nullopt;
    DirectoryReply reply;
    reply.status = static_cast<DirectoryStatus>(h->status);
    reply.instance = h->instance;
    reply.result = h->result;
    Reader reader(bytes + kReplyHeaderSize, h->bodyLength);
    for (uint32_t i = 0; i < h->count; ++i) {
        DirectoryWindow w;
        uint32_t flags = 0;
        uint16_t classUnits = 0;
        uint16_t titleUnits = 0;
        if (!reader.Get(w.handle) || !reader.Get(flags) || !reader.Get(classUnits) || !reader.Get(titleUnits))
            return std::nullopt;
        if (classUnits > kDirectoryMaxNameUnits || titleUnits > kDirectoryMaxNameUnits)
            return std::nullopt;
        if (!reader.GetUnits(classUnits, w.className) || !reader.GetUnits(titleUnits, w.title))
            return std::nullopt;
        w.visible = (flags & kFlagVisible) != 0;
        w.minimized = (flags & kFlagMinimized) != 0;
        reply.windows.push_back(std::move(w));
    }
    if (!reader.AtEnd())
        return std::nullopt;
    return reply;
}

std::string WindowDirectoryFolderPath()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/')
        return std::string(runtime) + "/lumo-windows";
    return std::string(P_tmpdir) + "/lumo-windows-" + std::to_string(getuid());
}

bool PreparePrivateFolder(const std::string& path)
{
    if (mkdir(path.c_str(), 0700) == 0) {
        // The umask may only have narrowed it; make sure the owner can use it.
        return chmod(path.c_str(), 0700) == 0;
    }
    if (errno != EEXIST)
        return false;
    // lstat, so a symbolic link planted under that name is refused rather than followed.
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

std::string WindowDirectoryFolder()
{
    std::string path = WindowDirectoryFolderPath();
    return PreparePrivateFolder(path) ? path : std::string();
}

namespace {

using Clock = std::chrono::steady_clock;

class Socket {
public:
    explicit Socket(int fd) : m_fd(fd) {}
    ~Socket()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int Fd() const { return m_fd; }

private:
    int m_fd;
};

int RemainingMs(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

bool WaitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        int left = RemainingMs(deadline);
        if (left == 0)
            return false;
        pollfd p {fd, events, 0};
        int ready = poll(&p, 1, left);
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

bool SendAll(int fd, const std::vector<BYTE>& bytes, Clock::time_point deadline)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(fd, POLLOUT, deadline))
            continue;
        return false;
    }
    return true;
}

bool ReceiveExactly(int fd, BYTE* into, size_t size, Clock::time_point deadline)
{
    size_t received = 0;
    while (received < size) {
        ssize_t n = recv(fd, into + received, size - received, 0);
        if (n > 0) {
            received += static_cast<size_t>(n);
            continue;
        }
        if (n == 0)
            return false;
        if (errno == EINTR)
            continue;
        if ((errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(fd, POLLIN, deadline))
            continue;
        return false;
    }
    return true;
}

// Removes an entry only if it is still the one that was judged stale, so a process that has just
// taken over the same name keeps its socket.
void RemoveStaleEntry(const std::string& path, const struct stat& judged)
{
    struct stat now {};
    if (lstat(path.c_str(), &now) == 0 && now.st_dev == judged.st_dev && now.st_ino == judged.st_ino)
        unlink(path.c_str());
}

enum class ConnectResult { Connected, Stale, Unreachable };

ConnectResult Connect(int fd, const std::string& path, Clock::time_point deadline)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return ConnectResult::Unreachable;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    for (;;) {
        if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 || errno == EISCONN)
            return ConnectResult::Connected;
        if (errno == EINTR)
            continue;
        if (errno == ECONNREFUSED || errno == ENOENT)
            return ConnectResult::Stale;
        // A full backlog answers EAGAIN on a Unix socket; the connection has to be tried again.
        if ((errno == EAGAIN || errno == EINPROGRESS || errno == EALREADY) && RemainingMs(deadline) > 0) {
            poll(nullptr, 0, 5);
            continue;
        }
        return ConnectResult::Unreachable;
    }
}

std::optional<pid_t> PidOfEntry(const char* name)
{
    size_t length = std::strlen(name);
    if (length == 0 || length > 9 || name[0] == '0')
        return std::nullopt;
    long value = 0;
    for (size_t i = 0; i < length; ++i) {
        if (name[i] < '0' || name[i] > '9')
            return std::nullopt;
        value = value * 10 + (name[i] - '0');
    }
    return static_cast<pid_t>(value);
}

} // namespace

std::vector<pid_t> WindowDirectoryPeers()
{
    std::vector<pid_t> peers;
    std::string folder = WindowDirectoryFolder();
    if (folder.empty())
        return peers;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir)
        return peers;
    pid_t self = getpid();
    while (dirent* entry = readdir(dir.get())) {
        auto pid = PidOfEntry(entry->d_name);
        if (!pid || *pid == self)
            continue;
        std::string path = folder + "/" + entry->d_name;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode))
            continue;
        if (kill(*pid, 0) != 0 && errno == ESRCH) {
            RemoveStaleEntry(path, st);
            continue;
        }
        peers.push_back(*pid);
    }
    return peers;
}

std::optional<DirectoryReply> AskWindowDirectoryPeer(pid_t pid, const DirectoryRequest& request)
{
    std::string folder = WindowDirectoryFolder();
    if (folder.empty())
        return std::nullopt;
    std::string path = folder + "/" + std::to_string(pid);
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode))
        return std::nullopt;
    Socket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (socket.Fd() < 0)
        return std::nullopt;

    auto deadline = Clock::now() + std::chrono::milliseconds(kDirectoryPeerTimeoutMs);
    switch (Connect(socket.Fd(), path, deadline)) {
    case ConnectResult::Connected:
        break;
    case ConnectResult::Stale:
        RemoveStaleEntry(path, st);
        return std::nullopt;
    case ConnectResult::Unreachable:
        return std::nullopt;
    }
    if (!SendAll(socket.Fd(), EncodeRequest(request), deadline))
        return std::nullopt;
    // Anything but a list runs a window procedure over there, which may take a while.
    if (request.kind != DirectoryRequestKind::List)
        deadline = Clock::now() + std::chrono::milliseconds(kDirectoryHandlerTimeoutMs);

    std::vector<BYTE> bytes(kReplyHeaderSize);
    if (!ReceiveExactly(socket.Fd(), bytes.data(), kReplyHeaderSize, deadline))
        return std::nullopt;
    auto body = ReplyBodyLength(bytes.data());
    if (!body)
        return std::nullopt;
    bytes.resize(kReplyHeaderSize + *body);
    if (!ReceiveExactly(socket.Fd(), bytes.data() + kReplyHeaderSize, *body, deadline))
        return std::nullopt;
    return DecodeReply(bytes.data(), bytes.size());
}

namespace {

// One peer of a parallel list request: connect, send the request, read the answer.
struct PendingPeer {
    pid_t pid = 0;
    std::string path;
    struct stat entry {};
    std::unique_ptr<Socket> socket;
    bool connected = false;
    size_t sent = 0;
    std::vector<BYTE> bytes;
    size_t expected = kReplyHeaderSize;
    bool done = false;
};

// Moves one peer on as far as it can go without waiting; false when it has failed.
bool Advance(PendingPeer& peer, const std::vector<BYTE>& request, std::optional<DirectoryReply>& reply)
{
    int fd = peer.socket->Fd();
    if (!peer.connected) {
        switch (Connect(fd, peer.path, Clock::now())) {
        case ConnectResult::Connected:
            peer.connected = true;
            break;
        case ConnectResult::Stale:
            RemoveStaleEntry(peer.path, peer.entry);
            return false;
        case ConnectResult::Unreachable:
            // A full backlog: tried again at the next round.
            return errno == EAGAIN || errno == EINPROGRESS || errno == EALREADY;
        }
    }
    while (peer.sent < request.size()) {
        ssize_t n = send(fd, request.data() + peer.sent, request.size() - peer.sent, MSG_NOSIGNAL);
        if (n > 0) {
            peer.sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    while (peer.bytes.size() < peer.expected) {
        size_t had = peer.bytes.size();
        peer.bytes.resize(peer.expected);
        ssize_t n = recv(fd, peer.bytes.data() + had, peer.expected - had, 0);
        peer.bytes.resize(had + static_cast<size_t>(std::max<ssize_t>(n, 0)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        if (n <= 0)
            return false;
        if (peer.expected == kReplyHeaderSize && peer.bytes.size() == kReplyHeaderSize) {
            auto body = ReplyBodyLength(peer.bytes.data());
            if (!body)
                return false;
            peer.expected += *body;
        }
    }
    reply = DecodeReply(peer.bytes.data(), peer.bytes.size());
    peer.done = true;
    return reply.has_value();
}

} // namespace

void ListWindowDirectoryPeers(const std::function<bool(pid_t, const DirectoryReply&)>& take)
{
    std::string folder = WindowDirectoryFolder();
    if (folder.empty())
        return;
    std::vector<PendingPeer> peers;
    for (pid_t pid : WindowDirectoryPeers()) {
        if (peers.size() >= kDirectoryMaxPeers)
            break;
        PendingPeer peer;
        peer.pid = pid;
        peer.path = folder + "/" + std::to_string(pid);
        if (lstat(peer.path.c_str(), &peer.entry) != 0 || !S_ISSOCK(peer.entry.st_mode))
            continue;
        peer.socket = std::make_unique<Socket>(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (peer.socket->Fd() < 0)
            continue;
        peers.push_back(std::move(peer));
    }
    std::vector<BYTE> request = EncodeRequest(DirectoryRequest {});
    // One deadline for all: a silent peer costs the search no more than the slowest honest one.
    auto deadline = Clock::now() + std::chrono::milliseconds(kDirectoryPeerTimeoutMs);
    std::vector<pollfd> waiting;
    for (;;) {
        waiting.clear();
        bool retryConnect = false;
        for (auto& peer : peers) {
            if (peer.done)
                continue;
            std::optional<DirectoryReply> reply;
            if (!Advance(peer, request, reply)) {
                peer.done = true;
                continue;
            }
            if (peer.done) {
                if (reply && reply->status == DirectoryStatus::Done && take(peer.pid, *reply))
                    return;
                continue;
            }
            if (!peer.connected) {
                retryConnect = true;
                continue;
            }
            short events = peer.sent < request.size() ? POLLOUT : POLLIN;
            waiting.push_back(pollfd {peer.socket->Fd(), events, 0});
        }
        if (waiting.empty() && !retryConnect)
            return;
        int left = RemainingMs(deadline);
        if (left == 0)
            return;
        int ready = poll(waiting.data(), waiting.size(), retryConnect ? std::min(left, 5) : left);
        if (ready < 0 && errno != EINTR)
            return;
    }
}

