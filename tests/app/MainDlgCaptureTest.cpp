// The main window with virtual cameras, as a user meets it: the live picture in the window, photos
// from the toolbar (at once, after the countdown, two in one tenth of a second), a camera that cannot
// start or no camera at all, a camera lost or failing while it shows its picture, and full screen.
// The checks are files on disk decoded by an independent decoder, texts of controls, visible windows
// and the message boxes shown.
#include "MainWindowTestSupport.h"
#include "tests/support/DecodedPhoto.h"
#include "tests/support/ToolRunner.h"

#include "platform/ui/Input.h"
#include "platform/ui/Window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr int kStripHeight = 89;
// 10 May 2024, 12:34:56.789: the photo of this moment is 202405101234567.jpg.
constexpr SYSTEMTIME kClickTime {2024, 5, 5, 10, 12, 34, 56, 789};
constexpr const char* kClickPhoto = "202405101234567.jpg";

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class MainDlgCaptureTest : public MainWindowTest {
protected:
    // The user's documents folder is "Papers" in the home folder, as the XDG user folders name it.
    void SetUp() override
    {
        MainWindowTest::SetUp();
        WriteFile(m_temp.Native("home/.config/user-dirs.dirs"), "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n");
        std::filesystem::create_directories(m_temp.Native("home/Papers"));
    }

    std::string PhotoFolder() const { return m_temp.Native("home/Papers/Tern摄像头/照片"); }
    std::string Photo(const std::string& name) const { return PhotoFolder() + "/" + name; }

    // The names of the files in the photo folder, sorted.
    std::vector<std::string> PhotoFiles() const
    {
        std::vector<std::string> names;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(PhotoFolder(), error))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // The window opened with one camera, past its start check, showing the live picture.
    void OpenWithLivePicture(const char* devices)
    {
        OpenMainWindow(devices);
        RunStartCheck();
        ASSERT_TRUE(m_dialog.GetCaptureEngine().IsUsable()) << Said();
        EXPECT_TRUE(MessageTexts().empty()) << "a live camera is not reported: " << Said();
        WaitForLivePicture();
    }

    // The camera's picture, upright and in its colours, fills the preview host: its red marker is at
    // the top left.
    void WaitForLivePicture()
    {
        HWND view = m_dialog.GetViewWnd();
        ASSERT_TRUE(PumpFilteredUntil([&] { return IsNear(PixelOf(view, {4, 4}), kRed); }, 10000))
            << "the live picture did not show: " << std::hex << PixelOf(view, {4, 4});
    }

    void PhotoCommand() { SendMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(10000, BN_CLICKED), 0); }

    // A click on the toolbar's first button, the photo button (80 pixels wide from the toolbar's left).
    void ClickPhotoButton()
    {
        Presenter().Click(m_dialog.GetDlgItem(1000), {40, 40});
        PumpFiltered();
    }

    int WindowHeight() const
    {
        RECT r {};
        GetWindowRect(m_dialog, &r);
        return r.bottom - r.top;
    }

    // The renderer's own window while it shows the picture full screen: a top-level window of the
    // renderer's class that belongs to the main window.
    HWND FullScreenPicture() const
    {
        struct Search {
            HWND owner;
            HWND found;
        } search {m_dialog.m_hWnd, nullptr};
        EnumWindows(
            [](HWND hwnd, LPARAM lParam) -> BOOL {
                auto* s = reinterpret_cast<Search*>(lParam);
                WCHAR name[64] = {};
                GetClassNameW(hwnd, name, 64);
                if (WString(name) == u"LumoVideoRenderer" && GetWindow(hwnd, GW_OWNER) == s->owner) {
                    s->found = hwnd;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    // The message boxes shown so far, for failure reports.
    static std::string Said()
    {
        std::string said;
        for (const WString& text : MessageTexts())
            said += "[" + WideToUtf8(text) + "]";
        return said;
    }

    // The camera's four corner markers at the corners of a `width` x `height` area of the preview host:
    // the whole frame fills exactly that area.
    bool CornersAt(HWND view, int width, int height)
    {
        return IsNear(PixelOf(view, {4, 4}), kRed) && IsNear(PixelOf(view, {width - 5, 4}), kGreen)
            && IsNear(PixelOf(view, {4, height - 5}), kWhite) && IsNear(PixelOf(view, {width - 5, height - 5}), kBlue);
    }

    static WString CountdownText(int seconds)
    {
        return u" [.]color=rgb(255,255,255)[/.] " + Utf8ToWide(std::to_string(seconds)) + u" 秒后自动拍照 ...";
    }
};

} // namespace

TEST_F(MainDlgCaptureTest, ThePhotoButtonWritesTheShownPictureNamedByTheClockAndTheStripTakesIt)
{
    OpenWithLivePicture("video:Desk Cam");
    ASSERT_FALSE(HasFatalFailure());
    int heightBefore = WindowHeight();
    EXPECT_FALSE(m_dialog.GetStrip().IsWindowVisible());

    TestClock::SetLocalTime(kClickTime);
    ClickPhotoButton();
    ASSERT_TRUE(PumpFilteredUntil([&] { return m_dialog.GetStrip().GetItemCount() == 1; }, 3000));
    EXPECT_EQ(PhotoFiles(), (std::vector<std::string> {kClickPhoto}));
    ExpectCameraPicture(Photo(kClickPhoto));
    // The strip opens under the picture and the window grows by its height.
    EXPECT_TRUE(m_dialog.GetStrip().IsWindowVisible());
    EXPECT_EQ(WindowHeight(), heightBefore + kStripHeight);

    // The command itself, a tenth of a second later: a second file, and the open strip stays as it is.
    TestClock::Advance(100);
    PhotoCommand();
    PumpFiltered();
    EXPECT_EQ(PhotoFiles(), (std::vector<std::string> {kClickPhoto, "202405101234568.jpg"}));
    EXPECT_EQ(m_dialog.GetStrip().GetItemCount(), 2);
    EXPECT_EQ(WindowHeight(), heightBefore + kStripHeight);
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(MainDlgCaptureTest, AMissingDocumentsFolderIsMadeAndPhotosGoThere)
{
    // A desktop that has not made the user's folders yet.
    std::filesystem::remove_all(m_temp.Native("home/Papers"));
    OpenWithLivePicture("video:Desk Cam");
    ASSERT_FALSE(HasFatalFailure());
    TestClock::SetLocalTime(kClickTime);
    PhotoCommand();
    PumpFiltered();
    EXPECT_EQ(PhotoFiles(), (std::vector<std::string> {kClickPhoto}));
}

TEST_F(MainDlgCaptureTest, TheDelayedPhotoCountsDownAndCarriesTheTimeOfTheClick)
{
    OpenWithLivePicture("video:Desk Cam");
    ASSERT_FALSE(HasFatalFailure());
    HWND checkBox = m_dialog.GetDlgItem(1044);
    HWND countdown = m_dialog.GetDlgItem(1022);
    ASSERT_TRUE(IsWindowVisible(checkBox)) << "the start check shows the delay check box";
    Presenter().Click(checkBox, {8, 8});
    ASSERT_TRUE(PumpFilteredUntil([&] { return IsDlgButtonChecked(m_dialog, 1044) == BST_CHECKED; }, 3000));
    EXPECT_FALSE(IsWindowVisible(countdown));

    TestClock::SetLocalTime(kClickTime);
    ClickPhotoButton();
    EXPECT_TRUE(IsWindowVisible(countdown));
    EXPECT_EQ(ControlText(1022), CountdownText(3));

    AdvanceClock(1000);
    ASSERT_TRUE(PumpFilteredUntil([&] { return ControlText(1022) == CountdownText(2); }, 3000)) << WideToUtf8(ControlText(1022));
    EXPECT_TRUE(PhotoFiles().empty());
    // Another photo command while the countdown runs is ignored: it neither takes a picture nor
    // names the pending one anew.
    ClickPhotoButton();
    EXPECT_EQ(ControlText(1022), CountdownText(2));
    EXPECT_TRUE(PhotoFiles().empty());
    AdvanceClock(1000);
    ASSERT_TRUE(PumpFilteredUntil([&] { return ControlText(1022) == CountdownText(1); }, 3000)) << WideToUtf8(ControlText(1022));
    EXPECT_TRUE(PhotoFiles().empty());
    EXPECT_TRUE(IsWindowVisible(countdown));
    // Unticking the box now does not cancel the photo that is counting down.
    Presenter().Click(checkBox, {8, 8});
    ASSERT_TRUE(PumpFilteredUntil([&] { return IsDlgButtonChecked(m_dialog, 1044) == BST_UNCHECKED; }, 3000));

    AdvanceClock(1000);
    ASSERT_TRUE(PumpFilteredUntil([&] { return m_dialog.GetStrip().GetItemCount() > 0; }, 3000));
    // Named by the click, three seconds before the picture was taken; the ignored command made nothing.
    EXPECT_EQ(PhotoFiles(), (std::vector<std::string> {kClickPhoto}));
    ExpectCameraPicture(Photo(kClickPhoto));
    EXPECT_FALSE(IsWindowVisible(countdown));
    EXPECT_EQ(m_dialog.GetStrip().GetItemCount(), 1);

    // Done: the next photo (the box is no longer ticked) is taken at once, at 12:34:59.789.
    ClickPhotoButton();
    EXPECT_EQ(PhotoFiles(), (std::vector<std::string> {kClickPhoto, "202405101234597.jpg"}));
    EXPECT_FALSE(IsWindowVisible(countdown));
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(MainDlgCaptureTest, TwoPhotosInOneTenthOfASecondAreTwoFilesAndNoneIsReplaced)
{
    OpenWithLivePicture("video:Desk Cam");
    ASSERT_FALSE(HasFatalFailure());
    TestClock::SetLocalTime(kClickTime);
    PhotoCommand();
    ASSERT_EQ(PhotoFiles(), (std::vector<std::string> {kClickPhoto}));
    std::string first = ReadBytes(Photo(kClickPhoto));
    ASSERT_FALSE(first.empty());

    // The clock has not moved: the name of the click is taken.
    PhotoCommand();
    PumpFiltered();
    std::vector<std::string> files = PhotoFiles();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0], kClickPhoto);
    EXPECT_EQ(files[1].rfind("202405101234567", 0), 0u) << files[1] << " sorts after the first";
    EXPECT_EQ(ReadBytes(Photo(kClickPhoto)), first) << "the first photo was replaced";
    ExpectCameraPicture(Photo(files[1]));
    EXPECT_EQ(m_dialog.GetStrip().GetItemCount(), 2);
}

// Someone planted a dangling link under the name the next photo gets: the photo is not written
// through it, and the strip does not take the link for a photo.
TEST_F(MainDlgCaptureTest, APlantedLinkUnderThePhotosNameIsNeitherWrittenThroughNorShown)
{
    OpenWithLivePicture("video:Desk Cam");
    ASSERT_FALSE(HasFatalFailure());
    std::filesystem::create_directories(PhotoFolder());
    std::string target = m_temp.Native("elsewhere.jpg");
    std::filesystem::create_symlink(target, Photo(kClickPhoto));
    TestClock::SetLocalTime(kClickTime);
    PhotoCommand();
    PumpFiltered();
    EXPECT_FALSE(std::filesystem::exists(target)) << "the photo was written through the link";
    EXPECT_TRUE(std::filesystem::is_symlink(Photo(kClickPhoto)));
    EXPECT_EQ(PhotoFiles(), (std::vector<std::string> {kClickPhoto}));
    EXPECT_EQ(m_dialog.GetStrip().GetItemCount(), 0);

    // The next photo has a free name and is taken as usual.
    TestClock::Advance(100);
    PhotoCommand();
    ASSERT_TRUE(PumpFilteredUntil([&] { return m_dialog.GetStrip().GetItemCount() == 1; }, 3000));
    ExpectCameraPicture(Photo("202405101234568.jpg"));
}

TEST_F(MainDlgCaptureTest, ACameraThatCannotStartIsReportedOneSecondAfterTheWindowOpened)
{
    OpenMainWindow("video:Busy Cam|fault=cannot-start");
    ModalWatchdog watchdog;
    AdvanceClock(999);
    EXPECT_TRUE(MessageTexts().empty()) << "nothing is said before the start check";
    EXPECT_FALSE(IsWindowVisible(m_dialog.GetDlgItem(1044)));
    EXPECT_EQ(GetWindowTextLengthW(m_dialog.GetDlgItem(1042)), 0);

    TestClock::Advance(1);
    ASSERT_TRUE(PumpFilteredUntil([] { return !ModalScript::MessageBoxes().empty(); }, 3000));
    PumpFiltered();
    std::vector<RecordedMessageBox> boxes = ModalScript::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u) << Said();
    EXPECT_EQ(boxes[0].text, u"无法打开预览画面！\r\n摄像头设备无法启用或已被其他程序打开。");
    EXPECT_EQ(boxes[0].caption, u"Lumo");
    EXPECT_EQ(boxes[0].type, 0x2030u);
    EXPECT_EQ(boxes[0].owner, m_dialog.m_hWnd);
    WString deviceLine = ControlText(1042);
    EXPECT_NE(deviceLine.find(u"当前摄像头：Busy Cam"), WString::npos) << WideToUtf8(deviceLine);

    // Without a picture the photo command is refused before a name is made.
    PhotoCommand();
    ClickPhotoButton();
    EXPECT_FALSE(std::filesystem::exists(PhotoFolder()));
    EXPECT_EQ(m_dialog.GetStrip().GetItemCount(), 0);
}

TEST_F(MainDlgCaptureTest, WithoutACameraTheStartCheckSaysSoAndTheDeviceLineShowsNoDevice)
{
    OpenMainWindow("");
    RunStartCheck();
    std::vector<RecordedMessageBox> boxes = ModalScript::MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u) << Said();
    EXPECT_EQ(boxes[0].text, u"未找到摄像头设备！\r\n请检查摄像头设备安装是否成功。");
    EXPECT_EQ(boxes[0].type, 0x2030u);
    WString deviceLine = ControlText(1042);
    EXPECT_NE(deviceLine.find(u"当前摄像头：无设备"), WString::npos) << WideToUtf8(deviceLine);
    EXPECT_TRUE(IsWindowVisible(m_dialog.GetViewWnd())) << "the preview host shows the logo";

    PhotoCommand();
    SendMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(1041, BN_CLICKED), 0);
    PumpFiltered();
    EXPECT_FALSE(std::filesystem::exists(PhotoFolder()));
    EXPECT_EQ(FullScreenPicture(), nullptr);
    EXPECT_EQ(ModalScript::MessageBoxes().size(), 1u);
}

