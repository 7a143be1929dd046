// The recording graph as the capture engine builds it, on virtual devices: the ASF writer with its
// edited profile, capture streams held back and released, the preview branch beside it, and the
// files checked by an independent decoder.
#include "tests/platform/media/MediaTestSupport.h"

#include "platform/sys/NativePath.h"
#include "tests/support/RecordedFile.h"

#include <gst/gst.h>


#include <filesystem>

namespace {

class RecordingGraphTest : public MediaTest {
protected:
    void SetUp() override
    {
        MediaTest::SetUp();
        m_folder = std::filesystem::temp_directory_path() / ("lumo-recording-" + std::to_string(getpid()));
        std::filesystem::create_directories(m_folder);
        static RecordingClass ownerClass(u"RecordingTestOwner");
        m_owner = CreateWindowExW(0, ownerClass.Name(), u"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 660, 520,
                                  nullptr, nullptr, nullptr, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(m_owner);
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
        MediaTest::TearDown();
    }

    // The capture graph of the engine: writer with its profile edited for the size, the capture
    // streams into it, the preview branch through the grabber.
    HRESULT BuildCaptureGraph(CaptureGraph& g, const std::string& name, int width, int height)
    {
        m_path = (m_folder / name).string();
        WString path = FromNativePath(m_path);
        HRESULT hr = g.builder->SetOutputFileName(&MEDIASUBTYPE_Asf, path.c_str(), &m_writer, &m_sink);
        if (FAILED(hr))
            return hr;
        ComPtr<IConfigAsfWriter2> config;
        EXPECT_EQ(m_writer.As(IID_IConfigAsfWriter2, config), S_OK);
        ConfigureProfile(config, width, height, g.audio != nullptr);
        hr = g.builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, g.video, nullptr, m_writer);
        if (FAILED(hr))
            hr = g.builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, g.video, nullptr, m_writer);
        if (FAILED(hr))
            return hr;
        if (g.audio) {
            hr = g.builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, g.audio, nullptr, m_writer);
            if (FAILED(hr))
                return hr;
        }
        return g.RenderPreview(m_owner, width, height);
    }

    static void ConfigureProfile(IConfigAsfWriter2* writer, int width, int height, bool audio)
    {
        ComPtr<IWMProfile> profile;
        ASSERT_EQ(writer->GetCurrentProfile(&profile), S_OK);
        DWORD count = 0;
        profile->GetStreamCount(&count);
        ASSERT_EQ(count, 2u);
        if (!audio) {
            ASSERT_EQ(profile->RemoveStreamByNumber(1), S_OK);
        }
        DWORD bitRate = width == 640 ? 480000 : width < 1000 ? 640000 : 960000;
        for (DWORD index = 0; index < count; ++index) {
            ComPtr<IWMStreamConfig> stream;
            if (FAILED(profile->GetStream(index, &stream)))
                continue;
            stream->SetBitrate(bitRate);
            ComPtr<IWMMediaProps> props;
            ASSERT_EQ(stream.As(IID_IWMMediaProps, props), S_OK);
            DWORD size = 0;
            ASSERT_EQ(props->GetMediaType(nullptr, &size), S_OK);
            std::vector<BYTE> block(size);
            auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(block.data());
            ASSERT_EQ(props->GetMediaType(type, &size), S_OK);
            if (type->majortype != MEDIATYPE_Video)
                continue;
            auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat);
            info->bmiHeader.biWidth = width;
            info->bmiHeader.biHeight = height;
            info->dwBitRate = bitRate;
            ASSERT_EQ(props->SetMediaType(type), S_OK);
            ASSERT_EQ(profile->ReconfigStream(stream), S_OK);
            ASSERT_EQ(writer->ConfigureFilterUsingProfile(profile), S_OK);
        }
    }

    // Runs with the capture streams held back, releases them, and records for `seconds`.
    void Record(CaptureGraph& g, double seconds)
    {
        REFERENCE_TIME never = MAXLONGLONG;
        ASSERT_EQ(g.builder->ControlStream(&PIN_CATEGORY_CAPTURE, nullptr, nullptr, &never, nullptr, 0, 0), S_OK);
        ASSERT_EQ(g.control->Run(), S_OK);
        REFERENCE_TIME now = 0;
        ASSERT_EQ(g.builder->ControlStream(&PIN_CATEGORY_CAPTURE, nullptr, nullptr, &now, &never, 0, 0), S_OK);
        DWORD until = GetTickCount() + static_cast<DWORD>(seconds * 1000);
        PumpUntil([&] { return static_cast<LONG>(GetTickCount() - until) >= 0; }, static_cast<DWORD>(seconds * 1000) + 5000);
    }

    void Finish(CaptureGraph& g)
    {
        m_sink.Reset();
        m_writer.Reset();
        g.TearDown();
        IBaseFilter* video = g.video.Detach();
        g.ReleaseAll();
        ASSERT_NE(video, nullptr);
        EXPECT_EQ(video->Release(), 0u) << "a reference to the camera's filter was left";
    }

    std::filesystem::path m_folder;
    std::string m_path;
    HWND m_owner = nullptr;
    ComPtr<IBaseFilter> m_writer;
    ComPtr<IFileSinkFilter> m_sink;
};

