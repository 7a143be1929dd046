#include "platform/media/gst/RecordingBin.h"

#include "platform/media/gst/AsfProgress.h"
#include "tests/support/RecordedFile.h"
#include "tests/support/SmallFileSystem.h"
#include "tests/support/ToolRunner.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using lumo::media::CreateRecordingBin;
using lumo::media::FinishRecording;
using lumo::media::AsfProgress;
using lumo::media::RecordingElementsAvailable;
using lumo::media::RecordingReserve;
using lumo::media::RecordingSettings;
using Clock = std::chrono::steady_clock;

constexpr auto kFinishTimeout = 5000ms;
constexpr auto kMediaWatchdog = 15s;
// A picture that keeps changing in fine detail, with the running time drawn over it.
constexpr const char* kDetailedPicture = "videotestsrc is-live=true pattern=zone-plate kx2=20 ky2=20 kt=1";

// Ends the test program when a test outlives its time: a hang in the media fails instead of stalling.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit)
    {
        m_worker = std::thread([this, limit] {
            std::unique_lock lock(m_lock);
            if (m_disarmed.wait_for(lock, limit, [this] { return m_done; }))
                return;
            std::fprintf(stderr, "watchdog: the test did not end within %lld s\n", static_cast<long long>(limit.count()));
            std::abort();
        });
    }
    ~Watchdog()
    {
        {
            std::lock_guard guard(m_lock);
            m_done = true;
        }
        m_disarmed.notify_all();
        m_worker.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex m_lock;
    std::condition_variable m_disarmed;
    bool m_done = false;
    std::thread m_worker;
};

bool ToolExists(const char* name)
{
    return RunTool({ name, "-version" }) == 0;
}

