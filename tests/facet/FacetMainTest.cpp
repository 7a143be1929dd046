#include "FacetTestSupport.h"

#include "facet/Skin.h"
#include "platform/sys/Com.h"
#include "platform/sys/Module.h"
#include "platform/sys/Thread.h"
#include "platform/ui/Menu.h"
#include "platform/ui/ModalScript.h"
#include "tests/platform/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// The engine's skin as its widgets see it. The engine exports nothing for this, so the test asks the
// loaded library for the C++ symbol itself.
const Skin& EngineSkin()
{
    using CurrentSkinFunction = const Skin& (*)();
    auto function = reinterpret_cast<CurrentSkinFunction>(GetProcAddress(Facet().module, "_Z11CurrentSkinv"));
    if (!function)
        throw std::runtime_error("the engine has no CurrentSkin");
    return function();
}

WString SkinFolder()
{
    WCHAR buffer[MAX_PATH] = {};
    Facet().getFacet4()->GetSkinFolder(buffer, MAX_PATH);
    return buffer;
}

TEST(FacetExportsTest, EveryExportIsPresentAndGivesOneObject)
{
    const FacetLibrary& facet = Facet();
    ASSERT_NE(facet.module, nullptr) << "Facet.so did not load";
    ASSERT_NE(facet.getFacet, nullptr);
    ASSERT_NE(facet.getFacet3, nullptr);
    ASSERT_NE(facet.getFacet4, nullptr);
    ASSERT_NE(facet.getDpiCompatible, nullptr);
    ASSERT_NE(facet.createFacetBitmap, nullptr);
    EXPECT_NE(facet.getFacet(), nullptr);
    EXPECT_EQ(facet.getFacet(), facet.getFacet());
    EXPECT_NE(facet.getFacet3(), nullptr);
    EXPECT_NE(facet.getFacet4(), nullptr);
    EXPECT_EQ(facet.getDpiCompatible(), facet.getDpiCompatible());
    EXPECT_NE(facet.getFacet()->GetPackage(), nullptr);
    EXPECT_EQ(GetProcAddress(facet.module, "GetFacet2"), nullptr);
}

TEST(FacetExportsTest, DisplayScalingKeepsTheModeItIsGiven)
{
    ASSERT_NE(Facet().getDpiCompatible, nullptr);
    EngineDisplayScaling* scaling = Facet().getDpiCompatible();
    int old = scaling->GetMode();
    EXPECT_EQ(old, 0);
    scaling->SetMode(1);
    EXPECT_EQ(Facet().getDpiCompatible()->GetMode(), 1);
    scaling->SetMode(3);
    EXPECT_EQ(scaling->GetMode(), 3);
    scaling->SetMode(old);
    EXPECT_EQ(scaling->GetMode(), old);
}

TEST(FacetExportsTest, ClassAliasesNeedBothNames)
{
    ASSERT_NE(FacetEngine(), nullptr);
    EXPECT_EQ(FacetEngine()->RegisterClassAlias(u"#32770", u"QTernBoxMain"), S_OK);
    EXPECT_EQ(FacetEngine()->RegisterClassAlias(nullptr, u"QTernBoxMain"), E_INVALIDARG);
    EXPECT_EQ(FacetEngine()->RegisterClassAlias(u"#32770", u""), E_INVALIDARG);
}

class SkinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(FacetEngine(), nullptr) << "Facet.so did not load";
        FacetEngine()->Terminate();
    }
    void TearDown() override { FacetEngine()->Terminate(); }

    // Loads a facet.xml with this body inside <Facet.Config>.
    HRESULT LoadConfig(const std::string& body)
    {
        WString path = m_scratch.Write("skin/facet.xml", "<?xml version='1.0'?><Facet.Config>" + body + "</Facet.Config>");
        return FacetEngine()->LoadSkin(nullptr, path.c_str(), m_scratch.Wide("skin").c_str());
    }

    COLORREF StatusColorOf(const std::string& text)
    {
        EXPECT_EQ(LoadConfig("<DYNAMICSTATUSBAR TextColor='" + text + "'/>"), S_OK) << text;
        return EngineSkin().statusText;
    }

    ScratchFolder m_scratch;
};