TEST_F(RecordingGraphTest, RecordsPictureAndSoundWhileThePreviewRunsAndPhotosCanBeTaken)
{
    ScopedVirtualDevices devices("video:Cam|caps=YUY2 640x480@30,YUY2 1280x720@30;audio:Mic");
    CaptureGraph g;
    ASSERT_EQ(g.Create(BindDevice(CLSID_VideoInputDeviceCategory, 0), BindDevice(CLSID_AudioInputDeviceCategory, 0)), S_OK);
    EXPECT_EQ(BuildCaptureGraph(g, "both.wmv", 640, 480), VFW_S_NOPREVIEWPIN);
    LPOLESTR name = nullptr;
    ASSERT_EQ(m_sink->GetCurFile(&name, nullptr), S_OK);
    EXPECT_EQ(ToNativePath(name), m_path);
    CoTaskMemFree(name);

    Record(g, 2.0);
    // A photo while recording: the preview branch keeps the grabber fed.
    EXPECT_EQ(WaitForFrame(g.grabber), 640 * 3 * 480);
    ASSERT_EQ(g.control->Stop(), S_OK);

    RecordedFile file = ProbeRecording(m_path);
    const RecordedFile::Stream* video = file.Of("video");
    const RecordedFile::Stream* audio = file.Of("audio");
    ASSERT_TRUE(video && audio) << file.Count("video") << " video and " << file.Count("audio") << " audio streams";
    EXPECT_EQ(video->codec, "wmv2");
    EXPECT_EQ(video->width, 640);
    EXPECT_EQ(video->height, 480);
    EXPECT_EQ(audio->codec, "wmav2");
    EXPECT_NEAR(file.duration, 2.0, 0.4);
    EXPECT_EQ(file.decodeErrors, "");
    EXPECT_NEAR(file.videoFrames, 30 * file.duration, 3);
    // The profile's 480 kbit/s on the virtual camera's detailed, moving picture.
    EXPECT_NEAR(file.videoBitRate, 480000, 480000 * 0.25);
    Finish(g);
}

TEST_F(RecordingGraphTest, WithoutAMicrophoneTheFileHasPictureOnlyAtTheModeSize)
{
    ScopedVirtualDevices devices("video:Cam|caps=YUY2 1280x720@30");
    CaptureGraph g;
    ASSERT_EQ(g.Create(BindDevice(CLSID_VideoInputDeviceCategory, 0), nullptr), S_OK);
    EXPECT_EQ(BuildCaptureGraph(g, "silent.wmv", 1280, 720), VFW_S_NOPREVIEWPIN);
    Record(g, 1.5);
    ASSERT_EQ(g.control->Stop(), S_OK);
    RecordedFile file = ProbeRecording(m_path);
    ASSERT_EQ(file.streams.size(), 1u);
    EXPECT_EQ(file.streams[0].codec, "wmv2");
    EXPECT_EQ(file.streams[0].width, 1280);
    EXPECT_EQ(file.streams[0].height, 720);
    EXPECT_EQ(file.decodeErrors, "");
    Finish(g);
}

TEST_F(RecordingGraphTest, ALostCameraStillLeavesACompleteFile)
{
    ScopedVirtualDevices devices("video:Unplugged Cam|caps=YUY2 640x480@30|fault=removed-after:45;audio:Mic");
    CaptureGraph g;
    ASSERT_EQ(g.Create(BindDevice(CLSID_VideoInputDeviceCategory, 0), BindDevice(CLSID_AudioInputDeviceCategory, 0)), S_OK);
    EXPECT_EQ(BuildCaptureGraph(g, "lost.wmv", 640, 480), VFW_S_NOPREVIEWPIN);
    REFERENCE_TIME never = MAXLONGLONG;
    ASSERT_EQ(g.builder->ControlStream(&PIN_CATEGORY_CAPTURE, nullptr, nullptr, &never, nullptr, 0, 0), S_OK);
    ASSERT_EQ(g.control->Run(), S_OK);
    REFERENCE_TIME now = 0;
    ASSERT_EQ(g.builder->ControlStream(&PIN_CATEGORY_CAPTURE, nullptr, nullptr, &now, &never, 0, 0), S_OK);
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    ASSERT_TRUE(WaitForEvent(g.events, &code, &p1, &p2));
    EXPECT_EQ(code, EC_DEVICE_LOST);
    g.events->FreeEventParams(code, p1, p2);
    // The file is complete as soon as the loss is known, before anyone stops the graph.
    RecordedFile file = ProbeRecording(m_path);
    EXPECT_EQ(file.decodeErrors, "");
    ASSERT_TRUE(file.Of("video"));
    EXPECT_GT(file.videoFrames, 30);
    EXPECT_LE(file.videoFrames, 46);
    ASSERT_EQ(g.control->Stop(), S_OK);
    EXPECT_EQ(ProbeRecording(m_path).decodeErrors, "");
    Finish(g);
}

