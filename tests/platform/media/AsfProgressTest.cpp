// Following an ASF file as it is written: ASF byte streams made here, read in every kind of chunk, and
// the header fields checked where a reader finds them.
#include "platform/media/gst/AsfProgress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using lumo::media::AsfHeaderField;
using lumo::media::AsfProgress;
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

void Put(Bytes& bytes, std::uint64_t value, unsigned size)
{
    for (unsigned i = 0; i < size; i++)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void PutGuid(Bytes& bytes, const std::uint8_t (&guid)[16]) { bytes.insert(bytes.end(), guid, guid + 16); }

std::uint64_t Get(const Bytes& bytes, std::uint64_t offset, unsigned size = 8)
{
    std::uint64_t value = 0;
    for (unsigned i = size; i-- > 0;)
        value = value << 8 | bytes.at(offset + i);
    return value;
}

// A header as a muxer writes it before the first packet: the sizes, counts and durations are
// placeholders.
Bytes Header(std::uint32_t leastPacket = kPacketSize, std::uint32_t mostPacket = kPacketSize)
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
Bytes Packet(std::uint32_t sendTime, std::uint16_t duration)
{
    Bytes bytes = { 0x82, 0x00, 0x00, 0x11, 0x5D };
    Put(bytes, 1234, 2); // padding length
    Put(bytes, sendTime, 4);
    Put(bytes, duration, 2);
    bytes.resize(kPacketSize, 0xA7);
    return bytes;
}

// A packet without error correction that gives its length (a word) and a sequence (a byte).
Bytes BarePacket(std::uint32_t sendTime, std::uint16_t duration)
{
    Bytes bytes = { 0x40 | 0x02, 0x5D };
    Put(bytes, kPacketSize, 2);
    bytes.push_back(7);
    Put(bytes, sendTime, 4);
    Put(bytes, duration, 2);
    bytes.resize(kPacketSize, 0xA7);
    return bytes;
}

void AppendIn(AsfProgress& progress, const Bytes& bytes, size_t chunk)
{
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        size_t size = std::min(chunk, bytes.size() - at);
        progress.Append({ bytes.data() + at, size });
    }
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The file as a reader sees it once the fields are written into it.
Bytes Written(Bytes file, const std::vector<AsfHeaderField>& fields)
{
    for (const AsfHeaderField& field : fields) {
        for (unsigned i = 0; i < field.size; i++)
            file.at(field.offset + i) = static_cast<std::uint8_t>(field.value >> (8 * i));
    }
    return file;
}

TEST(AsfProgressTest, TheHeaderTellsTheWholePacketsHoweverTheBytesArrive)
{
    // Sound and picture interleave: a later packet may start earlier than the one before it.
    Bytes file = Concat({ Header(), Packet(0, 40), Packet(46, 20), Packet(33, 60), BarePacket(120, 0) });
    Bytes partial = Packet(150, 10);
    partial.resize(kPacketSize / 2);
    Bytes written = Concat({ file, partial });
    for (size_t chunk : { size_t { 1 }, size_t { 7 }, size_t { 1000 }, size_t { kPacketSize }, written.size() }) {
        SCOPED_TRACE(chunk);
        AsfProgress progress;
        AppendIn(progress, written, chunk);
        EXPECT_TRUE(progress.Following());
        EXPECT_EQ(progress.Packets(), 4u);
        EXPECT_EQ(progress.EndMilliseconds(), 120u);
        EXPECT_EQ(progress.Received(), written.size());
        Bytes read = Written(written, progress.HeaderFields());
        EXPECT_EQ(Get(read, kFileProperties + 40), kFirstPacket + 4 * kPacketSize) << "file size";
        EXPECT_EQ(Get(read, kFileProperties + 56), 4u) << "data packets";
        EXPECT_EQ(Get(read, kFileProperties + 64), (120 + kPreroll) * 10000) << "play duration";
        EXPECT_EQ(Get(read, kFileProperties + 72), 120u * 10000) << "send duration";
        EXPECT_EQ(Get(read, kFileProperties + 80), kPreroll) << "the preroll stays";
        EXPECT_EQ(Get(read, kHeaderSize + 16), 50 + 4 * kPacketSize) << "data object size";
        EXPECT_EQ(Get(read, kHeaderSize + 40), 4u) << "total data packets";
        // Nothing but those fields changes: the packets and the other objects are left as they are.
        for (std::uint64_t at = 0; at < written.size(); at++) {
            bool field = (at >= kFileProperties + 40 && at < kFileProperties + 48)
                || (at >= kFileProperties + 56 && at < kFileProperties + 80)
                || (at >= kHeaderSize + 16 && at < kHeaderSize + 24) || (at >= kHeaderSize + 40 && at < kHeaderSize + 48);
            if (!field && read[at] != written[at]) {
                ADD_FAILURE() << "byte " << at << " changed";
                break;
            }
        }
    }
}

TEST(AsfProgressTest, NothingIsToldBeforeTheFirstWholePacket)
{
    AsfProgress progress;
    Bytes header = Header();
    progress.Append({ header.data(), header.size() - 1 });
    EXPECT_FALSE(progress.Following()) << "the data object's start is not complete";
    progress.Append({ header.data() + header.size() - 1, 1 });
    EXPECT_TRUE(progress.Following());
    EXPECT_TRUE(progress.HeaderFields().empty());
    Bytes packet = Packet(0, 0);
    progress.Append({ packet.data(), packet.size() - 1 });
    EXPECT_TRUE(progress.HeaderFields().empty()) << "the placeholders stay until a packet is whole";
    progress.Append({ packet.data() + packet.size() - 1, 1 });
    EXPECT_EQ(progress.HeaderFields().size(), 6u);
}

TEST(AsfProgressTest, WhatIsNotAPacketEndsTheFollowingAndTheLastCountsStay)
{
    Bytes index;
    PutGuid(index, kSimpleIndexGuid);
    Put(index, kPacketSize + 100, 8);
    index.resize(kPacketSize + 100, 0);
    AsfProgress progress;
    Bytes file = Concat({ Header(), Packet(0, 50), Packet(50, 50), index, Packet(100, 50) });
    AppendIn(progress, file, 512);
    EXPECT_FALSE(progress.Following());
    EXPECT_EQ(progress.Packets(), 2u) << "nothing after the index is counted";
    EXPECT_EQ(progress.EndMilliseconds(), 100u);
    EXPECT_TRUE(progress.HeaderFields().empty()) << "the muxer completes its own header from here";

    // The muxer going back to its header: packets written afterwards are not counted either.
    AsfProgress moved;
    Bytes start = Concat({ Header(), Packet(0, 50) });
    AppendIn(moved, start, start.size());
    moved.Stop();
    Bytes more = Packet(50, 50);
    moved.Append(more);
    EXPECT_EQ(moved.Packets(), 1u);
    EXPECT_TRUE(moved.HeaderFields().empty());
}

TEST(AsfProgressTest, OnlyAnAsfFileOfFixedPacketsIsFollowed)
{
    struct Case {
        const char* what;
        Bytes bytes;
    };
    Bytes foreign = Header();
    foreign[0] ^= 0xFF;
    Bytes noData = Header();
    noData[kHeaderSize] ^= 0xFF;
    Bytes hugeHeader = Header();
    hugeHeader[16 + 4] = 0x7F; // a header object of gigabytes
    Bytes noProperties = Header();
    noProperties[kFileProperties] ^= 0xFF;
    std::vector<Case> cases = {
        { "not an ASF header", foreign },
        { "no data object after the header", noData },
        { "a header that cannot be", hugeHeader },
        { "no file properties", noProperties },
        { "packets of varying size", Header(100, kPacketSize) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AsfProgress progress;
        Bytes file = Concat({ c.bytes, Packet(0, 50) });
        progress.Append(file);
        EXPECT_FALSE(progress.Following());
        EXPECT_EQ(progress.Packets(), 0u);
        EXPECT_TRUE(progress.HeaderFields().empty());
    }
}

} // namespace