TEST_F(MainDlgCaptureTest, ALostCameraIsReportedItsPictureHiddenAndPhotosRefused)
{
    // 75 frames at the preview's 15 frames a second: about five seconds of picture.
    OpenWithLivePicture("video:Loose Cam|caps=YUY2 640x480@30|fault=removed-after:75");
    ASSERT_FALSE(HasFatalFailure());
    int heightWithoutStrip = WindowHeight();
    TestClock::SetLocalTime(kClickTime);
    PhotoCommand();
    ASSERT_EQ(PhotoFiles(), (std::vector<std::string> {kClickPhoto}));
    ASSERT_TRUE(m_dialog.GetStrip().IsWindowVisible());

    ModalScript::AnswerMessageBox(IDOK);
    ModalWatchdog watchdog(15000);
    HWND view = m_dialog.GetViewWnd();
    ASSERT_TRUE(PumpFilteredUntil([&] { return !IsWindowVisible(view); }, 12000)) << "the loss was not handled";
    PumpFiltered();
    EXPECT_EQ(MessageTexts(), (std::vector<WString> {u"停止捕获（设备丢失）。请选择新的摄像头设备。"}));
    EXPECT_FALSE(m_dialog.GetCaptureEngine().IsUsable());
    EXPECT_FALSE(m_dialog.GetStrip().IsWindowVisible());
    EXPECT_EQ(WindowHeight(), heightWithoutStrip) << "the strip's height is given back";

    // Photos and full screen are refused from now on.
    TestClock::Advance(1000);
    PhotoCommand();
    ClickPhotoButton();
    SendMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(1041, BN_CLICKED), 0);
    PumpFiltered();
    EXPECT_EQ(PhotoFiles(), (std::vector<std::string> {kClickPhoto}));
    EXPECT_EQ(FullScreenPicture(), nullptr);
    EXPECT_FALSE(m_dialog.GetCaptureEngine().IsFullScreen());
    EXPECT_EQ(ModalScript::MessageBoxes().size(), 1u);
}

