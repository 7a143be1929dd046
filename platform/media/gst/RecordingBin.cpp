#include "platform/media/gst/RecordingBin.h"

#include "platform/media/gst/AsfHeaderKeeper.h"
#include "platform/media/gst/GstSupport.h"
#include "platform/media/gst/RecordingRateControl.h"
#include "platform/media/gst/RecordingSpaceWatch.h"

#include <gst/gst.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace lumo::media {

namespace {

// libav's ASF muxer: every decoder reads its files to the last frame, which is not so for asfmux.
constexpr const char* kMuxer = "avmux_asf";
constexpr const char* kRequiredElements[] = {
    "queue", "videoconvert", "videoscale", "capsfilter", "avenc_wmv2",
    "audioconvert", "audioresample", "avenc_wmav2", kMuxer, "filesink",
};
constexpr const char* kRecordingKey = "lumo-recording";
// Carries each frame's time in the file through the video encoder, which stamps its output with
// times of its own (shifted by a thousand hours, and restarted with the encoder).
constexpr const char* kFrameTimeReference = "timestamp/x-lumo-recording";
constexpr int kAudioSampleRate = 44100;
constexpr int kLeastAudioBitRate = 24000; // the WMA encoder does not open below this
constexpr int kMostAudioBitRate = 320000;
constexpr int kSilenceSamples = 2048; // one frame of the WMA encoder
// Raw media a branch may hold while the muxer waits for the other branch; older media is dropped
// rather than stalling the capture pipeline.
constexpr guint64 kQueueTime = 2 * GST_SECOND;
// ASF keeps milliseconds: frames closer than that would share a time stamp.
constexpr GstClockTime kLeastFrameSpacing = GST_MSECOND;
// How long sound waits for the first frame, and how often it looks whether its branch is stopping.
constexpr std::chrono::seconds kOriginWait(3);
constexpr std::chrono::milliseconds kOriginPoll(10);
// The encoder's own key frames only matter when the restart of a rate control period fails.
constexpr int kFallbackKeyFrameInterval = 300;
constexpr auto kEventsAndBuffers =
    static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM);
// The room a recording keeps on its disk to complete its file: the media still on its way (the
// branches' queues hold up to two seconds), the index, and a margin for a bit rate above its aim.
constexpr std::uint64_t kReserveSeconds = 4;
constexpr std::uint64_t kReserveBytes = 256 * 1024;
constexpr std::chrono::milliseconds kSpaceLookPeriod(250);
constexpr auto kFileData = static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST
                                                        | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM);

enum class Stream { Video, Audio };

