// ASF byte streams for the tests: a header as a muxer writes it before its first packet, and packets
// of the two shapes a packet's parsing information takes.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace asf_test {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kHeaderGuid[] = { 0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                         0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C };
constexpr std::uint8_t kFilePropertiesGuid[] = { 0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                 0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65 };
constexpr std::uint8_t kDataGuid[] = { 0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                       0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C };
// Any other header object (a stream's properties, say), which is passed over.
constexpr std::uint8_t kOtherGuid[] = { 0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                        0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65 };
constexpr std::uint8_t kSimpleIndexGuid[] = { 0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11,
                                              0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB };
constexpr std::uint32_t kPacketSize = 3200;
constexpr std::uint64_t kPreroll = 3100;
constexpr std::uint64_t kOtherObjectSize = 60;
// Where the test's header puts its objects.
constexpr std::uint64_t kFileProperties = 30 + kOtherObjectSize;
constexpr std::uint64_t kHeaderSize = kFileProperties + 104;
constexpr std::uint64_t kFirstPacket = kHeaderSize + 50;

inline void Put(Bytes& bytes, std::uint64_t value, unsigned size)
{
    for (unsigned i = 0; i < size; i++)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline void PutGuid(Bytes& bytes, const std::uint8_t (&guid)[16]) { bytes.insert(bytes.end(), guid, guid + 16); }

inline std::uint64_t Get(const Bytes& bytes, std::uint64_t offset, unsigned size = 8)
{
    std::uint64_t value = 0;
    for (unsigned i = size; i-- > 0;)
        value = value << 8 | bytes.at(offset + i);
    return value;
}

// A header as a muxer writes it before the first packet: the sizes, counts and durations are
// placeholders.
inline Bytes Header(std::uint32_t leastPacket = kPacketSize, std::uint32_t mostPacket = kPacketSize)
{
    Bytes bytes;
    PutGuid(bytes, kHeaderGuid);
    Put(bytes, kHeaderSize, 8);
    Put(bytes, 2, 4);
    bytes.push_back(1);
    bytes.push_back(2);
    PutGuid(bytes, kOtherGuid);
    Put(bytes, kOtherObjectSize, 8);
    bytes.resize(bytes.size() + kOtherObjectSize - 24, 0x5A);
    PutGuid(bytes, kFilePropertiesGuid);
    Put(bytes, 104, 8);
    bytes.resize(bytes.size() + 16, 0x11); // file id
    Put(bytes, 0, 8);                      // file size
    Put(bytes, 0, 8);                      // creation date
    Put(bytes, 0, 8);                      // data packets
    Put(bytes, kPreroll * 10000, 8);       // play duration: the preroll alone
    Put(bytes, 0, 8);                      // send duration
    Put(bytes, kPreroll, 8);
    Put(bytes, 2, 4); // seekable
    Put(bytes, leastPacket, 4);
    Put(bytes, mostPacket, 4);
    Put(bytes, 544000, 4);
    PutGuid(bytes, kDataGuid);
    Put(bytes, 50, 8);
    bytes.resize(bytes.size() + 16, 0x11);
    Put(bytes, 0, 8);
    bytes.push_back(1);
    bytes.push_back(1);
    return bytes;
}

// A packet with error correction data and a padding length, as the muxer writes them.
inline Bytes Packet(std::uint32_t sendTime, std::uint16_t duration)
{
    Bytes bytes = { 0x82, 0x00, 0x00, 0x11, 0x5D };
    Put(bytes, 1234, 2); // padding length
    Put(bytes, sendTime, 4);
    Put(bytes, duration, 2);
    bytes.resize(kPacketSize, 0xA7);
    return bytes;
}

// A packet without error correction that gives its length (a word) and a sequence (a byte).
inline Bytes BarePacket(std::uint32_t sendTime, std::uint16_t duration)
{
    Bytes bytes = { 0x40 | 0x02, 0x5D };
    Put(bytes, kPacketSize, 2);
    bytes.push_back(7);
    Put(bytes, sendTime, 4);
    Put(bytes, duration, 2);
    bytes.resize(kPacketSize, 0xA7);
    return bytes;
}

inline Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

} // namespace asf_test
