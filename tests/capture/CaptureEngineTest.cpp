// The capture engine on virtual devices with the headless presenter: the remembered camera, the
// pair opened at start and from the menu, device-change broadcasts, devices that cannot start or
// that vanish, stream errors, and photos.
#include "tests/capture/CaptureEngineFixture.h"
#include "tests/support/DecodedPhoto.h"

#include <filesystem>
#include <fstream>

namespace {

class CaptureEngineTest : public CaptureEngineFixture {
};

TEST_F(CaptureEngineTest, OpensTheRememberedCameraMatchedWithoutCaseAndTheLastOfEqualNames)
{
    // Equal names: the later one in enumerator order is opened (it alone offers a wide size).
    ScopedVirtualDevices devices("video:Desk Cam|caps=YUY2 640x480@30;video:Desk Cam|caps=YUY2 640x480@30,YUY2 1280x720@30;"
                                 "video:Other|caps=YUY2 640x480@30");
    Remember(u"desk CAM");
    CCaptureEngine engine;
    engine.Initialize(m_video);
    EXPECT_EQ(WString(engine.GetCurrentDeviceName()), u"Desk Cam");
    int width = 0, height = 0;
    EXPECT_EQ(engine.GetModeSize(3, &width, &height), 1) << "the first of the two equal names was opened";
    EXPECT_EQ(width, 1280);
    EXPECT_TRUE(engine.IsUsable());
    EXPECT_EQ(Remembered(), u"Desk Cam");
    engine.Shutdown();
}

TEST_F(CaptureEngineTest, WithoutARememberedCameraTheFirstIsOpenedAndRemembered)
{
    ScopedVirtualDevices devices("video:First|caps=YUY2 640x480@30;video:Second|caps=YUY2 640x480@30;audio:Mic");
    for (const char16_t* remembered : { static_cast<const char16_t*>(nullptr), u"", u"Gone Camera" }) {
        std::filesystem::remove_all(m_temp.Native("Ternsafe/radazadadi"));
        if (remembered)
            Remember(remembered);
        CCaptureEngine engine;
        engine.Initialize(m_video);
        EXPECT_EQ(WString(engine.GetCurrentDeviceName()), u"First");
        EXPECT_EQ(Remembered(), u"First");
        int video = 0, audio = 0;
        engine.GetDeviceCounts(&video, &audio);
        EXPECT_EQ(video, 2);
        EXPECT_EQ(audio, 1);
        engine.Shutdown();
    }
}

TEST_F(CaptureEngineTest, AMissingSuiteFolderLeavesTheSettingsUnwrittenAndStillOpensACamera)
{
    std::filesystem::remove_all(m_temp.Native("Ternsafe"));
    ScopedVirtualDevices devices("video:First");
    CCaptureEngine engine;
    engine.Initialize(m_video);
    EXPECT_EQ(WString(engine.GetCurrentDeviceName()), u"First");
    EXPECT_FALSE(std::filesystem::exists(m_temp.Native("Ternsafe")));
    engine.Shutdown();
}

TEST_F(CaptureEngineTest, NamesPositionsAndSelectingTheSamePairAgainDoesNothing)
{
    ScopedVirtualDevices devices("video:First;video:Hidden|fault=name-unreadable;video:Third");
    CCaptureEngine engine;
    engine.Initialize(m_video);
    WCHAR name[8];
    EXPECT_EQ(engine.GetDeviceName(1, name, 8), 1);
    EXPECT_EQ(WString(name), u"First");
    EXPECT_EQ(engine.GetDeviceName(2, name, 8), 0) << "a nameless camera keeps its place but has no entry";
    EXPECT_EQ(engine.GetDeviceName(3, name, 3), 1);
    EXPECT_EQ(WString(name), u"Th") << "cut to the capacity";
    EXPECT_EQ(engine.GetDeviceName(0, name, 8), 0);
    EXPECT_EQ(engine.GetDeviceName(4, name, 8), 0);
    EXPECT_EQ(engine.SelectDevice(3, 0), 0);
    EXPECT_EQ(engine.SelectDevice(-1, 0), 0);

    ASSERT_EQ(engine.SelectDevice(2, 0), 1);
    EXPECT_EQ(WString(engine.GetCurrentDeviceName()), u"Third");
    EXPECT_EQ(Remembered(), u"Third");
    // The pair in use again: no teardown, no write.
    std::filesystem::remove(SettingsFile());
    EXPECT_EQ(engine.SelectDevice(2, 0), 1);
    EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
    EXPECT_TRUE(engine.IsPreviewing());
    engine.Shutdown();
}

TEST_F(CaptureEngineTest, ListsHoldTenDevicesOfAKind)
{
    std::string text;
    for (int i = 0; i < 12; ++i)
        text += "video:Cam " + std::to_string(i) + ";";
    ScopedVirtualDevices devices(text.c_str());
    Remember(u"Cam 11");
    CCaptureEngine engine;
    engine.Initialize(m_video);
    int video = 0;
    engine.GetDeviceCounts(&video, nullptr);
    EXPECT_EQ(video, 10);
    WCHAR name[16];
    EXPECT_EQ(engine.GetDeviceName(10, name, 16), 1);
    EXPECT_EQ(WString(name), u"Cam 9");
    EXPECT_EQ(WString(engine.GetCurrentDeviceName()), u"Cam 0") << "the remembered camera is past the list";
    engine.Shutdown();
}

TEST_F(CaptureEngineTest, ADeviceChangeOnlyMarksTheListsStale)
{
    ScopedVirtualDevices devices("video:First");
    CCaptureEngine engine;
    engine.Initialize(m_video);
    DEV_BROADCAST_DEVICEINTERFACE_W header {};
    header.dbcc_size = sizeof header;
    header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    header.dbcc_classguid = KSCATEGORY_CAPTURE;
    EXPECT_EQ(engine.OnDeviceChange(DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&header)), 1);
    EXPECT_EQ(engine.OnDeviceChange(0x0007, reinterpret_cast<LPARAM>(&header)), 0);
    header.dbcc_classguid = KSCATEGORY_AUDIO;
    EXPECT_EQ(engine.OnDeviceChange(DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(&header)), 0);
    header.dbcc_classguid = KSCATEGORY_CAPTURE;
    header.dbcc_devicetype = 2;
    EXPECT_EQ(engine.OnDeviceChange(DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(&header)), 0);
    EXPECT_EQ(engine.OnDeviceChange(DBT_DEVICEREMOVECOMPLETE, 0), 0);
    // The lists are not rebuilt and the preview goes on.
    ScopedVirtualDevices more("video:First;video:Second");
    int video = 0;
    engine.GetDeviceCounts(&video, nullptr);
    EXPECT_EQ(video, 1);
    EXPECT_TRUE(engine.IsPreviewing());
    engine.Shutdown();
}

