// The header of a file on disk kept in step with what a sink wrote of it: packets are handed to the
// keeper and then written, as a file sink does, and the header is read back from the disk.
#include "platform/media/gst/AsfHeaderKeeper.h"

#include "AsfTestStreams.h"
#include "tests/platform/sys/FilesTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using namespace asf_test;
using lumo::media::AsfHeaderKeeper;

// A file sink: the keeper sees each buffer just before it is written (or, on a full disk, is not).
class Sink {
public:
    explicit Sink(std::string path)
        : m_path(std::move(path))
        , m_keeper(m_path)
    {
        std::ofstream(m_path, std::ios::binary);
    }
    void Write(const Bytes& bytes, bool reachesTheDisk = true)
    {
        m_keeper.OnData(bytes);
        if (!reachesTheDisk)
            return;
        std::ofstream file(m_path, std::ios::binary | std::ios::app);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    AsfHeaderKeeper& Keeper() { return m_keeper; }
    Bytes OnDisk() const
    {
        std::ifstream file(m_path, std::ios::binary);
        return { std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>() };
    }
    std::uint64_t Packets() const { return Get(OnDisk(), kFileProperties + 56); }
    std::uint64_t DataPackets() const { return Get(OnDisk(), kHeaderSize + 40); }
    std::uint64_t SendDurationMs() const { return Get(OnDisk(), kFileProperties + 72) / 10000; }

private:
    std::string m_path;
    AsfHeaderKeeper m_keeper;
};

TEST(AsfHeaderKeeperTest, TheHeaderOnDiskCountsThePacketsWrittenBeforeTheLatest)
{
    TempFolder folder;
    Sink sink(folder.Native("growing.wmv"));
    sink.Write(Header());
    sink.Write(Packet(0, 40));
    EXPECT_EQ(sink.Packets(), 0u) << "the first packet is handed over before it is written";
    sink.Write(Packet(100, 40));
    EXPECT_EQ(sink.Packets(), 1u);
    EXPECT_EQ(sink.DataPackets(), 1u);
    // Packets less than 50 ms newer than what the header says are left for the next update.
    sink.Write(Packet(110, 10));
    EXPECT_EQ(sink.Packets(), 2u);
    sink.Write(Packet(200, 10));
    EXPECT_EQ(sink.Packets(), 2u) << "the third packet ends (120 ms) before what the header already tells (140 ms)";
    sink.Write(Packet(300, 10));
    EXPECT_EQ(sink.Packets(), 4u);
    EXPECT_EQ(sink.SendDurationMs(), 210u);
    EXPECT_EQ(Get(sink.OnDisk(), kFileProperties + 40), kFirstPacket + 4 * kPacketSize) << "file size";
}

TEST(AsfHeaderKeeperTest, APacketThatNeverReachedTheDiskIsNeverCounted)
{
    TempFolder folder;
    Sink sink(folder.Native("full.wmv"));
    sink.Write(Header());
    sink.Write(Packet(0, 40));
    sink.Write(Packet(100, 40), false);
    sink.Write(Packet(200, 40));
    EXPECT_EQ(sink.Packets(), 1u) << "the file holds the header and one packet only";
    sink.Write(Packet(300, 40));
    EXPECT_EQ(sink.Packets(), 1u);
}

TEST(AsfHeaderKeeperTest, OnceTheMuxerGoesBackToItsHeaderTheKeeperWritesNoMore)
{
    TempFolder folder;
    Sink sink(folder.Native("finishing.wmv"));
    sink.Write(Header());
    sink.Write(Packet(0, 40));
    sink.Keeper().OnMove(kFirstPacket + kPacketSize); // where the next bytes go anyway: no move
    sink.Write(Packet(100, 40));
    EXPECT_EQ(sink.Packets(), 1u);
    sink.Keeper().OnMove(0);
    sink.Write(Packet(200, 40));
    sink.Write(Packet(300, 40));
    EXPECT_EQ(sink.Packets(), 1u) << "the muxer's own header is not written over";
}

TEST(AsfHeaderKeeperTest, TheFileIsNeverMadeNorReachedThroughALink)
{
    TempFolder folder;
    std::string target = folder.Native("elsewhere.wmv");
    Bytes start = Concat({ Header(), Packet(0, 40) });
    {
        std::ofstream file(target, std::ios::binary);
        file.write(reinterpret_cast<const char*>(start.data()), static_cast<std::streamsize>(start.size()));
    }
    std::string link = folder.Native("linked.wmv");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    AsfHeaderKeeper keeper(link);
    keeper.OnData(start);
    Bytes next = Packet(100, 40);
    keeper.OnData(next);
    std::ifstream file(target, std::ios::binary);
    Bytes after { std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>() };
    EXPECT_EQ(after, start) << "the header was written through the link";

    AsfHeaderKeeper missing(folder.Native("missing.wmv"));
    missing.OnData(start);
    missing.OnData(next);
    EXPECT_FALSE(std::filesystem::exists(folder.Native("missing.wmv")));
}

} // namespace
