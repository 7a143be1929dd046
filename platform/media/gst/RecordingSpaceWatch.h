// Watches the free space of the folder a recording is written into, on a thread of its own (a slow
// file system never holds up the media or the window), so that the recording can end while there is
// still room to complete the file.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace lumo::media {

// The bytes an unprivileged writer may still add to the file system of `folder` (the current folder
// when empty); nothing when it cannot be told.
std::optional<std::uint64_t> FreeSpaceOf(const std::string& folder);

class RecordingSpaceWatch {
public:
    using FreeSpace = std::function<std::optional<std::uint64_t>()>;

    // Looks every `period`, the first time at once, whether `freeSpace` is below `reserve`.
    RecordingSpaceWatch(FreeSpace freeSpace, std::uint64_t reserve, std::chrono::milliseconds period);
    ~RecordingSpaceWatch();
    RecordingSpaceWatch(const RecordingSpaceWatch&) = delete;
    RecordingSpaceWatch& operator=(const RecordingSpaceWatch&) = delete;

    // True from the first look that found less than the reserve; it stays so, and the watch ends.
    bool Low() const;

private:
    // What the thread shares with the watch. The thread is not waited for when the watch goes: a look
    // that hangs in a dead network file system must not hang the one who ends the recording.
    struct Shared {
        std::atomic<bool> low { false };
        std::mutex lock;
        std::condition_variable wake;
        bool stopping = false;
    };
    static void Run(std::shared_ptr<Shared> shared, FreeSpace freeSpace, std::uint64_t reserve,
                    std::chrono::milliseconds period);

    std::shared_ptr<Shared> m_shared;
};

} // namespace lumo::media
