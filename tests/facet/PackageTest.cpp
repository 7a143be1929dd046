#include "FacetTestSupport.h"

#include <gtest/gtest.h>

namespace {

constexpr long kMiB = 1024 * 1024;

class PackageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(FacetEngine(), nullptr) << "Facet.so did not load";
        FacetEngine()->Terminate(); // forgets the packages of earlier tests
        m_package = FacetEngine()->GetPackage();
        ASSERT_NE(m_package, nullptr);
    }
    void TearDown() override { FacetEngine()->Terminate(); }

    // The packed file's text through GetPackedSize and ReadPacked, or "<none>".
    std::string Packed(const WString& name)
    {
        long size = m_package->GetPackedSize(0, name.c_str());
        std::string bytes(static_cast<size_t>(size) + 16, '\0');
        long read = m_package->ReadPacked(0, name.c_str(), reinterpret_cast<BYTE*>(bytes.data()), static_cast<long>(bytes.size()));
        if (size == 0) {
            EXPECT_EQ(read, 0) << "a file without a size was read";
            return "<none>";
        }
        EXPECT_EQ(read, size);
        bytes.resize(static_cast<size_t>(std::max(read, 0L)));
        return bytes;
    }

    WString WriteZip(const std::string& name, const std::vector<ZipItem>& items) { return m_scratch.Write(name, MakeZip(items)); }

    ScratchFolder m_scratch;
    EnginePackage* m_package = nullptr;
};

TEST_F(PackageTest, FilesAreFoundByNameIgnoringCaseAndSeparatorKind)
{
    WString path = WriteZip("skin/skin.ui",
        { { "facet.xml", "<Facet.Config/>" }, { "Pictures\\Logo.png", "logo" }, { "dir/sub/b.txt", std::string(5000, 'b'), true } });
    ASSERT_EQ(m_package->Open(nullptr, path.c_str()), S_OK);

    EXPECT_EQ(Packed(u"FACET.XML"), "<Facet.Config/>");
    EXPECT_EQ(Packed(u"pictures/logo.png"), "logo");
    EXPECT_EQ(Packed(u"PICTURES\\LOGO.PNG"), "logo");
    EXPECT_EQ(Packed(u"dir\\sub\\b.txt"), std::string(5000, 'b')) << "a deflated entry";
    EXPECT_EQ(Packed(u"./dir//sub/b.txt"), std::string(5000, 'b'));
    EXPECT_EQ(Packed(u"sub/b.txt"), "<none>");
    EXPECT_EQ(Packed(u""), "<none>");
    EXPECT_EQ(m_package->GetPackedSize(0, nullptr), 0);

    // A full path finds the file when it lies in the package's folder.
    EXPECT_EQ(Packed(m_scratch.Wide("skin/facet.xml")), "<Facet.Config/>");
    EXPECT_EQ(Packed(m_scratch.Wide("SKIN/Pictures/logo.png")), "logo");
    EXPECT_EQ(Packed(m_scratch.Wide("other/facet.xml")), "<none>");
    EXPECT_EQ(Packed(m_scratch.Wide("facet.xml")), "<none>");
}

TEST_F(PackageTest, EntriesThatCouldReachOutsideThePackageAreNeverRead)
{
    WString path = WriteZip("unsafe.ui",
        { { "../evil.txt", "evil" }, { "/abs.txt", "abs" }, { "C:/drive.txt", "drive" }, { "dir/../sneaky.txt", "sneaky" },
            { "dir\\..\\back.txt", "back" }, { "good.txt", "good" } });
    ASSERT_EQ(m_package->Open(nullptr, path.c_str()), S_OK);
    for (const WCHAR* name : { u"evil.txt", u"../evil.txt", u"abs.txt", u"/abs.txt", u"drive.txt", u"C:/drive.txt",
             u"sneaky.txt", u"dir/../sneaky.txt", u"back.txt", u"dir\\..\\back.txt", u"dir/../good.txt" })
        EXPECT_EQ(Packed(name), "<none>") << WideToUtf8(name);
    EXPECT_EQ(Packed(u"good.txt"), "good");
}

TEST_F(PackageTest, EntriesDeclaredOver16MiBAreRefused)
{
    WString path = WriteZip("big.ui",
        { { "big.bin", std::string(16 * kMiB + 1, '\0'), true }, { "limit.bin", std::string(16 * kMiB, 'x'), true },
            { "small.txt", "small" } });
    ASSERT_EQ(m_package->Open(nullptr, path.c_str()), S_OK);
    EXPECT_EQ(m_package->GetPackedSize(0, u"big.bin"), 0);
    EXPECT_EQ(m_package->GetPackedSize(0, u"limit.bin"), 16 * kMiB);
    EXPECT_EQ(Packed(u"small.txt"), "small");
}

