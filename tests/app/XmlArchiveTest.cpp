#include "app/XmlArchive.h"

#include "AppTestSupport.h"
#include "FakeEngine.h"
#include "ui/EngineAccess.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

constexpr char kConfig[] = R"(<?xml version="1.0" encoding="utf-8"?>
<Root.Config>
  <Skin name="first">
    <Item SkinPath="a" id="1"/>
    <Group><Item id="2"/></Group>
    <Item id="3"/>
  </Skin>
  <Skin name="second">
    <Item id="4"/>
  </Skin>
  <Facet.Config><DYNAMICSTATUSBAR TextColor="0x1F"/></Facet.Config>
</Root.Config>
)";

class XmlArchiveTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_EQ(FakeXmlObjectsAlive(), 0) << "a document object was not released";
        for (const auto& entry : fs::directory_iterator(m_temp.Native()))
            EXPECT_FALSE(entry.path().filename().string().starts_with("~xm")) << entry.path() << " is left behind";
    }

    std::string Write(const std::string& name, const std::string& text)
    {
        std::string path = m_module.Folder() + "/" + name;
        WriteTextFile(path, text);
        return path;
    }
    // Opens `text` written beside the module.
    BOOL OpenText(CXMLArchive& archive, const std::string& text)
    {
        Write("data.xml", text);
        return archive.Open(m_module.Handle(), u"data.xml", CXMLArchive::kModeRead);
    }
    std::vector<WString> FoundIds(const CXMLArchive& archive, LPCWSTR path)
    {
        CXMLArchiveItemList list = archive.Find(path);
        std::vector<WString> ids;
        for (long i = 0; i < list.GetLength(); ++i)
            ids.push_back(CXMLArchive::GetAttributeText(CXMLArchive::Item(list, i), u"id", u"?"));
        return ids;
    }

    TempFolder m_temp;
    ScopedEnv m_runtime{"XDG_RUNTIME_DIR", m_temp.Native()};
    TempModule m_module{m_temp, "program"};
    FakeEngine m_engine;
};

using Ids = std::vector<WString>;

} // namespace

TEST_F(XmlArchiveTest, OpensARelativePathBesideTheModuleWithBothLoadingOptions)
{
    ASSERT_NE(m_module.Handle(), nullptr);
    CXMLArchive archive;
    ASSERT_TRUE(OpenText(archive, kConfig));
    EXPECT_TRUE(archive.IsOpen());
    EXPECT_EQ(archive.GetPath(), m_module.WideFolder() + u"/data.xml");
    EXPECT_EQ(archive.GetDeclaration(), u"version='1.0' encoding='utf-16'");
    EXPECT_EQ(m_engine.loadOptions, (std::vector<std::pair<int, BOOL>>{{0, TRUE}, {1, FALSE}}));
    ASSERT_EQ(m_engine.documentLoads.size(), 1u);
    EXPECT_EQ(m_engine.documentLoads[0].path, m_module.WideFolder() + u"/data.xml");

    // An absolute path is taken as it is.
    std::string other = Write("sub/other.xml", "<a id='x'/>");
    CXMLArchive second;
    ASSERT_TRUE(second.Open(nullptr, Utf8ToWide(other).c_str(), CXMLArchive::kModeRead));
    EXPECT_EQ(FoundIds(second, u"a"), Ids{u"x"});
}

TEST_F(XmlArchiveTest, StaysClosedWhenNothingCanBeLoaded)
{
    CXMLArchive archive;
    EXPECT_FALSE(archive.Open(m_module.Handle(), u"missing.xml", CXMLArchive::kModeRead));
    EXPECT_FALSE(OpenText(archive, "<Root.Config><Skin>"));
    EXPECT_FALSE(archive.IsOpen());
    EXPECT_EQ(archive.Find(u"Root.Config").GetLength(), 0);
    EXPECT_FALSE(archive.Open(m_module.Handle(), u"", CXMLArchive::kModeRead));
    EXPECT_FALSE(archive.Open(m_module.Handle(), nullptr, CXMLArchive::kModeRead));
    Write("data.xml", kConfig);
    EXPECT_FALSE(archive.Open(m_module.Handle(), u"data.xml", 1)) << "only the read mode is known";
    EXPECT_FALSE(archive.IsOpen());

    m_engine.canCreateDocuments = false;
    EXPECT_FALSE(OpenText(archive, kConfig));
}

