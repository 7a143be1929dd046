// Keeps the header of an ASF file that a sink is writing in step with the whole packets already in
// the file, so that a recording cut short by a kill or a crash still tells its length.
#pragma once

#include "platform/media/gst/AsfProgress.h"

#include <cstdint>
#include <mutex>
#include <span>
#include <string>

namespace lumo::media {

class AsfHeaderKeeper {
public:
    explicit AsfHeaderKeeper(std::string path);
    ~AsfHeaderKeeper();
    AsfHeaderKeeper(const AsfHeaderKeeper&) = delete;
    AsfHeaderKeeper& operator=(const AsfHeaderKeeper&) = delete;

    // `bytes` are about to be written at the file's current end; everything before them is written.
    void OnData(std::span<const std::uint8_t> bytes);
    // The writer goes on at `offset`. Anywhere but the end, the muxer is completing the file itself.
    void OnMove(std::uint64_t offset);

private:
    void UpdateHeader();

    std::mutex m_lock;
    const std::string m_path;
    AsfProgress m_progress;
    int m_file = -1;
    bool m_cannotOpen = false;
    std::uint64_t m_packetsWritten = 0; // as the header says them
    std::uint64_t m_endWritten = 0;
};

} // namespace lumo::media
