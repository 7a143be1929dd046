// The main window with the real engine in the headless presenter, and what the suite's skin-change
// notice (WM_COPYDATA 0x6402) does to it: the skin of the suite's folder, two levels above the
// program's, replaces the program's own, and the labels written in the skin's status text colour
// are drawn in the new colour.
#include "AppTestSupport.h"
#include "app/EngineAccess.h"
#include "app/MainDlg.h"
#include "app/SkinSelector.h"
#include "app/StartUp.h"
#include "platform/base/Clock.h"
#include "platform/sys/Module.h"
#include "platform/sys/Registry.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/ModalScript.h"
#include "platform/ui/WindowObject.h"
#include "tests/platform/ui/UiTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

// The test's copy of the program's module carries the program's resources, as the test program
// itself does; each module's resources are looked up in that module alone, so the one name both
// define is no violation of the one-definition rule.
extern "C" const char* __asan_default_suppressions()
{
    return "odr_violation:lumo_resource_directory\n";
}

namespace {

constexpr COLORREF kStartColor = RGB(255, 0, 0);
constexpr COLORREF kSuiteColor = RGB(0, 190, 0);
constexpr DWORD kStartCheckMs = 1000;
constexpr DWORD kProgramControlClasses = 0x404; // the bar and rebar classes, as the program asks for them

std::string FacetXml(COLORREF statusText)
{
    return "<?xml version='1.0'?><Facet.Config><DYNAMICSTATUSBAR TextColor='" + std::to_string(statusText)
        + "'/></Facet.Config>";
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

// The engine as the program would load it, without the signature check of the suite loader.
const EngineExports& FacetExports()
{
    static EngineExports exports = [] {
        EngineExports loaded;
        HMODULE module = LoadLibraryW(Utf8ToWide(LUMO_FACET_LIBRARY).c_str());
        if (!module)
            return loaded;
        loaded.getFacet = reinterpret_cast<GetFacetFunction>(GetProcAddress(module, "GetFacet"));
        loaded.getFacet3 = reinterpret_cast<GetFacet3Function>(GetProcAddress(module, "GetFacet3"));
        loaded.getFacet4 = reinterpret_cast<GetFacet4Function>(GetProcAddress(module, "GetFacet4"));
        loaded.getDPICompatible = reinterpret_cast<GetDPICompatibleFunction>(GetProcAddress(module, "GetDPICompatible"));
        loaded.createFacetBitmap = reinterpret_cast<CreateFacetBitmapFunction>(GetProcAddress(module, "CreateFacetBitmap"));
        return loaded;
    }();
    return exports;
}

// The program's module (the test's copy of a library with the program's resources) lies at
// "install/suite/program" in the temporary folder, so the suite's folder two levels up is "install".
class SkinReloadTest : public UiTest {
protected:
    // The main window is published to the user's window directory: a folder of the test's own keeps it
    // from programs and tests that look for the running program there.
    static void SetUpTestSuite()
    {
        s_runtime = new TempFolder;
        s_runtimeEnv = new ScopedEnv("XDG_RUNTIME_DIR", s_runtime->Native());
    }

    static void TearDownTestSuite()
    {
        delete s_runtimeEnv;
        s_runtimeEnv = nullptr;
        delete s_runtime;
        s_runtime = nullptr;
    }

    void SetUp() override
    {
        UiTest::SetUp();
        ModalScript::Reset();
        ASSERT_NE(m_module.Handle(), nullptr);
        ASSERT_NE(FacetExports().getFacet, nullptr) << "Facet.so did not load";
        UseEngineExportsForTesting(&FacetExports());
        WriteFile(m_module.Folder() + "/config/defaultskin/facet.xml", FacetXml(kStartColor));
        WriteFile(m_module.Folder(2) + "/config/defaultskin/facet.xml", FacetXml(kSuiteColor));

        // Start-up as the program does it, with the module standing in for the executable.
        g_module.Init(m_module.Handle());
        INITCOMMONCONTROLSEX controls {sizeof(INITCOMMONCONTROLSEX), kProgramControlClasses};
        InitCommonControlsEx(&controls);
        CSkinSelector skins;
        skins.Create(m_module.Handle(), 0, TRUE);
        ASSERT_EQ(skins.LoadSkin(), S_OK);
        WNDCLASSEXW dialogClass {};
        dialogClass.cbSize = sizeof dialogClass;
        ASSERT_TRUE(GetClassInfoExW(nullptr, WC_DIALOG, &dialogClass));
        dialogClass.lpszClassName = kMainWindowClass;
        RegisterClassExW(&dialogClass);
        GetEngineMain()->RegisterClassAlias(WC_DIALOG, kMainWindowClass);

        ASSERT_NE(m_dialog.Create(nullptr), nullptr);
        m_dialog.ShowWindow(SW_SHOWNORMAL);
        PumpPending();
    }

    void TearDown() override
    {
        if (m_dialog.IsWindow())
            m_dialog.DestroyWindow();
        if (EngineMain* engine = GetEngineMain())
            engine->Terminate();
        g_module.Term();
        UseEngineExportsForTesting(nullptr);
        SetSharedFolderDepth(0);
        ModalScript::Reset();
        UiTest::TearDown();
    }

    // The first tick of the start check writes the device line (and, without a device, says so in a
    // message box, which takes its default answer).
    void RunStartCheck()
    {
        ModalScript::OnShown([this](ModalKind, HWND window) {
            WCHAR name[64] = {};
            GetClassNameW(window, name, 64);
            m_boxClasses.push_back(name);
        });
        TestClock::Advance(kStartCheckMs);
        ModalWatchdog watchdog;
        HWND deviceLine = m_dialog.GetDlgItem(1042);
        PumpUntil([deviceLine] { return GetWindowTextLengthW(deviceLine) > 0; });
        PumpPending();
    }

    void NoticeSkinChange(ULONG_PTR identifier = kSkinChangedData)
    {
        COPYDATASTRUCT data {identifier, 0, nullptr};
        SendMessageW(m_dialog, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
        PumpPending();
    }

    // Pixels of the control's client area, as the presenter shows its window, near `color`.
    int CountNear(HWND hwnd, COLORREF color)
    {
        RECT r {};
        GetClientRect(hwnd, &r);
        POINT origin = OffsetInTopLevel(hwnd);
        HWND top = GetAncestor(hwnd, GA_ROOT);
        int count = 0;
        for (LONG y = 0; y < r.bottom; ++y) {
            for (LONG x = 0; x < r.right; ++x) {
                long p = Presenter().PixelAt(top, origin.x + x, origin.y + y);
                int red = static_cast<int>((p >> 16) & 0xFF);
                int green = static_cast<int>((p >> 8) & 0xFF);
                int blue = static_cast<int>(p & 0xFF);
                count += p >= 0 && std::abs(red - GetRValue(color)) <= 50 && std::abs(green - GetGValue(color)) <= 50
                    && std::abs(blue - GetBValue(color)) <= 50;
            }
        }
        return count;
    }

    WString EngineSkinFolder()
    {
        WCHAR folder[MAX_PATH] = {};
        GetEngineMain4()->GetSkinFolder(folder, MAX_PATH);
        return folder;
    }

    ScopedTestClock m_clock {SYSTEMTIME {2024, 5, 3, 10, 12, 0, 0, 0}, 100000};
    TempFolder m_temp;
    ScopedEnv m_home {"HOME", m_temp.Native("home")};
    ScopedEnv m_config {"XDG_CONFIG_HOME", m_temp.Native("home/.config")};
    ScopedEnv m_tmpdir {"TMPDIR", m_temp.Native()};
    ScopedEnv m_devices {"LUMO_VIRTUAL_DEVICES", ""}; // no capture device
    TempModule m_module {m_temp, "install/suite/program"};
    CMainDlg m_dialog;
    std::vector<WString> m_boxClasses;
    static inline TempFolder* s_runtime = nullptr;
    static inline ScopedEnv* s_runtimeEnv = nullptr;
};

} // namespace

TEST_F(SkinReloadTest, TheDeviceLineTakesTheColourOfTheReloadedSkin)
{
    RunStartCheck();
    HWND deviceLine = m_dialog.GetDlgItem(1042);
    ASSERT_NE(deviceLine, nullptr);
    EXPECT_GT(CountNear(deviceLine, kStartColor), 20) << "the program's own skin colours the line";
    EXPECT_EQ(CountNear(deviceLine, kSuiteColor), 0);

    NoticeSkinChange();
    EXPECT_EQ(EngineSkinFolder(), Utf8ToWide(m_module.Folder(2) + "/config/defaultskin"));
    EXPECT_GT(CountNear(deviceLine, kSuiteColor), 20) << "the suite's skin colours the line";
    EXPECT_EQ(CountNear(deviceLine, kStartColor), 0) << "nothing of the old colour is left";
    // The HD switch, hidden without a device, has the new colour for the pointer too.
    WCHAR hd[256] = {};
    GetDlgItemTextW(m_dialog, 1040, hd, 256);
    EXPECT_NE(WString(hd).find(u"hovercolor=rgb(0,190,0)"), WString::npos) << WideToUtf8(hd);
}

TEST_F(SkinReloadTest, ANoticeBeforeTheStartCheckLeavesTheDeviceLineToIt)
{
    NoticeSkinChange();
    HWND deviceLine = m_dialog.GetDlgItem(1042);
    EXPECT_EQ(GetWindowTextLengthW(deviceLine), 0);
    RunStartCheck();
    EXPECT_GT(CountNear(deviceLine, kSuiteColor), 20);
}

TEST_F(SkinReloadTest, TheSkinNamedByTheSuiteIsTakenAndOtherDataChangesNothing)
{
    RunStartCheck();
    HWND deviceLine = m_dialog.GetDlgItem(1042);
    constexpr COLORREF kBlue = RGB(0, 0, 255);
    WriteFile(m_module.Folder(2) + "/config/blue/facet.xml", FacetXml(kBlue));
    WString blue = u"config\\blue\\";
    ASSERT_EQ(SHSetValueW(HKEY_CURRENT_USER, kSkinRegistryKey, kSkinRegistryValue, REG_SZ, blue.c_str(),
                  static_cast<DWORD>((blue.size() + 1) * sizeof(WCHAR))),
        static_cast<LSTATUS>(ERROR_SUCCESS));

    NoticeSkinChange(0x6403);
    EXPECT_GT(CountNear(deviceLine, kStartColor), 20) << "another identifier is no skin change";
    EXPECT_EQ(CountNear(deviceLine, kBlue), 0);

    NoticeSkinChange();
    EXPECT_EQ(CountNear(deviceLine, kStartColor), 0);
    EXPECT_GT(CountNear(deviceLine, kBlue), 20);
    // The box of the start check is the engine's own, drawn with the skin.
    ASSERT_FALSE(m_boxClasses.empty());
    for (const WString& boxClass : m_boxClasses)
        EXPECT_EQ(boxClass, u"FacetMessageBox");
}