// A live capture pipeline that ends in the recording bin. The picture's description ends in an
// element named "video", the sound's in one named "audio".
class Capture {
public:
    Capture(const std::string& description, const RecordingSettings& settings)
    {
        GError* error = nullptr;
        m_pipeline = gst_parse_launch(description.c_str(), &error);
        if (!m_pipeline) {
            ADD_FAILURE() << "pipeline: " << (error ? error->message : "?");
            g_clear_error(&error);
            return;
        }
        m_bin = CreateRecordingBin(settings);
        if (!m_bin) {
            ADD_FAILURE() << "no recording bin";
            return;
        }
        EXPECT_TRUE(g_object_is_floating(m_bin));
        gst_bin_add(GST_BIN(m_pipeline), m_bin);
        GstPad* video = gst_element_get_static_pad(m_bin, "video");
        gst_pad_add_probe(video, GST_PAD_PROBE_TYPE_BUFFER, CountFrame, this, nullptr);
        gst_object_unref(video);
    }
    ~Capture()
    {
        if (m_pipeline) {
            gst_element_set_state(m_pipeline, GST_STATE_NULL);
            gst_object_unref(m_pipeline);
        }
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    bool Valid() const { return m_pipeline && m_bin; }
    GstElement* Bin() const { return m_bin; }

    // Links the named source element to the bin's pad of the same name.
    bool Connect(const char* name)
    {
        GstElement* source = gst_bin_get_by_name(GST_BIN(m_pipeline), name);
        if (!source)
            return false;
        bool linked = gst_element_link_pads(source, nullptr, m_bin, name);
        gst_object_unref(source);
        return linked;
    }
    void Disconnect(const char* name)
    {
        GstPad* pad = gst_element_get_static_pad(m_bin, name);
        if (GstPad* peer = gst_pad_get_peer(pad)) {
            gst_pad_unlink(peer, pad);
            gst_object_unref(peer);
        }
        gst_object_unref(pad);
    }
    bool Play()
    {
        gst_element_set_state(m_pipeline, GST_STATE_PLAYING);
        GstState state = GST_STATE_NULL;
        gst_element_get_state(m_pipeline, &state, nullptr, 5 * GST_SECOND);
        return state == GST_STATE_PLAYING;
    }
    // Waits until `frames` frames have entered the bin; false when they did not come in time.
    bool WaitForFrames(int frames)
    {
        std::unique_lock lock(m_lock);
        return m_frameCame.wait_for(lock, kMediaWatchdog, [&] { return m_frames >= frames; });
    }
    int Frames()
    {
        std::lock_guard guard(m_lock);
        return m_frames;
    }
    // The first error posted on the pipeline's bus within the watchdog, "" when none came.
    std::string WaitForError()
    {
        GstBus* bus = gst_element_get_bus(m_pipeline);
        GstMessage* message = gst_bus_timed_pop_filtered(bus, GST_SECOND * 10, GST_MESSAGE_ERROR);
        gst_object_unref(bus);
        if (!message)
            return {};
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        std::string text = error ? error->message : "?";
        g_clear_error(&error);
        gst_message_unref(message);
        return text;
    }
    bool Finish()
    {
        bool finished = FinishRecording(m_bin, kFinishTimeout);
        std::lock_guard guard(m_lock);
        m_fed = m_frames;
        return finished;
    }
    // The frames that went into the file: those that entered the bin before it was finished.
    int Fed()
    {
        std::lock_guard guard(m_lock);
        return m_fed;
    }
    void Pause()
    {
        gst_element_set_state(m_pipeline, GST_STATE_PAUSED);
        gst_element_get_state(m_pipeline, nullptr, nullptr, 5 * GST_SECOND);
    }
    void Stop() { gst_element_set_state(m_pipeline, GST_STATE_NULL); }

private:
    static GstPadProbeReturn CountFrame(GstPad*, GstPadProbeInfo*, gpointer data)
    {
        auto* self = static_cast<Capture*>(data);
        {
            std::lock_guard guard(self->m_lock);
            self->m_frames++;
        }
        self->m_frameCame.notify_all();
        return GST_PAD_PROBE_OK;
    }

    GstElement* m_pipeline = nullptr;
    GstElement* m_bin = nullptr;
    std::mutex m_lock;
    std::condition_variable m_frameCame;
    int m_frames = 0;
    int m_fed = 0;
};

// A live picture with its running time drawn over it, then `last` (named "video").
std::string VideoSource(const char* picture, int width, int height, int rate, const char* last = "identity")
{
    std::ostringstream text;
    text << picture << " ! video/x-raw,width=" << width << ",height=" << height << ",framerate=" << rate
         << "/1 ! timeoverlay ! " << last << " name=video";
    return text.str();
}

constexpr const char* kSound = " audiotestsrc is-live=true wave=ticks name=audio";

struct Expected {
    int width;
    int height;
    int framesPerSecond;
    bool sound;
};

// The file plays in any player: the right streams, size and length, every frame fed decoded, and not
// one complaint from a full decode.
void ExpectCompleteFile(const RecordedFile& file, int framesFed, const Expected& expected)
{
    ASSERT_TRUE(file.readable);
    EXPECT_EQ(file.decodeErrors, "");
    const RecordedFile::Stream* video = file.Of("video");
    ASSERT_NE(video, nullptr) << "no video stream";
    EXPECT_EQ(video->codec, "wmv2");
    EXPECT_EQ(video->width, expected.width);
    EXPECT_EQ(video->height, expected.height);
    EXPECT_EQ(file.videoFrames, framesFed);
    const RecordedFile::Stream* audio = file.Of("audio");
    if (expected.sound) {
        ASSERT_NE(audio, nullptr) << "no audio stream";
        EXPECT_EQ(audio->codec, "wmav2");
    } else {
        EXPECT_EQ(audio, nullptr);
        EXPECT_EQ(file.streams.size(), 1u);
    }
    double interval = 1.0 / expected.framesPerSecond;
    // The picture ends one frame after its last one; the sound may go on a little after it stopped.
    EXPECT_NEAR(video->packetEnd, framesFed * interval, interval);
    EXPECT_GE(file.duration, video->packetEnd - interval);
    EXPECT_LE(file.duration, video->packetEnd + 1.0) << "sound long after the picture ended";
    EXPECT_NEAR(file.start, 0.0, interval);
}

void ExpectBitRate(const RecordedFile& file, int framesFed, int framesPerSecond, int target)
{
    const RecordedFile::Stream* video = file.Of("video");
    ASSERT_NE(video, nullptr);
    double seconds = static_cast<double>(framesFed) / framesPerSecond;
    EXPECT_NEAR(video->bytes * 8 / seconds, target, target * 0.25) << "video bit rate for a target of " << target;
}

class RecordingBinTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gst_init(nullptr, nullptr);
        if (!RecordingElementsAvailable())
            GTEST_SKIP() << "the WMV/WMA encoders or the ASF muxer are not installed";
        if (!ToolExists("ffprobe") || !ToolExists("ffmpeg"))
            GTEST_SKIP() << "ffprobe and ffmpeg check the files";
        std::string pattern = (fs::temp_directory_path() / "lumo-recording-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_folder = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        if (!m_folder.empty())
            fs::remove_all(m_folder, ignored);
    }
    std::string File(const std::string& name) const { return m_folder + "/" + name; }

