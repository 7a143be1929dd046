#include "platform/sys/Mutex.h"

#include "platform/sys/Thread.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <utility>

namespace {

constexpr size_t kReadableNameLength = 120;
constexpr auto kGateTimeout = std::chrono::seconds(2);
constexpr auto kPollInterval = std::chrono::milliseconds(20);
constexpr char kOwnedMark = '1';
constexpr char kFreeMark = '0';

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd)
        : m_fd(fd)
    {
    }
    UniqueFd(UniqueFd&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {
    }
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        Reset();
        m_fd = std::exchange(other.m_fd, -1);
        return *this;
    }
    ~UniqueFd() { Reset(); }

    int Get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    void Reset()
    {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

std::string Hex(std::uint64_t value, int digits)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(static_cast<size_t>(digits), '0');
    for (int k = digits - 1; k >= 0; --k, value >>= 4)
        text[static_cast<size_t>(k)] = kDigits[value & 0xF];
    return text;
}

template <class Units> std::uint64_t Fnv1a(const Units& units)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (WCHAR c : units) {
        hash = (hash ^ (c & 0xFF)) * 0x100000001b3ull;
        hash = (hash ^ (c >> 8)) * 0x100000001b3ull;
    }
    return hash;
}

bool IsPlainNameUnit(WCHAR c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'-';
}

bool EnsurePrivateFolder(const std::string& path, mode_t forbiddenModes)
{
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == getuid() && (info.st_mode & forbiddenModes) == 0;
}

std::string LockFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string base;
    if (runtime && runtime[0] == '/') {
        base = runtime;
    } else {
        // /tmp is shared, so a folder someone else made or opened up is not used.
        base = "/tmp/lumo-" + std::to_string(getuid());
        if (!EnsurePrivateFolder(base, 077))
            return {};
    }
    std::string folder = base + "/lumo-mutex";
    if (!EnsurePrivateFolder(folder, 022))
        return {};
    return folder;
}

UniqueFd OpenLockFile(const std::string& path)
{
    return UniqueFd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
}

void WriteMark(const UniqueFd& file, char mark)
{
    // The mark only tells the next owner about an abandoned mutex; a failed write loses no lock.
    ssize_t written = pwrite(file.Get(), &mark, 1, 0);
    (void)written;
}