TEST_F(MainDlgCaptureTest, AStreamErrorRestartsThePreviewWithoutAWord)
{
    // 30 frames at the preview's 15 frames a second: an error about every two seconds.
    OpenWithLivePicture("video:Flaky Cam|caps=YUY2 640x480@30|fault=error-after:30");
    ASSERT_FALSE(HasFatalFailure());
    HWND view = m_dialog.GetViewWnd();
    HWND picture = GetWindow(view, GW_CHILD);
    ASSERT_NE(picture, nullptr);
    // The restart builds the preview anew, with a new renderer window in the preview host.
    ASSERT_TRUE(PumpFilteredUntil([&] { return !IsWindow(picture); }, 12000)) << "no restart";
    ASSERT_TRUE(PumpFilteredUntil([&] { return m_dialog.GetCaptureEngine().IsPreviewing() && GetWindow(view, GW_CHILD); }, 5000));
    EXPECT_TRUE(m_dialog.GetCaptureEngine().IsUsable());
    EXPECT_TRUE(IsWindowVisible(view));
    WaitForLivePicture();
    EXPECT_TRUE(MessageTexts().empty()) << "the restart worked, so nothing is said";

    // The restarted preview takes photos.
    TestClock::SetLocalTime(kClickTime);
    ASSERT_TRUE(PumpFilteredUntil([&] {
        PhotoCommand();
        return !PhotoFiles().empty();
    }, 8000));
    ExpectCameraPicture(Photo(PhotoFiles().front()));
}