// The running time that is the file's zero: that of the first frame. Sound that comes earlier waits
// for it.
class FileOrigin {
public:
    GstClockTime StartAt(GstClockTime runningTime)
    {
        std::unique_lock lock(m_lock);
        if (m_origin)
            return *m_origin;
        m_origin = runningTime;
        lock.unlock();
        m_changed.notify_all();
        return runningTime;
    }
    std::optional<GstClockTime> Get()
    {
        std::lock_guard guard(m_lock);
        return m_origin;
    }
    // Gives up when `pad` stops streaming, when the recording is finishing, or after a while.
    std::optional<GstClockTime> WaitFor(GstPad* pad)
    {
        std::unique_lock lock(m_lock);
        auto deadline = std::chrono::steady_clock::now() + kOriginWait;
        while (!m_origin && !m_stopped && !GST_PAD_IS_FLUSHING(pad) && std::chrono::steady_clock::now() < deadline)
            m_changed.wait_for(lock, kOriginPoll);
        return m_origin;
    }
    void StopWaiting()
    {
        {
            std::lock_guard guard(m_lock);
            m_stopped = true;
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::optional<GstClockTime> m_origin;
    bool m_stopped = false;
};

// Set when the end of the stream reaches the file sink, which then has the whole file.
class Completion {
public:
    void Mark()
    {
        {
            std::lock_guard guard(m_lock);
            m_complete = true;
        }
        m_changed.notify_all();
    }
    bool Wait(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, timeout, [this] { return m_complete; });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_complete = false;
};

// What one stream's probes keep. Each stream's probes run on that stream's streaming thread.
struct StreamState {
    GstSegment inputSegment;
    bool haveInputSegment = false;
    GstSegment outputSegment;
    bool haveOutputSegment = false;
    GstClockTime lastTime = GST_CLOCK_TIME_NONE;
    bool sentStreamStart = false;
    bool sentSegment = false;
    GstCaps* outputCaps = nullptr;
};

// What the probes of one bin share. The elements are the bin's, not owned: the recording lives as
// long as the bin and its pads.
struct Recording {
    explicit Recording(const RecordingSettings& recordingSettings)
        : settings(recordingSettings)
        , frameTimeCaps(gst_caps_new_empty_simple(kFrameTimeReference))
        , rate(recordingSettings.videoBitRate, recordingSettings.width, recordingSettings.height)
    {
    }
    ~Recording()
    {
        gst_caps_unref(frameTimeCaps);
        for (StreamState* state : { &video, &audio }) {
            if (state->outputCaps)
                gst_caps_unref(state->outputCaps);
        }
    }
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    StreamState& Of(Stream stream) { return stream == Stream::Video ? video : audio; }

    const RecordingSettings settings;
    GstCaps* const frameTimeCaps;
    GstElement* bin = nullptr;
    GstElement* videoEncoder = nullptr;
    GstElement* file = nullptr;
    StreamState video;
    StreamState audio;
    RecordingRateControl rate; // video streaming thread only
    bool encoderConfigured = false;
    FileOrigin origin;
    Completion completion;
    AsfHeaderKeeper header { settings.path };
    std::unique_ptr<RecordingSpaceWatch> space;
    std::atomic<bool> spaceReported { false };
};

using RecordingRef = std::shared_ptr<Recording>;

Recording& RecordingOf(gpointer data) { return **static_cast<RecordingRef*>(data); }

void DropRecordingRef(gpointer data) { delete static_cast<RecordingRef*>(data); }

void AddProbe(GstElement* element, const char* padName, GstPadProbeType type, GstPadProbeCallback callback,
              const RecordingRef& recording)
{
    GstPad* pad = gst_element_get_static_pad(element, padName);
    gst_pad_add_probe(pad, type, callback, new RecordingRef(recording), DropRecordingRef);
    gst_object_unref(pad);
}

GstEvent* FileSegment(GstEvent* replaced)
{
    GstSegment segment;
    gst_segment_init(&segment, GST_FORMAT_TIME);
    GstEvent* event = gst_event_new_segment(&segment);
    gst_event_set_seqnum(event, gst_event_get_seqnum(replaced));
    return event;
}

GstPadProbeReturn Replace(GstPadProbeInfo* info, GstEvent* event)
{
    gst_event_unref(GST_PAD_PROBE_INFO_EVENT(info));
    GST_PAD_PROBE_INFO_DATA(info) = event;
    return GST_PAD_PROBE_OK;
}

// Swallows a sticky event so that the pad counts it as delivered and does not send it again.
GstPadProbeReturn Consume(GstPadProbeInfo* info)
{
    gst_event_unref(GST_PAD_PROBE_INFO_EVENT(info));
    GST_PAD_PROBE_INFO_DATA(info) = nullptr;
    return GST_PAD_PROBE_HANDLED;
}

// Raw media entering a branch: its times become times in the file.
template <Stream kStream>
GstPadProbeReturn OnRawMedia(GstPad* pad, GstPadProbeInfo* info, gpointer data)
{
    Recording& recording = RecordingOf(data);
    StreamState& state = recording.Of(kStream);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_GAP)
            return GST_PAD_PROBE_DROP;
        if (GST_EVENT_TYPE(event) != GST_EVENT_SEGMENT)
            return GST_PAD_PROBE_OK;
        const GstSegment* segment = nullptr;
        gst_event_parse_segment(event, &segment);
        if (segment->format != GST_FORMAT_TIME)
            return GST_PAD_PROBE_OK;
        gst_segment_copy_into(segment, &state.inputSegment);
        state.haveInputSegment = true;
        return Replace(info, FileSegment(event));
    }

    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstClockTime pts = GST_BUFFER_PTS(buffer);
    if (!state.haveInputSegment || !GST_CLOCK_TIME_IS_VALID(pts))
        return GST_PAD_PROBE_DROP;
    GstClockTime runningTime = gst_segment_to_running_time(&state.inputSegment, GST_FORMAT_TIME, pts);
    if (!GST_CLOCK_TIME_IS_VALID(runningTime))
        return GST_PAD_PROBE_DROP;
    GstClockTime time = 0;
    if (kStream == Stream::Video) {
        GstClockTime origin = recording.origin.StartAt(runningTime);
        time = runningTime > origin ? runningTime - origin : 0;
        if (GST_CLOCK_TIME_IS_VALID(state.lastTime))
            time = std::max(time, state.lastTime + kLeastFrameSpacing);
    } else {
        // Sound from before the first frame is not part of the recording.
        std::optional<GstClockTime> origin = recording.origin.WaitFor(pad);
        if (!origin || runningTime < *origin)
            return GST_PAD_PROBE_DROP;
        time = runningTime - *origin;
    }
    state.lastTime = time;