TEST(XmlArchiveWithoutEngine, StaysClosed)
{
    TempFolder temp;
    TempModule module(temp, "program");
    WriteTextFile(module.Folder() + "/data.xml", kConfig);
    CXMLArchive archive;
    EXPECT_FALSE(archive.Open(module.Handle(), u"data.xml", CXMLArchive::kModeRead));
    EXPECT_EQ(archive.Find(u"Root.Config").GetLength(), 0);
}

TEST_F(XmlArchiveTest, FindsElementsBelowTheFirstElementOfEachSegment)
{
    CXMLArchive archive;
    ASSERT_TRUE(OpenText(archive, kConfig));
    // Below the first Skin only, at any depth, in document order.
    EXPECT_EQ(FoundIds(archive, u"Root.Config/Skin/Item"), (Ids{u"1", u"2", u"3"}));
    EXPECT_EQ(FoundIds(archive, u"Root.Config\\Skin\\Item"), (Ids{u"1", u"2", u"3"}));
    // One segment gives every element of that tag in the document.
    EXPECT_EQ(FoundIds(archive, u"Item"), (Ids{u"1", u"2", u"3", u"4"}));
    EXPECT_EQ(archive.Find(u"Facet.Config/DYNAMICSTATUSBAR").GetLength(), 1);
    EXPECT_EQ(FoundIds(archive, u"Skin/Group/Item"), Ids{u"2"});

    EXPECT_EQ(archive.Find(u"Nothing/Skin/Item").GetLength(), 0);
    EXPECT_EQ(archive.Find(u"Root.Config/Nothing/Item").GetLength(), 0);
    EXPECT_EQ(archive.Find(u"Root.Config/Skin/Nothing").GetLength(), 0);
    EXPECT_EQ(archive.Find(u"root.config/skin/item").GetLength(), 0);
    EXPECT_EQ(archive.Find(u"/").GetLength(), 0);
    EXPECT_EQ(archive.Find(nullptr).GetLength(), 0);
}

TEST_F(XmlArchiveTest, PathsLongerThan2048CharactersFindNothing)
{
    CXMLArchive archive;
    ASSERT_TRUE(OpenText(archive, kConfig));
    EXPECT_EQ(archive.Find(u"").GetLength(), 0);

    // Runs of separators make no segments, so the padding keeps the path's meaning.
    auto padded = [](size_t length) {
        WString path = u"Root.Config";
        path.append(length - path.size() - 4, u'/');
        return path + u"Skin";
    };
    ASSERT_EQ(padded(2048).size(), 2048u);
    EXPECT_EQ(archive.Find(padded(2048).c_str()).GetLength(), 2);
    EXPECT_EQ(archive.Find(padded(2049).c_str()).GetLength(), 0);
}

TEST_F(XmlArchiveTest, ItemIsTheElementAtTheIndexOrEmpty)
{
    CXMLArchive archive;
    ASSERT_TRUE(OpenText(archive, kConfig));
    CXMLArchiveItemList list = archive.Find(u"Root.Config/Skin");
    ASSERT_EQ(list.GetLength(), 2);
    EXPECT_EQ(CXMLArchive::GetAttributeText(CXMLArchive::Item(list, 1), u"name", u""), u"second");
    EXPECT_TRUE(CXMLArchive::Item(list, 2).IsEmpty());
    EXPECT_TRUE(CXMLArchive::Item(list, -1).IsEmpty());
    EXPECT_TRUE(CXMLArchive::Item(CXMLArchiveItemList(), 0).IsEmpty());

    // Copies share the element and the list; each releases its own reference.
    CXMLArchiveItem item = CXMLArchive::Item(list, 0);
    CXMLArchiveItem copy = item;
    copy = CXMLArchive::Item(list, 1);
    CXMLArchiveItemList listCopy = list;
    listCopy = CXMLArchiveItemList();
    EXPECT_EQ(CXMLArchive::GetAttributeText(copy, u"name", u""), u"second");
    EXPECT_EQ(CXMLArchive::GetAttributeText(item, u"name", u""), u"first");

    // An entry that is not an element gives the empty item.
    auto document = std::make_shared<pugi::xml_document>();
    document->load_string("<a>text<b/></a>");
    EngineXmlNodeList* raw = MakeFakeNodeList(document, {document->first_child().first_child(), document->child("a").child("b")});
    CXMLArchiveItemList mixed(raw);
    raw->Release();
    EXPECT_TRUE(CXMLArchive::Item(mixed, 0).IsEmpty());
    EXPECT_FALSE(CXMLArchive::Item(mixed, 1).IsEmpty());
}