TEST_F(MainDlgCaptureTest, FullScreenEndsWithAReleasedKeyOrADoubleClickButNotWithAClick)
{
    OpenWithLivePicture("video:Desk Cam");
    ASSERT_FALSE(HasFatalFailure());
    HWND view = m_dialog.GetViewWnd();
    HWND picture = GetWindow(view, GW_CHILD);
    ASSERT_NE(picture, nullptr);
    CCaptureEngine& engine = m_dialog.GetCaptureEngine();

    SendMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(1041, BN_CLICKED), 0);
    PumpFiltered();
    HWND full = FullScreenPicture();
    ASSERT_NE(full, nullptr);
    EXPECT_TRUE(Presenter().IsFullScreen(full));
    EXPECT_TRUE(Presenter().IsShown(full));
    EXPECT_TRUE(engine.IsFullScreen());
    EXPECT_FALSE(IsWindowVisible(picture));
    ASSERT_TRUE(PumpFilteredUntil([&] { return IsNear(Presenter().PixelAt(full, 6, 6), kRed); }, 5000))
        << "the live picture fills the screen";

    // A single click does not end full screen.
    Presenter().Click(full, {300, 200});
    PumpFiltered();
    EXPECT_TRUE(IsWindow(full));
    EXPECT_TRUE(engine.IsFullScreen());
    // Escape: the window's filter swallows the press, the release ends full screen.
    DeliverKey(full, VK_ESCAPE, true, 0, false);
    PumpFiltered();
    EXPECT_TRUE(IsWindow(full)) << "the press of Escape ended full screen";
    DeliverKey(full, VK_ESCAPE, false, 0, false);
    ASSERT_TRUE(PumpFilteredUntil([&] { return !IsWindow(full); }, 3000));
    EXPECT_FALSE(engine.IsFullScreen());
    EXPECT_TRUE(IsWindowVisible(picture));
    EXPECT_TRUE(m_dialog.IsWindowVisible());

    // Again, ended by a double click.
    SendMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(1041, BN_CLICKED), 0);
    PumpFiltered();
    full = FullScreenPicture();
    ASSERT_NE(full, nullptr);
    EXPECT_TRUE(Presenter().IsFullScreen(full));
    Presenter().DoubleClick(full, {500, 400});
    ASSERT_TRUE(PumpFilteredUntil([&] { return !IsWindow(full); }, 3000));
    EXPECT_FALSE(engine.IsFullScreen());
    EXPECT_TRUE(IsWindowVisible(picture));
    WaitForLivePicture();
    EXPECT_TRUE(MessageTexts().empty());
}