    // Records `frames` frames of `description` (which names its sources "video" and "audio") and
    // finishes the file while the sources still run.
    int Record(const std::string& description, const RecordingSettings& settings, int frames)
    {
        Capture capture(description, settings);
        if (!capture.Valid())
            return -1;
        EXPECT_TRUE(capture.Connect("video"));
        if (settings.withAudio) {
            EXPECT_TRUE(capture.Connect("audio"));
        }
        EXPECT_TRUE(capture.Play());
        EXPECT_TRUE(capture.WaitForFrames(frames)) << "the frames did not come";
        EXPECT_TRUE(capture.Finish());
        capture.Stop();
        return capture.Fed();
    }

private:
    std::string m_folder;
};

TEST_F(RecordingBinTest, DetailedPictureIsRecordedAtEachBitRate)
{
    Watchdog watchdog(60s);
    for (int target : { 480000, 640000, 960000 }) {
        SCOPED_TRACE(target);
        RecordingSettings settings;
        settings.path = File("vga-" + std::to_string(target) + ".wmv");
        settings.videoBitRate = target;
        int fed = Record(VideoSource(kDetailedPicture, 640, 480, 30) + kSound, settings, 60);
        RecordedFile file = ProbeRecording(settings.path);
        ExpectCompleteFile(file, fed, { 640, 480, 30, true });
        ExpectBitRate(file, fed, 30, target);
    }
}

TEST_F(RecordingBinTest, HighDefinitionPictureIsRecorded)
{
    Watchdog watchdog(30s);
    RecordingSettings settings;
    settings.path = File("hd.wmv");
    settings.width = 1280;
    settings.height = 720;
    settings.videoBitRate = 960000;
    int fed = Record(VideoSource(kDetailedPicture, 1280, 720, 30) + kSound, settings, 60);
    RecordedFile file = ProbeRecording(settings.path);
    ExpectCompleteFile(file, fed, { 1280, 720, 30, true });
    ExpectBitRate(file, fed, 30, 960000);
}

TEST_F(RecordingBinTest, InputIsScaledToThePictureSize)
{
    Watchdog watchdog(30s);
    RecordingSettings settings;
    settings.path = File("scaled.wmv");
    settings.width = 322;
    settings.height = 242;
    int fed = Record(VideoSource("videotestsrc is-live=true pattern=ball", 640, 480, 30) + kSound, settings, 30);
    ExpectCompleteFile(ProbeRecording(settings.path), fed, { 322, 242, 30, true });
}