TEST_F(XmlArchiveTest, AttributeTextGivesTheValueOrTheDefault)
{
    CXMLArchive archive;
    ASSERT_TRUE(OpenText(archive, R"(<Item SkinPath="config\blue" Empty="" Name="蓝色"/>)"));
    CXMLArchiveItem item = CXMLArchive::Item(archive.Find(u"Item"), 0);
    EXPECT_EQ(CXMLArchive::GetAttributeText(item, u"SkinPath", u"x"), u"config\\blue");
    EXPECT_EQ(CXMLArchive::GetAttributeText(item, u"Name", u"x"), u"蓝色");
    EXPECT_EQ(CXMLArchive::GetAttributeText(item, u"Empty", u"x"), u"");
    EXPECT_EQ(CXMLArchive::GetAttributeText(item, u"Missing", u"x"), u"x");
    EXPECT_EQ(CXMLArchive::GetAttributeText(item, u"Missing", nullptr), u"");
    EXPECT_EQ(CXMLArchive::GetAttributeText(CXMLArchiveItem(), u"SkinPath", u"d"), u"d");
}

TEST_F(XmlArchiveTest, AttributeNumbersFollowTheHexAndDecimalRules)
{
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {" 0x1F", 31},
        {"  0XfF", 255},
        {"-12", -12},
        {"+7", 7},
        {"12abc", 12},
        {"0x", 0},           // two characters: the decimal rule reads "0"
        {"0x123456789", 0},  // eleven characters: the decimal rule reads "0"
        {"0x12345678", 0x12345678},
        {"0xFFFFFFFF", -1},
        {"0x1G", 1},
        {"0xG", 0},
        {"0x-1", 0},
        {"   ", 0},
        {"- 5", 0},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
        {"-2147483648", INT_MIN},
    };
    std::string xml = "<Root>";
    for (const Case& c : cases)
        xml += std::string("<N v=\"") + c.text + "\"/>";
    xml += "<N v=\"\"/><N/></Root>";
    CXMLArchive archive;
    ASSERT_TRUE(OpenText(archive, xml));
    CXMLArchiveItemList list = archive.Find(u"Root/N");
    ASSERT_EQ(list.GetLength(), static_cast<long>(std::size(cases) + 2));
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(CXMLArchive::GetAttributeNumber(CXMLArchive::Item(list, static_cast<long>(i)), u"v", 77), cases[i].expected)
            << '"' << cases[i].text << '"';
    EXPECT_EQ(CXMLArchive::GetAttributeNumber(CXMLArchive::Item(list, std::size(cases)), u"v", 77), 77) << "empty";
    EXPECT_EQ(CXMLArchive::GetAttributeNumber(CXMLArchive::Item(list, std::size(cases) + 1), u"v", 77), 77) << "missing";
    EXPECT_EQ(CXMLArchive::GetAttributeNumber(CXMLArchiveItem(), u"v", -3), -3);

    // Tabs count as blanks (the parser turns them into spaces, so the rule is checked on its own too).
    EXPECT_EQ(CXMLArchive::ParseNumber(u"\t 0x10"), 16);
    EXPECT_EQ(CXMLArchive::ParseNumber(u"\t-4"), -4);
}

TEST_F(XmlArchiveTest, AFileOnlyInThePackedStorageIsReadThroughATemporaryFile)
{
    WString wanted = m_module.WideFolder() + u"/config/defaultskin/facet.xml";
    m_engine.package.packed[wanted] = kConfig;
    CXMLArchive archive;
    ASSERT_TRUE(archive.Open(m_module.Handle(), u"config/defaultskin/facet.xml", CXMLArchive::kModeRead));
    EXPECT_EQ(FoundIds(archive, u"Root.Config/Skin/Item"), (Ids{u"1", u"2", u"3"}));

    ASSERT_EQ(m_engine.documentLoads.size(), 1u);
    const FakeDocumentLoad& load = m_engine.documentLoads[0];
    EXPECT_TRUE(load.existed);
    fs::path temporary(WideToUtf8(load.path));
    EXPECT_EQ(temporary.parent_path(), fs::path(m_temp.Native()));
    EXPECT_TRUE(temporary.filename().string().starts_with("~xm")) << temporary;
    EXPECT_EQ(temporary.extension(), ".tmp");
    EXPECT_FALSE(fs::exists(temporary)) << "the temporary file is left behind";

    // Each file taken out of the storage gets the next number.
    CXMLArchive second;
    ASSERT_TRUE(second.Open(m_module.Handle(), u"config/defaultskin/facet.xml", CXMLArchive::kModeRead));
    ASSERT_EQ(m_engine.documentLoads.size(), 2u);
    unsigned long first = std::stoul(temporary.stem().string().substr(3), nullptr, 16);
    EXPECT_GE(first, 10000u);
    char next[32];
    std::snprintf(next, sizeof next, "~xm%lX.tmp", first + 1);
    EXPECT_EQ(fs::path(WideToUtf8(m_engine.documentLoads[1].path)).filename().string(), next);
    EXPECT_FALSE(fs::exists(WideToUtf8(m_engine.documentLoads[1].path)));
}

