#include "app/SkinSelector.h"

#include "AppTestSupport.h"
#include "FakeEngine.h"
#include "ui/EngineAccess.h"
#include "app/XmlArchive.h"
#include "platform/sys/Registry.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

constexpr char kConfigXml[] = R"(<?xml version="1.0" encoding="utf-8"?>
<Root.Config>
  <Skin>
    <Item SkinPath="config\blue" StorageFile="blue.ui" DefaultSkin="1"/>
    <Item SkinPath="config/green"/>
    <Item SkinPath="config/red" StorageFile="red.ui" DefaultSkin="true"/>
    <Item StorageFile="orphan.ui" DefaultSkin="1"/>
  </Skin>
  <Skin>
    <Item SkinPath="config/second" StorageFile="second.ui" DefaultSkin="1"/>
  </Skin>
</Root.Config>
)";

// The program's module lies three levels below the temporary folder, so a depth of 2 stays inside it.
class SkinSelectorTest : public ::testing::Test {
protected:
    ~SkinSelectorTest() override { SetSharedFolderDepth(m_savedDepth); }
    void TearDown() override { EXPECT_EQ(FakeXmlObjectsAlive(), 0) << "a document object was not released"; }

    HMODULE Module() const { return m_module.Handle(); }
    WString Base(int depth = 0) const { return m_module.WideFolder(depth); }
    void MakeFolder(const std::string& relative, int depth = 0)
    {
        fs::create_directories(m_module.Folder(depth) + "/" + relative);
    }
    void MakeFile(const std::string& relative, const std::string& text = {}, int depth = 0)
    {
        WriteTextFile(m_module.Folder(depth) + "/" + relative, text);
    }
    static void SetDefaultSkin(const WString& value)
    {
        ASSERT_EQ(SHSetValueW(HKEY_CURRENT_USER, kSkinRegistryKey, kSkinRegistryValue, REG_SZ, value.c_str(),
                      static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR))),
            static_cast<LSTATUS>(ERROR_SUCCESS));
    }
    CSkinSelector Selector(int depth = 0, BOOL readRegistry = CSkinSelector::kReadRegistry)
    {
        CSkinSelector selector;
        selector.Create(Module(), depth, readRegistry);
        return selector;
    }

    int m_savedDepth = GetSharedFolderDepth();
    TempFolder m_temp;
    ScopedEnv m_home{"HOME", m_temp.Native("home")};
    ScopedEnv m_config{"XDG_CONFIG_HOME", m_temp.Native("home/.config")};
    ScopedEnv m_runtime{"XDG_RUNTIME_DIR", m_temp.Native()};
    TempModule m_module{m_temp, "install/suite/program"};
    FakeEngine m_engine;
};

} // namespace

TEST_F(SkinSelectorTest, TheRegistryValueNamesTheSkinFolderWithoutItsTrailingSeparator)
{
    ASSERT_NE(Module(), nullptr);
    MakeFolder("config/blue");
    SetDefaultSkin(u"config\\blue\\");
    CSkinSelector selector = Selector();
    EXPECT_EQ(selector.GetSkinFolder(FALSE), u"config/blue");
    EXPECT_EQ(selector.GetAbsoluteSkinFolder(FALSE), Base() + u"/config/blue");

    // The stored folder stays until a re-read is asked for.
    MakeFolder("config/dark");
    SetDefaultSkin(u"config/dark/");
    EXPECT_EQ(selector.GetSkinFolder(FALSE), u"config/blue");
    EXPECT_EQ(selector.GetSkinFolder(TRUE), u"config/dark");
}

TEST_F(SkinSelectorTest, AMissingValueFolderOrRegistryFlagGivesTheDefaultFolder)
{
    EXPECT_EQ(Selector().GetSkinFolder(FALSE), u"config/defaultskin") << "no value";
    SetDefaultSkin(u"");
    EXPECT_EQ(Selector().GetSkinFolder(FALSE), u"config/defaultskin") << "empty value";
    SetDefaultSkin(u"config\\nothere\\");
    EXPECT_EQ(Selector().GetSkinFolder(FALSE), u"config/defaultskin") << "missing folder";

    MakeFolder("config/blue");
    SetDefaultSkin(u"config/blue");
    EXPECT_EQ(Selector(0, CSkinSelector::kIgnoreRegistry).GetSkinFolder(FALSE), u"config/defaultskin");
    // A value of more than 260 bytes is not read.
    WString longName(140, u'x');
    MakeFolder("config/" + WideToUtf8(longName));
    SetDefaultSkin(u"config/" + longName);
    EXPECT_EQ(Selector().GetSkinFolder(FALSE), u"config/defaultskin");
}

