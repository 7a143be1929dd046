// The real program against the desktop's real media servers, with no virtual device: a PipeWire
// session (pipewire and wireplumber, started by the test command) with camera and microphone nodes
// that the tests provide through pipewiresink, and a PulseAudio daemon with a sine source as a
// microphone. Driven by real X input; checked by screenshots, ffprobe and ffmpeg.
#include "../support/DecodedPhoto.h"
#include "../support/ProgramWindow.h"
#include "../support/RecordedFile.h"
#include "../support/ToolRunner.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kWatchdogMs = 20000;
constexpr long kPictureLeft = 1;
constexpr long kPictureTop = 111;
constexpr long kPictureWidth = 640;
constexpr long kPictureHeight = 480;
constexpr long kPhotoButtonX = 12 + 40;
constexpr long kRecordButtonX = 12 + 80 + 40;
constexpr long kButtonY = 28 + 40;

using Clock = std::chrono::steady_clock;

void Sleep(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

template <typename Condition>
bool WaitFor(Condition condition, int watchdogMs)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(watchdogMs);
    while (!condition()) {
        if (Clock::now() >= deadline)
            return false;
        Sleep(100);
    }
    return true;
}

// A camera or microphone node of the PipeWire session, provided by a gst-launch-1.0 of its own for
// as long as it lives; Unplug() kills that process outright, as a camera pulled from its port.
class ProvidedNode {
public:
    enum class Kind { Camera, Microphone };

    ProvidedNode(Kind kind, std::string name)
        : m_name(std::move(name))
    {
        std::vector<std::string> argv = {"gst-launch-1.0", "-q"};
        if (kind == Kind::Camera) {
            // SMPTE bars that scroll: a picture with known colours that moves.
            for (const char* part : {"videotestsrc", "is-live=true", "pattern=smpte", "horizontal-speed=4", "!",
                     "video/x-raw,format=YUY2,width=640,height=480,framerate=30/1", "!"})
                argv.emplace_back(part);
        } else {
            for (const char* part : {"audiotestsrc", "is-live=true", "wave=sine", "freq=440", "volume=0.5", "!",
                     "audio/x-raw,format=S16LE,rate=48000,channels=1", "!"})
                argv.emplace_back(part);
        }
        // Frames from the sink's own pool would be asked for before any consumer has linked, and that
        // wait is never woken: the node would hand its first consumer nothing. The source allocates
        // its own and the sink copies them into the pool while it streams.
        for (const char* part : {"identity", "drop-allocation=true", "!"})
            argv.emplace_back(part);
        argv.emplace_back("pipewiresink");
        argv.emplace_back("mode=provide");
        argv.emplace_back(std::string("stream-properties=props,media.class=")
            + (kind == Kind::Camera ? "Video/Source" : "Audio/Source") + ",node.description=" + m_name);
        m_pid = fork();
        if (m_pid == 0) {
            std::vector<char*> args;
            for (auto& arg : argv)
                args.push_back(arg.data());
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
    }
    ~ProvidedNode() { Unplug(); }
    ProvidedNode(const ProvidedNode&) = delete;
    ProvidedNode& operator=(const ProvidedNode&) = delete;

    // Whether the session lists the node (within the watchdog).
    bool Listed(int watchdogMs = 10000) const
    {
        return WaitFor([&] { return IsListed(); }, watchdogMs);
    }
    bool IsListed() const
    {
        std::string nodes;
        RunTool({"pw-cli", "ls", "Node"}, &nodes, 5000);
        return nodes.find("node.description = \"" + m_name + "\"") != std::string::npos;
    }
    // Stops and resumes the providing process: its node stays listed but answers nothing meanwhile.
    void Freeze() const { kill(m_pid, SIGSTOP); }
    void Thaw() const { kill(m_pid, SIGCONT); }
    // Kills the providing process; the node is gone from the session's list (within a watchdog)
    // when this returns, so the next test meets no leftover node.
    void Unplug()
    {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        WaitFor([&] { return !IsListed(); }, 5000);
    }

private:
    std::string m_name;
    pid_t m_pid = -1;
};

// The share of the upper two thirds of an RGB picture that is the bars' yellow, and their cyan: both
// are plain in SMPTE bars and found in no skin colour.
struct BarColours {
    double yellow = 0;
    double cyan = 0;
};

BarColours BarColoursOf(const std::string& rgb, long width, long height)
{
    BarColours shares;
    long counted = 0;
    for (long y = 0; y < height * 2 / 3; y += 4) {
        for (long x = 0; x < width; x += 4) {
            size_t at = static_cast<size_t>((y * width + x) * 3);
            if (at + 2 >= rgb.size())
                continue;
            int r = static_cast<unsigned char>(rgb[at]);
            int g = static_cast<unsigned char>(rgb[at + 1]);
            int b = static_cast<unsigned char>(rgb[at + 2]);
            ++counted;
            if (r > 170 && g > 170 && b < 80)
                shares.yellow += 1;
            if (r < 80 && g > 170 && b > 170)
                shares.cyan += 1;
        }
    }
    if (counted) {
        shares.yellow /= static_cast<double>(counted);
        shares.cyan /= static_cast<double>(counted);
    }
    return shares;
}

bool ShowsBars(const std::string& rgb, long width, long height)
{
    BarColours shares = BarColoursOf(rgb, width, height);
    return shares.yellow > 0.05 && shares.cyan > 0.05;
}

// The visible windows titled "Lumo": the main window, and the message box over it when one is up.
int LumoWindows()
{
    std::string found;
    RunTool({"xdotool", "search", "--onlyvisible", "--name", "^Lumo$"}, &found);
    std::istringstream lines(found);
    int count = 0;
    for (std::string line; std::getline(lines, line);)
        count += !line.empty();
    return count;
}

std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        files.push_back(entry.path());
    return files;
}

