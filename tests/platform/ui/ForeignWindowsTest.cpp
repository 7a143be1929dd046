#include "UiTestSupport.h"

#include "platform/ui/ForeignWindows.h"
#include "platform/ui/WindowDirectory.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

constexpr DWORD kWatchdogMs = 10000;
constexpr ULONG_PTR kQuitData = 0xDEAD;
const char* const kChildProgram = LUMO_UI_FOREIGN_CHILD;

std::string MakeTempFolder(const char* prefix)
{
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

// Every test program gets a runtime folder of its own, inherited by its children, so tests never
// meet the windows of other programs of this user.
struct RuntimeFolder {
    std::string path = MakeTempFolder("lumo-foreign-");
    RuntimeFolder() { setenv("XDG_RUNTIME_DIR", path.c_str(), 1); }
    ~RuntimeFolder()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};
const RuntimeFolder g_runtime;

long long MillisecondsSince(SteadyClock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
}

std::string EntryOf(pid_t pid)
{
    return WindowDirectoryFolderPath() + "/" + std::to_string(pid);
}

uint32_t Fnv1a(const std::vector<BYTE>& bytes)
{
    uint32_t hash = 2166136261u;
    for (BYTE b : bytes)
        hash = (hash ^ b) * 16777619u;
    return hash;
}

class ChildProcess {
public:
    ChildProcess(const std::string& className, const std::string& title, const std::string& mode, DWORD timeoutMs = 20000)
        : m_folder(MakeTempFolder("lumo-foreign-report-"))
        , m_report(m_folder + "/report")
    {
        std::string timeout = std::to_string(timeoutMs);
        std::vector<const char*> argv {kChildProgram, m_report.c_str(), className.c_str(), title.c_str(), mode.c_str(),
            timeout.c_str(), nullptr};
        if (posix_spawn(&m_pid, kChildProgram, nullptr, nullptr, const_cast<char* const*>(argv.data()), environ) != 0)
            m_pid = -1;
    }
    ~ChildProcess()
    {
        if (m_pid > 0 && !m_status) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }
    pid_t Pid() const { return m_pid; }

    std::vector<std::string> Lines() const
    {
        std::ifstream file(m_report);
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);)
            lines.push_back(line);
        return lines;
    }
    // What the window received after it was set up.
    std::vector<std::string> LinesAfterReady() const
    {
        auto lines = Lines();
        auto ready = std::find(lines.begin(), lines.end(), "ready");
        return ready == lines.end() ? std::vector<std::string> {} : std::vector<std::string>(ready + 1, lines.end());
    }
    bool Saw(const std::string& line) const
    {
        auto lines = LinesAfterReady();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    bool WaitUntilReady() const { return WaitFor([this] { auto l = Lines(); return std::find(l.begin(), l.end(), "ready") != l.end(); }); }
    bool WaitToSee(const std::string& line) const { return WaitFor([&] { return Saw(line); }); }

    // The exit status once the child has ended and been reaped.
    std::optional<int> WaitForExit()
    {
        WaitFor([this] {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid)
                m_status = status;
            return m_status.has_value();
        });
        return m_status;
    }
    // Kills the child and waits until it is dead but not reaped, so its pid still exists.
    bool KillWithoutReaping()
    {
        kill(m_pid, SIGKILL);
        return WaitFor([this] {
            siginfo_t info {};
            return waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == m_pid;
        });
    }

private:
    template <typename Condition>
    static bool WaitFor(Condition done)
    {
        auto start = SteadyClock::now();
        while (!done()) {
            if (MillisecondsSince(start) > kWatchdogMs) {
                ADD_FAILURE() << "watchdog: the child did not get there within " << kWatchdogMs << " ms";
                return false;
            }
            Sleep(5);
        }
        return true;
    }

    std::string m_folder;
    std::string m_report;
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

