// What an ASF file being written holds so far. The muxer writes the header's sizes, packet counts and
// duration only when the file is finished; a file cut short (the program killed, the power gone) would
// keep the placeholders, and players would show no length and could not seek. Following the bytes on
// their way to the file gives the values of the whole packets written so far, to be written into the
// header while the recording runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lumo::media {

// One little-endian field of the header: `size` bytes of `value` at `offset` in the file.
struct AsfHeaderField {
    std::uint64_t offset = 0;
    std::uint64_t value = 0;
    unsigned size = 8;
};

class AsfProgress {
public:
    // The next bytes of the file, in order from its first byte.
    void Append(std::span<const std::uint8_t> bytes);
    // The file no longer grows in order (the muxer went back to rewrite the header itself): what
    // follows is not followed.
    void Stop() { m_state = State::Stopped; }

    // The header and the data object's start were read, and every byte since was a well-formed packet.
    bool Following() const { return m_state == State::Packets; }
    std::uint64_t Packets() const { return m_packets; }
    // Bytes appended, that is the offset in the file where the next ones go.
    std::uint64_t Received() const { return m_received; }
    // The latest time the whole packets give (a packet's send time and its duration), milliseconds
    // from the file's start.
    std::uint64_t EndMilliseconds() const { return m_end; }
    // The header fields that describe the file as it ends after the last whole packet, in this order:
    // the file size, the data packets, the play and the send duration (of the file properties), the
    // data object's size and its packet count. Empty until a whole packet is followed.
    std::vector<AsfHeaderField> HeaderFields() const;

private:
    enum class State { Header, Packets, Stopped };

    void ReadHeader();
    void ReadPackets(std::span<const std::uint8_t> bytes);
    bool ReadPacket(const std::uint8_t* packet);

    State m_state = State::Header;
    std::vector<std::uint8_t> m_pending; // the header while it is read, then the current packet's start
    std::uint64_t m_received = 0;        // bytes of the file seen
    // From the header.
    std::uint64_t m_filePropertiesOffset = 0;
    std::uint64_t m_dataOffset = 0; // the data object's first byte
    std::uint64_t m_firstPacket = 0;
    std::uint32_t m_packetSize = 0;
    std::uint64_t m_preroll = 0; // milliseconds
    // From the packets.
    std::uint64_t m_packets = 0;
    std::uint64_t m_end = 0;         // milliseconds
};

} // namespace lumo::media