TEST_F(XmlArchiveTest, ATakenTemporaryNameIsNeverWrittenThrough)
{
    WString wanted = m_module.WideFolder() + u"/config/defaultskin/facet.xml";
    m_engine.package.packed[wanted] = kConfig;
    CXMLArchive probe;
    ASSERT_TRUE(probe.Open(m_module.Handle(), u"config/defaultskin/facet.xml", CXMLArchive::kModeRead));
    fs::path used(WideToUtf8(m_engine.documentLoads.back().path));
    unsigned long number = std::stoul(used.stem().string().substr(3), nullptr, 16);
    // Someone placed a link under the next name, pointing at a file of theirs.
    char next[32];
    std::snprintf(next, sizeof next, "~xm%lX.tmp", number + 1);
    fs::path victim = fs::path(m_temp.Native()) / "victim.txt";
    { std::FILE* f = std::fopen(victim.c_str(), "w"); std::fputs("keep me", f); std::fclose(f); }
    fs::create_symlink(victim, fs::path(m_temp.Native()) / next);

    CXMLArchive archive;
    ASSERT_TRUE(archive.Open(m_module.Handle(), u"config/defaultskin/facet.xml", CXMLArchive::kModeRead));
    EXPECT_NE(fs::path(WideToUtf8(m_engine.documentLoads.back().path)).filename().string(), next);
    std::FILE* f = std::fopen(victim.c_str(), "r");
    char text[16] = {};
    std::fgets(text, sizeof text, f);
    std::fclose(f);
    EXPECT_STREQ(text, "keep me");
    fs::remove(fs::path(m_temp.Native()) / next);
    fs::remove(victim);
}

namespace {

// Takes the same packed file out twice and tells whether the temporary files had these numbers.
bool TemporaryNumbersAre(const char* first, const char* second)
{
    TempFolder temp;
    ScopedEnv runtime("XDG_RUNTIME_DIR", temp.Native());
    TempModule module(temp, "program");
    FakeEngine engine;
    engine.package.packed[module.WideFolder() + u"/facet.xml"] = "<a/>";
    CXMLArchive archive;
    CXMLArchive again;
    if (!archive.Open(module.Handle(), u"facet.xml", CXMLArchive::kModeRead)
        || !again.Open(module.Handle(), u"facet.xml", CXMLArchive::kModeRead) || engine.documentLoads.size() != 2)
        return false;
    return engine.documentLoads[0].path == temp.Wide(first) && engine.documentLoads[1].path == temp.Wide(second);
}

} // namespace

TEST(XmlArchivePackedFiles, TheTemporaryNumbersStartAt10000)
{
    // The check runs in a freshly started copy of this program, where no other test took a number.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(TemporaryNumbersAre("~xm2710.tmp", "~xm2711.tmp") ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

TEST_F(XmlArchiveTest, PackedFilesThatAreEmptyUnreadableOrHugeAreNotLoaded)
{
    WString wanted = m_module.WideFolder() + u"/facet.xml";
    m_engine.package.packed[wanted] = "";
    CXMLArchive archive;
    EXPECT_FALSE(archive.Open(m_module.Handle(), u"facet.xml", CXMLArchive::kModeRead));

    m_engine.package.packed[wanted] = "<Root.Config><Skin>";
    EXPECT_FALSE(archive.Open(m_module.Handle(), u"facet.xml", CXMLArchive::kModeRead));
    ASSERT_EQ(m_engine.documentLoads.size(), 1u);
    EXPECT_FALSE(fs::exists(WideToUtf8(m_engine.documentLoads[0].path)));

    m_engine.package.packed[wanted] = "<a/>";
    m_engine.package.claimedSize = 0x7FFFFFFF;
    EXPECT_FALSE(archive.Open(m_module.Handle(), u"facet.xml", CXMLArchive::kModeRead));
    EXPECT_EQ(m_engine.documentLoads.size(), 1u);

    m_engine.package.claimedSize = -1;
    m_engine.hasPackage = false;
    EXPECT_FALSE(archive.Open(m_module.Handle(), u"facet.xml", CXMLArchive::kModeRead));
}