TEST_F(CaptureEngineTest, NoDeviceAndADeviceThatCannotStartLeaveTheEngineUnusable)
{
    {
        ScopedVirtualDevices devices("");
        CCaptureEngine engine;
        engine.Initialize(m_video);
        EXPECT_FALSE(engine.IsUsable());
        EXPECT_EQ(WString(engine.GetCurrentDeviceName()), u"");
        EXPECT_FALSE(engine.PreviewStartFailed());
        EXPECT_EQ(engine.TakeSnapshot(u"nothing.jpg"), 0);
    }
    {
        ScopedVirtualDevices devices("video:Busy|fault=cannot-start");
        CCaptureEngine engine;
        engine.Initialize(m_video);
        EXPECT_TRUE(engine.PreviewStartFailed());
        EXPECT_FALSE(engine.IsUsable());
        EXPECT_EQ(engine.EnterFullScreen(), 0);
        EXPECT_TRUE(Messages().empty()) << "the window reports it later";
        engine.Shutdown();
    }
}

TEST_F(CaptureEngineTest, ACameraWithoutSoundAndAMultiplexedOneStillPreview)
{
    ScopedVirtualDevices devices("video:Plain;video:Tape|fault=not-video;audio:Mic");
    CCaptureEngine engine;
    engine.Initialize(m_video);
    EXPECT_TRUE(engine.IsPreviewing());
    ASSERT_EQ(engine.SelectDevice(1, 0), 1);
    EXPECT_TRUE(engine.IsPreviewing());
    EXPECT_TRUE(engine.IsUsable());
    EXPECT_EQ(engine.GetModeSize(1, nullptr, nullptr), 0) << "an interleaved format offers no modes";
    EXPECT_TRUE(Messages().empty());
    engine.Shutdown();
}

