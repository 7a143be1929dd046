#include "../ui/UiTestSupport.h"

#include "platform/framework/AppModule.h"
#include "platform/framework/MessageLoop.h"

#include <thread>

namespace {

constexpr UINT kWork = WM_USER + 10;

struct Filter : CMessageFilter {
    Filter(const char* n, std::vector<std::string>* o, UINT s) : name(n), order(o), swallow(s) { }
    const char* name;
    std::vector<std::string>* order;
    UINT swallow;
    BOOL PreTranslateMessage(MSG* msg) override
    {
        if (msg->message == kWork || msg->message == swallow)
            order->push_back(name);
        return msg->message == swallow;
    }
};

struct Idle : CIdleHandler {
    int calls = 0;
    int wantMore = 0;
    BOOL OnIdle() override
    {
        ++calls;
        return calls <= wantMore;
    }
};

class MessageLoopTest : public UiTest {
protected:
    RecordingClass m_class {u"LoopTestWindow"};
};

} // namespace

TEST_F(MessageLoopTest, FiltersAreAskedNewestFirstAndASwallowedMessageIsNotDispatched)
{
    HWND hwnd = CreateWindowExW(0, m_class.Name(), u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    std::vector<std::string> order;
    Filter older("older", &order, 0);
    Filter newer("newer", &order, WM_USER + 11);
    CMessageLoop loop;
    loop.AddMessageFilter(&older);
    loop.AddMessageFilter(&newer);
    EXPECT_FALSE(loop.AddMessageFilter(&older)) << "a filter is registered once";
    PostMessageW(hwnd, kWork, 0, 0);
    PostMessageW(hwnd, WM_USER + 11, 0, 0);
    PostQuitMessage(1);
    EXPECT_EQ(loop.Run(), 1);
    EXPECT_EQ(order, (std::vector<std::string> {"newer", "older", "newer"}));
    EXPECT_EQ(RecordingClass::Sequence(hwnd, {kWork, WM_USER + 11}), (std::vector<UINT> {kWork}));
    DestroyWindow(hwnd);
}

TEST_F(MessageLoopTest, IdleHandlersRunWhileTheQueueIsEmptyUntilNoneWantsMore)
{
    Idle idle;
    idle.wantMore = 2;
    CMessageLoop loop;
    loop.AddIdleHandler(&idle);
    HWND hwnd = CreateWindowExW(0, m_class.Name(), u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    RecordingClass::handler = [&](HWND, UINT message, WPARAM, LPARAM, LRESULT*) {
        if (message == kWork)
            PostQuitMessage(4);
        return false;
    };
    SetTimer(hwnd, 1, 20, [](HWND h, UINT, UINT_PTR id, DWORD) {
        KillTimer(h, id);
        PostMessageW(h, kWork, 0, 0);
    });
    EXPECT_EQ(loop.Run(), 4);
    EXPECT_EQ(idle.calls, 3) << "called until it said it wants no more, not again while nothing happened";
    DestroyWindow(hwnd);
}

TEST_F(MessageLoopTest, TheModuleKeepsOneLoopPerThread)
{
    CAppModuleEx module;
    CMessageLoop loop;
    EXPECT_FALSE(module.AddMessageLoop(&loop)) << "not before Init";
    module.Init(reinterpret_cast<HINSTANCE>(0x400000));
    EXPECT_TRUE(module.AddMessageLoop(&loop));
    EXPECT_FALSE(module.AddMessageLoop(&loop));
    EXPECT_EQ(module.GetMessageLoop(), &loop);
    CMessageLoop* elsewhere = &loop;
    std::thread other([&] { elsewhere = module.GetMessageLoop(); });
    other.join();
    EXPECT_EQ(elsewhere, nullptr);
    EXPECT_EQ(module.GetResourceInstance(), module.GetModuleInstance());
    EXPECT_TRUE(module.RemoveMessageLoop());
    EXPECT_EQ(module.GetMessageLoop(), nullptr);
    module.Term();
}