TEST_F(RecordingGraphTest, MissingEncodersMakeTheWriterAClassNotRegistered)
{
    ScopedVirtualDevices devices("video:Cam");
    CaptureGraph g;
    ASSERT_EQ(g.Create(BindDevice(CLSID_VideoInputDeviceCategory, 0), nullptr), S_OK);
    // A child process forgets the video encoder, so this process keeps its registry whole.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        GstRegistry* registry = gst_registry_get();
        GstPluginFeature* encoder = gst_registry_lookup_feature(registry, "avenc_wmv2");
        if (!encoder)
            _exit(10);
        gst_registry_remove_feature(registry, encoder);
        gst_object_unref(encoder);
        IBaseFilter* writer = nullptr;
        IFileSinkFilter* sink = nullptr;
        if (g.builder->SetOutputFileName(&MEDIASUBTYPE_Asf, u"never.wmv", &writer, &sink) != REGDB_E_CLASSNOTREG)
            _exit(11);
        if (writer || sink)
            _exit(12);
        IBaseFilter* direct = nullptr;
        if (CoCreateInstance(CLSID_WMAsfWriter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             reinterpret_cast<void**>(&direct))
            != REGDB_E_CLASSNOTREG)
            _exit(13);
        _exit(0);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: no encoder to hide, 11: writer made, 12: outputs set, 13: class made";
    EXPECT_FALSE(std::filesystem::exists("never.wmv"));
    Finish(g);
}

TEST_F(RecordingGraphTest, TheProfileKeepsItsStreamsApartAndRefusesForeignEdits)
{
    ScopedVirtualDevices devices("video:Cam");
    CaptureGraph g;
    ASSERT_EQ(g.Create(BindDevice(CLSID_VideoInputDeviceCategory, 0), nullptr), S_OK);
    m_path = (m_folder / "profile.wmv").string();
    ASSERT_EQ(g.builder->SetOutputFileName(&MEDIASUBTYPE_Asf, FromNativePath(m_path).c_str(), &m_writer, &m_sink), S_OK);
    ComPtr<IConfigAsfWriter2> config;
    ASSERT_EQ(m_writer.As(IID_IConfigAsfWriter2, config), S_OK);
    ComPtr<IWMProfile> profile;
    ASSERT_EQ(config->GetCurrentProfile(&profile), S_OK);
    ComPtr<IWMStreamConfig> audio;
    ASSERT_EQ(profile->GetStream(0, &audio), S_OK);
    GUID type;
    WORD number = 0;
    audio->GetStreamType(&type);
    audio->GetStreamNumber(&number);
    EXPECT_EQ(type, WMMEDIATYPE_Audio);
    EXPECT_EQ(number, 1);
    // An edit of a copy changes nothing until it is given back.
    audio->SetBitrate(12345);
    ComPtr<IWMStreamConfig> again;
    ASSERT_EQ(profile->GetStream(0, &again), S_OK);
    DWORD bitRate = 0;
    again->GetBitrate(&bitRate);
    EXPECT_NE(bitRate, 12345u);
    // A video type cannot be put on the sound stream; an unknown stream number cannot be removed.
    ComPtr<IWMMediaProps> props;
    ASSERT_EQ(audio.As(IID_IWMMediaProps, props), S_OK);
    AM_MEDIA_TYPE video {};
    video.majortype = MEDIATYPE_Video;
    EXPECT_EQ(props->SetMediaType(&video), E_INVALIDARG);
    EXPECT_EQ(profile->RemoveStreamByNumber(7), E_INVALIDARG);
    DWORD size = 1;
    std::vector<BYTE> tooSmall(1);
    EXPECT_EQ(props->GetMediaType(reinterpret_cast<WM_MEDIA_TYPE*>(tooSmall.data()), &size), E_INVALIDARG);
    // Removing the sound stream takes the writer's sound input away.
    ASSERT_EQ(profile->RemoveStreamByNumber(1), S_OK);
    ASSERT_EQ(config->ConfigureFilterUsingProfile(profile), S_OK);
    ComPtr<IPin> pin;
    EXPECT_EQ(m_writer->FindPin(u"Audio Input 01", &pin), VFW_E_NOT_FOUND);
    EXPECT_EQ(m_writer->FindPin(u"Video Input 01", &pin), S_OK);
    pin.Reset();
    audio.Reset();
    again.Reset();
    props.Reset();
    profile.Reset();
    config.Reset();
    Finish(g);
}

} // namespace