TEST_F(MainDlgCaptureTest, ASlowCameraLeavesTheWindowPaintingAndAnsweringUntilItsFirstFrame)
{
    // Nothing comes from this camera for its first two and a half seconds; the window opens, paints
    // and answers meanwhile instead of waiting for it.
    OpenMainWindow("video:Slow Cam|caps=YUY2 640x480@30|fault=first-frame-after:2500");
    ModalWatchdog watchdog(30000);
    RunStartCheck();
    EXPECT_TRUE(MessageTexts().empty()) << "a slow camera is no failure: " << Said();
    EXPECT_FALSE(m_dialog.GetCaptureEngine().PreviewStartFailed());
    HWND view = m_dialog.GetViewWnd();
    // The window was there before the camera's first frame: a photo now finds no frame to save.
    PhotoCommand();
    EXPECT_TRUE(PhotoFiles().empty()) << "the window waited for the camera's first frame";

    // A click on the delay check box is answered and painted while the camera is still silent.
    HWND checkBox = m_dialog.GetDlgItem(1044);
    ASSERT_TRUE(IsWindowVisible(checkBox));
    RECT box {};
    ::GetClientRect(checkBox, &box);
    POINT mark {6, (box.bottom - box.top) / 2};
    COLORREF unchecked = PixelOf(checkBox, mark);
    Presenter().Click(checkBox, mark);
    PumpFiltered();
    EXPECT_EQ(SendMessageW(checkBox, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_NE(PixelOf(checkBox, mark), unchecked) << "the check box is drawn checked";

    // Its picture shows when it comes, and photos are taken from then on.
    ASSERT_TRUE(PumpFilteredUntil([&] { return IsNear(PixelOf(view, {4, 4}), kRed); }, 20000));
    EXPECT_TRUE(m_dialog.GetCaptureEngine().IsUsable());
    EXPECT_TRUE(MessageTexts().empty()) << Said();
    SendMessageW(checkBox, BM_SETCHECK, BST_UNCHECKED, 0);
    PhotoCommand();
    ASSERT_EQ(PhotoFiles().size(), 1u);
    ExpectCameraPicture(Photo(PhotoFiles().front()));
}

TEST_F(MainDlgCaptureTest, ACameraThatFailsWhileStartingIsReportedOnceAndNotRetried)
{
    // The start check has looked (and found the camera starting) before the camera fails.
    OpenMainWindow("video:Late Cam|caps=YUY2 640x480@30|fault=first-frame-after:1500,error-after:0");
    ModalWatchdog watchdog(20000);
    RunStartCheck();
    EXPECT_TRUE(MessageTexts().empty()) << Said();
    ASSERT_TRUE(PumpFilteredUntil([] { return !ModalScript::MessageBoxes().empty(); }, 10000)) << "the failure was not reported";
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    PumpFilteredUntil([&] { return std::chrono::steady_clock::now() >= until; }, 5000);
    EXPECT_EQ(MessageTexts(), (std::vector<WString> {u"无法打开预览画面！\r\n摄像头设备无法启用或已被其他程序打开。"}))
        << "one report, and no restart that fails again";
    EXPECT_TRUE(m_dialog.GetCaptureEngine().PreviewStartFailed());
    EXPECT_FALSE(m_dialog.GetCaptureEngine().IsUsable());
    EXPECT_FALSE(m_dialog.GetCaptureEngine().IsPreviewing());
    PhotoCommand();
    EXPECT_FALSE(std::filesystem::exists(PhotoFolder()));
}

TEST_F(MainDlgCaptureTest, ACameraWhoseStreamEndsWithoutAnErrorIsLost)
{
    OpenWithLivePicture("video:Quiet Cam|caps=YUY2 640x480@30|fault=ends-after:45");
    ASSERT_FALSE(HasFatalFailure());
    ModalScript::AnswerMessageBox(IDOK);
    ModalWatchdog watchdog(15000);
    HWND view = m_dialog.GetViewWnd();
    ASSERT_TRUE(PumpFilteredUntil([&] { return !IsWindowVisible(view); }, 12000)) << "the ended stream was not handled";
    PumpFiltered();
    EXPECT_EQ(MessageTexts(), (std::vector<WString> {u"停止捕获（设备丢失）。请选择新的摄像头设备。"}));
    EXPECT_FALSE(m_dialog.GetCaptureEngine().IsUsable());
    PhotoCommand();
    EXPECT_FALSE(std::filesystem::exists(PhotoFolder())) << "no photo of the frozen frame";
}

TEST_F(MainDlgCaptureTest, TheHdLinkShowsTheWholePictureInTheNewSizeAndBack)
{
    OpenWithLivePicture("video:Cam|caps=YUY2 640x480@30,YUY2 1280x720@30");
    ASSERT_FALSE(HasFatalFailure());
    HWND view = m_dialog.GetViewWnd();
    ASSERT_TRUE(PumpFilteredUntil([&] { return CornersAt(view, 640, 480); }, 5000));

    SendMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(1040, BN_CLICKED), 0);
    RECT window {};
    GetWindowRect(m_dialog, &window);
    EXPECT_EQ(window.right - window.left, 1282);
    EXPECT_TRUE(PumpFilteredUntil([&] { return CornersAt(view, 1280, 720); }, 8000))
        << "the HD picture does not fill its area: bottom right " << std::hex << PixelOf(view, {1275, 715});

    SendMessageW(m_dialog, WM_COMMAND, MAKEWPARAM(1040, BN_CLICKED), 0);
    GetWindowRect(m_dialog, &window);
    EXPECT_EQ(window.right - window.left, 642);
    EXPECT_EQ(window.bottom - window.top, 618);
    RECT picture {};
    GetClientRect(view, &picture);
    EXPECT_EQ(picture.right, 640);
    EXPECT_EQ(picture.bottom, 480);
    EXPECT_TRUE(PumpFilteredUntil([&] { return CornersAt(view, 640, 480); }, 8000))
        << "the default picture is cropped: bottom right " << std::hex << PixelOf(view, {635, 475});
    EXPECT_TRUE(MessageTexts().empty()) << Said();
}

TEST_F(MainDlgCaptureTest, TheDelayCheckBoxTextEndsInItsOwnPlaceWithAGapBeforeTheHdLink)
{
    OpenWithLivePicture("video:Cam|caps=YUY2 640x480@30,YUY2 1280x720@30");
    ASSERT_FALSE(HasFatalFailure());
    HWND checkBox = m_dialog.GetDlgItem(1044);
    HWND link = m_dialog.GetDlgItem(1040);
    ASSERT_TRUE(::IsWindowVisible(checkBox));
    ASSERT_TRUE(::IsWindowVisible(link));
    PumpFiltered();
    RECT client {};
    GetClientRect(m_dialog, &client);
    // The columns of the bottom band where the white texts of the check box and the link are drawn,
    // from the check box's left edge to the window's right edge.
    int left = client.right - 140;
    std::vector<bool> inked;
    for (int x = left; x < client.right; ++x) {
        bool ink = false;
        for (int y = client.bottom - 24; y < client.bottom - 4 && !ink; ++y)
            ink = IsNear(PixelOf(m_dialog, {x, y}), kWhite, 40);
        inked.push_back(ink);
    }
    auto at = [&](int x) { return static_cast<bool>(inked[static_cast<size_t>(x - left)]); };
    // The link's text starts at its left edge; the check box's last ink comes before it.
    int linkStart = client.right - 50;
    int linkFirst = linkStart;
    while (linkFirst < client.right && !at(linkFirst))
        ++linkFirst;
    ASSERT_LT(linkFirst, client.right) << "the HD link shows no text";
    int boxLast = linkFirst - 1;
    while (boxLast >= left && at(boxLast))
        --boxLast; // a text that runs into the link's is one inked run
    int gap = 0;
    while (boxLast >= left && !at(boxLast)) {
        --boxLast;
        ++gap;
    }
    ASSERT_GE(boxLast, left) << "the check box shows no text";
    EXPECT_LT(boxLast, client.right - 40) << "the check box's text leaves its 100 pixels";
    EXPECT_LT(boxLast, linkStart) << "the check box's text runs under the HD link";
    EXPECT_GE(gap, 6) << "no visible gap between \"延时3秒拍照\" and \"高清\"";
}
