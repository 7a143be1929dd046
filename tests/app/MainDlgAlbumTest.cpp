// The thumbnail strip of the main window with a virtual camera, as a user meets it: photos slide in
// newest first, hovering shows the red "×", a click opens the file, the "×" and the right button's menu
// delete it after asking, and the strip goes when its last entry does. Hand-offs to the desktop are
// written to LUMO_SHELL_OPEN_LOG instead of being launched.
#include "MainWindowTestSupport.h"

#include "album/ImgScrollView.h"
#include "platform/base/Strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr int kStripHeight = 89;
constexpr int kEntryWidth = 91;
constexpr int kEntryHeight = 80;
constexpr UINT kDeleteCommand = 32779;
constexpr UINT kOpenFolderCommand = 32780;

class MainDlgAlbumTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        OpenMainWindow("video:Desk Cam");
        RunStartCheck();
        HWND view = m_dialog.GetViewWnd();
        ASSERT_TRUE(PumpFilteredUntil([&] { return IsNear(PixelOf(view, {4, 4}), kRed); }, 10000))
            << "the live picture did not show";
    }

    CImgScrollView& Strip() { return m_dialog.GetStrip(); }
    CImgViewItem& Entry(int position)
    {
        CImgViewItem* item = Strip().GetItem(position);
        if (!item)
            throw std::runtime_error("no entry at " + std::to_string(position));
        return *item;
    }

    // A photo by the toolbar's command, a tenth of a second after the last; its entry is added.
    void TakePhoto()
    {
        int before = Strip().GetItemCount();
        TestClock::Advance(100);
        SendMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(10000, BN_CLICKED), 0);
        ASSERT_TRUE(PumpFilteredUntil([&] { return Strip().GetItemCount() == before + 1; }, 3000)) << "no entry came";
    }

    // The 50 ms steps of the newest entry's slide-in until it has arrived; how many it took.
    int SlideIn()
    {
        int ticks = 0;
        while (!Entry(0).HasArrived() && ticks < 20) {
            AdvanceClock(50);
            ++ticks;
        }
        return ticks;
    }

    // Where a child window stands in its parent's client area.
    static POINT PlaceOf(HWND hwnd)
    {
        RECT r {};
        GetWindowRect(hwnd, &r);
        POINT p {r.left, r.top};
        ScreenToClient(GetParent(hwnd), &p);
        return p;
    }

    int WindowHeight() const
    {
        RECT r {};
        GetWindowRect(m_dialog, &r);
        return r.bottom - r.top;
    }

    std::vector<std::string> ShellLog() const
    {
        std::ifstream in(m_shellLog);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    std::string m_shellLog = m_temp.Native("shell.log");
    ScopedEnv m_shellLogEnv {"LUMO_SHELL_OPEN_LOG", m_shellLog.c_str()};
};

} // namespace

