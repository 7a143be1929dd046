// The sample grabber: passes video through as it comes and holds on to the last frame; whoever asks
// gets that frame converted to the type the grabber was told to accept (24-bit BGR, rows padded to
// four bytes, bottom row first, like a bottom-up DIB). Only an asked-for frame is converted.
#pragma once

#include "platform/media/graph/Filter.h"

#include <memory>

namespace lumo::media {

struct GrabberSlot;

class SampleGrabber final : public Filter, public ISampleGrabber {
public:
    SampleGrabber();

    HRESULT QueryInterface(REFIID iid, void** object) override { return Filter::QueryInterface(iid, object); }
    ULONG AddRef() override { return Filter::AddRef(); }
    ULONG Release() override { return Filter::Release(); }

    HRESULT SetOneShot(BOOL oneShot) override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT SetBufferSamples(BOOL buffer) override;
    HRESULT GetCurrentBuffer(LONG* size, LONG* buffer) override;

    GstElement* CreateElement(const RunContext& context) override;
    const MediaType& Accepted() const { return m_accepted; }

protected:
    void* FindInterface(REFIID iid) override;

private:
    ~SampleGrabber() override;

    MediaType m_accepted;
    std::shared_ptr<GrabberSlot> m_slot;
};

} // namespace lumo::media