    buffer = gst_buffer_make_writable(buffer);
    GST_BUFFER_PTS(buffer) = time;
    GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
    if (kStream == Stream::Video)
        gst_buffer_add_reference_timestamp_meta(buffer, recording.frameTimeCaps, time, GST_BUFFER_DURATION(buffer));
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    return GST_PAD_PROBE_OK;
}

// Restarts the video encoder so that the coming frame opens a new period, as a key frame encoded
// with `quantizer` (the encoder takes settings only while it is closed). Runs on the video streaming
// thread in front of the encoder, and gives up while the bin is changing state.
bool RestartVideoEncoder(Recording& recording, GstPad* feed, int quantizer)
{
    GstElement* bin = recording.bin;
    if (!GST_STATE_TRYLOCK(bin))
        return false;
    GST_OBJECT_LOCK(bin);
    bool playing = GST_STATE(bin) == GST_STATE_PLAYING && GST_STATE_PENDING(bin) == GST_STATE_VOID_PENDING;
    GST_OBJECT_UNLOCK(bin);
    if (!playing) {
        GST_STATE_UNLOCK(bin);
        return false;
    }
    GstElement* encoder = recording.videoEncoder;
    GstPad* sink = gst_element_get_static_pad(encoder, "sink");
    // Linking again makes the feeding pad send its caps and segment to the reopened encoder.
    gst_pad_unlink(feed, sink);
    bool restarted = gst_element_set_state(encoder, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
    g_object_set(encoder, "qmin", quantizer, "qmax", quantizer, nullptr);
    restarted = gst_element_set_state(encoder, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE && restarted;
    restarted = gst_pad_link(feed, sink) == GST_PAD_LINK_OK && restarted;
    gst_object_unref(sink);
    GST_STATE_UNLOCK(bin);
    return restarted;
}

// Raw frames about to be encoded: where the rate control's periods begin.
GstPadProbeReturn OnFrameToEncode(GstPad* pad, GstPadProbeInfo* info, gpointer data)
{
    Recording& recording = RecordingOf(data);
    RecordingRateControl& rate = recording.rate;
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS || recording.encoderConfigured)
            return GST_PAD_PROBE_OK;
        // The encoder opens on these caps: the last moment to give it its first quantizer.
        GstCaps* caps = nullptr;
        gst_event_parse_caps(event, &caps);
        int numerator = 0;
        int denominator = 1;
        gst_structure_get_fraction(gst_caps_get_structure(caps, 0), "framerate", &numerator, &denominator);
        int quantizer = rate.InitialQuantizer(denominator > 0 ? static_cast<double>(numerator) / denominator : 0);
        g_object_set(recording.videoEncoder, "qmin", quantizer, "qmax", quantizer, nullptr);
        recording.encoderConfigured = true;
        return GST_PAD_PROBE_OK;
    }
    GstClockTime time = GST_BUFFER_PTS(GST_PAD_PROBE_INFO_BUFFER(info));
    if (!rate.Started()) {
        int quantizer = 0;
        g_object_get(recording.videoEncoder, "qmax", &quantizer, nullptr);
        rate.BeginPeriod(time, quantizer);
        return GST_PAD_PROBE_OK;
    }
    if (!rate.PeriodEnded(time))
        return GST_PAD_PROBE_OK;
    int quantizer = rate.NextQuantizer(time);
    if (RestartVideoEncoder(recording, pad, quantizer))
        rate.BeginPeriod(time, quantizer);
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn OnEncodedEvent(StreamState& state, GstPadProbeInfo* info)
{
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_STREAM_START:
        if (state.sentStreamStart)
            return Consume(info);
        state.sentStreamStart = true;
        return GST_PAD_PROBE_OK;
    case GST_EVENT_CAPS: {
        GstCaps* caps = nullptr;
        gst_event_parse_caps(event, &caps);
        if (state.outputCaps && gst_caps_is_equal(state.outputCaps, caps))
            return Consume(info);
        gst_caps_replace(&state.outputCaps, caps);
        return GST_PAD_PROBE_OK;
    }
    case GST_EVENT_SEGMENT: {
        const GstSegment* segment = nullptr;
        gst_event_parse_segment(event, &segment);
        gst_segment_copy_into(segment, &state.outputSegment);
        state.haveOutputSegment = segment->format == GST_FORMAT_TIME;
        if (state.sentSegment)
            return Consume(info);
        state.sentSegment = true;
        return Replace(info, FileSegment(event));
    }
    case GST_EVENT_GAP:
        return GST_PAD_PROBE_DROP;
    default:
        return GST_PAD_PROBE_OK;
    }
}