// The mean volume of a file's sound in dB, as ffmpeg's volumedetect measures it; 0 when none was read.
double MeanVolume(const std::string& path)
{
    std::string out;
    RunTool({"ffmpeg", "-nostdin", "-hide_banner", "-i", path, "-vn", "-af", "volumedetect", "-f", "null", "-"}, &out, 20000,
        ToolErrors::Kept);
    std::smatch match;
    if (!std::regex_search(out, match, std::regex("mean_volume: (-?[0-9.]+) dB")))
        return 0;
    return std::stod(match[1]);
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class MediaServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("LUMO_TEST_PIPEWIRE"))
            GTEST_SKIP() << "no PipeWire session: the test command starts one";
    }

    // The program on the display with nothing virtual, its window showing the camera's picture.
    void StartProgram()
    {
        m_run = std::make_unique<ProgramOnDisplay>(nullptr);
        ASSERT_TRUE(m_run->HasDisplay()) << m_run->Problem();
        ASSERT_EQ(m_run->Problem(), "");
        // The program keeps its settings only where the suite's installer made their folder.
        std::filesystem::create_directories(std::filesystem::path(m_run->Folder()) / ".config" / "Ternsafe");
        auto started = Clock::now();
        ASSERT_TRUE(m_run->Start(LUMO_PROGRAM));
        ASSERT_TRUE(m_run->WaitForWindow([](const WindowGeometry&) { return true; }, kWatchdogMs, &m_window))
            << "watchdog: no window (a program that waits on its media server never shows one)";
        m_windowSeconds = std::chrono::duration<double>(Clock::now() - started).count();
        m_run->WaitForWindow([](const WindowGeometry& w) { return w.width == kPictureWidth + 2; }, kWatchdogMs, &m_window);
        RecordProperty("seconds_to_window", std::to_string(m_windowSeconds));
    }

    std::string Picture() const
    {
        return Screenshot(m_window.x + kPictureLeft, m_window.y + kPictureTop, kPictureWidth, kPictureHeight);
    }
    bool WaitForBars(int watchdogMs = kWatchdogMs) const
    {
        return WaitFor([&] { return ShowsBars(Picture(), kPictureWidth, kPictureHeight); }, watchdogMs);
    }
    void Click(long x, long y) const
    {
        RunTool({"xdotool", "mousemove", std::to_string(m_window.x + x), std::to_string(m_window.y + y), "click", "1"});
    }
    std::filesystem::path Documents() const { return std::filesystem::path(m_run->Folder()) / "Documents" / "Tern摄像头"; }

    // Starts a recording by the record button and waits for its file.
    std::filesystem::path StartRecording()
    {
        Click(kRecordButtonX, kButtonY);
        std::vector<std::filesystem::path> videos;
        WaitFor([&] { return !(videos = FilesIn(Documents() / "视频")).empty(); }, kWatchdogMs);
        return videos.empty() ? std::filesystem::path() : videos.front();
    }

    enum class Sound { Node, None };
    // The program on a camera node (with a microphone node beside it), showing the node's picture,
    // past its start check.
    void OpenOnNodes(Sound sound)
    {
        m_camera = std::make_unique<ProvidedNode>(ProvidedNode::Kind::Camera, "LumoDeskCamera");
        if (sound == Sound::Node)
            m_microphone = std::make_unique<ProvidedNode>(ProvidedNode::Kind::Microphone, "LumoDeskMicrophone");
        ASSERT_TRUE(m_camera->Listed() && (!m_microphone || m_microphone->Listed())) << "the media server did not list the nodes";
        StartProgram();
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(WaitForBars()) << "watchdog: the node's picture did not show";
        Sleep(1200);
    }

    // Declared before the program's run, so that the program ends before its nodes go.
    std::unique_ptr<ProvidedNode> m_camera;
    std::unique_ptr<ProvidedNode> m_microphone;
    std::unique_ptr<ProgramOnDisplay> m_run;
    WindowGeometry m_window;
    double m_windowSeconds = 0;
};

} // namespace

