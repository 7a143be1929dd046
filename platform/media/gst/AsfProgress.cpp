#include "platform/media/gst/AsfProgress.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace lumo::media {

namespace {

using Guid = std::array<std::uint8_t, 16>;

// GUIDs as they are stored: the first three fields little-endian.
constexpr Guid kHeaderObject = { 0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C };
constexpr Guid kFilePropertiesObject = { 0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                         0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65 };
constexpr Guid kDataObject = { 0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                               0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C };

constexpr std::uint64_t kObjectHeaderSize = 24;    // GUID and size
constexpr std::uint64_t kHeaderObjectStart = 30;   // its GUID, size, child count and two reserved bytes
constexpr std::uint64_t kFilePropertiesSize = 104;
constexpr std::uint64_t kDataObjectStart = 50;     // GUID, size, file id, packet count, reserved
constexpr std::uint64_t kLargestHeader = 1 << 20;  // a muxer's header is a few hundred bytes
constexpr std::uint32_t kLargestPacket = 1 << 16;
// Offsets in the file properties object.
constexpr std::uint64_t kFileSizeField = 40;
constexpr std::uint64_t kPacketCountField = 56;
constexpr std::uint64_t kPlayDurationField = 64;
constexpr std::uint64_t kSendDurationField = 72;
constexpr std::uint64_t kPrerollField = 80;
constexpr std::uint64_t kMinPacketSizeField = 92;
constexpr std::uint64_t kMaxPacketSizeField = 96;
// Offsets in the data object.
constexpr std::uint64_t kDataSizeField = 16;
constexpr std::uint64_t kDataPacketCountField = 40;
constexpr std::uint64_t kHundredNanosecondsPerMillisecond = 10000;

std::uint64_t Read(const std::uint8_t* bytes, unsigned size)
{
    std::uint64_t value = 0;
    for (unsigned i = size; i-- > 0;)
        value = value << 8 | bytes[i];
    return value;
}

bool IsGuid(const std::uint8_t* bytes, const Guid& guid) { return std::memcmp(bytes, guid.data(), guid.size()) == 0; }

// The size of a field whose length type is given in two bits: none, a byte, a word or a double word.
unsigned FieldSize(unsigned lengthType)
{
    constexpr unsigned kSizes[] = { 0, 1, 2, 4 };
    return kSizes[lengthType & 3];
}

} // namespace

void AsfProgress::Append(std::span<const std::uint8_t> bytes)
{
    if (m_state == State::Stopped || bytes.empty())
        return;
    m_received += bytes.size();
    if (m_state == State::Packets) {
        ReadPackets(bytes);
        return;
    }
    m_pending.insert(m_pending.end(), bytes.begin(), bytes.end());
    ReadHeader();
}

void AsfProgress::ReadHeader()
{
    if (m_pending.size() < kHeaderObjectStart)
        return;
    const std::uint8_t* file = m_pending.data();
    std::uint64_t headerSize = Read(file + 16, 8);
    if (!IsGuid(file, kHeaderObject) || headerSize < kHeaderObjectStart || headerSize > kLargestHeader) {
        Stop();
        return;
    }
    if (m_pending.size() < headerSize + kDataObjectStart)
        return;
    for (std::uint64_t offset = kHeaderObjectStart; offset + kObjectHeaderSize <= headerSize;) {
        std::uint64_t size = Read(file + offset + 16, 8);
        if (size < kObjectHeaderSize || size > headerSize - offset)
            break;
        if (IsGuid(file + offset, kFilePropertiesObject) && size >= kFilePropertiesSize) {
            m_filePropertiesOffset = offset;
            m_preroll = Read(file + offset + kPrerollField, 8);
            auto least = static_cast<std::uint32_t>(Read(file + offset + kMinPacketSizeField, 4));
            auto most = static_cast<std::uint32_t>(Read(file + offset + kMaxPacketSizeField, 4));
            // Only packets of one size can be counted from the bytes alone.
            m_packetSize = least == most ? most : 0;
        }
        offset += size;
    }
    if (!m_filePropertiesOffset || !m_packetSize || m_packetSize > kLargestPacket
        || !IsGuid(file + headerSize, kDataObject)) {
        Stop();
        return;
    }
    m_dataOffset = headerSize;
    m_firstPacket = headerSize + kDataObjectStart;
    m_state = State::Packets;
    std::vector<std::uint8_t> rest(m_pending.begin() + static_cast<std::ptrdiff_t>(m_firstPacket), m_pending.end());
    m_pending.clear();
    ReadPackets(rest);
}

void AsfProgress::ReadPackets(std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty() && m_state == State::Packets) {
        // Whole packets straight from the bytes; a packet split between two appends is gathered.
        if (m_pending.empty() && bytes.size() >= m_packetSize) {
            if (!ReadPacket(bytes.data()))
                return;
            bytes = bytes.subspan(m_packetSize);
            continue;
        }
        size_t taken = std::min<size_t>(bytes.size(), m_packetSize - m_pending.size());
        m_pending.insert(m_pending.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(taken));
        bytes = bytes.subspan(taken);
        if (m_pending.size() == m_packetSize) {
            bool read = ReadPacket(m_pending.data());
            m_pending.clear();
            if (!read)
                return;
        }
    }
}

// The packet's send time and duration, from its error correction and payload parsing information.
// Anything that is not a packet (the index the muxer writes after the last one) ends the following.
bool AsfProgress::ReadPacket(const std::uint8_t* packet)
{
    size_t at = 0;
    std::uint8_t first = packet[0];
    if (first & 0x80) {
        // Error correction data of the one defined type, which is two bytes long.
        if ((first & 0x7F) != 0x02) {
            Stop();
            return false;
        }
        at = 3;
    }
    std::uint8_t lengthTypes = packet[at];
    if (lengthTypes & 0x80) {
        Stop();
        return false;
    }
    at += 2; // the length type flags and the property flags
    unsigned packetLengthSize = FieldSize(lengthTypes >> 5);
    std::uint64_t packetLength = Read(packet + at, packetLengthSize);
    if (packetLengthSize && packetLength > m_packetSize) {
        Stop();
        return false;
    }
    at += packetLengthSize + FieldSize(lengthTypes >> 1) + FieldSize(lengthTypes >> 3);
    if (at + 6 > m_packetSize) {
        Stop();
        return false;
    }
    std::uint64_t sendTime = Read(packet + at, 4);
    std::uint64_t duration = Read(packet + at + 4, 2);
    m_end = std::max(m_end, sendTime + duration);
    m_packets++;
    return true;
}

std::vector<AsfHeaderField> AsfProgress::HeaderFields() const
{
    if (m_state != State::Packets || m_packets == 0)
        return {};
    std::uint64_t dataBytes = m_packets * m_packetSize;
    std::uint64_t properties = m_filePropertiesOffset;
    // The play duration counts the preroll, the send duration does not, as the muxer writes them
    // when it finishes the file.
    return {
        { properties + kFileSizeField, m_firstPacket + dataBytes, 8 },
        { properties + kPacketCountField, m_packets, 8 },
        { properties + kPlayDurationField, (m_end + m_preroll) * kHundredNanosecondsPerMillisecond, 8 },
        { properties + kSendDurationField, m_end * kHundredNanosecondsPerMillisecond, 8 },
        { m_dataOffset + kDataSizeField, kDataObjectStart + dataBytes, 8 },
        { m_dataOffset + kDataPacketCountField, m_packets, 8 },
    };
}

} // namespace lumo::media