// Encoded media on its way to the muxer: stamped with its time in the file, and each stream's start,
// caps and segment passed on once although the video encoder restarts.
template <Stream kStream>
GstPadProbeReturn OnEncodedMedia(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    Recording& recording = RecordingOf(data);
    StreamState& state = recording.Of(kStream);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM)
        return OnEncodedEvent(state, info);

    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstClockTime time = GST_CLOCK_TIME_NONE;
    if (kStream == Stream::Video) {
        if (GstReferenceTimestampMeta* meta = gst_buffer_get_reference_timestamp_meta(buffer, recording.frameTimeCaps))
            time = meta->timestamp;
    }
    if (!GST_CLOCK_TIME_IS_VALID(time) && state.haveOutputSegment)
        time = gst_segment_to_running_time(&state.outputSegment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
    if (!GST_CLOCK_TIME_IS_VALID(time))
        return GST_PAD_PROBE_DROP;
    if (kStream == Stream::Video) {
        bool keyFrame = !GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
        recording.rate.OnEncoded(time, gst_buffer_get_size(buffer), keyFrame);
    }
    buffer = gst_buffer_make_writable(buffer);
    if (GstReferenceTimestampMeta* meta = gst_buffer_get_reference_timestamp_meta(buffer, recording.frameTimeCaps))
        gst_buffer_remove_meta(buffer, &meta->parent);
    GST_BUFFER_PTS(buffer) = time;
    GST_BUFFER_DTS(buffer) = time;
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    return GST_PAD_PROBE_OK;
}