// The frame rate is the source's, and the file starts at zero although the recording joins a
// pipeline that has been running for a while.
TEST_F(RecordingBinTest, SlowerSourceJoinedLateStartsTheFileAtZero)
{
    Watchdog watchdog(30s);
    RecordingSettings settings;
    settings.path = File("late.wmv");
    std::string description = VideoSource(kDetailedPicture, 640, 480, 15, "tee allow-not-linked=true")
        + " audiotestsrc is-live=true wave=ticks ! tee name=audio allow-not-linked=true";
    Capture capture(description, settings);
    ASSERT_TRUE(capture.Valid());
    ASSERT_TRUE(capture.Play());
    std::this_thread::sleep_for(1s);
    gst_element_sync_state_with_parent(capture.Bin());
    GstElement* pipeline = GST_ELEMENT(gst_element_get_parent(capture.Bin()));
    for (const char* name : { "video", "audio" }) {
        GstElement* tee = gst_bin_get_by_name(GST_BIN(pipeline), name);
        EXPECT_TRUE(gst_element_link_pads(tee, "src_%u", capture.Bin(), name));
        gst_object_unref(tee);
    }
    gst_object_unref(pipeline);
    ASSERT_TRUE(capture.WaitForFrames(30));
    ASSERT_TRUE(capture.Finish());
    capture.Stop();
    RecordedFile file = ProbeRecording(settings.path);
    ExpectCompleteFile(file, capture.Fed(), { 640, 480, 15, true });
    ExpectBitRate(file, capture.Fed(), 15, settings.videoBitRate);
}

TEST_F(RecordingBinTest, WithoutSoundTheFileHasNoAudioStream)
{
    Watchdog watchdog(30s);
    RecordingSettings settings;
    settings.path = File("silent.wmv");
    settings.withAudio = false;
    GstElement* bin = CreateRecordingBin(settings);
    ASSERT_NE(bin, nullptr);
    GstPad* audio = gst_element_get_static_pad(bin, "audio");
    EXPECT_EQ(audio, nullptr);
    if (audio)
        gst_object_unref(audio);
    gst_object_unref(gst_object_ref_sink(bin));

    int fed = Record(VideoSource(kDetailedPicture, 640, 480, 30), settings, 45);
    ExpectCompleteFile(ProbeRecording(settings.path), fed, { 640, 480, 30, false });
}

TEST_F(RecordingBinTest, SourceThatFailsMidStreamLeavesACompleteFile)
{
    Watchdog watchdog(30s);
    RecordingSettings settings;
    settings.path = File("failed.wmv");
    Capture capture(VideoSource(kDetailedPicture, 640, 480, 30, "identity error-after=40") + kSound, settings);
    ASSERT_TRUE(capture.Valid());
    ASSERT_TRUE(capture.Connect("video"));
    ASSERT_TRUE(capture.Connect("audio"));
    ASSERT_TRUE(capture.Play());
    EXPECT_NE(capture.WaitForError(), "");
    EXPECT_TRUE(capture.Finish());
    capture.Stop();
    EXPECT_GT(capture.Fed(), 30);
    ExpectCompleteFile(ProbeRecording(settings.path), capture.Fed(), { 640, 480, 30, true });
}

TEST_F(RecordingBinTest, SourcesThatVanishLeaveACompleteFile)
{
    Watchdog watchdog(30s);
    RecordingSettings settings;
    settings.path = File("vanished.wmv");
    Capture capture(VideoSource(kDetailedPicture, 640, 480, 30) + kSound, settings);
    ASSERT_TRUE(capture.Valid());
    ASSERT_TRUE(capture.Connect("video"));
    ASSERT_TRUE(capture.Connect("audio"));
    ASSERT_TRUE(capture.Play());
    ASSERT_TRUE(capture.WaitForFrames(30));
    // Gone without an end-of-stream, as a camera that is pulled out.
    capture.Disconnect("video");
    capture.Disconnect("audio");
    EXPECT_TRUE(capture.Finish());
    EXPECT_TRUE(FinishRecording(capture.Bin(), kFinishTimeout)) << "finishing again";
    capture.Stop();
    ExpectCompleteFile(ProbeRecording(settings.path), capture.Fed(), { 640, 480, 30, true });
}