TEST_F(SkinTest, ColoursAreAttributeNumbersWithRedInTheLowestByte)
{
    EXPECT_EQ(StatusColorOf("0xFF"), RGB(255, 0, 0));
    EXPECT_EQ(StatusColorOf("255"), RGB(255, 0, 0));
    EXPECT_EQ(StatusColorOf(" \t0X3d8bFD"), RGB(0xFD, 0x8B, 0x3D));
    EXPECT_EQ(StatusColorOf("0x00FF00"), RGB(0, 255, 0));
    EXPECT_EQ(StatusColorOf("65280"), RGB(0, 255, 0));
    EXPECT_EQ(StatusColorOf("+16711680"), RGB(0, 0, 255));
    EXPECT_EQ(StatusColorOf("12abc"), 12u) << "digits up to the first other character";
    EXPECT_EQ(StatusColorOf("0x1FZ"), 0x1Fu);
    EXPECT_EQ(StatusColorOf("0xZZ"), 0u);
    EXPECT_EQ(StatusColorOf("0x"), 0u) << "too short for hexadecimal: the decimal 0";
    EXPECT_EQ(StatusColorOf("0x12345678"), 0x345678u) << "ten characters are still hexadecimal";
    EXPECT_EQ(StatusColorOf("0x123456789"), 0u) << "eleven characters are read as the decimal 0";
    EXPECT_EQ(StatusColorOf("-1"), 0xFFFFFFu) << "only the three colour bytes are kept";
    EXPECT_EQ(StatusColorOf("red"), 0u);
}

TEST_F(SkinTest, EveryElementOfTheSkinIsRead)
{
    ASSERT_EQ(LoadConfig("<CAPTION TextColor='0x010203' Top='0x111111' Bottom='0x222222' Height='44'/>"
                         "<WINDOW Background='0x333333'/><DYNAMICSTATUSBAR TextColor='0x444444'/>"
                         "<LINK TextColor='0x555555' HoverColor='0x666666'/><TOOLBAR TextColor='0x777777' HoverColor='0x888888'/>"
                         "<FONT Face='宋体' Size='12'/>"),
        S_OK);
    const Skin& skin = EngineSkin();
    EXPECT_EQ(skin.captionText, 0x010203u);
    EXPECT_EQ(skin.captionTop, 0x111111u);
    EXPECT_EQ(skin.captionBottom, 0x222222u);
    EXPECT_EQ(skin.captionHeight, 44);
    EXPECT_EQ(skin.windowBackground, 0x333333u);
    EXPECT_EQ(skin.statusText, 0x444444u);
    EXPECT_EQ(skin.linkText, 0x555555u);
    EXPECT_EQ(skin.linkHover, 0x666666u);
    EXPECT_EQ(skin.buttonText, 0x777777u);
    EXPECT_EQ(skin.buttonHover, 0x888888u);
    EXPECT_EQ(skin.fontFace, u"宋体");
    EXPECT_EQ(skin.fontSize, 12);
    EXPECT_EQ(skin.folder, m_scratch.Wide("skin"));
    EXPECT_EQ(SkinFolder(), m_scratch.Wide("skin"));
}

TEST_F(SkinTest, MissingEmptyOrUnusableValuesKeepTheDefaults)
{
    const Skin defaults;
    ASSERT_EQ(LoadConfig("<CAPTION Height='0' Top=''/><DYNAMICSTATUSBAR/><FONT Face='" + std::string(40, 'x') + "' Size='500'/>"), S_OK);
    const Skin& skin = EngineSkin();
    EXPECT_EQ(skin.statusText, 0u) << "the status colour is black without TextColor";
    EXPECT_EQ(skin.captionHeight, defaults.captionHeight);
    EXPECT_EQ(skin.captionTop, defaults.captionTop);
    EXPECT_EQ(skin.linkHover, defaults.linkHover);
    EXPECT_EQ(skin.fontFace, defaults.fontFace);
    EXPECT_EQ(skin.fontSize, defaults.fontSize);
}