TEST_F(CaptureEngineTest, LosingTheCameraTellsTheUserAndTheMainWindow)
{
    ScopedVirtualDevices devices("video:Loose|fault=removed-after:10");
    CCaptureEngine engine;
    engine.Initialize(m_video);
    ASSERT_TRUE(engine.IsUsable());
    ASSERT_TRUE(PumpUntil([&] {
        for (const RecordedMessage& m : RecordingClass::Log()) {
            if (m.hwnd == m_main && m.message == kMessageGraphNotify) {
                engine.OnGraphEvent();
                return true;
            }
        }
        return false;
    }));
    EXPECT_FALSE(engine.IsUsable());
    EXPECT_EQ(Messages(), (std::vector<WString> { u"停止捕获（设备丢失）。请选择新的摄像头设备。" }));
    ASSERT_TRUE(PumpUntil([&] {
        for (const RecordedMessage& m : RecordingClass::Log()) {
            if (m.hwnd == m_main && m.message == kMessageDeviceLost && m.lParam == kDeviceLostCode)
                return true;
        }
        return false;
    }));
    engine.Shutdown();
}

TEST_F(CaptureEngineTest, AStreamErrorRestartsThePreview)
{
    ScopedVirtualDevices devices("video:Flaky|caps=YUY2 640x480@30|fault=error-after:20");
    CCaptureEngine engine;
    engine.Initialize(m_video);
    ASSERT_TRUE(engine.IsPreviewing());
    size_t handled = 0;
    // Each run of the flaky camera fails after its frames; every failure is followed by a restart.
    ASSERT_TRUE(PumpUntil([&] {
        auto& log = RecordingClass::Log();
        for (; handled < log.size(); ++handled) {
            if (log[handled].hwnd == m_main && log[handled].message == kMessageGraphNotify) {
                engine.OnGraphEvent();
                ++handled;
                return true;
            }
        }
        return false;
    }));
    EXPECT_TRUE(engine.IsPreviewing());
    EXPECT_TRUE(engine.IsUsable());
    EXPECT_TRUE(Messages().empty()) << "the restart worked, so nothing is said";
    engine.Shutdown();
}

TEST_F(CaptureEngineTest, PhotosAreTheShownFrameAndNoneBeforeTheFirst)
{
    ScopedVirtualDevices devices("video:Cam|caps=YUY2 640x480@30;video:Busy|fault=cannot-start");
    CCaptureEngine engine;
    engine.Initialize(m_video);
    // No frame has arrived (the camera never started): no file.
    ASSERT_EQ(engine.SelectDevice(1, 0), 1);
    std::string early = m_temp.Native("early.jpg");
    EXPECT_EQ(engine.TakeSnapshot(Utf8ToWide(early).c_str()), 1);
    EXPECT_FALSE(std::filesystem::exists(early));
    ASSERT_EQ(engine.SelectDevice(0, 0), 1);
    EXPECT_EQ(engine.FrameWidth(), 640);
    EXPECT_EQ(engine.FrameHeight(), 480);
    std::string photo = m_temp.Native("photo.jpg");
    ASSERT_TRUE(PumpUntil([&] {
        engine.TakeSnapshot(Utf8ToWide(photo).c_str());
        return std::filesystem::exists(photo);
    }));
    // Decoded by an independent decoder: the size, and the corner markers where the camera puts them.
    ExpectCameraPicture(photo);
    engine.Shutdown();
}

} // namespace
