// The computer stays awake exactly while the engine records: the inhibition is taken when capture
// starts and given back however the recording ends (stopped, or cut short by a lost camera),
// checked on a fake screen saver on a private bus.
#include "platform/sys/SleepInhibitor.h"
#include "tests/capture/CaptureEngineFixture.h"
#include "tests/support/FakeDesktop.h"

namespace {

using namespace fake_desktop;

class CaptureSleepTest : public CaptureEngineFixture {
protected:
    static void SetUpTestSuite() { s_bus = new PrivateBus; }
    static void TearDownTestSuite()
    {
        delete s_bus;
        s_bus = nullptr;
    }
    void SetUp() override
    {
        CaptureEngineFixture::SetUp();
        ASSERT_FALSE(s_bus->Address().empty()) << "no private bus";
        s_bus->Use(false);
    }

    static inline PrivateBus* s_bus = nullptr;
};

const std::vector<std::string> kOneHold {"screensaver Inhibit", "screensaver UnInhibit " + std::to_string(kCookie)};

} // namespace

TEST_F(CaptureSleepTest, TheComputerStaysAwakeWhileARecordingRuns)
{
    FakeDesktop desktop(kScreenSaver);
    ASSERT_TRUE(desktop.Ready());
    ScopedVirtualDevices devices("video:Cam|caps=YUY2 640x480@30;audio:Mic");
    CCaptureEngine engine;
    engine.Initialize(m_video);
    ASSERT_TRUE(engine.IsPreviewing());
    ASSERT_TRUE(WaitForSleepInhibitor(kWatchdogMs));
    EXPECT_EQ(CurrentSleepInhibition(), SleepInhibition::None) << "a preview alone keeps nobody awake";

    ASSERT_EQ(engine.StartRecording(m_temp.Wide("awake.wmv").c_str()), 1);
    ASSERT_TRUE(WaitForSleepInhibitor(kWatchdogMs));
    EXPECT_EQ(CurrentSleepInhibition(), SleepInhibition::ScreenSaver);
    EXPECT_EQ(engine.StopRecording(), 1);
    ASSERT_TRUE(WaitForSleepInhibitor(kWatchdogMs));
    EXPECT_EQ(CurrentSleepInhibition(), SleepInhibition::None);
    EXPECT_EQ(desktop.Calls(), kOneHold);
    engine.Shutdown();
}

TEST_F(CaptureSleepTest, ARecordingCutShortByALostCameraGivesTheInhibitionBack)
{
    FakeDesktop desktop(kScreenSaver);
    ASSERT_TRUE(desktop.Ready());
    ScopedVirtualDevices devices("video:Loose|caps=YUY2 640x480@30|fault=removed-after:45;audio:Mic");
    CCaptureEngine engine;
    engine.Initialize(m_video);
    ASSERT_TRUE(engine.IsPreviewing());
    ASSERT_EQ(engine.StartRecording(m_temp.Wide("lost.wmv").c_str()), 1);
    size_t handled = 0;
    ASSERT_TRUE(HandleNextGraphEvent(engine, &handled));
    EXPECT_FALSE(engine.IsCapturing());
    ASSERT_TRUE(WaitForSleepInhibitor(kWatchdogMs));
    EXPECT_EQ(CurrentSleepInhibition(), SleepInhibition::None);
    EXPECT_EQ(desktop.Calls(), kOneHold);
    engine.Shutdown();
}

TEST_F(CaptureSleepTest, ClosingDuringARecordingGivesTheInhibitionBack)
{
    FakeDesktop desktop(kScreenSaver);
    ASSERT_TRUE(desktop.Ready());
    ScopedVirtualDevices devices("video:Cam|caps=YUY2 640x480@30");
    CCaptureEngine engine;
    engine.Initialize(m_video);
    ASSERT_EQ(engine.StartRecording(m_temp.Wide("closed.wmv").c_str()), 1);
    ASSERT_TRUE(WaitForSleepInhibitor(kWatchdogMs));
    EXPECT_EQ(CurrentSleepInhibition(), SleepInhibition::ScreenSaver);
    engine.Shutdown();
    ASSERT_TRUE(WaitForSleepInhibitor(kWatchdogMs));
    EXPECT_EQ(CurrentSleepInhibition(), SleepInhibition::None);
    EXPECT_EQ(desktop.Calls(), kOneHold);
}