TEST_F(MediaServerTest, APipeWireCameraShowsItsMovingPictureAndTakesPhotos)
{
    ProvidedNode camera(ProvidedNode::Kind::Camera, "LumoDeskCamera");
    ProvidedNode microphone(ProvidedNode::Kind::Microphone, "LumoDeskMicrophone");
    ASSERT_TRUE(camera.Listed() && microphone.Listed()) << "the media server did not list the nodes";
    StartProgram();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_LT(m_windowSeconds, 10.0);
    ASSERT_TRUE(WaitForBars()) << "watchdog: the node's picture did not show";
    std::string first = Picture();
    Sleep(700);
    std::string second = Picture();
    EXPECT_NE(first, second) << "the picture does not move";
    // The camera opened is the node, and the program remembers it by its name.
    std::string settings = ReadText(m_run->Folder() + "/.config/Ternsafe/radazadadi/camera.ini");
    EXPECT_NE(settings.find("LumoDeskCamera"), std::string::npos) << settings;
    EXPECT_EQ(LumoWindows(), 1) << "no message for a working camera";

    Click(kPhotoButtonX, kButtonY);
    std::vector<std::filesystem::path> photos;
    ASSERT_TRUE(WaitFor([&] { return !(photos = FilesIn(Documents() / "照片")).empty(); }, kWatchdogMs)) << "no photo";
    std::string jpeg = photos.front().string();
    WaitFor([&] { return DecodedPixel(jpeg, 4, 4) >= 0; }, 5000);
    EXPECT_EQ(DecodedSize(jpeg), "640x480");
    // The photo holds the node's bars: its top row runs through yellow and cyan.
    bool yellow = false;
    bool cyan = false;
    for (int x = 0; x < 640; x += 20) {
        long pixel = DecodedPixel(jpeg, x, 100);
        yellow = yellow || IsNearRgb(pixel, 0xFFFF00, 60);
        cyan = cyan || IsNearRgb(pixel, 0x00FFFF, 60);
    }
    EXPECT_TRUE(yellow && cyan) << "the photo is not the camera's picture";
}