TEST_F(MainDlgAlbumTest, PhotosSlideInNewestFirstAndTheCrossDeletesOnlyAfterAYes)
{
    int heightBefore = WindowHeight();
    TakePhoto();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(Strip().IsWindowVisible());
    EXPECT_EQ(WindowHeight(), heightBefore + kStripHeight);
    EXPECT_EQ(Strip().GetStripHeight(), kStripHeight) << "the strip's picture sets its height";
    EXPECT_EQ(Strip().GetItemSize().cx, kEntryWidth);
    EXPECT_EQ(Strip().GetItemSize().cy, kEntryHeight);
    // It starts above the strip and comes down 10 pixels a tick.
    EXPECT_EQ(PlaceOf(Entry(0)).x, 12);
    EXPECT_EQ(PlaceOf(Entry(0)).y, -70);
    EXPECT_EQ(SlideIn(), 7);
    EXPECT_EQ(PlaceOf(Entry(0)).y, 0);
    EXPECT_FALSE(Entry(0).IsVideo());
    std::string first = WideToUtf8(Entry(0).GetPath());

    TakePhoto();
    ASSERT_FALSE(HasFatalFailure());
    std::string second = WideToUtf8(Entry(0).GetPath());
    EXPECT_NE(first, second);
    EXPECT_TRUE(Entry(0).IsNewest());
    EXPECT_FALSE(Entry(1).IsNewest());
    EXPECT_EQ(PlaceOf(Entry(0)).x, 12);
    EXPECT_EQ(PlaceOf(Entry(1)).x, 12 + kEntryWidth + 14);
    EXPECT_EQ(PlaceOf(Entry(1)).y, 0) << "an entry that has arrived stays down";
    SlideIn();

    // Hovering shows the red "×" in the top right corner (the photo brings a red marker of its own).
    HWND newest = Entry(0);
    int redBefore = CountNear(newest, kRed);
    Presenter().MovePointer(newest, {40, 40});
    PumpFiltered();
    EXPECT_TRUE(Entry(0).IsHovered());
    EXPECT_GT(CountNear(newest, kRed), redBefore + 3) << "no red cross";

    // A release in the corner asks first; No keeps the file and the entry.
    ModalScript::AnswerMessageBox(IDNO);
    Presenter().Click(newest, {kEntryWidth - 8, 18});
    PumpFiltered();
    ASSERT_FALSE(ModalScript::MessageBoxes().empty());
    RecordedMessageBox asked = ModalScript::MessageBoxes().back();
    EXPECT_EQ(asked.text, u"确认要删除吗？");
    EXPECT_EQ(asked.caption, u"Lumo");
    EXPECT_EQ(asked.type, 36u);
    EXPECT_TRUE(std::filesystem::exists(second));
    EXPECT_EQ(Strip().GetItemCount(), 2);

    // Yes deletes the file, and the older photo becomes the newest at the left.
    ModalScript::AnswerMessageBox(IDYES);
    Presenter().Click(newest, {kEntryWidth - 8, 18});
    ASSERT_TRUE(PumpFilteredUntil([&] { return Strip().GetItemCount() == 1; }, 3000));
    EXPECT_FALSE(std::filesystem::exists(second));
    EXPECT_EQ(WideToUtf8(Entry(0).GetPath()), first);
    EXPECT_TRUE(Entry(0).IsNewest());
    EXPECT_EQ(PlaceOf(Entry(0)).x, 12);
    EXPECT_TRUE(ShellLog().empty()) << "a release in the corner does not open the file";

    // The last one goes with the strip, and the window gives the strip's height back.
    ModalScript::AnswerMessageBox(IDYES);
    Presenter().Click(Entry(0), {kEntryWidth - 8, 18});
    ASSERT_TRUE(PumpFilteredUntil([&] { return Strip().GetItemCount() == 0; }, 3000));
    PumpFiltered();
    EXPECT_FALSE(Strip().IsWindowVisible());
    EXPECT_EQ(WindowHeight(), heightBefore);
    EXPECT_FALSE(std::filesystem::exists(first));
}

TEST_F(MainDlgAlbumTest, AClickOpensTheFileAndAFileGoneFromDiskLeavesTheStrip)
{
    TakePhoto();
    ASSERT_FALSE(HasFatalFailure());
    SlideIn();
    std::string photo = WideToUtf8(Entry(0).GetPath());
    Presenter().Click(Entry(0), {40, 40});
    PumpFiltered();
    std::vector<std::string> log = ShellLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("open file://", 0), 0u) << log[0];
    EXPECT_NE(log[0].find(".jpg"), std::string::npos) << log[0];

    std::filesystem::remove(photo);
    Presenter().Click(Entry(0), {40, 40});
    ASSERT_TRUE(PumpFilteredUntil([&] { return Strip().GetItemCount() == 0; }, 3000));
    PumpFiltered();
    EXPECT_FALSE(Strip().IsWindowVisible());
    EXPECT_EQ(ShellLog().size(), 1u) << "a missing file is not handed to the desktop";
    EXPECT_TRUE(ModalScript::MessageBoxes().empty()) << "nothing asks before a missing file's entry goes";
}