bool TryLock(const UniqueFd& file, int operation)
{
    int result;
    do {
        result = flock(file.Get(), operation | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool LockWithin(const UniqueFd& file, int operation, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!TryLock(file, operation)) {
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Every process with the mutex open holds a shared lock on its presence file. The one that finds
// nobody there (an exclusive lock succeeds) is the creator. flock turns an exclusive lock into a
// shared one by dropping and retaking it, so the folder's gate keeps others out meanwhile.
DWORD JoinNamedMutex(WStringView name, UniqueFd& presence, UniqueFd& owner, bool& existed)
{
    std::string folder = LockFolder();
    if (folder.empty())
        return ERROR_PATH_NOT_FOUND;
    UniqueFd gate = OpenLockFile(folder + "/.gate");
    if (!gate || !LockWithin(gate, LOCK_EX, kGateTimeout))
        return ERROR_ACCESS_DENIED;
    std::string base = folder + "/" + NamedMutexFileName(name);
    presence = OpenLockFile(base + ".lock");
    owner = OpenLockFile(base + ".owner");
    if (!presence || !owner)
        return ERROR_ACCESS_DENIED;
    existed = !TryLock(presence, LOCK_EX);
    if (!TryLock(presence, LOCK_SH))
        return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

class MutexObject;

struct MutexRegistry {
    std::mutex lock;
    // Signalled when a destroyed mutex has left the map, so its name can be created afresh.
    std::condition_variable forgotten;
    std::map<WString, std::weak_ptr<MutexObject>> named;
};

// Never destroyed, so a mutex released by some other static destructor at exit still finds it.
MutexRegistry& Registry()
{
    static auto* registry = new MutexRegistry;
    return *registry;
}

class MutexObject final : public KernelObject {
public:
    MutexObject() = default;
    MutexObject(WString name, UniqueFd presence, UniqueFd owner)
        : m_name(std::move(name))
        , m_presence(std::move(presence))
        , m_ownerLock(std::move(owner))
    {
    }

    ~MutexObject() override
    {
        if (m_name.empty())
            return;
        // Closing drops this process's locks; a mark left by an owner tells the next one that
        // the mutex was abandoned. Only then may the name be created again.
        m_ownerLock.Reset();
        m_presence.Reset();
        auto& registry = Registry();
        std::lock_guard guard(registry.lock);
        registry.named.erase(m_name);
        registry.forgotten.notify_all();
    }

    DWORD Wait(DWORD milliseconds) override
    {
        DWORD self = GetCurrentThreadId();
        std::unique_lock lock(m_lock);
        if (m_owner == self) {
            ++m_recursion;
            return WAIT_OBJECT_0;
        }
        auto start = std::chrono::steady_clock::now();
        for (;;) {
            if (m_owner != 0 && OwnerThreadEnded()) {
                m_owner = self;
                m_recursion = 1;
                return WAIT_ABANDONED;
            }
            bool abandoned = false;
            if (m_owner == 0 && TakeProcessOwnership(abandoned)) {
                m_owner = self;
                m_recursion = 1;
                return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
            }
            std::chrono::nanoseconds slice = kPollInterval;
            if (milliseconds != INFINITE) {
                auto left = std::chrono::milliseconds(milliseconds) - (std::chrono::steady_clock::now() - start);
                if (left <= left.zero())
                    return WAIT_TIMEOUT;
                slice = std::min<std::chrono::nanoseconds>(slice, left);
            }
            // A release in another process or the end of the owning thread wakes nobody here,
            // so the loop looks again after a short while.
            m_released.wait_for(lock, slice);
        }
    }

    BOOL Release()
    {
        std::lock_guard guard(m_lock);
        if (m_owner != GetCurrentThreadId()) {
            SetLastError(ERROR_NOT_OWNER);
            return FALSE;
        }
        if (--m_recursion > 0)
            return TRUE;
        m_owner = 0;
        if (m_ownerLock) {
            WriteMark(m_ownerLock, kFreeMark);
            flock(m_ownerLock.Get(), LOCK_UN);
        }
        m_released.notify_all();
        return TRUE;
    }

private:
    bool OwnerThreadEnded() const { return syscall(SYS_tgkill, getpid(), m_owner, 0) != 0 && errno == ESRCH; }

    // The part of ownership other processes see; an unnamed mutex has none.
    bool TakeProcessOwnership(bool& abandoned)
    {
        if (!m_ownerLock)
            return true;
        if (!TryLock(m_ownerLock, LOCK_EX))
            return false;
        char mark = kFreeMark;
        abandoned = pread(m_ownerLock.Get(), &mark, 1, 0) == 1 && mark == kOwnedMark;
        WriteMark(m_ownerLock, kOwnedMark);
        return true;
    }

    std::mutex m_lock;
    std::condition_variable m_released;
    DWORD m_owner = 0;
    DWORD m_recursion = 0;
    WString m_name;
    UniqueFd m_presence;
    UniqueFd m_ownerLock;
};

} // namespace

std::string NamedMutexFileName(WStringView name)
{
    std::string escaped;
    for (WCHAR c : name) {
        if (IsPlainNameUnit(c)) {
            escaped.push_back(static_cast<char>(c));
            continue;
        }
        bool ascii = c < 0x80;
        escaped.push_back(ascii ? '%' : '~');
        escaped += Hex(c, ascii ? 2 : 4);
    }
    if (escaped.empty())
        return "%";
    if (escaped.size() <= kReadableNameLength)
        return escaped;
    // Long names keep a readable start; the two hashes (forwards and backwards) keep them apart.
    WString reversed(name.rbegin(), name.rend());
    return escaped.substr(0, kReadableNameLength) + "+" + Hex(Fnv1a(name), 16) + Hex(Fnv1a(reversed), 16);
}

HANDLE CreateMutexW(void*, BOOL initialOwner, LPCWSTR name)
{
    if (!name || !*name) {
        auto object = std::make_shared<MutexObject>();
        if (initialOwner)
            object->Wait(0);
        HANDLE handle = InsertKernelObject(std::move(object));
        SetLastError(ERROR_SUCCESS);
        return handle;
    }
    WString key(name);
    // Declared before the registry lock so that dropping it never runs a destructor under that lock.
    std::shared_ptr<MutexObject> object;
    auto& registry = Registry();
    std::unique_lock lock(registry.lock);
    for (auto found = registry.named.find(key); found != registry.named.end(); found = registry.named.find(key)) {
        object = found->second.lock();
        if (object) {
            HANDLE handle = InsertKernelObject(object);
            SetLastError(ERROR_ALREADY_EXISTS);
            return handle;
        }
        registry.forgotten.wait(lock);
    }
    UniqueFd presence;
    UniqueFd owner;
    bool existed = false;
    DWORD error = JoinNamedMutex(key, presence, owner, existed);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return nullptr;
    }
    object = std::make_shared<MutexObject>(key, std::move(presence), std::move(owner));
    registry.named[key] = object;
    if (initialOwner && !existed)
        object->Wait(0);
    HANDLE handle = InsertKernelObject(object);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReleaseMutex(HANDLE mutex)
{
    auto object = ReferenceKernelObject<MutexObject>(mutex);
    if (!object)
        return FALSE;
    return object->Release();
}
