// The filter of a capture device: one output pin of the capture category, whose stream
// configuration lists the device's capabilities and holds the format the device will deliver.
#pragma once

#include "platform/media/graph/Filter.h"
#include "platform/media/gst/Devices.h"

namespace lumo::media {

class CaptureFilter;

class CapturePin final : public Pin, public IAMStreamConfig, public ISpecifyPropertyPages {
public:
    explicit CapturePin(CaptureFilter& owner);

    HRESULT QueryInterface(REFIID iid, void** object) override { return Pin::QueryInterface(iid, object); }
    ULONG AddRef() override { return Pin::AddRef(); }
    ULONG Release() override { return Pin::Release(); }

    // IAMStreamConfig
    HRESULT SetFormat(AM_MEDIA_TYPE* type) override;
    HRESULT GetFormat(AM_MEDIA_TYPE** type) override;
    HRESULT GetNumberOfCapabilities(int* count, int* size) override;
    HRESULT GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;
    // ISpecifyPropertyPages: the device offers no settings pages of its own.
    HRESULT GetPages(CAUUID* pages) override;

    bool OutputType(MediaType* type) const override;
    bool FrameSize(LONG* width, LONG* height) const override;

    // The chosen capability and the requested frame interval (100 ns) of the next run.
    const VideoCapability* Chosen() const;
    LONGLONG FrameInterval() const { return m_frameInterval; }

protected:
    void* FindInterface(REFIID iid) override;

private:
    const DeviceDescription& Device() const;
    bool IsVideo() const;
    MediaType TypeOf(size_t index, LONGLONG frameInterval) const;

    size_t m_chosen = 0;
    LONGLONG m_frameInterval = 0;
};

class CaptureFilter final : public Filter {
public:
    explicit CaptureFilter(DeviceDescription device);

    const DeviceDescription& Device() const { return m_device; }
    GstElement* CreateElement(const RunContext& context) override;
    bool IsDevice() const override { return true; }
    bool DeviceLost() const override;
    bool IsSoundDevice() const override;

private:
    DeviceDescription m_device;
};

} // namespace lumo::media