TEST_F(MainDlgAlbumTest, TheRightButtonMenuShowsTheFolderOrDeletes)
{
    TakePhoto();
    ASSERT_FALSE(HasFatalFailure());
    SlideIn();
    std::string photo = WideToUtf8(Entry(0).GetPath());

    ModalScript::AnswerMenu(kOpenFolderCommand);
    Presenter().Click(Entry(0), {40, 40}, PointerButton::Right);
    PumpFiltered();
    ASSERT_FALSE(ModalScript::Menus().empty());
    std::vector<RecordedMenuItem> items = ModalScript::Menus().back().items;
    ASSERT_GE(items.size(), 2u);
    EXPECT_EQ(items[0].id, kDeleteCommand);
    EXPECT_EQ(items[1].id, kOpenFolderCommand);
    // The file manager is a process of its own: its line comes when it has run.
    ASSERT_TRUE(PumpFilteredUntil([&] { return !ShellLog().empty(); }, 8000)) << "watchdog: the file manager said nothing";
    std::vector<std::string> log = ShellLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("show file://", 0), 0u) << log[0];
    EXPECT_NE(log[0].find(std::filesystem::path(photo).filename().string()), std::string::npos) << log[0];

    // Dismissing the menu does nothing; its delete asks as the "×" does.
    ModalScript::AnswerMenu(0);
    Presenter().Click(Entry(0), {40, 40}, PointerButton::Right);
    PumpFiltered();
    EXPECT_EQ(Strip().GetItemCount(), 1);
    ModalScript::AnswerMenu(kDeleteCommand);
    ModalScript::AnswerMessageBox(IDYES);
    Presenter().Click(Entry(0), {40, 40}, PointerButton::Right);
    ASSERT_TRUE(PumpFilteredUntil([&] { return Strip().GetItemCount() == 0; }, 3000));
    EXPECT_FALSE(std::filesystem::exists(photo));
    EXPECT_EQ(ShellLog().size(), 1u);
}

TEST_F(MainDlgAlbumTest, ASlidingEntryStartsAgainAndEntriesOfOneTickShareTheirIdentifier)
{
    TakePhoto();
    ASSERT_FALSE(HasFatalFailure());
    std::string older = WideToUtf8(Entry(0).GetPath());
    AdvanceClock(50);
    AdvanceClock(50);
    EXPECT_EQ(PlaceOf(Entry(0)).y, -50);
    // Another entry while it slides puts it back to the start; it comes down from there.
    std::string newer = m_temp.Native("newer.jpg");
    std::filesystem::copy_file(older, newer);
    Strip().AddItem(Utf8ToWide(newer).c_str(), false);
    EXPECT_EQ(PlaceOf(Entry(1)).y, -70);
    EXPECT_EQ(PlaceOf(Entry(1)).x, 12 + kEntryWidth + 14);
    EXPECT_EQ(SlideIn(), 7);
    EXPECT_TRUE(Entry(1).HasArrived());

    // Two more in one tick share their identifier, and removal by it takes the first found from the
    // front, the newest.
    Strip().AddItem(Utf8ToWide(newer).c_str(), false);
    Strip().AddItem(Utf8ToWide(newer).c_str(), true);
    EXPECT_EQ(Entry(0).GetId(), Entry(1).GetId());
    EXPECT_NE(Entry(1).GetId(), Entry(2).GetId());
    EXPECT_EQ(GetDlgCtrlID(Entry(0)), static_cast<int>(Entry(0).GetId()));
    EXPECT_TRUE(Entry(0).IsVideo());
    Strip().RemoveItem(Entry(0).GetId());
    ASSERT_EQ(Strip().GetItemCount(), 3);
    EXPECT_FALSE(Entry(0).IsVideo());
    EXPECT_EQ(WideToUtf8(Entry(2).GetPath()), older);
    PumpFiltered();
    EXPECT_TRUE(Strip().IsWindowVisible()) << "the strip stays while it has entries";
}

