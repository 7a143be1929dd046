#include "platform/media/gst/Devices.h"
#include "platform/media/gst/VirtualDevices.h"

#include <gtest/gtest.h>

#include <gst/gst.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace lumo::media;

namespace {

constexpr GstClockTime kWatchdog = 10 * GST_SECOND;

// ---------------------------------------------------------------------------------------------
// A device provider of the test's own, so that the path of real devices (monitor, caps, removal,
// gst_device_create_element) runs on a machine without cameras or a sound server.

constexpr const char* kFakeProviderName = "lumotestdeviceprovider";
constexpr const char* kElementKey = "lumo-test-element";

GstElement* FakeCreateElement(GstDevice* device, const gchar*)
{
    auto* description = static_cast<const char*>(g_object_get_data(G_OBJECT(device), kElementKey));
    return gst_parse_bin_from_description(description, TRUE, nullptr);
}

GType FakeDeviceType()
{
    static const GType type = g_type_register_static_simple(GST_TYPE_DEVICE, "LumoTestDevice",
        sizeof(GstDeviceClass), [](gpointer klass, gpointer) { GST_DEVICE_CLASS(klass)->create_element = FakeCreateElement; },
        sizeof(GstDevice), nullptr, GTypeFlags(0));
    return type;
}

GType FakeProviderType()
{
    static const GType type = g_type_register_static_simple(GST_TYPE_DEVICE_PROVIDER, "LumoTestDeviceProvider",
        sizeof(GstDeviceProviderClass),
        [](gpointer klass, gpointer) {
            auto* provider = GST_DEVICE_PROVIDER_CLASS(klass);
            provider->probe = [](GstDeviceProvider*) -> GList* { return nullptr; };
            provider->start = [](GstDeviceProvider*) -> gboolean { return TRUE; };
            provider->stop = [](GstDeviceProvider*) {};
            gst_device_provider_class_set_static_metadata(provider, "Lumo test devices", "Video/Audio/Source",
                "Devices the tests plug in and out", "Lumo");
        },
        sizeof(GstDeviceProvider), nullptr, GTypeFlags(0));
    return type;
}

void RegisterFakeProvider()
{
    static const bool registered = gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "lumotestdevices",
        "Devices for the tests", [](GstPlugin* plugin) -> gboolean {
            return gst_device_provider_register(plugin, kFakeProviderName, GST_RANK_PRIMARY, FakeProviderType());
        },
        "1.0", "LGPL", "lumo", "lumo", "https://lumo.invalid/");
    ASSERT_TRUE(registered);
}

// A device plugged into the fake provider for the life of the object.
class PluggedDevice {
public:
    PluggedDevice(const char* name, const char* deviceClass, const char* caps, const char* element,
                  GstStructure* properties)
    {
        GstCaps* deviceCaps = gst_caps_from_string(caps);
        m_device = GST_DEVICE(g_object_new(FakeDeviceType(), "display-name", name, "device-class", deviceClass,
            "caps", deviceCaps, "properties", properties, nullptr));
        gst_caps_unref(deviceCaps);
        gst_structure_free(properties);
        g_object_set_data_full(G_OBJECT(m_device), kElementKey, g_strdup(element), g_free);
        gst_object_ref_sink(m_device);
        m_provider = gst_device_provider_factory_get_by_name(kFakeProviderName);
        gst_device_provider_device_add(m_provider, m_device);
    }
    ~PluggedDevice()
    {
        Unplug();
        gst_object_unref(m_provider);
        gst_object_unref(m_device);
    }
    void Unplug()
    {
        if (m_plugged)
            gst_device_provider_device_remove(m_provider, m_device);
        m_plugged = false;
    }

private:
    GstDeviceProvider* m_provider = nullptr;
    GstDevice* m_device = nullptr;
    bool m_plugged = true;
};

// ---------------------------------------------------------------------------------------------

// Keeps LUMO_VIRTUAL_DEVICES as the test found it and starts every test with no removed device.
class DevicesTest : public testing::Test {
protected:
    void SetUp() override
    {
        gst_init(nullptr, nullptr);
        RegisterFakeProvider();
        if (const char* text = std::getenv(kVirtualDevicesVariable))
            m_saved = text;
        ForgetVirtualDeviceRemovals();
    }
    void TearDown() override
    {
        if (m_saved)
            setenv(kVirtualDevicesVariable, m_saved->c_str(), 1);
        else
            unsetenv(kVirtualDevicesVariable);
        ForgetVirtualDeviceRemovals();
    }

    static DeviceDescription OnlyDevice(const std::string& text)
    {
        auto list = ParseVirtualDevices(text);
        EXPECT_TRUE(list.skipped.empty()) << list.skipped.front();
        EXPECT_EQ(list.devices.size(), 1U);
        return list.devices.empty() ? DeviceDescription {} : list.devices.front();
    }

private:
    std::optional<std::string> m_saved;
};

bool SameCapability(const VideoCapability& a, const VideoCapability& b)
{
    return a.format == b.format && a.width == b.width && a.height == b.height && a.frameInterval == b.frameInterval;
}

// A source bin feeding an appsink, with bounded waits for samples and bus messages.
class Capture {
public:
    explicit Capture(GstElement* source, const char* between = nullptr)
    {
        m_pipeline = gst_pipeline_new(nullptr);
        m_sink = gst_element_factory_make("appsink", nullptr);
        g_object_set(m_sink, "sync", FALSE, "max-buffers", 64, nullptr);
        gst_bin_add(GST_BIN(m_pipeline), m_sink);
        if (!source)
            return;
        gst_bin_add(GST_BIN(m_pipeline), source);
        GstElement* upstream = source;
        if (between) {
            GstElement* middle = gst_parse_bin_from_description(between, TRUE, nullptr);
            gst_bin_add(GST_BIN(m_pipeline), middle);
            gst_element_link(source, middle);
            upstream = middle;
        }
        m_linked = gst_element_link(upstream, m_sink);
    }
    ~Capture()
    {
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        gst_object_unref(m_pipeline);
    }
    bool Linked() const { return m_linked; }
    GstStateChangeReturn Play() { return gst_element_set_state(m_pipeline, GST_STATE_PLAYING); }

