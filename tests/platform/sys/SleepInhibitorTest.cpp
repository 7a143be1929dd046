// The sleep inhibitor against fake desktop services on a private message bus of the test: the
// bus stands for both the system and the session bus, and each test offers the services it needs.
#include "platform/sys/SleepInhibitor.h"

#include "tests/support/FakeDesktop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using namespace fake_desktop;
using SteadyClock = std::chrono::steady_clock;

class SleepInhibitorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_bus = new PrivateBus; }
    static void TearDownTestSuite()
    {
        delete s_bus;
        s_bus = nullptr;
    }
    void SetUp() override
    {
        ASSERT_FALSE(s_bus->Address().empty()) << "no private bus";
        UseSystemBus(true);
    }
    void TearDown() override
    {
        AllowSleep();
        EXPECT_TRUE(WaitForSleepInhibitor(kWatchdogMs));
    }
    // Without it the system bus is an address nobody listens on.
    static void UseSystemBus(bool offered) { s_bus->Use(offered); }

    static inline PrivateBus* s_bus = nullptr;
};

} // namespace

TEST_F(SleepInhibitorTest, TakesLogindsLockAndClosesItWhenAllowed)
{
    FakeDesktop desktop(kLogin | kPortal | kScreenSaver);
    ASSERT_TRUE(desktop.Ready());
    InhibitSleep();
    ASSERT_TRUE(WaitForSleepInhibitor(kWatchdogMs));
    EXPECT_EQ(CurrentSleepInhibition(), SleepInhibition::Login);
    EXPECT_EQ(desktop.Calls(), (std::vector<std::string> {"login Inhibit sleep:idle block"}));
    EXPECT_FALSE(desktop.LoginLockClosed(0)) << "the lock must be held while inhibited";

    InhibitSleep(); // already held: nothing more is asked
    AllowSleep();
    ASSERT_TRUE(WaitForSleepInhibitor(kWatchdogMs));
    EXPECT_EQ(CurrentSleepInhibition(), SleepInhibition::None);
    EXPECT_TRUE(desktop.LoginLockClosed(kWatchdogMs));
    EXPECT_EQ(desktop.Calls().size(), 1u);
}

TEST_F(SleepInhibitorTest, WithoutLogindThePortalIsAskedAndItsRequestClosed)
{
    UseSystemBus(false);
    FakeDesktop desktop(kPortal | kScreenSaver);
    ASSERT_TRUE(desktop.Ready());
    InhibitSleep();
    ASSERT_TRUE(WaitForSleepInhibitor(kWatchdogMs));
    EXPECT_EQ(CurrentSleepInhibition(), SleepInhibition::Portal);
    AllowSleep();
    ASSERT_TRUE(WaitForSleepInhibitor(kWatchdogMs));
    EXPECT_EQ(desktop.Calls(), (std::vector<std::string> {"portal Inhibit 12", std::string("portal Close ") + kRequestPath}));
}

TEST_F(SleepInhibitorTest, TheScreenSaverIsTheLastChoiceAndGetsItsCookieBack)
{
    UseSystemBus(false);
    FakeDesktop desktop(kScreenSaver);
    ASSERT_TRUE(desktop.Ready());
    // Started and stopped again and again, as quick recordings do: every hold is given back.
    for (int i = 0; i < 3; ++i) {
        InhibitSleep();
        ASSERT_TRUE(WaitForSleepInhibitor(kWatchdogMs));
        EXPECT_EQ(CurrentSleepInhibition(), SleepInhibition::ScreenSaver);
        AllowSleep();
        ASSERT_TRUE(WaitForSleepInhibitor(kWatchdogMs));
    }
    std::vector<std::string> expected;
    for (int i = 0; i < 3; ++i) {
        expected.push_back("screensaver Inhibit");
        expected.push_back("screensaver UnInhibit " + std::to_string(kCookie));
    }
    EXPECT_EQ(desktop.Calls(), expected);
}

// A service that never answers costs the callers nothing and the worker one timeout.
TEST_F(SleepInhibitorTest, AHungServiceNeverHoldsTheCallerUp)
{
    UseSystemBus(false);
    FakeDesktop desktop(kHungScreenSaver);
    ASSERT_TRUE(desktop.Ready());
    auto start = SteadyClock::now();
    InhibitSleep();
    ASSERT_TRUE(desktop.WaitForCall("screensaver Inhibit"));
    AllowSleep();
    InhibitSleep();
    AllowSleep();
    auto callerMs = std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
    EXPECT_LT(callerMs, 1000) << "the caller waited for the bus";
    ASSERT_TRUE(WaitForSleepInhibitor(kWatchdogMs)) << "watchdog: the worker did not give up";
    EXPECT_EQ(CurrentSleepInhibition(), SleepInhibition::None);
}

TEST_F(SleepInhibitorTest, NobodyToAskLeavesNothingHeld)
{
    UseSystemBus(false);
    InhibitSleep();
    ASSERT_TRUE(WaitForSleepInhibitor(kWatchdogMs));
    EXPECT_EQ(CurrentSleepInhibition(), SleepInhibition::None);
}