LRESULT SendCopyData(HWND hwnd, ULONG_PTR dwData, std::vector<BYTE>& bytes)
{
    COPYDATASTRUCT data {dwData, static_cast<DWORD>(bytes.size()), bytes.empty() ? nullptr : bytes.data()};
    return SendMessageW(hwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

std::string CopyDataLine(ULONG_PTR dwData, const std::vector<BYTE>& bytes)
{
    char line[96];
    std::snprintf(line, sizeof line, "copydata %lx %zu %08x sender 0", static_cast<unsigned long>(dwData), bytes.size(), Fnv1a(bytes));
    return line;
}

// A raw conversation with a child's socket: what a confused or hostile peer would send.
class RawPeer {
public:
    explicit RawPeer(pid_t pid) : m_fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, EntryOf(pid).c_str(), sizeof address.sun_path - 1);
        m_connected = connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawPeer() { close(m_fd); }
    bool Connected() const { return m_connected; }
    int Fd() const { return m_fd; }
    void Write(const std::vector<BYTE>& bytes) { ASSERT_EQ(send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size())); }
    // The whole answer, until the server closes; nullopt when nothing decodable came in time.
    std::optional<DirectoryReply> Answer()
    {
        std::vector<BYTE> bytes;
        auto start = SteadyClock::now();
        for (;;) {
            pollfd p {m_fd, POLLIN, 0};
            if (MillisecondsSince(start) > kWatchdogMs || poll(&p, 1, 100) < 0)
                return std::nullopt;
            BYTE chunk[4096];
            ssize_t n = p.revents ? recv(m_fd, chunk, sizeof chunk, 0) : -1;
            if (n == 0)
                return DecodeReply(bytes.data(), bytes.size());
            if (n > 0)
                bytes.insert(bytes.end(), chunk, chunk + n);
        }
    }

private:
    int m_fd;
    bool m_connected = false;
};

class ForeignWindowsTest : public UiTest {};

} // namespace

TEST(WindowDirectoryWire, RequestsRoundTripAndBrokenOnesAreRefused)
{
    DirectoryRequest request;
    request.kind = DirectoryRequestKind::Send;
    request.instance = 0x1122334455667788;
    request.handle = 0x10010;
    request.argument = 0x6402;
    request.message = WM_COPYDATA;
    request.data = {0, 1, 0xFF, 0};
    std::vector<BYTE> bytes = EncodeRequest(request);
    ASSERT_EQ(bytes.size(), kRequestHeaderSize + 4);
    auto decoded = DecodeRequest(bytes.data(), bytes.size());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->instance, request.instance);
    EXPECT_EQ(decoded->handle, request.handle);
    EXPECT_EQ(decoded->argument, 0x6402);
    EXPECT_EQ(decoded->data, request.data);

    EXPECT_FALSE(DecodeRequest(bytes.data(), bytes.size() - 1)) << "cut short";
    bytes.push_back(0);
    EXPECT_FALSE(DecodeRequest(bytes.data(), bytes.size())) << "trailing byte";

    request.message = WM_USER;
    EXPECT_FALSE(RequestBodyLength(EncodeRequest(request).data())) << "only WM_COPYDATA and WM_NULL cross";
    request.message = WM_NULL;
    EXPECT_FALSE(RequestBodyLength(EncodeRequest(request).data())) << "WM_NULL carries no data";
    request.kind = DirectoryRequestKind::List;
    EXPECT_FALSE(RequestBodyLength(EncodeRequest(request).data())) << "a list carries no data";

    request.kind = DirectoryRequestKind::Send;
    request.message = WM_COPYDATA;
    request.data.assign(kDirectoryMaxCopyData, 7);
    EXPECT_EQ(RequestBodyLength(EncodeRequest(request).data()), kDirectoryMaxCopyData);
    request.data.push_back(7);
    EXPECT_FALSE(RequestBodyLength(EncodeRequest(request).data())) << "over 1 MiB";
}

