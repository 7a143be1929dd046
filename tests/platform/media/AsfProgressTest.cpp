// Following an ASF file as it is written: ASF byte streams made here, read in every kind of chunk, and
// the header fields checked where a reader finds them.
#include "platform/media/gst/AsfProgress.h"

#include "AsfTestStreams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using namespace asf_test;
using lumo::media::AsfHeaderField;
using lumo::media::AsfProgress;

void AppendIn(AsfProgress& progress, const Bytes& bytes, size_t chunk)
{
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        size_t size = std::min(chunk, bytes.size() - at);
        progress.Append({ bytes.data() + at, size });
    }
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
