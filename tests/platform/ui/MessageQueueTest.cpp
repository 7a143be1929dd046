#include "UiTestSupport.h"

#include "platform/sys/Thread.h"
#include "platform/ui/Paint.h"

#include <atomic>
#include <thread>

namespace {

constexpr UINT kPing = WM_USER + 1;
constexpr UINT kPong = WM_USER + 2;

class MessageQueueTest : public UiTest {
protected:
    RecordingClass m_class {u"QueueTestWindow"};
    HWND Make() { return CreateWindowExW(0, m_class.Name(), u"", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr); }
};

std::vector<UINT> Drain(HWND hwnd)
{
    std::vector<UINT> seen;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.hwnd == hwnd || msg.message == WM_QUIT)
            seen.push_back(msg.message);
        if (msg.message == WM_QUIT)
            break;
        DispatchMessageW(&msg);
    }
    return seen;
}

} // namespace

TEST_F(MessageQueueTest, PaintAndTimerComeOnlyAfterPostedMessages)
{
    ScopedTestClock clock({2012, 12, 5, 7, 15, 30, 45, 0}, 1000);
    HWND hwnd = Make();
    PumpPending();
    SetTimer(hwnd, 7, 100, nullptr);
    TestClock::Advance(100);
    InvalidateRect(hwnd, nullptr, TRUE);
    PostMessageW(hwnd, kPing, 0, 0);
    PostMessageW(hwnd, kPong, 0, 0);
    EXPECT_EQ(Drain(hwnd), (std::vector<UINT> {kPing, kPong, WM_PAINT, WM_TIMER}));
    KillTimer(hwnd, 7);
    DestroyWindow(hwnd);
}

TEST_F(MessageQueueTest, TimersFollowTheTestClockAndStopWhenKilled)
{
    ScopedTestClock clock({2012, 12, 5, 7, 15, 30, 45, 0}, 0xFFFFFF00); // the tick wraps during the test
    HWND hwnd = Make();
    PumpPending();
    ASSERT_EQ(SetTimer(hwnd, 3, 1000, nullptr), 3u);
    TestClock::Advance(999);
    EXPECT_TRUE(Drain(hwnd).empty());
    TestClock::Advance(1);
    EXPECT_EQ(Drain(hwnd), (std::vector<UINT> {WM_TIMER}));
    EXPECT_TRUE(Drain(hwnd).empty()) << "one tick per period";
    TestClock::Advance(1000);
    EXPECT_TRUE(KillTimer(hwnd, 3));
    EXPECT_TRUE(Drain(hwnd).empty()) << "a killed timer no longer fires";
    EXPECT_FALSE(KillTimer(hwnd, 3));
    DestroyWindow(hwnd);
}

TEST_F(MessageQueueTest, QuitArrivesAfterPostedMessagesWithItsCode)
{
    HWND hwnd = Make();
    PumpPending();
    PostQuitMessage(2);
    PostMessageW(hwnd, kPing, 0, 0);
    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, kPing);
    EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 2u);
    DestroyWindow(hwnd);
}

TEST_F(MessageQueueTest, PostFromAnotherThreadWakesABlockedGetMessage)
{
    HWND hwnd = Make();
    PumpPending();
    std::thread poster([hwnd] {
        Sleep(50);
        PostMessageW(hwnd, kPing, 42, 0);
    });
    MSG msg;
    do {
        ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0)); // ctest's time limit is this test's watchdog
        DispatchMessageW(&msg);
    } while (msg.message != kPing);
    EXPECT_EQ(msg.wParam, 42u);
    poster.join();
    DestroyWindow(hwnd);
}

TEST_F(MessageQueueTest, SendFromAnotherThreadRunsOnTheOwnerAndReturnsItsResult)
{
    HWND hwnd = Make();
    DWORD owner = GetCurrentThreadId();
    std::atomic<DWORD> ranOn {0};
    RecordingClass::handler = [&](HWND, UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
        if (message != kPing)
            return false;
        ranOn = GetCurrentThreadId();
        *result = static_cast<LRESULT>(wParam * 2);
        return true;
    };
    std::atomic<LRESULT> answer {0};
    std::thread sender([&] { answer = SendMessageW(hwnd, kPing, 21, 0); });
    PumpUntil([&] { return answer.load() != 0; });
    sender.join();
    EXPECT_EQ(answer.load(), 42);
    EXPECT_EQ(ranOn.load(), owner);
    DestroyWindow(hwnd);
}

TEST_F(MessageQueueTest, CrossThreadSendsInBothDirectionsDoNotDeadlock)
{
    HWND mine = Make();
    std::atomic<HWND> theirs {nullptr};
    std::atomic<bool> stop {false};
    // The other thread owns a window and sends back to ours while our send to it is waiting.
    RecordingClass::handler = [&](HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT* result) {
        if (message == kPing && hwnd == theirs.load()) {
            *result = SendMessageW(mine, kPong, 0, 0) + 1;
            return true;
        }
        if (message == kPong && hwnd == mine) {
            *result = 10;
            return true;
        }
        return false;
    };
    std::thread other([&] {
        theirs = CreateWindowExW(0, u"QueueTestWindow", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        while (!stop) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            Sleep(1);
        }
        DestroyWindow(theirs);
    });
    PumpUntil([&] { return theirs.load() != nullptr; });
    EXPECT_EQ(SendMessageW(theirs, kPing, 0, 0), 11);
    stop = true;
    other.join();
    DestroyWindow(mine);
}

TEST_F(MessageQueueTest, NestedLoopKeepsTimersTicking)
{
    ScopedTestClock clock({2012, 12, 5, 7, 15, 30, 45, 0}, 5000);
    HWND hwnd = Make();
    int ticks = 0;
    RecordingClass::handler = [&](HWND, UINT message, WPARAM, LPARAM, LRESULT*) {
        if (message == WM_TIMER) {
            ++ticks;
            TestClock::Advance(1000);
        }
        return false;
    };
    SetTimer(hwnd, 1, 1000, nullptr);
    TestClock::Advance(1000);
    RunNestedLoop([&] { return ticks >= 3; });
    EXPECT_EQ(ticks, 3);
    KillTimer(hwnd, 1);
    DestroyWindow(hwnd);
}
