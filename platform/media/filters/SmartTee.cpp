#include "platform/media/filters/SmartTee.h"

#include <gst/gst.h>

namespace lumo::media {

namespace {

class TeeOutput final : public Pin {
public:
    TeeOutput(Filter& owner, WString name, const GUID& category, std::string padName)
        : Pin(owner, std::move(name), PINDIR_OUTPUT, category, std::move(padName))
    {
    }
    bool OutputType(MediaType* type) const override
    {
        const Pin& input = *Owner().Pins()[0];
        if (!input.Peer())
            return false;
        *type = input.Connection();
        return true;
    }
    bool FrameSize(LONG* width, LONG* height) const override { return Owner().Pins()[0]->FrameSize(width, height); }
};

// One branch of the tee: a queue and the ghost pad of the output pin.
void AddBranch(GstElement* bin, GstElement* tee, const Pin& pin, bool dropLateFrames)
{
    GstElement* queue = gst_element_factory_make("queue", nullptr);
    if (dropLateFrames) {
        g_object_set(queue, "leaky", 2 /* downstream */, "max-size-buffers", 2u, "max-size-bytes", 0u,
                     "max-size-time", static_cast<guint64>(0), nullptr);
    } else {
        g_object_set(queue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                     static_cast<guint64>(2 * GST_SECOND), nullptr);
    }
    gst_bin_add(GST_BIN(bin), queue);
    gst_element_link(tee, queue);
    GstPad* source = gst_element_get_static_pad(queue, "src");
    gst_element_add_pad(bin, gst_ghost_pad_new(pin.PadName().c_str(), source));
    gst_object_unref(source);
}

} // namespace

SmartTee::SmartTee()
    : Filter(CLSID_SmartTee, u"Smart Tee")
{
    AddPin(std::make_unique<VideoInputPin>(*this, u"Input", "sink"));
    AddPin(std::make_unique<TeeOutput>(*this, u"Capture", PIN_CATEGORY_CAPTURE, "capture"));
    AddPin(std::make_unique<TeeOutput>(*this, u"Preview", PIN_CATEGORY_PREVIEW, "preview"));
}

GstElement* SmartTee::CreateElement(const RunContext&)
{
    GstElement* bin = gst_bin_new(nullptr);
    GstElement* tee = gst_element_factory_make("tee", nullptr);
    g_object_set(tee, "allow-not-linked", TRUE, nullptr);
    gst_bin_add(GST_BIN(bin), tee);
    GstPad* sink = gst_element_get_static_pad(tee, "sink");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", sink));
    gst_object_unref(sink);
    if (CaptureOutput().Peer())
        AddBranch(bin, tee, CaptureOutput(), false);
    if (PreviewOutput().Peer())
        AddBranch(bin, tee, PreviewOutput(), true);
    return bin;
}

} // namespace lumo::media