    // Owned sample, or null when none came within the watchdog time.
    std::unique_ptr<GstSample, decltype(&gst_sample_unref)> Pull()
    {
        GstSample* sample = nullptr;
        g_signal_emit_by_name(m_sink, "try-pull-sample", kWatchdog, &sample);
        return {sample, gst_sample_unref};
    }

    // Pulls what is left until the stream ends (or nothing comes within the watchdog time).
    int Drain()
    {
        int samples = 0;
        while (Pull())
            ++samples;
        return samples;
    }

    // The first error on the bus within the watchdog time; null when none.
    std::unique_ptr<GError, decltype(&g_error_free)> WaitForError()
    {
        GstBus* bus = gst_element_get_bus(m_pipeline);
        GstMessage* message = gst_bus_timed_pop_filtered(bus, kWatchdog, GST_MESSAGE_ERROR);
        gst_object_unref(bus);
        GError* error = nullptr;
        if (message) {
            gst_message_parse_error(message, &error, nullptr);
            gst_message_unref(message);
        }
        return {error, g_error_free};
    }

private:
    GstElement* m_pipeline = nullptr;
    GstElement* m_sink = nullptr;
    bool m_linked = false;
};

// Tells whether an object has been finalized, i.e. nothing kept a reference to it. The last
// reference may go on another thread a moment after the pipeline is dropped (a state change still
// finishing), so the answer waits for it within the watchdog time.
class Finalized {
public:
    explicit Finalized(gpointer object)
        : m_gone(std::make_shared<std::atomic<bool>>(false))
    {
        // The callback owns a reference to the flag, so a late finalization finds it alive.
        g_object_weak_ref(G_OBJECT(object), [](gpointer data, GObject*) {
            auto* gone = static_cast<std::shared_ptr<std::atomic<bool>>*>(data);
            (*gone)->store(true);
            delete gone;
        }, new std::shared_ptr<std::atomic<bool>>(m_gone));
    }
    bool operator()() const
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::nanoseconds(kWatchdog);
        while (!m_gone->load() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return m_gone->load();
    }

private:
    std::shared_ptr<std::atomic<bool>> m_gone;
};

struct SampleShape {
    std::string format;
    int width = 0;
    int height = 0;
    int rateNumerator = 0;
    int rateDenominator = 0;
};

SampleShape ShapeOf(GstSample* sample)
{
    SampleShape shape;
    const GstStructure* structure = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
    if (const char* format = gst_structure_get_string(structure, "format"))
        shape.format = format;
    gst_structure_get_int(structure, "width", &shape.width);
    gst_structure_get_int(structure, "height", &shape.height);
    gst_structure_get_fraction(structure, "framerate", &shape.rateNumerator, &shape.rateDenominator);
    return shape;
}

struct Pixel {
    int red, green, blue;
};

// Reads one pixel of an RGB sample.
Pixel PixelAt(GstSample* sample, int x, int y)
{
    SampleShape shape = ShapeOf(sample);
    GstMapInfo map;
    gst_buffer_map(gst_sample_get_buffer(sample), &map, GST_MAP_READ);
    int stride = (shape.width * 3 + 3) & ~3;
    const guint8* p = map.data + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
    Pixel pixel {p[0], p[1], p[2]};
    gst_buffer_unmap(gst_sample_get_buffer(sample), &map);
    return pixel;
}