// A pipeline paused when the recording is finished ends in a complete file too.
TEST_F(RecordingBinTest, PausedPipelineIsFinishedToo)
{
    Watchdog watchdog(30s);
    RecordingSettings settings;
    settings.path = File("paused.wmv");
    Capture capture(VideoSource(kDetailedPicture, 640, 480, 30) + kSound, settings);
    ASSERT_TRUE(capture.Valid());
    ASSERT_TRUE(capture.Connect("video"));
    ASSERT_TRUE(capture.Connect("audio"));
    ASSERT_TRUE(capture.Play());
    ASSERT_TRUE(capture.WaitForFrames(30));
    capture.Pause();
    EXPECT_TRUE(capture.Finish());
    capture.Stop();
    ExpectCompleteFile(ProbeRecording(settings.path), capture.Fed(), { 640, 480, 30, true });
}

// A microphone that never delivered: the file still has the sound stream it promised.
TEST_F(RecordingBinTest, SoundThatNeverCameStillGivesAPlayableFile)
{
    Watchdog watchdog(30s);
    RecordingSettings settings;
    settings.path = File("no-sound-came.wmv");
    Capture capture(VideoSource(kDetailedPicture, 640, 480, 30), settings);
    ASSERT_TRUE(capture.Valid());
    ASSERT_TRUE(capture.Connect("video"));
    ASSERT_TRUE(capture.Play());
    ASSERT_TRUE(capture.WaitForFrames(30));
    EXPECT_TRUE(capture.Finish());
    capture.Stop();
    ExpectCompleteFile(ProbeRecording(settings.path), capture.Fed(), { 640, 480, 30, true });
}

TEST_F(RecordingBinTest, FinishingNeedsARunningRecordingBin)
{
    Watchdog watchdog(30s);
    EXPECT_FALSE(FinishRecording(nullptr, 10ms));
    GstElement* other = gst_element_factory_make("fakesink", nullptr);
    gst_object_ref_sink(other);
    EXPECT_FALSE(FinishRecording(other, 10ms));
    gst_object_unref(other);

    RecordingSettings settings;
    settings.path = File("never-ran.wmv");
    GstElement* bin = CreateRecordingBin(settings);
    ASSERT_NE(bin, nullptr);
    gst_object_ref_sink(bin);
    auto start = Clock::now();
    EXPECT_FALSE(FinishRecording(bin, kFinishTimeout));
    EXPECT_LT(Clock::now() - start, 1s) << "nothing to wait for in a bin that never ran";
    gst_object_unref(bin);
}

std::vector<std::uint8_t> Contents(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>() };
}

std::uint64_t FieldAt(const std::vector<std::uint8_t>& file, std::uint64_t offset, unsigned size)
{
    std::uint64_t value = 0;
    for (unsigned i = size; i-- > 0;)
        value = value << 8 | file.at(offset + i);
    return value;
}

TEST_F(RecordingBinTest, AFileCutShortTellsTheLengthOfWhatItHolds)
{
    Watchdog watchdog(60s);
    RecordingSettings settings;
    settings.path = File("cut.wmv");
    Capture capture(VideoSource(kDetailedPicture, 640, 480, 15) + kSound, settings);
    ASSERT_TRUE(capture.Valid());
    ASSERT_TRUE(capture.Connect("video"));
    ASSERT_TRUE(capture.Connect("audio"));
    ASSERT_TRUE(capture.Play());
    ASSERT_TRUE(capture.WaitForFrames(60)) << "the frames did not come";
    // The file sink writes unbuffered: a copy now is what a kill would leave.
    std::string cut = File("cut-copy.wmv");
    std::filesystem::copy_file(settings.path, cut);
    double fed = capture.Frames() / 15.0;
    EXPECT_TRUE(capture.Finish());
    capture.Stop();

    RecordedFile file = ProbeRecording(cut);
    ASSERT_TRUE(file.readable);
    EXPECT_EQ(file.decodeErrors, "");
    ASSERT_NE(file.Of("video"), nullptr);
    ASSERT_NE(file.Of("audio"), nullptr);
    // The header's length is that of the packets a player reads, and short of what had entered the
    // bin only by what was still on its way through the encoders and the muxer.
    EXPECT_NEAR(file.duration, file.Of("video")->packetEnd, 0.25);
    EXPECT_LE(file.duration, fed + 0.1);
    EXPECT_GE(file.duration, fed - 0.6);
    EXPECT_NEAR(file.videoFrames / 15.0, file.duration, 0.25);
    ExpectCompleteFile(ProbeRecording(settings.path), capture.Fed(), { 640, 480, 15, true });
}