TEST(WindowDirectoryWire, ListAnswersKeepNamesWithinTheLimit)
{
    DirectoryReply reply;
    reply.status = DirectoryStatus::Done;
    reply.instance = 9;
    reply.windows.push_back({0x10010, true, true, u"QTernBoxMain", u"Caf\u00e9 \U0001F600"});
    reply.windows.push_back({0x10014, false, false, WString(300, u'c'), WString(kDirectoryMaxNameUnits, u't')});
    std::vector<BYTE> bytes = EncodeReply(reply);
    auto decoded = DecodeReply(bytes.data(), bytes.size());
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->windows.size(), 2u);
    EXPECT_EQ(decoded->windows[0].title, u"Caf\u00e9 \U0001F600");
    EXPECT_TRUE(decoded->windows[0].visible && decoded->windows[0].minimized);
    EXPECT_FALSE(decoded->windows[1].visible || decoded->windows[1].minimized);
    EXPECT_EQ(decoded->windows[1].className.size(), kDirectoryMaxNameUnits) << "cut to the limit";
    EXPECT_EQ(decoded->windows[1].title.size(), kDirectoryMaxNameUnits);

    // A well-formed answer but for a class name of 257 units: the entry's count of class units sits
    // after its handle and flags, the body's length at the end of the header.
    DirectoryReply single;
    single.windows.push_back({1, false, false, WString(kDirectoryMaxNameUnits, u'c'), u""});
    std::vector<BYTE> tampered = EncodeReply(single);
    uint16_t tooLong = kDirectoryMaxNameUnits + 1;
    uint32_t longerBody = static_cast<uint32_t>(tampered.size() - kReplyHeaderSize + sizeof(WCHAR));
    std::memcpy(tampered.data() + kReplyHeaderSize + 12, &tooLong, sizeof tooLong);
    std::memcpy(tampered.data() + 28, &longerBody, sizeof longerBody);
    tampered.insert(tampered.end(), {'c', 0});
    EXPECT_FALSE(DecodeReply(tampered.data(), tampered.size()));
    // An entry count that the body does not hold.
    tampered = bytes;
    uint32_t three = 3;
    std::memcpy(tampered.data() + 24, &three, sizeof three);
    EXPECT_FALSE(DecodeReply(tampered.data(), tampered.size()));
    EXPECT_FALSE(DecodeReply(bytes.data(), bytes.size() - 2));
}

TEST(WindowDirectoryFolderTest, TheFolderComesFromTheRuntimeFolderOrTheTemporaryOne)
{
    std::string saved = std::getenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(WindowDirectoryFolderPath(), saved + "/lumo-windows");
    std::string fallback = std::string(P_tmpdir) + "/lumo-windows-" + std::to_string(getuid());
    setenv("XDG_RUNTIME_DIR", "relative/dir", 1);
    EXPECT_EQ(WindowDirectoryFolderPath(), fallback);
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(WindowDirectoryFolderPath(), fallback);
    setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}