TEST_F(PackageTest, FilesThatAreNoGoodPackagesRegisterNothing)
{
    std::string zip = MakeZip({ { "facet.xml", "<Facet.Config/>" } });
    WString text = m_scratch.Write("text.ui", "<Facet.Config/> is not a zip archive");
    WString truncated = m_scratch.Write("truncated.ui", zip.substr(0, zip.size() - 10));
    WString cutInHalf = m_scratch.Write("half.ui", zip.substr(0, zip.size() / 2));
    WString empty = m_scratch.Write("empty.ui", "");
    for (const WString& path : { text, truncated, cutInHalf, empty, m_scratch.Wide("missing.ui"), WidePath(m_scratch.Path()) })
        EXPECT_TRUE(FAILED(m_package->Open(nullptr, path.c_str()))) << WideToUtf8(path);
    EXPECT_EQ(m_package->Open(nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(Packed(u"facet.xml"), "<none>");
}

TEST_F(PackageTest, DamagedEntryDataIsNotHandedOut)
{
    std::string zip = MakeZip({ { "facet.xml", "<Facet.Config TextColor='1'/>" } });
    size_t data = zip.find("<Facet.Config");
    ASSERT_NE(data, std::string::npos);
    zip[data + 3] ^= 0x20; // the checksum no longer matches
    WString path = m_scratch.Write("damaged.ui", zip);
    ASSERT_EQ(m_package->Open(nullptr, path.c_str()), S_OK);
    EXPECT_GT(m_package->GetPackedSize(0, u"facet.xml"), 0);
    std::string buffer(256, '\0');
    EXPECT_EQ(m_package->ReadPacked(0, u"facet.xml", reinterpret_cast<BYTE*>(buffer.data()), 256), 0);
}

TEST_F(PackageTest, TheDefaultPackageIsSearchedFirstThenTheOthersInOrder)
{
    WString first = WriteZip("pkgs/a.ui", { { "facet.xml", "A" }, { "only-a.txt", "a" } });
    WString second = WriteZip("pkgs/b.ui", { { "facet.xml", "B" }, { "only-b.txt", "b" } });
    ASSERT_EQ(m_package->Open(nullptr, first.c_str()), S_OK);
    ASSERT_EQ(m_package->Open(nullptr, second.c_str()), S_OK);
    EXPECT_EQ(Packed(u"facet.xml"), "A");

    EXPECT_EQ(m_package->SetDefault(nullptr, second.c_str()), S_OK);
    EXPECT_EQ(Packed(u"facet.xml"), "B");
    EXPECT_EQ(Packed(u"only-a.txt"), "a") << "the others are still searched";

    // A path relative to another base folder names the package by its last parts.
    EXPECT_EQ(m_package->SetDefault(nullptr, u"pkgs\\A.ui"), S_OK);
    EXPECT_EQ(Packed(u"facet.xml"), "A");
    EXPECT_TRUE(FAILED(m_package->SetDefault(nullptr, u"pkgs/c.ui")));
    EXPECT_TRUE(FAILED(m_package->SetDefault(nullptr, u"s/a.ui"))) << "only whole parts match";
    EXPECT_EQ(Packed(u"facet.xml"), "A") << "a failed SetDefault keeps the default";
}

TEST_F(PackageTest, OpeningAPathAgainReplacesItsRegistration)
{
    WString path = WriteZip("again.ui", { { "facet.xml", "old" } });
    ASSERT_EQ(m_package->Open(nullptr, path.c_str()), S_OK);
    m_scratch.Write("again.ui", MakeZip({ { "facet.xml", "new text" } }));
    ASSERT_EQ(m_package->Open(nullptr, path.c_str()), S_OK);
    EXPECT_EQ(Packed(u"facet.xml"), "new text");
}

TEST_F(PackageTest, ReadPackedNeedsRoomForTheWholeFileAndWritesNothingElse)
{
    WString path = WriteZip("room.ui", { { "facet.xml", "0123456789" } });
    std::string before = ReadAll(m_scratch.File("room.ui"));
    ASSERT_EQ(m_package->Open(nullptr, path.c_str()), S_OK);
    std::string buffer(12, '#');
    EXPECT_EQ(m_package->ReadPacked(0, u"facet.xml", reinterpret_cast<BYTE*>(buffer.data()), 9), 0);
    EXPECT_EQ(m_package->ReadPacked(0, u"facet.xml", nullptr, 10), 0);
    EXPECT_EQ(m_package->ReadPacked(0, u"facet.xml", reinterpret_cast<BYTE*>(buffer.data()), 12), 10);
    EXPECT_EQ(buffer, "0123456789##");

    FacetEngine()->Terminate();
    EXPECT_EQ(ReadAll(m_scratch.File("room.ui")), before);
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(m_scratch.Path()))
        ++files;
    EXPECT_EQ(files, 1u) << "the package's folder gained files";
}

} // namespace
