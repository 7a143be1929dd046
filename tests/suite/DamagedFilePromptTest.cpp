#include "suite/Trust.h"

#include "TrustTestSupport.h"
#include "platform/sys/Thread.h"
#include "platform/ui/Input.h"
#include "platform/ui/Menu.h"
#include "platform/ui/ModalScript.h"
#include "tests/platform/ui/UiTestSupport.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace trust_test;

namespace {

const WString kTextBeforePath = u"发现Ternshield的文件已被破坏，不是原版文件。\n请重新安装Ternshield并进行木马扫描。\n\n被破坏的文件：";
const WString kTextAfterPath = u"\n\n是否立即下载最新版？";

// Ends the prompt's loop with WM_QUIT when the scripted answer is not taken in time.
class Watchdog {
public:
    Watchdog() : m_thread(GetCurrentThreadId())
    {
        m_worker = std::thread([this] {
            std::unique_lock guard(m_lock);
            if (m_signal.wait_for(guard, std::chrono::seconds(8), [this] { return m_disarmed; }))
                return;
            m_fired = true;
            PostThreadMessageW(m_thread, WM_QUIT, 0, 0);
        });
    }
    ~Watchdog()
    {
        {
            std::lock_guard guard(m_lock);
            m_disarmed = true;
        }
        m_signal.notify_all();
        m_worker.join();
        EXPECT_FALSE(m_fired) << "watchdog: the prompt did not end in time";
        MSG msg;
        while (m_fired && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message != WM_QUIT) {
        }
    }

private:
    DWORD m_thread;
    std::mutex m_lock;
    std::condition_variable m_signal;
    bool m_disarmed = false;
    bool m_fired = false;
    std::thread m_worker;
};

class DamagedFilePromptTest : public UiTest {
protected:
    RecordingClass m_class {u"PromptOwner"};
    HWND m_owner = nullptr;
    TempFolder m_folder;
    fs::path m_log = m_folder / "shell.log";

    void SetUp() override
    {
        UiTest::SetUp();
        ModalScript::Reset();
        setenv("LUMO_SHELL_OPEN_LOG", m_log.c_str(), 1);
        m_owner = CreateWindowExW(0, u"PromptOwner", u"owner", WS_POPUP | WS_VISIBLE, 100, 100, 400, 300, nullptr,
            nullptr, nullptr, nullptr);
        SetActiveWindow(m_owner);
        PumpPending();
    }

    void TearDown() override
    {
        ModalScript::Reset();
        unsetenv("LUMO_SHELL_OPEN_LOG");
        if (IsWindow(m_owner))
            DestroyWindow(m_owner);
        UiTest::TearDown();
    }

    RecordedMessageBox ShowPrompt(const WString& path, int answer)
    {
        ModalScript::AnswerMessageBox(answer);
        {
            Watchdog watchdog;
            ShowDamagedFilePrompt(path.c_str());
        }
        std::vector<RecordedMessageBox> boxes = ModalScript::MessageBoxes();
        EXPECT_EQ(boxes.size(), 1u);
        return boxes.empty() ? RecordedMessageBox {} : boxes[0];
    }

    std::string ShellLog() const
    {
        Bytes bytes = ReadBytes(m_log);
        return std::string(bytes.begin(), bytes.end());
    }
};

} // namespace

TEST_F(DamagedFilePromptTest, NoLeavesTheDownloadClosed)
{
    const WString path = u"/opt/ternshield/camlet/Facet.so";
    RecordedMessageBox box = ShowPrompt(path, IDNO);
    EXPECT_EQ(box.text, kTextBeforePath + path + kTextAfterPath);
    EXPECT_EQ(box.caption, u"Ternshield");
    EXPECT_EQ(box.type, MB_YESNO | MB_ICONHAND);
    EXPECT_EQ(box.owner, m_owner) << "owned by the active window";
    EXPECT_EQ(box.result, IDNO);
    EXPECT_EQ(ShellLog(), "");
}

TEST_F(DamagedFilePromptTest, YesOpensTheSuiteDownload)
{
    ShowPrompt(u"/opt/ternshield/TernCommon.so", IDYES);
    EXPECT_EQ(ShellLog(), "open http://download.ternshield.example/setup.exe\n");
}

// The text is built in 2048 units: an overlong path is cut at the end of the buffer, never in the
// middle of a character, and the closing question falls away.
TEST_F(DamagedFilePromptTest, CutsAnOverlongPathToTheBuffer)
{
    constexpr size_t kCapacity = 2048;
    size_t room = kCapacity - 1 - kTextBeforePath.size();
    WString path = u"/" + WString(room - 2, u'a') + u"\U0001F4F7" + WString(1000, u'b');
    RecordedMessageBox box = ShowPrompt(path, IDYES);
    EXPECT_EQ(box.text, kTextBeforePath + path.substr(0, room - 1));
    EXPECT_EQ(ShellLog(), "open http://download.ternshield.example/setup.exe\n");

    ModalScript::Reset();
    path = u"/" + WString(room + 500, u'c');
    box = ShowPrompt(path, IDNO);
    EXPECT_EQ(box.text.size(), kCapacity - 1);
    EXPECT_EQ(box.text, kTextBeforePath + path.substr(0, room));
}