TEST_F(MediaServerTest, ARecordingHoldsTheCamerasPictureAndTheMicrophonesSound)
{
    OpenOnNodes(Sound::Node);
    ASSERT_FALSE(HasFatalFailure());
    std::filesystem::path video = StartRecording();
    ASSERT_FALSE(video.empty()) << "watchdog: no recording started";
    auto started = Clock::now();
    Sleep(3000);
    Click(kRecordButtonX, kButtonY);
    double recorded = std::chrono::duration<double>(Clock::now() - started).count();
    Sleep(1500);

    RecordedFile file = ProbeRecording(video.string());
    EXPECT_EQ(file.decodeErrors, "");
    ASSERT_TRUE(file.Of("video"));
    ASSERT_TRUE(file.Of("audio")) << "the microphone node's sound is missing";
    EXPECT_EQ(file.Of("video")->width, 640);
    EXPECT_NEAR(file.duration, recorded, 0.8);
    EXPECT_GT(MeanVolume(video.string()), -30.0) << "the sound is silent, not the node's tone";
    EXPECT_EQ(LumoWindows(), 1);
}

TEST_F(MediaServerTest, ACameraWhoseServerIsSlowToStartItDoesNotHoldTheWindow)
{
    ProvidedNode camera(ProvidedNode::Kind::Camera, "LumoDeskCamera");
    ASSERT_TRUE(camera.Listed());
    camera.Freeze();
    StartProgram();
    ASSERT_FALSE(HasFatalFailure());
    // The start waits on the node; the window meanwhile shows and answers: a button lights up
    // under the pointer.
    EXPECT_LT(m_windowSeconds, 10.0);
    auto button = [&] { return Screenshot(m_window.x + kRecordButtonX - 30, m_window.y + kButtonY - 30, 60, 60); };
    RunTool({"xdotool", "mousemove", std::to_string(m_window.x + m_window.width / 2), std::to_string(m_window.y + 300)});
    Sleep(500);
    std::string idle = button();
    RunTool({"xdotool", "mousemove", std::to_string(m_window.x + kRecordButtonX), std::to_string(m_window.y + kButtonY)});
    EXPECT_TRUE(WaitFor([&] { return button() != idle; }, 5000))
        << "the window did not answer the pointer while the camera was starting";
    camera.Thaw();
    EXPECT_TRUE(WaitForBars(kWatchdogMs)) << "the camera's picture did not show once its server answered";
}

TEST_F(MediaServerTest, ACameraUnpluggedDuringThePreviewIsReported)
{
    OpenOnNodes(Sound::None);
    ASSERT_FALSE(HasFatalFailure());
    m_camera->Unplug();
    ASSERT_TRUE(WaitFor([] { return LumoWindows() == 2; }, kWatchdogMs)) << "watchdog: the loss was not reported";
    RunTool({"xdotool", "key", "Return"});
    ASSERT_TRUE(WaitFor([] { return LumoWindows() == 1; }, kWatchdogMs));
    EXPECT_FALSE(ShowsBars(Picture(), kPictureWidth, kPictureHeight)) << "the lost camera's last picture is still shown";
    // Photos are refused now.
    Click(kPhotoButtonX, kButtonY);
    Sleep(1000);
    EXPECT_TRUE(FilesIn(Documents() / "照片").empty());
}

TEST_F(MediaServerTest, ACameraUnpluggedWhileRecordingLeavesAFileThatPlaysToTheLoss)
{
    OpenOnNodes(Sound::Node);
    ASSERT_FALSE(HasFatalFailure());
    std::filesystem::path video = StartRecording();
    ASSERT_FALSE(video.empty());
    auto started = Clock::now();
    Sleep(2500);
    double recorded = std::chrono::duration<double>(Clock::now() - started).count();
    m_camera->Unplug();
    ASSERT_TRUE(WaitFor([] { return LumoWindows() == 2; }, kWatchdogMs)) << "watchdog: the loss was not reported";
    RunTool({"xdotool", "key", "Return"});
    WaitFor([] { return LumoWindows() == 1; }, kWatchdogMs);

    RecordedFile file = ProbeRecording(video.string());
    EXPECT_EQ(file.decodeErrors, "");
    ASSERT_TRUE(file.Of("video"));
    EXPECT_NEAR(file.Of("video")->packetEnd, recorded, 1.0) << "the picture runs to the loss";
}

