// The default video renderer: draws the stream into its own window inside the owner it is given
// (IVideoWindow), with a full-screen mode.
#pragma once

#include "platform/media/graph/Filter.h"
#include "platform/media/renderer/VideoSurface.h"

namespace lumo::media {

class VideoRenderer final : public Filter, public IVideoWindow {
public:
    VideoRenderer();

    HRESULT QueryInterface(REFIID iid, void** object) override { return Filter::QueryInterface(iid, object); }
    ULONG AddRef() override { return Filter::AddRef(); }
    ULONG Release() override { return Filter::Release(); }

    HRESULT put_Owner(OAHWND owner) override;
    HRESULT get_Owner(OAHWND* owner) override;
    HRESULT put_WindowStyle(LONG style) override;
    HRESULT put_Visible(LONG visible) override;
    HRESULT get_Visible(LONG* visible) override;
    HRESULT put_MessageDrain(OAHWND drain) override;
    HRESULT SetWindowPosition(LONG left, LONG top, LONG width, LONG height) override;
    HRESULT GetWindowPosition(LONG* left, LONG* top, LONG* width, LONG* height) override;
    HRESULT put_FullScreenMode(LONG fullScreen) override;
    HRESULT get_FullScreenMode(LONG* fullScreen) override;

    GstElement* CreateElement(const RunContext& context) override;
    VideoSurface& Surface() { return m_surface; }

protected:
    void* FindInterface(REFIID iid) override;

private:
    ~VideoRenderer() override;

    VideoSurface m_surface;
};

} // namespace lumo::media