void OnFileBuffer(Recording& recording, GstBuffer* buffer)
{
    if (recording.space && recording.space->Low() && !recording.spaceReported.exchange(true)) {
        // Posted, not handled here: whoever runs the pipeline ends the recording, while the reserve
        // still holds what completing the file takes.
        GST_ELEMENT_ERROR(recording.file, RESOURCE, NO_SPACE_LEFT, ("The disk of the recording is nearly full."),
                          ("less than the reserve of %" G_GUINT64_FORMAT " bytes is free",
                           RecordingReserve(recording.settings)));
    }
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return;
    recording.header.OnData({ map.data, map.size });
    gst_buffer_unmap(buffer, &map);
}

// What reaches the file sink: the bytes, the muxer's moves in the file, and the end.
GstPadProbeReturn OnFileData(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    Recording& recording = RecordingOf(data);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER) {
        OnFileBuffer(recording, GST_PAD_PROBE_INFO_BUFFER(info));
        return GST_PAD_PROBE_OK;
    }
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER_LIST) {
        GstBufferList* list = GST_PAD_PROBE_INFO_BUFFER_LIST(info);
        for (guint i = 0; i < gst_buffer_list_length(list); i++)
            OnFileBuffer(recording, gst_buffer_list_get(list, i));
        return GST_PAD_PROBE_OK;
    }
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT) {
        const GstSegment* segment = nullptr;
        gst_event_parse_segment(event, &segment);
        if (segment->format == GST_FORMAT_BYTES)
            recording.header.OnMove(segment->start);
    }
    // The file sink writes unbuffered: every byte before the end of the stream is in the file.
    if (GST_EVENT_TYPE(event) == GST_EVENT_EOS)
        recording.completion.Mark();
    return GST_PAD_PROBE_OK;
}