TEST_F(SkinSelectorTest, RegistersTheListedPackagesAndEverySkinFolder)
{
    MakeFile("config/config.xml", kConfigXml);
    MakeFile("config/blue/blue.ui");
    MakeFile("config/blue/zz.ui");
    MakeFolder("config/plain");
    MakeFile("config/readme.txt");

    EXPECT_EQ(Selector().RegisterSkins(), 1);
    const WString base = Base();
    EXPECT_EQ(m_engine.package.opened, (std::vector<FakeRegistration>{
        {Module(), base + u"/config/blue/blue.ui"},
        {Module(), base + u"/config/red/red.ui"},
        {nullptr, base + u"/config/blue/blue.ui"},
        {nullptr, base + u"/config/plain/noui.ui"},
    }));
    // Only DefaultSkin "1" marks, with the path relative to the base folder.
    EXPECT_EQ(m_engine.package.defaults, (std::vector<FakeRegistration>{{Module(), u"config/blue/blue.ui"}}));
}

TEST_F(SkinSelectorTest, RegisteringGivesMinusOneWithoutPackagesConfigOrItems)
{
    MakeFolder("config/plain");
    EXPECT_EQ(Selector().RegisterSkins(), -1) << "no config.xml";

    MakeFile("config/config.xml", "<Root.Config><Skin/></Root.Config>");
    EXPECT_EQ(Selector().RegisterSkins(), -1) << "no items";
    EXPECT_TRUE(m_engine.package.opened.empty()) << "skin folders are registered only after listed items";

    MakeFile("config/config.xml", kConfigXml);
    m_engine.hasPackage = false;
    EXPECT_EQ(Selector().RegisterSkins(), -1) << "no package object";
    m_engine.hasPackage = true;
    EXPECT_EQ(Selector().RegisterSkins(), 1);
}

TEST_F(SkinSelectorTest, LoadSkinRegistersAndLoadsTheChosenFacetXml)
{
    MakeFile("config/config.xml", kConfigXml);
    MakeFolder("config/defaultskin");
    m_engine.skinResult = static_cast<HRESULT>(0x80041234);
    EXPECT_EQ(Selector().LoadSkin(), static_cast<HRESULT>(0x80041234));
    EXPECT_EQ(m_engine.skinLoads, (std::vector<FakeSkinLoad>{
        {Module(), Base() + u"/config/defaultskin/facet.xml", Base() + u"/config/defaultskin", false}}));
    EXPECT_FALSE(m_engine.package.opened.empty());
    EXPECT_EQ(GetSharedFolderDepth(), m_savedDepth) << "depth 0 leaves the shared depth alone";
}

TEST_F(SkinSelectorTest, AFacetXmlOnlyInThePackageIsReadAndItsTemporaryFileRemoved)
{
    MakeFolder("config/defaultskin");
    m_engine.package.packed[Base() + u"/config/defaultskin/facet.xml"]
        = R"(<Facet.Config><DYNAMICSTATUSBAR TextColor="0x00FF00"/></Facet.Config>)";
    CSkinSelector selector = Selector();
    CXMLArchive archive;
    WString facetXml = selector.GetAbsoluteSkinFolder(FALSE) + u"/facet.xml";
    ASSERT_TRUE(archive.Open(Module(), facetXml.c_str(), CXMLArchive::kModeRead));
    CXMLArchiveItem bar = CXMLArchive::Item(archive.Find(u"Facet.Config/DYNAMICSTATUSBAR"), 0);
    EXPECT_EQ(CXMLArchive::GetAttributeNumber(bar, u"TextColor", 0), 0x00FF00);
    ASSERT_EQ(m_engine.documentLoads.size(), 1u);
    EXPECT_TRUE(m_engine.documentLoads[0].existed);
    EXPECT_FALSE(fs::exists(WideToUtf8(m_engine.documentLoads[0].path)));
}

TEST_F(SkinSelectorTest, ReloadUsesDepthTwoAndThePackageNamedAfterTheFolder)
{
    MakeFile("config/config.xml", kConfigXml, 2);
    MakeFolder("config/blue", 2);
    SetDefaultSkin(u"config\\blue");
    EXPECT_EQ(CSkinSelector::ReloadSkin(Module()), S_OK);
    EXPECT_EQ(GetSharedFolderDepth(), 2);
    const WString base = Base(2);
    EXPECT_EQ(m_engine.package.opened, (std::vector<FakeRegistration>{{Module(), base + u"/config/blue/blue.ui"}}));
    EXPECT_TRUE(m_engine.package.defaults.empty());
    EXPECT_EQ(m_engine.skinLoads, (std::vector<FakeSkinLoad>{
        {Module(), base + u"/config/blue/facet.xml", base + u"/config/blue", true}}));
}

TEST(SkinSelectorWithoutEngine, RegistersNothingAndLoadsNothing)
{
    TempFolder temp;
    TempModule module(temp, "program");
    WriteTextFile(module.Folder() + "/config/config.xml", kConfigXml);
    CSkinSelector selector;
    selector.Create(module.Handle(), 0, CSkinSelector::kIgnoreRegistry);
    EXPECT_EQ(selector.RegisterSkins(), -1);
    EXPECT_EQ(selector.LoadSkin(), E_FAIL);
}
