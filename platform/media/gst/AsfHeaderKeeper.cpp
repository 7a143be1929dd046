#include "platform/media/gst/AsfHeaderKeeper.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace lumo::media {

namespace {

// How much newer the packets must be than what the header says before it is written again: what a
// kill may cost at most, against a few small writes each time.
constexpr std::uint64_t kUpdateSpacingMs = 50;

bool WriteAt(int file, std::uint64_t offset, std::uint64_t value, unsigned size)
{
    std::uint8_t bytes[8];
    for (unsigned i = 0; i < size; i++)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    ssize_t written = 0;
    do
        written = pwrite(file, bytes, size, static_cast<off_t>(offset));
    while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(size);
}

} // namespace

AsfHeaderKeeper::AsfHeaderKeeper(std::string path)
    : m_path(std::move(path))
{
}

AsfHeaderKeeper::~AsfHeaderKeeper()
{
    if (m_file >= 0)
        close(m_file);
}

void AsfHeaderKeeper::OnData(std::span<const std::uint8_t> bytes)
{
    std::lock_guard guard(m_lock);
    // First the header for what is in the file already, then the new bytes are counted: the header
    // never speaks of a packet that is not written yet.
    if (m_progress.Following() && m_progress.Packets() > m_packetsWritten
        && (m_packetsWritten == 0 || m_progress.EndMilliseconds() >= m_endWritten + kUpdateSpacingMs))
        UpdateHeader();
    m_progress.Append(bytes);
}

void AsfHeaderKeeper::OnMove(std::uint64_t offset)
{
    std::lock_guard guard(m_lock);
    if (offset == m_progress.Received())
        return;
    m_progress.Stop();
    // The muxer writes the real header next; the separate handle is of no more use.
    if (m_file >= 0) {
        close(m_file);
        m_file = -1;
    }
}

void AsfHeaderKeeper::UpdateHeader()
{
    if (m_file < 0 && !m_cannotOpen) {
        // The sink's own handle is not reachable: the same file, opened for writing in place. Never
        // created here, nor through a link.
        m_file = open(m_path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
        m_cannotOpen = m_file < 0;
    }
    if (m_file < 0)
        return;
    std::vector<AsfHeaderField> fields = m_progress.HeaderFields();
    // A write the sink could not complete (a full disk) is no packet of the file: the header never
    // counts more than the file holds.
    struct stat file {};
    if (fields.empty() || fstat(m_file, &file) != 0 || static_cast<std::uint64_t>(file.st_size) < fields.front().value)
        return;
    bool written = true;
    for (const AsfHeaderField& field : fields)
        written = WriteAt(m_file, field.offset, field.value, field.size) && written;
    if (!written)
        return;
    m_packetsWritten = m_progress.Packets();
    m_endWritten = m_progress.EndMilliseconds();
}

} // namespace lumo::media