// The elements of one branch, from the bin's pad to the muxer, added to the bin.
class Branch {
public:
    Branch(GstElement* bin, std::initializer_list<const char*> factories)
    {
        for (const char* factory : factories) {
            GstElement* element = gst_element_factory_make(factory, nullptr);
            if (!element)
                return;
            gst_bin_add(GST_BIN(bin), element);
            m_elements.push_back(element);
        }
        m_complete = true;
    }
    bool Complete() const { return m_complete; }
    GstElement* At(size_t index) const { return m_elements[index]; }
    GstElement* Last() const { return m_elements.back(); }
    bool Link(GstElement* muxer, const char* muxerPad) const
    {
        for (size_t i = 1; i < m_elements.size(); i++) {
            if (!gst_element_link(m_elements[i - 1], m_elements[i]))
                return false;
        }
        GstPad* source = gst_element_get_static_pad(Last(), "src");
        GstPad* sink = gst_element_request_pad_simple(muxer, muxerPad);
        bool linked = sink && gst_pad_link(source, sink) == GST_PAD_LINK_OK;
        gst_object_unref(source);
        if (sink)
            gst_object_unref(sink);
        return linked;
    }
    // The queue in front holds media while the muxer waits for the other branch.
    bool Expose(GstElement* bin, const char* name) const
    {
        GstElement* queue = m_elements.front();
        g_object_set(queue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time", kQueueTime, nullptr);
        gst_util_set_object_arg(G_OBJECT(queue), "leaky", "downstream");
        GstPad* target = gst_element_get_static_pad(queue, "sink");
        GstPad* ghost = gst_ghost_pad_new(name, target);
        gst_object_unref(target);
        return ghost && gst_element_add_pad(bin, ghost);
    }

private:
    std::vector<GstElement*> m_elements;
    bool m_complete = false;
};

void SetCaps(GstElement* filter, GstCaps* caps)
{
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
}

bool BuildVideo(GstElement* bin, GstElement* muxer, const RecordingRef& recording)
{
    Branch branch(bin, { "queue", "videoconvert", "videoscale", "capsfilter", "avenc_wmv2" });
    if (!branch.Complete())
        return false;
    const RecordingSettings& settings = recording->settings;
    g_object_set(branch.At(2), "add-borders", FALSE, nullptr);
    SetCaps(branch.At(3), gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", "width", G_TYPE_INT,
                                              settings.width, "height", G_TYPE_INT, settings.height,
                                              "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr));
    GstElement* encoder = branch.Last();
    g_object_set(encoder, "bitrate", settings.videoBitRate, "max-bframes", 0, "gop-size", kFallbackKeyFrameInterval,
                 nullptr);
    recording->videoEncoder = encoder;
    if (!branch.Link(muxer, "video_%u"))
        return false;
    AddProbe(branch.At(0), "src", kEventsAndBuffers, OnRawMedia<Stream::Video>, recording);
    AddProbe(branch.At(3), "src", kEventsAndBuffers, OnFrameToEncode, recording);
    AddProbe(encoder, "src", kEventsAndBuffers, OnEncodedMedia<Stream::Video>, recording);
    return branch.Expose(bin, "video");
}

bool BuildAudio(GstElement* bin, GstElement* muxer, const RecordingRef& recording)
{
    Branch branch(bin, { "queue", "audioconvert", "audioresample", "capsfilter", "avenc_wmav2" });
    if (!branch.Complete())
        return false;
    SetCaps(branch.At(3), gst_caps_new_simple("audio/x-raw", "rate", G_TYPE_INT, kAudioSampleRate, "channels",
                                              GST_TYPE_INT_RANGE, 1, 2, nullptr));
    int bitRate = std::clamp(recording->settings.audioBitRate, kLeastAudioBitRate, kMostAudioBitRate);
    g_object_set(branch.Last(), "bitrate", bitRate, nullptr);
    if (!branch.Link(muxer, "audio_%u"))
        return false;
    AddProbe(branch.At(0), "src", kEventsAndBuffers, OnRawMedia<Stream::Audio>, recording);
    AddProbe(branch.Last(), "src", kEventsAndBuffers, OnEncodedMedia<Stream::Audio>, recording);
    return branch.Expose(bin, "audio");
}

// The bin, with the recording attached when every part of it is in place.
GstElement* BuildBin(const RecordingRef& recording)
{
    GstElement* bin = gst_bin_new(nullptr);
    recording->bin = bin;
    Branch output(bin, { kMuxer, "filesink" });
    if (!output.Complete() || !gst_element_link(output.At(0), output.At(1)))
        return bin;
    GstElement* muxer = output.At(0);
    GstElement* file = output.At(1);
    recording->file = file;
    // A live pipeline does not preroll; the sink must not wait for it when it joins a playing one.
    g_object_set(file, "location", recording->settings.path.c_str(), "async", FALSE, nullptr);
    gst_util_set_object_arg(G_OBJECT(file), "buffer-mode", "unbuffered");
    if (!BuildVideo(bin, muxer, recording))
        return bin;
    if (recording->settings.withAudio && !BuildAudio(bin, muxer, recording))
        return bin;
    AddProbe(file, "sink", kFileData, OnFileData, recording);
    std::string folder = std::filesystem::path(recording->settings.path).parent_path().string();
    recording->space = std::make_unique<RecordingSpaceWatch>([folder] { return FreeSpaceOf(folder); },
                                                             RecordingReserve(recording->settings), kSpaceLookPeriod);
    g_object_set_data_full(G_OBJECT(bin), kRecordingKey, new RecordingRef(recording), DropRecordingRef);
    return bin;
}

RecordingRef RecordingOfBin(GstElement* bin)
{
    if (!bin)
        return nullptr;
    auto* ref = static_cast<RecordingRef*>(g_object_get_data(G_OBJECT(bin), kRecordingKey));
    return ref ? *ref : nullptr;
}

bool HasCaps(GstPad* pad)
{
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (caps)
        gst_caps_unref(caps);
    return caps != nullptr;
}

bool HasEnded(GstPad* pad)
{
    GstEvent* eos = gst_pad_get_sticky_event(pad, GST_EVENT_EOS, 0);
    if (eos)
        gst_event_unref(eos);
    return eos != nullptr;
}

// Sound that never came: the muxer cannot write a file without describing every stream it was
// given, so the branch gets a moment of silence at the file's start.
void SendSilence(GstElement* bin, GstPad* pad, GstClockTime origin)
{
    gchar* id = g_strdup_printf("%s/%s", GST_ELEMENT_NAME(bin), GST_PAD_NAME(pad));
    gst_pad_send_event(pad, gst_event_new_stream_start(id));
    g_free(id);
    GstCaps* caps = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "F32LE", "layout", G_TYPE_STRING,
                                        "interleaved", "rate", G_TYPE_INT, kAudioSampleRate, "channels", G_TYPE_INT, 1,
                                        nullptr);
    gst_pad_send_event(pad, gst_event_new_caps(caps));
    gst_caps_unref(caps);
    GstSegment segment;
    gst_segment_init(&segment, GST_FORMAT_TIME);
    gst_pad_send_event(pad, gst_event_new_segment(&segment));
    GstBuffer* silence = gst_buffer_new_allocate(nullptr, kSilenceSamples * sizeof(float), nullptr);
    gst_buffer_memset(silence, 0, 0, kSilenceSamples * sizeof(float));
    GST_BUFFER_PTS(silence) = origin;
    GST_BUFFER_DURATION(silence) = gst_util_uint64_scale(kSilenceSamples, GST_SECOND, kAudioSampleRate);
    gst_pad_chain(pad, silence);
}

} // namespace