TEST(WindowDirectoryFolderTest, OnlyAPrivateFolderOfThisUserIsAccepted)
{
    std::string base = MakeTempFolder("lumo-folder-");
    ASSERT_FALSE(base.empty());
    struct stat st {};

    mode_t oldMask = umask(0);
    EXPECT_TRUE(PreparePrivateFolder(base + "/made"));
    umask(oldMask);
    ASSERT_EQ(lstat((base + "/made").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_TRUE(PreparePrivateFolder(base + "/made")) << "an existing private folder is taken";

    chmod((base + "/made").c_str(), 0750);
    EXPECT_FALSE(PreparePrivateFolder(base + "/made")) << "the group may enter";
    chmod((base + "/made").c_str(), 0701);
    EXPECT_FALSE(PreparePrivateFolder(base + "/made")) << "others may enter";
    chmod((base + "/made").c_str(), 0700);

    ASSERT_EQ(symlink((base + "/made").c_str(), (base + "/link").c_str()), 0);
    EXPECT_FALSE(PreparePrivateFolder(base + "/link")) << "a link is not followed";
    std::ofstream(base + "/file") << "x";
    EXPECT_FALSE(PreparePrivateFolder(base + "/file"));
    EXPECT_FALSE(PreparePrivateFolder(base + "/missing/parent"));
    if (geteuid() == 0) {
        ASSERT_EQ(chown((base + "/made").c_str(), 65534, 65534), 0);
        EXPECT_FALSE(PreparePrivateFolder(base + "/made")) << "another user's folder";
    }
    std::error_code ignored;
    fs::remove_all(base, ignored);
}

TEST_F(ForeignWindowsTest, TheChildServesFromAPrivateFolder)
{
    ChildProcess child("QTernBoxMain", "Lumo", "visible");
    ASSERT_TRUE(child.WaitUntilReady());
    struct stat st {};
    ASSERT_EQ(lstat(WindowDirectoryFolderPath().c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    ASSERT_EQ(lstat(EntryOf(child.Pid()).c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_FALSE(fs::exists(EntryOf(child.Pid()) + ".new"));

    std::vector<BYTE> quit;
    HWND hwnd = FindWindowW(u"QTernBoxMain", nullptr);
    SendCopyData(hwnd, kQuitData, quit);
    auto status = child.WaitForExit();
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    EXPECT_FALSE(fs::exists(EntryOf(child.Pid()))) << "the entry goes when the process exits";
}

TEST_F(ForeignWindowsTest, FindsTheChildsWindowByClassIgnoringCase)
{
    ChildProcess child("QTernBoxMain", "Lumo Test", "visible");
    ASSERT_TRUE(child.WaitUntilReady());
    HWND hwnd = FindWindowW(u"qternboxMAIN", nullptr);
    ASSERT_TRUE(hwnd);
    EXPECT_TRUE(IsForeignWindow(hwnd));
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(FindWindowW(u"QTernBoxMain", u"Lumo Test"), hwnd) << "the same window keeps its handle";
    EXPECT_EQ(FindWindowW(nullptr, u"Lumo Test"), hwnd);
    EXPECT_EQ(FindWindowW(u"QTernBoxMain", u"lumo test"), nullptr) << "titles compare exactly";
    EXPECT_EQ(FindWindowW(u"NobodysClass", nullptr), nullptr);
    EXPECT_FALSE(IsForeignWindow(reinterpret_cast<HWND>(reinterpret_cast<ULONG_PTR>(hwnd) + 1000)));
    EXPECT_FALSE(IsForeignWindow(reinterpret_cast<HWND>(0x10010)));
}

TEST_F(ForeignWindowsTest, ThisProcessIsAskedFirstAndThenServesToo)
{
    RecordingClass windowClass(u"QTernBoxMain");
    ChildProcess child("QTernBoxMain", "Theirs", "visible");
    ASSERT_TRUE(child.WaitUntilReady());
    HWND mine = CreateWindowExW(0, windowClass.Name(), u"Mine", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(mine);
    EXPECT_TRUE(IsServingWindowDirectory());
    EXPECT_TRUE(fs::exists(EntryOf(getpid())));
    EXPECT_EQ(FindWindowW(u"QTERNBOXMAIN", nullptr), mine);
    HWND theirs = FindWindowW(u"QTernBoxMain", u"Theirs");
    EXPECT_TRUE(IsForeignWindow(theirs));
    EXPECT_NE(theirs, mine);
    DestroyWindow(mine);
}

TEST_F(ForeignWindowsTest, RestoringAMinimisedWindowReachesTheChild)
{
    ChildProcess child("QTernBoxMain", "Lumo", "minimized");
    ASSERT_TRUE(child.WaitUntilReady());
    HWND hwnd = FindWindowW(u"QTernBoxMain", nullptr);
    ASSERT_TRUE(hwnd);
    EXPECT_TRUE(IsWindowVisible(hwnd)) << "a minimised window is visible";
    EXPECT_TRUE(ShowWindow(hwnd, SW_RESTORE)) << "the answer is that it was visible";
    EXPECT_EQ(child.LinesAfterReady(), (std::vector<std::string> {"activate 1", "size 0"}));
    EXPECT_FALSE(ShowWindow(hwnd, 42)) << "no such command";
    EXPECT_EQ(child.LinesAfterReady().size(), 2u);
}

TEST_F(ForeignWindowsTest, ShowingAHiddenWindowAnswersItWasHidden)
{
    ChildProcess child("QTernBoxMain", "Lumo", "hidden");
    ASSERT_TRUE(child.WaitUntilReady());
    HWND hwnd = FindWindowW(u"QTernBoxMain", nullptr);
    ASSERT_TRUE(hwnd) << "hidden windows are found too";
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_FALSE(ShowWindow(hwnd, SW_SHOWNOACTIVATE));
    EXPECT_TRUE(child.Saw("showwindow 1"));
    EXPECT_TRUE(IsWindowVisible(hwnd));
}

TEST_F(ForeignWindowsTest, SetForegroundWindowActivatesTheChildsWindow)
{
    ChildProcess child("QTernBoxMain", "Lumo", "inactive");
    ASSERT_TRUE(child.WaitUntilReady());
    HWND hwnd = FindWindowW(u"QTernBoxMain", nullptr);
    ASSERT_TRUE(hwnd);
    EXPECT_FALSE(child.Saw("activate 1"));
    EXPECT_TRUE(SetForegroundWindow(hwnd));
    EXPECT_TRUE(child.Saw("activate 1"));
}

TEST_F(ForeignWindowsTest, CopyDataArrivesIntactWithItsResult)
{
    ChildProcess child("QTernBoxMain", "Lumo", "visible");
    ASSERT_TRUE(child.WaitUntilReady());
    HWND hwnd = FindWindowW(u"QTernBoxMain", nullptr);
    ASSERT_TRUE(hwnd);

    std::vector<BYTE> skin(4099);
    for (size_t i = 0; i < skin.size(); ++i)
        skin[i] = static_cast<BYTE>(i * 7 + (i >> 8));
    EXPECT_EQ(SendCopyData(hwnd, 0x6402, skin), static_cast<LRESULT>(Fnv1a(skin)));
    std::vector<BYTE> empty;
    EXPECT_EQ(SendCopyData(hwnd, 0x6402, empty), static_cast<LRESULT>(Fnv1a(empty)));
    std::vector<BYTE> largest(kDirectoryMaxCopyData, 0xA5);
    EXPECT_EQ(SendCopyData(hwnd, 1, largest), static_cast<LRESULT>(Fnv1a(largest)));
    std::vector<BYTE> tooLarge(kDirectoryMaxCopyData + 1, 0xA5);
    EXPECT_EQ(SendCopyData(hwnd, 2, tooLarge), 0);
    EXPECT_EQ(SendMessageW(hwnd, WM_NULL, 0, 0), 77);
    EXPECT_EQ(SendMessageW(hwnd, WM_USER, 0, 0), 0) << "other messages do not cross";

    EXPECT_EQ(child.LinesAfterReady(),
        (std::vector<std::string> {CopyDataLine(0x6402, skin), CopyDataLine(0x6402, empty), CopyDataLine(1, largest), "null"}));
}

TEST_F(ForeignWindowsTest, ADeadProcessIsForgottenAndItsEntryRemoved)
{
    ChildProcess child("QTernBoxMain", "Lumo", "visible");
    ASSERT_TRUE(child.WaitUntilReady());
    HWND hwnd = FindWindowW(u"QTernBoxMain", nullptr);
    ASSERT_TRUE(hwnd);
    // Not reaped yet: the pid still exists, so only the refused connection tells it is dead.
    ASSERT_TRUE(child.KillWithoutReaping());
    ASSERT_EQ(kill(child.Pid(), 0), 0);
    ASSERT_TRUE(fs::exists(EntryOf(child.Pid())));

    auto start = SteadyClock::now();
    EXPECT_EQ(FindWindowW(u"QTernBoxMain", nullptr), nullptr);
    EXPECT_LT(MillisecondsSince(start), kDirectoryPeerTimeoutMs) << "no waiting for a timeout";
    EXPECT_FALSE(fs::exists(EntryOf(child.Pid())));
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_FALSE(ShowWindow(hwnd, SW_RESTORE));
    EXPECT_FALSE(SetForegroundWindow(hwnd));
    std::vector<BYTE> bytes {1, 2, 3};
    EXPECT_EQ(SendCopyData(hwnd, 0x6402, bytes), 0);
}

TEST_F(ForeignWindowsTest, AnEntryOfAPidThatIsGoneIsRemoved)
{
    pid_t gone;
    {
        ChildProcess child("QTernBoxMain", "Lumo", "visible");
        ASSERT_TRUE(child.WaitUntilReady());
        ASSERT_TRUE(child.KillWithoutReaping());
        ASSERT_TRUE(child.WaitForExit());
        gone = child.Pid();
    }
    ASSERT_TRUE(fs::exists(EntryOf(gone)));
    std::ofstream(WindowDirectoryFolderPath() + "/notapid") << "x";
    EXPECT_TRUE(WindowDirectoryPeers().empty());
    EXPECT_FALSE(fs::exists(EntryOf(gone)));
    EXPECT_TRUE(fs::exists(WindowDirectoryFolderPath() + "/notapid")) << "what is not an entry is left alone";
}

TEST_F(ForeignWindowsTest, GarbageIsRefusedAndTheServerKeepsServing)
{
    ChildProcess child("QTernBoxMain", "Lumo", "visible");
    ASSERT_TRUE(child.WaitUntilReady());
    auto list = AskWindowDirectoryPeer(child.Pid(), DirectoryRequest {});
    ASSERT_TRUE(list && list->windows.size() == 1);
    auto refused = [&](const std::vector<BYTE>& bytes) {
        RawPeer peer(child.Pid());
        EXPECT_TRUE(peer.Connected());
        peer.Write(bytes);
        auto answer = peer.Answer();
        return answer && answer->status == DirectoryStatus::Refused;
    };
    RawPeer silent(child.Pid()); // stays connected and says nothing throughout
    ASSERT_TRUE(silent.Connected());

    EXPECT_TRUE(refused(std::vector<BYTE>(kRequestHeaderSize, 0x5A))) << "no magic";
    DirectoryRequest request;
    request.kind = DirectoryRequestKind::Send;
    request.message = WM_COPYDATA;
    request.instance = list->instance;
    request.handle = list->windows[0].handle;
    std::vector<BYTE> oversized = EncodeRequest(request);
    uint32_t twoMiB = 2 * 1024 * 1024;
    std::memcpy(oversized.data() + kRequestHeaderSize - sizeof twoMiB, &twoMiB, sizeof twoMiB);
    EXPECT_TRUE(refused(oversized)) << "refused from the header, without waiting for the data";
    request.kind = DirectoryRequestKind::Show;
    request.argument = SW_SHOW;
    request.instance = list->instance + 1;
    EXPECT_TRUE(refused(EncodeRequest(request))) << "a token of another process";
    request.instance = list->instance;
    request.handle = 0x12345;
    EXPECT_TRUE(refused(EncodeRequest(request))) << "no such window";
    {
        RawPeer cut(child.Pid());
        std::vector<BYTE> half = EncodeRequest(request);
        half.resize(kRequestHeaderSize / 2);
        cut.Write(half);
    }

    HWND hwnd = FindWindowW(u"QTernBoxMain", nullptr);
    ASSERT_TRUE(hwnd);
    std::vector<BYTE> bytes {9, 8, 7};
    EXPECT_EQ(SendCopyData(hwnd, 0x6402, bytes), static_cast<LRESULT>(Fnv1a(bytes)));
    EXPECT_EQ(child.LinesAfterReady(), (std::vector<std::string> {CopyDataLine(0x6402, bytes)}));
}

TEST_F(ForeignWindowsTest, AHungProcessCostsOnlyItsTimeout)
{
    ChildProcess hung("", "", "hang");
    ChildProcess child("QTernBoxMain", "Lumo", "visible");
    ASSERT_TRUE(hung.WaitUntilReady());
    ASSERT_TRUE(child.WaitUntilReady());
    auto start = SteadyClock::now();
    EXPECT_TRUE(FindWindowW(u"QTernBoxMain", nullptr));
    EXPECT_EQ(FindWindowW(u"NobodysClass", nullptr), nullptr);
    EXPECT_LT(MillisecondsSince(start), 4 * kDirectoryPeerTimeoutMs);
    EXPECT_TRUE(fs::exists(EntryOf(hung.Pid()))) << "a live process keeps its entry";
}

namespace {

// Live processes other than this one and `except`, whose pids name the planted entries: an
// entry of a live pid is not taken for a leftover.
std::vector<pid_t> OtherLivePids(size_t count, pid_t except)
{
    std::vector<pid_t> pids;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        pid_t pid = std::stoi(name);
        if (pid == getpid() || pid == except || (kill(pid, 0) != 0 && errno == ESRCH))
            continue;
        pids.push_back(pid);
        if (pids.size() == count)
            break;
    }
    return pids;
}

// A socket that listens under a peer's name but never accepts: connecting and sending succeed,
// and no answer ever comes.
int PlantSilentPeer(pid_t pid)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, EntryOf(pid).c_str(), sizeof address.sun_path - 1);
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || listen(fd, 16) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// How long until the server closes a connection; nullopt within the watchdog.
std::optional<long long> MillisecondsUntilClosed(int fd)
{
    auto start = SteadyClock::now();
    while (MillisecondsSince(start) < kWatchdogMs) {
        pollfd p {fd, POLLIN, 0};
        if (poll(&p, 1, 50) > 0) {
            BYTE chunk[256];
            if (recv(fd, chunk, sizeof chunk, MSG_DONTWAIT) == 0)
                return MillisecondsSince(start);
        }
    }
    return std::nullopt;
}

} // namespace

TEST_F(ForeignWindowsTest, SilentPeersCannotStallASearch)
{
    ChildProcess child("QTernBoxMain", "Lumo", "visible");
    ASSERT_TRUE(child.WaitUntilReady());
    std::vector<pid_t> pids = OtherLivePids(40, child.Pid());
    ASSERT_EQ(pids.size(), 40u);
    std::vector<int> silent;
    for (pid_t pid : pids) {
        int fd = PlantSilentPeer(pid);
        ASSERT_GE(fd, 0) << "pid " << pid;
        silent.push_back(fd);
    }
    // Asked one after the other, 40 peers of 500 ms each took 20 s.
    auto start = SteadyClock::now();
    EXPECT_TRUE(FindWindowW(u"QTernBoxMain", nullptr));
    EXPECT_EQ(FindWindowW(u"NobodysClass", nullptr), nullptr);
    EXPECT_LT(MillisecondsSince(start), 4 * kDirectoryPeerTimeoutMs);
    for (pid_t pid : pids)
        EXPECT_TRUE(fs::exists(EntryOf(pid))) << "a live process keeps its entry";
    for (int fd : silent)
        close(fd);

    // Once nothing listens there, the entries are stale and a search that asks everybody drops them.
    EXPECT_EQ(FindWindowW(u"NobodysClass", nullptr), nullptr);
    for (pid_t pid : pids)
        EXPECT_FALSE(fs::exists(EntryOf(pid))) << "pid " << pid;
}

TEST_F(ForeignWindowsTest, IdleConnectionsCannotLockClientsOut)
{
    ChildProcess child("QTernBoxMain", "Lumo", "visible");
    ASSERT_TRUE(child.WaitUntilReady());
    std::vector<std::unique_ptr<RawPeer>> idle;
    for (int i = 0; i < 16; ++i) {
        idle.push_back(std::make_unique<RawPeer>(child.Pid()));
        ASSERT_TRUE(idle.back()->Connected());
    }
    // Let the server take them all in before the real client comes.
    Sleep(100);
    auto list = AskWindowDirectoryPeer(child.Pid(), DirectoryRequest {});
    ASSERT_TRUE(list) << "a real client was locked out";
    EXPECT_EQ(list->windows.size(), 1u);
    EXPECT_TRUE(FindWindowW(u"QTernBoxMain", nullptr));

    // A connection that never sends its request is closed well before an answer's deadline.
    RawPeer late(child.Pid());
    ASSERT_TRUE(late.Connected());
    auto closedAfter = MillisecondsUntilClosed(late.Fd());
    ASSERT_TRUE(closedAfter) << "watchdog: the idle connection was kept open";
    EXPECT_LT(*closedAfter, 3 * static_cast<long long>(kDirectoryIdleTimeoutMs));
}