TEST_F(MainDlgAlbumTest, EntriesAreDeletedAfterTheTickCountPassesTwoToTheThirtyFirst)
{
    // 24.8 days of uptime: the tick count, and so the entries' identifiers, have the top bit set.
    TestClock::Advance(0x80000000u - GetTickCount() + 5000);
    ASSERT_GE(GetTickCount(), 0x80000000u);
    int heightBefore = WindowHeight();
    TakePhoto();
    ASSERT_FALSE(HasFatalFailure());
    TakePhoto();
    ASSERT_FALSE(HasFatalFailure());
    SlideIn();
    EXPECT_GE(Entry(0).GetId(), 0x80000000u);
    std::string newer = WideToUtf8(Entry(0).GetPath());
    std::string older = WideToUtf8(Entry(1).GetPath());

    ModalScript::AnswerMessageBox(IDYES);
    Presenter().Click(Entry(0), {kEntryWidth - 8, 18});
    ASSERT_TRUE(PumpFilteredUntil([&] { return Strip().GetItemCount() == 1; }, 3000)) << "the entry stayed";
    EXPECT_FALSE(std::filesystem::exists(newer));
    EXPECT_EQ(WideToUtf8(Entry(0).GetPath()), older);

    ModalScript::AnswerMessageBox(IDYES);
    Presenter().Click(Entry(0), {kEntryWidth - 8, 18});
    ASSERT_TRUE(PumpFilteredUntil([&] { return Strip().GetItemCount() == 0; }, 3000)) << "the entry stayed";
    PumpFiltered();
    EXPECT_FALSE(Strip().IsWindowVisible());
    EXPECT_EQ(WindowHeight(), heightBefore);
}

TEST_F(MainDlgAlbumTest, EntriesKeepPicturesOfTheirDrawnSizeAndStillDrawRightAfterHundreds)
{
    TakePhoto();
    ASSERT_FALSE(HasFatalFailure());
    SlideIn();
    // The camera's 640 x 480 frame is kept at the size the entry draws it, not whole.
    EXPECT_EQ(Entry(0).GetPictureSize().cx, kEntryWidth - 10);
    EXPECT_EQ(Entry(0).GetPictureSize().cy, kEntryHeight - 20);
    auto look = [&](HWND entry) {
        std::vector<long> pixels;
        for (LONG y = 0; y < kEntryHeight; y += 3) {
            for (LONG x = 0; x < kEntryWidth; x += 3)
                pixels.push_back(PixelOf(entry, {x, y}));
        }
        return pixels;
    };
    std::vector<long> alone = look(Entry(0));
    ASSERT_GT(CountNear(Entry(0), kRed), 2) << "the photo's red marker is not drawn";

    // Hundreds more of the same photo: the newest still looks exactly as the first one did.
    std::string photo = WideToUtf8(Entry(0).GetPath());
    for (int i = 0; i < 400; ++i) {
        TestClock::Advance(1);
        Strip().AddItem(Utf8ToWide(photo).c_str(), false);
    }
    ASSERT_EQ(Strip().GetItemCount(), 401);
    SlideIn();
    PumpFiltered();
    EXPECT_EQ(look(Entry(0)), alone);
    EXPECT_GT(CountNear(Entry(0), kRed), 2);
    EXPECT_EQ(look(Entry(1)), look(Entry(2))) << "the entries beside the newest differ";
    EXPECT_EQ(Entry(400).GetPictureSize().cx, kEntryWidth - 10);
}

TEST_F(MainDlgAlbumTest, TheAlbumCommandShowsThePhotoFolderSelectedBeforeAnyPhoto)
{
    SendMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(10002, BN_CLICKED), 0);
    // The file manager is a process of its own: its line comes when it has run.
    ASSERT_TRUE(PumpFilteredUntil([&] { return !ShellLog().empty(); }, 8000)) << "watchdog: the file manager said nothing";
    std::vector<std::string> log = ShellLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("show file://", 0), 0u) << log[0];
    // ".../Tern摄像头/照片", escaped.
    EXPECT_NE(log[0].find("/Tern%E6%91%84%E5%83%8F%E5%A4%B4/%E7%85%A7%E7%89%87"), std::string::npos) << log[0];
    EXPECT_TRUE(std::filesystem::is_directory(m_temp.Native("home/Documents/Tern摄像头/照片")))
        << "the command makes the photo folder";
    EXPECT_EQ(Strip().GetItemCount(), 0);
}