::testing::AssertionResult Near(Pixel actual, Pixel expected, int tolerance = 12)
{
    if (std::abs(actual.red - expected.red) <= tolerance && std::abs(actual.green - expected.green) <= tolerance
        && std::abs(actual.blue - expected.blue) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << actual.red << "," << actual.green << "," << actual.blue
                                         << ") is not near (" << expected.red << "," << expected.green << ","
                                         << expected.blue << ")";
}

// Runs `work` on its own thread and fails the test when it has not finished in time; the thread
// is left behind then, as a hung library call cannot be cancelled.
template <typename Result>
std::optional<Result> WithWatchdog(std::function<Result()> work, std::chrono::seconds limit = std::chrono::seconds(20))
{
    auto task = std::make_shared<std::packaged_task<Result()>>(std::move(work));
    auto future = task->get_future();
    std::thread([task] { (*task)(); }).detach();
    if (future.wait_for(limit) != std::future_status::ready) {
        ADD_FAILURE() << "watchdog: no answer within " << limit.count() << " s";
        return std::nullopt;
    }
    return future.get();
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The text of LUMO_VIRTUAL_DEVICES

TEST_F(DevicesTest, TheRunScriptsShortFormGivesOneCameraWithDefaultsAndOneMicrophone)
{
    auto list = ParseVirtualDevices("video:Lumo Virtual Camera;audio:Lumo Virtual Microphone");
    EXPECT_TRUE(list.skipped.empty());
    ASSERT_EQ(list.devices.size(), 2U);
    const DeviceDescription& camera = list.devices[0];
    EXPECT_EQ(camera.kind, DeviceKind::Video);
    EXPECT_EQ(camera.id, "virtual:video:0");
    EXPECT_EQ(camera.friendlyName, "Lumo Virtual Camera");
    EXPECT_TRUE(camera.isVirtual);
    EXPECT_FALSE(camera.faults.cannotStart || camera.faults.nameUnreadable || camera.faults.notVideoMajorType);
    EXPECT_EQ(camera.faults.streamErrorAfterFrames, -1);
    EXPECT_EQ(camera.faults.removedAfterFrames, -1);
    ASSERT_FALSE(camera.videoCaps.empty());
    EXPECT_TRUE(SameCapability(camera.videoCaps.front(), {PixelFormat::YUY2, 640, 480, 333333}));
    auto has = [&](PixelFormat format, int width, int height) {
        return std::any_of(camera.videoCaps.begin(), camera.videoCaps.end(), [&](const VideoCapability& c) {
            return c.format == format && c.width == width && c.height == height && c.frameInterval > 0;
        });
    };
    EXPECT_TRUE(has(PixelFormat::MJPG, 640, 480));
    EXPECT_TRUE(has(PixelFormat::YUY2, 800, 600));
    EXPECT_TRUE(has(PixelFormat::MJPG, 1280, 720));
    EXPECT_TRUE(has(PixelFormat::YUY2, 320, 240));

    const DeviceDescription& microphone = list.devices[1];
    EXPECT_EQ(microphone.kind, DeviceKind::Audio);
    EXPECT_EQ(microphone.id, "virtual:audio:0");
    EXPECT_EQ(microphone.friendlyName, "Lumo Virtual Microphone");
    ASSERT_EQ(microphone.audioCaps.size(), 1U);
    EXPECT_EQ(microphone.audioCaps[0].sampleRate, 44100);
    EXPECT_EQ(microphone.audioCaps[0].channels, 2);
    EXPECT_EQ(microphone.audioCaps[0].bitsPerSample, 16);
}

TEST_F(DevicesTest, CapabilitiesAndFaultsAreReadInOrder)
{
    auto list = ParseVirtualDevices(
        "video:Desk Cam|caps=YUY2 640x480@30,MJPG 1280x720@30,YUY2 800x600@20|fault=error-after:45;"
        "video:Other|fault=removed-after:30,cannot-start|fault=name-unreadable,not-video;"
        "audio:Mic|caps=48000/1,22050/2/8;"
        " VIDEO : A\\;B\\|C | CAPS = rgb32 320 x 240 @ 29.97 , i420 64x32@7.5, nv12 1920x1080");
    EXPECT_TRUE(list.skipped.empty()) << list.skipped.front();
    ASSERT_EQ(list.devices.size(), 4U);

    const DeviceDescription& desk = list.devices[0];
    ASSERT_EQ(desk.videoCaps.size(), 3U);
    EXPECT_TRUE(SameCapability(desk.videoCaps[0], {PixelFormat::YUY2, 640, 480, 333333}));
    EXPECT_TRUE(SameCapability(desk.videoCaps[1], {PixelFormat::MJPG, 1280, 720, 333333}));
    EXPECT_TRUE(SameCapability(desk.videoCaps[2], {PixelFormat::YUY2, 800, 600, 500000}));
    EXPECT_EQ(desk.faults.streamErrorAfterFrames, 45);
    EXPECT_EQ(desk.faults.removedAfterFrames, -1);

    const DeviceDescription& other = list.devices[1];
    EXPECT_EQ(other.id, "virtual:video:1");
    EXPECT_EQ(other.faults.removedAfterFrames, 30);
    EXPECT_TRUE(other.faults.cannotStart);
    EXPECT_TRUE(other.faults.nameUnreadable);
    EXPECT_TRUE(other.faults.notVideoMajorType);
    EXPECT_EQ(other.friendlyName, "Other");
    EXPECT_FALSE(other.videoCaps.empty());

    const DeviceDescription& mic = list.devices[2];
    EXPECT_EQ(mic.id, "virtual:audio:0");
    ASSERT_EQ(mic.audioCaps.size(), 2U);
    EXPECT_EQ(mic.audioCaps[0].sampleRate, 48000);
    EXPECT_EQ(mic.audioCaps[0].channels, 1);
    EXPECT_EQ(mic.audioCaps[0].bitsPerSample, 16);
    EXPECT_EQ(mic.audioCaps[1].bitsPerSample, 8);

    const DeviceDescription& escaped = list.devices[3];
    EXPECT_EQ(escaped.id, "virtual:video:2");
    EXPECT_EQ(escaped.friendlyName, "A;B|C");
    ASSERT_EQ(escaped.videoCaps.size(), 3U);
    EXPECT_TRUE(SameCapability(escaped.videoCaps[0], {PixelFormat::RGB32, 320, 240, 333667}));
    EXPECT_TRUE(SameCapability(escaped.videoCaps[1], {PixelFormat::I420, 64, 32, 1333333}));
    EXPECT_TRUE(SameCapability(escaped.videoCaps[2], {PixelFormat::NV12, 1920, 1080, 333333}));
}

TEST_F(DevicesTest, MalformedEntriesAreSkippedAndTheOthersStand)
{
    const std::vector<std::string> bad = {
        "camera:Wrong kind", "No kind at all", "video:", "video:   ", "video:X|caps=", "video:X|caps=YUY2",
        "video:X|caps=YUY2 641x480", "video:X|caps=YUY2 16x16", "video:X|caps=FOO 640x480",
        "video:X|caps=YUY2 640x480@0", "video:X|caps=YUY2 640x480@abc", "video:X|caps=YUY2 640x480@1e999",
        "video:X|caps=YUY2 99999999999999x480", "video:X|caps=YUY2 640x480,", "video:X|fault=explode",
        "video:X|fault=error-after:-1", "video:X|fault=error-after:", "video:X|fault=removed-after:12abc",
        "video:X|colour=red", "video:X|novalue", "audio:M|caps=44100/3", "audio:M|caps=44100/2/12",
        "audio:M|caps=YUY2 640x480", "audio:M|caps=100/1", "video:\xff\xfe", "video:X|caps=YUY2 640x480@-5",
    };
    std::string text = "video:First";
    for (const auto& entry : bad)
        text += ";" + entry;
    text += ";;  ;audio:Last|";
    auto list = ParseVirtualDevices(text);
    ASSERT_EQ(list.devices.size(), 2U);
    EXPECT_EQ(list.devices[0].friendlyName, "First");
    EXPECT_EQ(list.devices[1].friendlyName, "Last");
    EXPECT_EQ(list.devices[1].id, "virtual:audio:0");
    EXPECT_EQ(list.skipped.size(), bad.size());

    EXPECT_TRUE(ParseVirtualDevices("").devices.empty());
    EXPECT_TRUE(ParseVirtualDevices(" ; ;").skipped.empty());
}

TEST_F(DevicesTest, GarbageNeverYieldsADeviceWithoutNameOrCapabilities)
{
    std::mt19937 random(20240611);
    const std::string alphabet = "videoaudio:|;=,@x\\ capsfault-YUY2MJPG0123456789/.\xc3\xa9\xff";
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        size_t length = random() % 60;
        for (size_t i = 0; i < length; ++i)
            text += alphabet[random() % alphabet.size()];
        if (round % 3 == 0)
            text = "video:Cam|" + text;
        for (const auto& device : ParseVirtualDevices(text).devices) {
            ASSERT_FALSE(device.friendlyName.empty()) << text;
            ASSERT_TRUE(g_utf8_validate(device.friendlyName.c_str(), -1, nullptr)) << text;
            ASSERT_TRUE(device.kind == DeviceKind::Video ? !device.videoCaps.empty() : !device.audioCaps.empty()) << text;
        }
    }
}

TEST_F(DevicesTest, SkippedEntriesAreNotedOnceForEachText)
{
    testing::internal::CaptureStderr();
    ListVirtualDevices("video:Good;video|broken", DeviceKind::Video);
    ListVirtualDevices("video:Good;video|broken", DeviceKind::Audio);
    ListVirtualDevices("video:Good", DeviceKind::Video);
    std::string noted = testing::internal::GetCapturedStderr();
    EXPECT_NE(noted.find("video|broken"), std::string::npos) << noted;
    EXPECT_EQ(noted.find("video|broken"), noted.rfind("video|broken")) << noted;
}

// ---------------------------------------------------------------------------------------------
// Listing

TEST_F(DevicesTest, TheVariableIsTheOnlySourceOfDevicesWhenSet)
{
    PluggedDevice plugged("Fake Camera", "Video/Source", "video/x-raw,format=YUY2,width=640,height=480,framerate=30/1",
        "videotestsrc is-live=true", gst_structure_new("props", "device.path", G_TYPE_STRING, "/fake/listed", nullptr));
    setenv(kVirtualDevicesVariable, "video:Cam A;audio:Mic;video:Cam B", 1);
    auto cameras = ListDevices(DeviceKind::Video);
    ASSERT_EQ(cameras.size(), 2U);
    EXPECT_EQ(cameras[0].friendlyName, "Cam A");
    EXPECT_EQ(cameras[1].friendlyName, "Cam B");
    EXPECT_EQ(cameras[1].id, "virtual:video:1");
    auto microphones = ListDevices(DeviceKind::Audio);
    ASSERT_EQ(microphones.size(), 1U);
    EXPECT_EQ(microphones[0].friendlyName, "Mic");
    EXPECT_TRUE(IsDevicePresent(cameras[0]));

    setenv(kVirtualDevicesVariable, "", 1);
    EXPECT_TRUE(ListDevices(DeviceKind::Video).empty());
    EXPECT_TRUE(ListDevices(DeviceKind::Audio).empty());
}

TEST_F(DevicesTest, WithoutTheVariableTheMonitorAnswersWithoutHanging)
{
    unsetenv(kVirtualDevicesVariable);
    for (DeviceKind kind : {DeviceKind::Video, DeviceKind::Audio}) {
        auto devices = WithWatchdog<std::vector<DeviceDescription>>([kind] { return ListDevices(kind); });
        ASSERT_TRUE(devices.has_value());
        for (const auto& device : *devices) {
            EXPECT_FALSE(device.isVirtual);
            EXPECT_EQ(device.kind, kind);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Virtual cameras

// "MJPG 1280x720@15" -> "MJPG_1280x720".
std::string TestName(std::string capability)
{
    capability = capability.substr(0, capability.find('@'));
    std::replace(capability.begin(), capability.end(), ' ', '_');
    return capability;
}

struct FormatCase {
    const char* capability;
    const char* delivered;
};

class VirtualCameraFormats : public DevicesTest, public testing::WithParamInterface<FormatCase> {};

TEST_P(VirtualCameraFormats, DeliverRawFramesOfTheChosenCapability)
{
    DeviceDescription camera = OnlyDevice(std::string("video:Cam|caps=YUY2 640x480@30,") + GetParam().capability);
    ASSERT_EQ(camera.videoCaps.size(), 2U);
    GstElement* bin = CreateSourceBin(camera, &camera.videoCaps[1], 0);
    ASSERT_NE(bin, nullptr);
    EXPECT_TRUE(g_object_is_floating(bin));
    Finalized gone(bin);
    {
        Capture capture(bin);
        ASSERT_TRUE(capture.Linked());
        ASSERT_NE(capture.Play(), GST_STATE_CHANGE_FAILURE);
        auto sample = capture.Pull();
        ASSERT_TRUE(sample) << "watchdog: no frame";
        SampleShape shape = ShapeOf(sample.get());
        EXPECT_EQ(shape.format, GetParam().delivered);
        EXPECT_EQ(shape.width, camera.videoCaps[1].width);
        EXPECT_EQ(shape.height, camera.videoCaps[1].height);
        EXPECT_EQ(shape.rateNumerator, 15);
        EXPECT_EQ(shape.rateDenominator, 1);
    }
    EXPECT_TRUE(gone());
}

INSTANTIATE_TEST_SUITE_P(EachFormat, VirtualCameraFormats,
    testing::Values(FormatCase {"YUY2 320x240@15", "YUY2"}, FormatCase {"UYVY 352x288@15", "UYVY"},
        FormatCase {"NV12 320x240@15", "NV12"}, FormatCase {"I420 320x240@15", "I420"},
        FormatCase {"YV12 320x240@15", "YV12"}, FormatCase {"RGB24 320x240@15", "BGR"},
        FormatCase {"RGB32 320x240@15", "BGRx"}, FormatCase {"MJPG 1280x720@15", "I420"}),
    [](const testing::TestParamInfo<FormatCase>& info) { return TestName(info.param.capability); });

TEST_F(DevicesTest, AGivenRateWinsAndTheFirstCapabilityIsTheDefault)
{
    DeviceDescription camera = OnlyDevice("video:Cam|caps=I420 160x120@30");
    Capture capture(CreateSourceBin(camera, nullptr, 10.0));
    ASSERT_NE(capture.Play(), GST_STATE_CHANGE_FAILURE);
    auto first = capture.Pull();
    auto second = capture.Pull();
    ASSERT_TRUE(first && second) << "watchdog: no frames";
    SampleShape shape = ShapeOf(first.get());
    EXPECT_EQ(shape.width, 160);
    EXPECT_EQ(shape.rateNumerator, 10);
    EXPECT_EQ(shape.rateDenominator, 1);
    GstClockTime gap = GST_BUFFER_PTS(gst_sample_get_buffer(second.get())) - GST_BUFFER_PTS(gst_sample_get_buffer(first.get()));
    EXPECT_EQ(gap, 100 * GST_MSECOND);
}

class VirtualCameraPicture : public DevicesTest, public testing::WithParamInterface<const char*> {};

// The corners tell every flip and turn apart, whatever the capture format and colorimetry.
TEST_P(VirtualCameraPicture, HasADistinctMarkerInEachCorner)
{
    DeviceDescription camera = OnlyDevice(std::string("video:Cam|caps=") + GetParam());
    Capture capture(CreateSourceBin(camera, nullptr, 0), "videoconvert ! capsfilter caps=video/x-raw,format=RGB");
    ASSERT_NE(capture.Play(), GST_STATE_CHANGE_FAILURE);
    auto sample = capture.Pull();
    ASSERT_TRUE(sample) << "watchdog: no frame";
    SampleShape shape = ShapeOf(sample.get());
    EXPECT_EQ(shape.format, "RGB");
    int right = shape.width - 1;
    int bottom = shape.height - 1;
    // The outermost row and column of a marker may blend with the bars when chroma is resampled.
    for (int inset : {0, 7, 13}) {
        EXPECT_TRUE(Near(PixelAt(sample.get(), inset, inset), {255, 0, 0})) << "top-left " << inset;
        EXPECT_TRUE(Near(PixelAt(sample.get(), right - inset, inset), {0, 255, 0})) << "top-right " << inset;
        EXPECT_TRUE(Near(PixelAt(sample.get(), inset, bottom - inset), {255, 255, 255})) << "bottom-left " << inset;
        EXPECT_TRUE(Near(PixelAt(sample.get(), right - inset, bottom - inset), {0, 0, 255})) << "bottom-right " << inset;
    }
    // Just outside the marker the colour bars show again.
    EXPECT_FALSE(Near(PixelAt(sample.get(), 17, 17), {255, 0, 0}, 40));
}

INSTANTIATE_TEST_SUITE_P(EachFormat, VirtualCameraPicture,
    testing::Values("YUY2 640x480", "UYVY 320x240", "NV12 320x240", "I420 320x240", "YV12 320x240",
        "RGB24 320x240", "RGB32 320x240", "MJPG 1280x720", "YUY2 1920x1080"),
    [](const testing::TestParamInfo<const char*>& info) { return TestName(info.param); });

TEST_F(DevicesTest, ThePictureMoves)
{
    DeviceDescription camera = OnlyDevice("video:Cam|caps=I420 320x240@30");
    Capture capture(CreateSourceBin(camera, nullptr, 0), "videoconvert ! capsfilter caps=video/x-raw,format=RGB");
    ASSERT_NE(capture.Play(), GST_STATE_CHANGE_FAILURE);
    auto first = capture.Pull();
    for (int i = 0; i < 9; ++i)
        capture.Pull();
    auto tenth = capture.Pull();
    ASSERT_TRUE(first && tenth) << "watchdog: no frames";
    int differing = 0;
    for (int x = 0; x < 320; x += 4) {
        Pixel a = PixelAt(first.get(), x, 120);
        Pixel b = PixelAt(tenth.get(), x, 120);
        differing += !Near(a, b, 30);
    }
    EXPECT_GT(differing, 2);
}

// ---------------------------------------------------------------------------------------------
// Faults

TEST_F(DevicesTest, ACameraThatCannotStartFailsToPlayWithABusyError)
{
    DeviceDescription camera = OnlyDevice("video:Held|fault=cannot-start");
    EXPECT_TRUE(camera.faults.cannotStart);
    Capture capture(CreateSourceBin(camera, nullptr, 0));
    EXPECT_EQ(capture.Play(), GST_STATE_CHANGE_FAILURE);
    auto error = capture.WaitForError();
    ASSERT_TRUE(error);
    EXPECT_TRUE(g_error_matches(error.get(), GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_BUSY)) << error->message;
    EXPECT_TRUE(IsDevicePresent(camera));
}

TEST_F(DevicesTest, AStreamErrorComesAfterTheGivenFramesAndTheCameraStays)
{
    setenv(kVirtualDevicesVariable, "video:Flaky|caps=I420 160x120@60|fault=error-after:5", 1);
    auto cameras = ListDevices(DeviceKind::Video);
    ASSERT_EQ(cameras.size(), 1U);
    Capture capture(CreateSourceBin(cameras[0], nullptr, 0));
    ASSERT_NE(capture.Play(), GST_STATE_CHANGE_FAILURE);
    auto error = capture.WaitForError();
    ASSERT_TRUE(error) << "watchdog: no error";
    EXPECT_TRUE(g_error_matches(error.get(), GST_STREAM_ERROR, GST_STREAM_ERROR_FAILED)) << error->message;
    EXPECT_NE(std::string(error->message).find("Flaky"), std::string::npos) << error->message;
    // The frames before the fault reach the sink, then the stream ends.
    EXPECT_EQ(capture.Drain(), 5);
    EXPECT_TRUE(IsDevicePresent(cameras[0]));
    EXPECT_EQ(ListDevices(DeviceKind::Video).size(), 1U);
}

TEST_F(DevicesTest, ARemovedCameraErrorsAndIsGoneFromThen)
{
    setenv(kVirtualDevicesVariable, "video:Unplugged|caps=I420 160x120@60|fault=removed-after:3;video:Stays", 1);
    auto cameras = ListDevices(DeviceKind::Video);
    ASSERT_EQ(cameras.size(), 2U);
    {
        Capture capture(CreateSourceBin(cameras[0], nullptr, 0));
        ASSERT_NE(capture.Play(), GST_STATE_CHANGE_FAILURE);
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(capture.Pull()) << "frame " << i;
        auto error = capture.WaitForError();
        ASSERT_TRUE(error) << "watchdog: no error";
        EXPECT_TRUE(g_error_matches(error.get(), GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NOT_FOUND)) << error->message;
    }
    EXPECT_FALSE(IsDevicePresent(cameras[0]));
    EXPECT_TRUE(IsDevicePresent(cameras[1]));
    auto left = ListDevices(DeviceKind::Video);
    ASSERT_EQ(left.size(), 1U);
    EXPECT_EQ(left[0].id, "virtual:video:1");
    EXPECT_EQ(CreateSourceBin(cameras[0], nullptr, 0), nullptr);
}

TEST_F(DevicesTest, FaultsOnlyMarkTheDescription)
{
    DeviceDescription camera = OnlyDevice("video:Odd|fault=not-video,name-unreadable");
    EXPECT_TRUE(camera.faults.notVideoMajorType);
    EXPECT_TRUE(camera.faults.nameUnreadable);
    EXPECT_EQ(camera.friendlyName, "Odd");
    Capture capture(CreateSourceBin(camera, nullptr, 0));
    ASSERT_NE(capture.Play(), GST_STATE_CHANGE_FAILURE);
    EXPECT_TRUE(capture.Pull());
}

// ---------------------------------------------------------------------------------------------
// Virtual microphones

TEST_F(DevicesTest, AMicrophoneDeliversItsFirstCapabilityInTenMillisecondBuffers)
{
    for (const char* text : {"audio:Mic", "audio:Mic|caps=22050/1/8,48000/2", "audio:Mic|caps=48000/2/24"}) {
        DeviceDescription microphone = OnlyDevice(text);
        const AudioCapability& wanted = microphone.audioCaps.front();
        Capture capture(CreateSourceBin(microphone, nullptr, 0));
        ASSERT_NE(capture.Play(), GST_STATE_CHANGE_FAILURE) << text;
        auto sample = capture.Pull();
        ASSERT_TRUE(sample) << "watchdog: no audio for " << text;
        const GstStructure* structure = gst_caps_get_structure(gst_sample_get_caps(sample.get()), 0);
        EXPECT_TRUE(gst_structure_has_name(structure, "audio/x-raw"));
        int rate = 0;
        int channels = 0;
        gst_structure_get_int(structure, "rate", &rate);
        gst_structure_get_int(structure, "channels", &channels);
        EXPECT_EQ(rate, wanted.sampleRate) << text;
        EXPECT_EQ(channels, wanted.channels) << text;
        const char* expectedFormat = wanted.bitsPerSample == 8 ? "U8" : wanted.bitsPerSample == 24 ? "S24LE" : "S16LE";
        EXPECT_STREQ(gst_structure_get_string(structure, "format"), expectedFormat) << text;
        EXPECT_STREQ(gst_structure_get_string(structure, "layout"), "interleaved") << text;
        gsize bytes = gst_buffer_get_size(gst_sample_get_buffer(sample.get()));
        EXPECT_EQ(bytes, static_cast<gsize>(wanted.sampleRate / 100 * wanted.channels * wanted.bitsPerSample / 8)) << text;
    }
}

TEST_F(DevicesTest, AMicrophoneCanFailToo)
{
    DeviceDescription held = OnlyDevice("audio:Held|fault=cannot-start");
    Capture heldCapture(CreateSourceBin(held, nullptr, 0));
    EXPECT_EQ(heldCapture.Play(), GST_STATE_CHANGE_FAILURE);

    DeviceDescription flaky = OnlyDevice("audio:Flaky|fault=error-after:4");
    Capture flakyCapture(CreateSourceBin(flaky, nullptr, 0));
    ASSERT_NE(flakyCapture.Play(), GST_STATE_CHANGE_FAILURE);
    auto error = flakyCapture.WaitForError();
    ASSERT_TRUE(error) << "watchdog: no error";
    EXPECT_TRUE(g_error_matches(error.get(), GST_STREAM_ERROR, GST_STREAM_ERROR_FAILED));
    EXPECT_EQ(flakyCapture.Drain(), 4);
}

// ---------------------------------------------------------------------------------------------
// Real devices, through the test's own provider

TEST_F(DevicesTest, CamerasOfTheMonitorAreDescribedFromTheirCaps)
{
    unsetenv(kVirtualDevicesVariable);
    PluggedDevice camera("Fake Camera", "Video/Source",
        "video/x-raw,format=YUY2,width=640,height=480,framerate={30/1,15/1};"
        "video/x-raw,format={NV12,GRAY8},width=1280,height=720,framerate=[1/1,10/1];"
        "image/jpeg,width=1280,height=720,framerate=30/1;"
        "video/x-raw,format=YUY2,width=640,height=480,framerate=5/1;"
        "video/x-h264,width=1920,height=1080,framerate=30/1",
        "videotestsrc is-live=true",
        gst_structure_new("props", "device.api", G_TYPE_STRING, "lumotest", "device.path", G_TYPE_STRING, "/fake/cam0", nullptr));
    PluggedDevice depth("Depth Only", "Video/Source", "video/x-raw,format=GRAY16_LE,width=640,height=480,framerate=30/1",
        "videotestsrc is-live=true", gst_structure_new_empty("props"));
    PluggedDevice microphone("Fake Microphone", "Audio/Source",
        "audio/x-raw,format={F32LE,S16LE},layout=interleaved,rate=[1,384000],channels=[1,32]", "audiotestsrc is-live=true",
        gst_structure_new("props", "device.api", G_TYPE_STRING, "lumotest", "device.path", G_TYPE_STRING, "/fake/mic0", nullptr));
    PluggedDevice monitor("Monitor of Speakers", "Audio/Source", "audio/x-raw,format=S16LE,layout=interleaved,rate=48000,channels=2",
        "audiotestsrc is-live=true", gst_structure_new("props", "device.class", G_TYPE_STRING, "monitor", nullptr));

    auto cameras = ListDevices(DeviceKind::Video);
    auto fake = std::find_if(cameras.begin(), cameras.end(), [](const DeviceDescription& d) { return d.friendlyName == "Fake Camera"; });
    ASSERT_NE(fake, cameras.end());
    EXPECT_EQ(fake->id, "lumotest:/fake/cam0");
    EXPECT_FALSE(fake->isVirtual);
    EXPECT_TRUE(fake->native);
    ASSERT_EQ(fake->videoCaps.size(), 3U);
    EXPECT_TRUE(SameCapability(fake->videoCaps[0], {PixelFormat::YUY2, 640, 480, 333333}));
    EXPECT_TRUE(SameCapability(fake->videoCaps[1], {PixelFormat::NV12, 1280, 720, 1000000}));
    EXPECT_TRUE(SameCapability(fake->videoCaps[2], {PixelFormat::MJPG, 1280, 720, 333333}));
    EXPECT_TRUE(std::none_of(cameras.begin(), cameras.end(), [](const DeviceDescription& d) { return d.friendlyName == "Depth Only"; }));

    auto microphones = ListDevices(DeviceKind::Audio);
    auto mic = std::find_if(microphones.begin(), microphones.end(), [](const DeviceDescription& d) { return d.friendlyName == "Fake Microphone"; });
    ASSERT_NE(mic, microphones.end());
    ASSERT_EQ(mic->audioCaps.size(), 1U);
    EXPECT_EQ(mic->audioCaps[0].sampleRate, 44100);
    EXPECT_EQ(mic->audioCaps[0].channels, 2);
    EXPECT_EQ(mic->audioCaps[0].bitsPerSample, 16);
    EXPECT_TRUE(std::none_of(microphones.begin(), microphones.end(), [](const DeviceDescription& d) { return d.friendlyName == "Monitor of Speakers"; }));
    EXPECT_TRUE(std::none_of(microphones.begin(), microphones.end(), [](const DeviceDescription& d) { return d.kind != DeviceKind::Audio; }));
}

TEST_F(DevicesTest, ACameraWithSizeListsIsListedWithEachSize)
{
    unsetenv(kVirtualDevicesVariable);
    PluggedDevice plugged("Listed Sizes", "Video/Source",
        "video/x-raw,format=YUY2,width={1280,640},height={720,480},framerate=30/1", "videotestsrc is-live=true",
        gst_structure_new("props", "device.path", G_TYPE_STRING, "/fake/lists", nullptr));
    auto cameras = ListDevices(DeviceKind::Video);
    auto camera = std::find_if(cameras.begin(), cameras.end(), [](const DeviceDescription& d) { return d.friendlyName == "Listed Sizes"; });
    ASSERT_NE(camera, cameras.end());
    ASSERT_EQ(camera->videoCaps.size(), 2U);
    EXPECT_TRUE(SameCapability(camera->videoCaps[0], {PixelFormat::YUY2, 1280, 720, 333333}));
    EXPECT_TRUE(SameCapability(camera->videoCaps[1], {PixelFormat::YUY2, 640, 480, 333333}));
}

TEST_F(DevicesTest, ARealCameraRunsAtAnOfferedRateOrIsBroughtToTheWantedOne)
{
    unsetenv(kVirtualDevicesVariable);
    PluggedDevice plugged("Rate Camera", "Video/Source",
        "video/x-raw,format=YUY2,width=320,height=240,framerate={30/1,15/1}", "videotestsrc is-live=true",
        gst_structure_new("props", "device.path", G_TYPE_STRING, "/fake/rates", nullptr));
    auto cameras = ListDevices(DeviceKind::Video);
    auto camera = std::find_if(cameras.begin(), cameras.end(), [](const DeviceDescription& d) { return d.friendlyName == "Rate Camera"; });
    ASSERT_NE(camera, cameras.end());
    ASSERT_EQ(camera->videoCaps.size(), 1U);
    for (double rate : {0.0, 15.0, 7.0}) {
        GstElement* bin = CreateSourceBin(*camera, &camera->videoCaps[0], rate);
        ASSERT_NE(bin, nullptr);
        Finalized gone(bin);
        auto capture = std::make_unique<Capture>(bin);
        ASSERT_NE(capture->Play(), GST_STATE_CHANGE_FAILURE) << rate;
        auto sample = capture->Pull();
        ASSERT_TRUE(sample) << "watchdog: no frame at " << rate;
        SampleShape shape = ShapeOf(sample.get());
        EXPECT_EQ(shape.format, "YUY2");
        EXPECT_EQ(shape.width, 320);
        EXPECT_EQ(shape.height, 240);
        EXPECT_EQ(shape.rateNumerator, rate > 0 ? static_cast<int>(rate) : 30) << rate;
        sample.reset();
        capture.reset();
        EXPECT_TRUE(gone()) << rate;
    }
}

TEST_F(DevicesTest, ARealMjpgCameraIsDecodedToI420)
{
    unsetenv(kVirtualDevicesVariable);
    PluggedDevice plugged("Jpeg Camera", "Video/Source", "image/jpeg,width=640,height=480,framerate=30/1",
        "videotestsrc is-live=true ! video/x-raw,format=I420 ! jpegenc",
        gst_structure_new("props", "device.path", G_TYPE_STRING, "/fake/jpeg", nullptr));
    auto cameras = ListDevices(DeviceKind::Video);
    auto camera = std::find_if(cameras.begin(), cameras.end(), [](const DeviceDescription& d) { return d.friendlyName == "Jpeg Camera"; });
    ASSERT_NE(camera, cameras.end());
    Capture capture(CreateSourceBin(*camera, nullptr, 0));
    ASSERT_NE(capture.Play(), GST_STATE_CHANGE_FAILURE);
    auto sample = capture.Pull();
    ASSERT_TRUE(sample) << "watchdog: no frame";
    SampleShape shape = ShapeOf(sample.get());
    EXPECT_EQ(shape.format, "I420");
    EXPECT_EQ(shape.width, 640);
    EXPECT_EQ(shape.height, 480);
}

TEST_F(DevicesTest, ARealMicrophoneDeliversItsFirstCapability)
{
    unsetenv(kVirtualDevicesVariable);
    PluggedDevice plugged("Float Microphone", "Audio/Source", "audio/x-raw,format=F32LE,layout=interleaved,rate=48000,channels=1",
        "audiotestsrc is-live=true ! audio/x-raw,format=F32LE,rate=48000,channels=1",
        gst_structure_new("props", "device.path", G_TYPE_STRING, "/fake/float", nullptr));
    auto microphones = ListDevices(DeviceKind::Audio);
    auto mic = std::find_if(microphones.begin(), microphones.end(), [](const DeviceDescription& d) { return d.friendlyName == "Float Microphone"; });
    ASSERT_NE(mic, microphones.end());
    ASSERT_EQ(mic->audioCaps.size(), 1U);
    EXPECT_EQ(mic->audioCaps[0].sampleRate, 48000);
    EXPECT_EQ(mic->audioCaps[0].channels, 1);
    EXPECT_EQ(mic->audioCaps[0].bitsPerSample, 16);
    Capture capture(CreateSourceBin(*mic, nullptr, 0));
    ASSERT_NE(capture.Play(), GST_STATE_CHANGE_FAILURE);
    auto sample = capture.Pull();
    ASSERT_TRUE(sample) << "watchdog: no audio";
    const GstStructure* structure = gst_caps_get_structure(gst_sample_get_caps(sample.get()), 0);
    EXPECT_STREQ(gst_structure_get_string(structure, "format"), "S16LE");
}

TEST_F(DevicesTest, AnUnpluggedRealDeviceIsNoLongerPresent)
{
    unsetenv(kVirtualDevicesVariable);
    PluggedDevice plugged("Wandering Camera", "Video/Source", "video/x-raw,format=I420,width=320,height=240,framerate=30/1",
        "videotestsrc is-live=true", gst_structure_new("props", "device.path", G_TYPE_STRING, "/fake/wandering", nullptr));
    auto cameras = ListDevices(DeviceKind::Video);
    auto camera = std::find_if(cameras.begin(), cameras.end(), [](const DeviceDescription& d) { return d.friendlyName == "Wandering Camera"; });
    ASSERT_NE(camera, cameras.end());
    EXPECT_TRUE(IsDevicePresent(*camera));
    plugged.Unplug();
    EXPECT_FALSE(IsDevicePresent(*camera));
    cameras = ListDevices(DeviceKind::Video);
    EXPECT_TRUE(std::none_of(cameras.begin(), cameras.end(), [](const DeviceDescription& d) { return d.friendlyName == "Wandering Camera"; }));

    DeviceDescription nothing;
    nothing.id = "device:none";
    EXPECT_EQ(CreateSourceBin(nothing, nullptr, 0), nullptr);
}
