// The free-space watch of a recording, with made-up free space, and the look-up on real folders.
#include "platform/media/gst/RecordingSpaceWatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

namespace {

using lumo::media::FreeSpaceOf;
using lumo::media::RecordingSpaceWatch;
using namespace std::chrono_literals;

constexpr auto kWatchdog = 5s;

template <class Condition> bool WaitFor(Condition condition)
{
    auto deadline = std::chrono::steady_clock::now() + kWatchdog;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(RecordingSpaceWatchTest, TheWatchFallsLowOnceTheSpaceIsBelowTheReserveAndLooksNoMore)
{
    auto looks = std::make_shared<std::atomic<int>>(0);
    // 1000, 900, 800, ... bytes free.
    RecordingSpaceWatch watch(
        [looks]() -> std::optional<std::uint64_t> { return 1000 - 100 * looks->fetch_add(1); }, 750, 1ms);
    ASSERT_TRUE(WaitFor([&] { return watch.Low(); })) << "watchdog: never low";
    EXPECT_EQ(looks->load(), 4) << "the fourth look, 700, is the first below 750";
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(looks->load(), 4);
    EXPECT_TRUE(watch.Low());
}

TEST(RecordingSpaceWatchTest, SpaceThatCannotBeToldOrIsEnoughIsNeverLow)
{
    auto looks = std::make_shared<std::atomic<int>>(0);
    RecordingSpaceWatch unknown([looks]() -> std::optional<std::uint64_t> {
        looks->fetch_add(1);
        return std::nullopt;
    }, 750, 1ms);
    RecordingSpaceWatch exact([]() -> std::optional<std::uint64_t> { return 750; }, 750, 1ms);
    ASSERT_TRUE(WaitFor([&] { return looks->load() >= 5; })) << "watchdog: the watch stopped looking";
    EXPECT_FALSE(unknown.Low());
    EXPECT_FALSE(exact.Low());
}

TEST(RecordingSpaceWatchTest, TheFirstLookIsAtOnceAndAnEndedWatchLetsItsThreadGo)
{
    auto looks = std::make_shared<std::atomic<int>>(0);
    std::weak_ptr<std::atomic<int>> held = looks;
    {
        RecordingSpaceWatch watch([looks]() -> std::optional<std::uint64_t> {
            looks->fetch_add(1);
            return 1u << 30;
        }, 1, std::chrono::hours(1));
        ASSERT_TRUE(WaitFor([&] { return looks->load() == 1; })) << "watchdog: no first look";
    }
    looks.reset();
    // The thread ends without waiting out its hour: with it goes the look-up and what it holds.
    EXPECT_TRUE(WaitFor([&] { return held.expired(); })) << "the watch's thread outlived it";
}

TEST(RecordingSpaceWatchTest, FreeSpaceOfAFolderIsKnownAndOfAMissingOneIsNot)
{
    std::optional<std::uint64_t> free = FreeSpaceOf(std::filesystem::temp_directory_path().string());
    ASSERT_TRUE(free.has_value());
    std::error_code ignored;
    EXPECT_NEAR(static_cast<double>(*free),
                static_cast<double>(std::filesystem::space(std::filesystem::temp_directory_path(), ignored).available),
                64.0 * 1024 * 1024);
    EXPECT_FALSE(FreeSpaceOf("/nonexistent-lumo-folder/videos").has_value());
}

} // namespace
