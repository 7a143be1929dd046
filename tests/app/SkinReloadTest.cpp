// The main window with the real engine in the headless presenter, and what the suite's skin-change
// notice (WM_COPYDATA 0x6402) does to it: the skin of the suite's folder, two levels above the
// program's, replaces the program's own, and the labels written in the skin's status text colour
// are drawn in the new colour.
#include "MainWindowTestSupport.h"
#include "ui/EngineAccess.h"
#include "app/SkinSelector.h"
#include "platform/sys/Registry.h"

#include <gtest/gtest.h>

namespace {

constexpr COLORREF kStartColor = RGB(255, 0, 0);
constexpr COLORREF kSuiteColor = RGB(0, 190, 0);

// The program's module lies at "install/suite/program", so the suite's folder two levels up is "install".
class SkinReloadTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        m_startColor = kStartColor;
        MainWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        WriteFile(m_module.Folder(2) + "/config/defaultskin/facet.xml", FacetXml(kSuiteColor));
        OpenMainWindow(""); // no capture device
    }

    void NoticeSkinChange(ULONG_PTR identifier = kSkinChangedData)
    {
        COPYDATASTRUCT data {identifier, 0, nullptr};
        SendMessageW(m_dialog, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
        PumpPending();
    }

    WString EngineSkinFolder()
    {
        WCHAR folder[MAX_PATH] = {};
        GetEngineMain4()->GetSkinFolder(folder, MAX_PATH);
        return folder;
    }
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