TEST_F(RecordingBinTest, TheHeaderKeptWhileRecordingAgreesWithTheOneTheMuxerFinishesWith)
{
    Watchdog watchdog(60s);
    RecordingSettings settings;
    settings.path = File("finished.wmv");
    int fed = Record(VideoSource(kDetailedPicture, 640, 480, 15) + kSound, settings, 30);
    ASSERT_GT(fed, 0);
    std::vector<std::uint8_t> finished = Contents(settings.path);
    // Followed as it was written: the fields last known before the muxer's index are those of every
    // packet.
    AsfProgress progress;
    std::vector<lumo::media::AsfHeaderField> fields;
    for (size_t at = 0; at < finished.size(); at += 100) {
        if (progress.Following() && !progress.HeaderFields().empty())
            fields = progress.HeaderFields();
        size_t size = std::min<size_t>(100, finished.size() - at);
        progress.Append(std::span<const std::uint8_t>(finished.data() + at, size));
    }
    ASSERT_EQ(fields.size(), 6u);
    const char* names[] = { "file size", "data packets", "play duration", "send duration", "data size",
                            "data object's packets" };
    for (size_t i = 0; i < fields.size(); i++) {
        std::uint64_t muxer = FieldAt(finished, fields[i].offset, fields[i].size);
        if (i == 0) {
            EXPECT_LE(fields[i].value, muxer) << "the muxer's file size also counts its index";
        } else if (i == 2 || i == 3) {
            // The muxer counts the last frame's own duration too.
            EXPECT_NEAR(static_cast<double>(fields[i].value), static_cast<double>(muxer), 100 * 10000.0)
                << names[i];
        } else {
            EXPECT_EQ(fields[i].value, muxer) << names[i];
        }
    }
}

TEST_F(RecordingBinTest, ANearlyFullDiskEndsTheRecordingWhileItsFileCanStillBeCompleted)
{
    Watchdog watchdog(60s);
    SmallFileSystem disk(4 * 1024 * 1024);
    if (!disk.Problem().empty())
        GTEST_SKIP() << disk.Problem();
    RecordingSettings settings;
    settings.path = disk.Folder() + "/full.wmv";
    std::uint64_t reserve = RecordingReserve(settings);
    // About three seconds of recording before the reserve is reached.
    ASSERT_TRUE(disk.LeaveFree(reserve + 200 * 1024));
    Capture capture(VideoSource(kDetailedPicture, 640, 480, 15) + kSound, settings);
    ASSERT_TRUE(capture.Valid());
    ASSERT_TRUE(capture.Connect("video"));
    ASSERT_TRUE(capture.Connect("audio"));
    ASSERT_TRUE(capture.Play());
    EXPECT_NE(capture.WaitForError(), "") << "the recording did not end before the disk filled";
    EXPECT_LT(disk.Free(), reserve) << "ended with room to spare";
    EXPECT_TRUE(capture.Finish());
    capture.Stop();
    EXPECT_GT(disk.Free(), 0u) << "completing the file filled the disk";
    RecordedFile file = ProbeRecording(settings.path);
    ExpectCompleteFile(file, capture.Fed(), { 640, 480, 15, true });
    EXPECT_GT(file.duration, 1.5);
}

TEST(RecordingBin, RefusesSettingsItCannotWrite)
{
    gst_init(nullptr, nullptr);
    RecordingSettings noPath;
    noPath.path.clear();
    EXPECT_EQ(CreateRecordingBin(noPath), nullptr);
    RecordingSettings noPicture;
    noPicture.path = "x.wmv";
    noPicture.width = 0;
    EXPECT_EQ(CreateRecordingBin(noPicture), nullptr);
    RecordingSettings noBitRate;
    noBitRate.path = "x.wmv";
    noBitRate.videoBitRate = 0;
    EXPECT_EQ(CreateRecordingBin(noBitRate), nullptr);
}

} // namespace