TEST_F(SkinTest, AFileThatCannotBeReadGivesTheDefaultsAndAFailure)
{
    ASSERT_EQ(LoadConfig("<DYNAMICSTATUSBAR TextColor='0xFF'/><FONT Size='20'/>"), S_OK);
    WString missingFolder = m_scratch.Wide("gone");
    EXPECT_TRUE(FAILED(FacetEngine()->LoadSkin(nullptr, (missingFolder + u"/facet.xml").c_str(), missingFolder.c_str())));
    EXPECT_EQ(EngineSkin().statusText, 0u);
    EXPECT_EQ(EngineSkin().fontSize, 9);
    EXPECT_EQ(SkinFolder(), missingFolder) << "the folder is remembered all the same";

    for (std::string text : { "<Facet.Config><CAPTION Height='50'>", "<Other><CAPTION Height='50'/></Other>", "" }) {
        ASSERT_EQ(LoadConfig("<FONT Size='20'/>"), S_OK);
        WString path = m_scratch.Write("bad/facet.xml", text);
        EXPECT_TRUE(FAILED(FacetEngine()->ReloadSkin(nullptr, path.c_str(), nullptr))) << text;
        EXPECT_EQ(EngineSkin().fontSize, 9) << text;
        EXPECT_EQ(EngineSkin().captionHeight, 30) << text;
        EXPECT_EQ(SkinFolder(), m_scratch.Wide("bad")) << "without a folder, the file's own folder";
    }
}

TEST_F(SkinTest, ASkinThatIsOnlyInItsPackageIsReadFromThePackage)
{
    std::string xml = "<Facet.Config><DYNAMICSTATUSBAR TextColor='0x123456'/></Facet.Config>";
    WString package = m_scratch.Write("packed/packed.ui", MakeZip({ { "facet.xml", xml, true } }));
    ASSERT_EQ(FacetEngine()->GetPackage()->Open(nullptr, package.c_str()), S_OK);
    WString folder = m_scratch.Wide("packed");
    EXPECT_EQ(FacetEngine()->LoadSkin(nullptr, (folder + u"/facet.xml").c_str(), folder.c_str()), S_OK);
    EXPECT_EQ(EngineSkin().statusText, 0x123456u);

    // A file on disk comes before the package.
    m_scratch.Write("packed/facet.xml", "<Facet.Config><DYNAMICSTATUSBAR TextColor='7'/></Facet.Config>");
    EXPECT_EQ(FacetEngine()->ReloadSkin(nullptr, (folder + u"/facet.xml").c_str(), folder.c_str()), S_OK);
    EXPECT_EQ(EngineSkin().statusText, 7u);
}