std::uint64_t RecordingReserve(const RecordingSettings& settings)
{
    std::uint64_t bitRate = static_cast<std::uint64_t>(std::max(settings.videoBitRate, 0));
    if (settings.withAudio)
        bitRate += static_cast<std::uint64_t>(std::clamp(settings.audioBitRate, kLeastAudioBitRate, kMostAudioBitRate));
    return kReserveSeconds * bitRate / 8 + kReserveBytes;
}

bool RecordingElementsAvailable()
{
    EnsureGstInitialized();
    for (const char* name : kRequiredElements) {
        GstElementFactory* factory = gst_element_factory_find(name);
        if (!factory)
            return false;
        gst_object_unref(factory);
    }
    return true;
}

GstElement* CreateRecordingBin(const RecordingSettings& settings)
{
    if (settings.path.empty() || settings.width <= 0 || settings.height <= 0 || settings.videoBitRate <= 0)
        return nullptr;
    EnsureGstInitialized();
    GstElement* bin = BuildBin(std::make_shared<Recording>(settings));
    if (RecordingOfBin(bin))
        return bin;
    gst_object_unref(gst_object_ref_sink(bin));
    return nullptr;
}

bool FinishRecording(GstElement* bin, std::chrono::milliseconds timeout)
{
    RecordingRef recording = RecordingOfBin(bin);
    if (!recording)
        return false;
    GST_OBJECT_LOCK(bin);
    GstState state = GST_STATE(bin);
    GST_OBJECT_UNLOCK(bin);
    if (state < GST_STATE_PAUSED)
        return recording->completion.Wait(std::chrono::milliseconds(0));
    // A paused sink would hold what it is given until the pipeline plays again.
    if (state == GST_STATE_PAUSED)
        gst_element_set_state(recording->file, GST_STATE_PLAYING);
    recording->origin.StopWaiting();
    // Without a single frame there is no file to complete.
    std::optional<GstClockTime> origin = recording->origin.Get();
    if (!origin)
        return recording->completion.Wait(std::chrono::milliseconds(0));
    GstPad* video = gst_element_get_static_pad(bin, "video");
    GstPad* audio = gst_element_get_static_pad(bin, "audio");
    if (audio && !HasCaps(audio))
        SendSilence(bin, audio, *origin);
    for (GstPad* pad : { video, audio }) {
        if (pad && !HasEnded(pad))
            gst_pad_send_event(pad, gst_event_new_eos());
    }
    gst_object_unref(video);
    if (audio)
        gst_object_unref(audio);
    return recording->completion.Wait(timeout);
}

} // namespace lumo::media