TEST_F(MediaServerTest, AMicrophoneUnpluggedWhileRecordingLeavesThePictureWhole)
{
    OpenOnNodes(Sound::Node);
    ASSERT_FALSE(HasFatalFailure());
    std::filesystem::path video = StartRecording();
    ASSERT_FALSE(video.empty());
    auto started = Clock::now();
    Sleep(1000);
    m_microphone->Unplug();
    Sleep(3000);
    EXPECT_EQ(LumoWindows(), 1) << "a lost microphone is not reported";
    EXPECT_TRUE(ShowsBars(Picture(), kPictureWidth, kPictureHeight));
    Click(kRecordButtonX, kButtonY);
    double recorded = std::chrono::duration<double>(Clock::now() - started).count();
    Sleep(1500);

    RecordedFile file = ProbeRecording(video.string());
    EXPECT_EQ(file.decodeErrors, "");
    ASSERT_TRUE(file.Of("video"));
    EXPECT_NEAR(file.Of("video")->packetEnd, recorded, 0.8) << "the picture runs to the stop";
    EXPECT_GT(file.videoFrames, 40);
}

TEST_F(MediaServerTest, ACameraPluggedInLaterCanBeChosenFromTheDeviceMenu)
{
    OpenOnNodes(Sound::None);
    ASSERT_FALSE(HasFatalFailure());
    std::string settings = m_run->Folder() + "/.config/Ternsafe/radazadadi/camera.ini";
    ASSERT_NE(ReadText(settings).find("LumoDeskCamera"), std::string::npos);
    // The device line at the bottom left, as the user sees it.
    auto deviceLine = [&] { return Screenshot(m_window.x + 4, m_window.y + m_window.height - 26, 300, 20); };
    std::string withOneCamera = deviceLine();
    ASSERT_FALSE(withOneCamera.empty());
    ProvidedNode second(ProvidedNode::Kind::Camera, "LumoOtherCamera");
    ASSERT_TRUE(second.Listed());
    // With a second camera the line becomes the device menu's link, in words of its own.
    ASSERT_TRUE(WaitFor([&] {
        std::string now = deviceLine();
        return !now.empty() && now != withOneCamera;
    }, kWatchdogMs)) << "the device line did not offer the device menu";
    Click(60, m_window.height - 16);
    Sleep(700);
    // The menu opens with nothing highlighted: the first Down marks the current camera, the second
    // the new one.
    RunTool({"xdotool", "key", "Down"});
    RunTool({"xdotool", "key", "Down"});
    RunTool({"xdotool", "key", "Return"});
    EXPECT_TRUE(WaitFor([&] { return ReadText(settings).find("LumoOtherCamera") != std::string::npos; }, kWatchdogMs))
        << "the new camera was not chosen: " << ReadText(settings);
    EXPECT_TRUE(WaitForBars()) << "the chosen camera's picture did not show";
}

TEST_F(MediaServerTest, APulseAudioMicrophoneIsRecorded)
{
    if (!std::getenv("LUMO_TEST_PULSEAUDIO"))
        GTEST_SKIP() << "no PulseAudio daemon: the test command starts one";
    std::string module;
    ASSERT_EQ(RunTool({"pactl", "load-module", "module-sine-source", "source_name=lumo_sine", "rate=44100", "frequency=440"}, &module), 0);
    struct Unload {
        std::string id;
        ~Unload() { RunTool({"pactl", "unload-module", id}); }
    } unload {std::regex_replace(module, std::regex("\\s+"), "")};
    // The desktop's chosen microphone is the one recorded.
    RunTool({"pactl", "set-default-source", "lumo_sine"});
    OpenOnNodes(Sound::None);
    ASSERT_FALSE(HasFatalFailure());
    std::filesystem::path video = StartRecording();
    ASSERT_FALSE(video.empty());
    Sleep(2500);
    Click(kRecordButtonX, kButtonY);
    Sleep(1500);
    RecordedFile file = ProbeRecording(video.string());
    EXPECT_EQ(file.decodeErrors, "");
    ASSERT_TRUE(file.Of("video"));
    ASSERT_TRUE(file.Of("audio")) << "the PulseAudio source was not recorded";
    EXPECT_GT(MeanVolume(video.string()), -30.0) << "the sound is silent, not the sine source";
}
