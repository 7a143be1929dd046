#include "platform/media/gst/RecordingSpaceWatch.h"

#include <sys/statvfs.h>

#include <cerrno>
#include <thread>

namespace lumo::media {

std::optional<std::uint64_t> FreeSpaceOf(const std::string& folder)
{
    struct statvfs info {};
    int result = 0;
    do
        result = statvfs(folder.empty() ? "." : folder.c_str(), &info);
    while (result != 0 && errno == EINTR);
    if (result != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

RecordingSpaceWatch::RecordingSpaceWatch(FreeSpace freeSpace, std::uint64_t reserve, std::chrono::milliseconds period)
    : m_shared(std::make_shared<Shared>())
{
    std::thread(&RecordingSpaceWatch::Run, m_shared, std::move(freeSpace), reserve, period).detach();
}

RecordingSpaceWatch::~RecordingSpaceWatch()
{
    {
        std::lock_guard guard(m_shared->lock);
        m_shared->stopping = true;
    }
    m_shared->wake.notify_all();
}

bool RecordingSpaceWatch::Low() const { return m_shared->low.load(std::memory_order_relaxed); }

void RecordingSpaceWatch::Run(std::shared_ptr<Shared> shared, FreeSpace freeSpace, std::uint64_t reserve,
                              std::chrono::milliseconds period)
{
    std::unique_lock lock(shared->lock);
    while (!shared->stopping) {
        lock.unlock();
        std::optional<std::uint64_t> free = freeSpace();
        lock.lock();
        // A file system that cannot say how full it is is not called full: the writes will tell.
        if (free && *free < reserve) {
            shared->low.store(true, std::memory_order_relaxed);
            return;
        }
        shared->wake.wait_for(lock, period, [&] { return shared->stopping; });
    }
}

} // namespace lumo::media