TEST_F(SkinTest, TheInstalledDefaultSkinLoadsFromDiskAndFromItsPackage)
{
    WString folder = Utf8ToWide(LUMO_PROGRAM_DIR "/config/defaultskin");
    WString facetXml = folder + u"/facet.xml";
    ASSERT_EQ(FacetEngine()->LoadSkin(nullptr, facetXml.c_str(), folder.c_str()), S_OK);
    const Skin& skin = EngineSkin();
    EXPECT_EQ(skin.captionTop, RGB(0x2B, 0x34, 0x40));
    EXPECT_EQ(skin.captionBottom, RGB(0x1F, 0x26, 0x30));
    EXPECT_EQ(skin.windowBackground, RGB(217, 218, 220));
    EXPECT_EQ(skin.linkHover, RGB(0x3D, 0x8B, 0xFD));
    EXPECT_EQ(skin.statusText, RGB(0x3D, 0x8B, 0xFD));
    EXPECT_EQ(skin.fontFace, u"Microsoft YaHei");

    // The package holds the same file, and config.xml names the package as the default.
    EnginePackage* package = FacetEngine()->GetPackage();
    ASSERT_EQ(package->Open(nullptr, (folder + u"/defaultskin.ui").c_str()), S_OK);
    std::string onDisk = ReadAll(LUMO_PROGRAM_DIR "/config/defaultskin/facet.xml");
    ASSERT_EQ(package->GetPackedSize(0, u"facet.xml"), static_cast<long>(onDisk.size()));
    std::string packed(onDisk.size(), '\0');
    ASSERT_EQ(package->ReadPacked(0, facetXml.c_str(), reinterpret_cast<BYTE*>(packed.data()), static_cast<long>(packed.size())),
        static_cast<long>(onDisk.size()));
    EXPECT_EQ(packed, onDisk);

    ComPtr<EngineXmlDocument> config;
    ASSERT_EQ(FacetEngine()->CreateXmlDocument(&config), S_OK);
    BOOL loaded = FALSE;
    ASSERT_EQ(config->Load(Utf8ToWide(LUMO_PROGRAM_DIR "/config/config.xml").c_str(), &loaded), S_OK);
    ComPtr<EngineXmlNodeList> items;
    ASSERT_EQ(config->GetElementsByTagName(u"Item", &items), S_OK);
    ASSERT_EQ(items->Length(), 1);
    ComPtr<EngineXmlNode> node;
    ComPtr<EngineXmlElement> item;
    ASSERT_EQ(items->Item(0, &node), S_OK);
    ASSERT_EQ(node->AsElement(&item), S_OK);
    for (auto [name, expected] : { std::pair { u"SkinPath", u"config/defaultskin" }, { u"StorageFile", u"defaultskin.ui" }, { u"DefaultSkin", u"1" } }) {
        LPWSTR value = nullptr;
        ASSERT_EQ(item->GetAttribute(name, &value), S_OK);
        EXPECT_EQ(WString(value), expected);
        CoTaskMemFree(value);
    }
}

TEST_F(SkinTest, RelativePathsAreTakenFromTheModulesFolderAndTheFolderIsHandedBack)
{
    FacetEngine()->LoadSkin(nullptr, u"no-such-skin/facet.xml", nullptr);
    WCHAR executable[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, executable, MAX_PATH);
    WString expected = WString(executable).substr(0, WString(executable).find_last_of(u'/')) + u"/no-such-skin";
    EXPECT_EQ(SkinFolder(), expected);

    WCHAR small[8] = {};
    EXPECT_EQ(Facet().getFacet4()->GetSkinFolder(small, 8), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_EQ(WString(small), expected.substr(0, 7));
    EXPECT_EQ(Facet().getFacet4()->GetSkinFolder(nullptr, 8), E_INVALIDARG);
}

class FacetMessageBoxTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        ModalScript::Reset();
        ASSERT_NE(Facet().getFacet3, nullptr) << "Facet.so did not load";
    }
    void TearDown() override
    {
        ModalScript::Reset();
        UiTest::TearDown();
    }
};

TEST_F(FacetMessageBoxTest, ShowsTheTextAndCaptionAndAnswersWithTheButtonCode)
{
    EngineMessageBox* box = Facet().getFacet3();
    ModalScript::AnswerMessageBox(IDYES);
    int answer = 0;
    {
        ModalWatchdog watchdog;
        answer = box->MessageBox(nullptr, u"确定要删除吗？", u"Lumo", MB_YESNO | MB_ICONQUESTION);
    }
    EXPECT_EQ(answer, IDYES);
    {
        ModalWatchdog watchdog;
        answer = box->MessageBox(nullptr, u"未找到摄像头设备！", u"Lumo", MB_TASKMODAL | MB_ICONEXCLAMATION);
    }
    EXPECT_EQ(answer, IDOK) << "without an answer the default button";
    auto shown = ModalScript::MessageBoxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, u"确定要删除吗？");
    EXPECT_EQ(shown[0].caption, u"Lumo");
    EXPECT_EQ(shown[0].type, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(shown[1].type, MB_TASKMODAL | MB_ICONEXCLAMATION);
}

} // namespace
