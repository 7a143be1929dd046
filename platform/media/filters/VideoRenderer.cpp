#include "platform/media/filters/VideoRenderer.h"

namespace lumo::media {

VideoRenderer::VideoRenderer()
    : Filter(CLSID_VideoRenderer, u"Video Renderer")
{
    AddPin(std::make_unique<VideoInputPin>(*this, u"Input", "sink"));
}

VideoRenderer::~VideoRenderer() = default;

void* VideoRenderer::FindInterface(REFIID iid)
{
    return iid == IID_IVideoWindow ? static_cast<IVideoWindow*>(this) : nullptr;
}

GstElement* VideoRenderer::CreateElement(const RunContext&) { return m_surface.CreateSink(); }

HRESULT VideoRenderer::put_Owner(OAHWND owner)
{
    m_surface.SetOwner(reinterpret_cast<HWND>(owner));
    return S_OK;
}

HRESULT VideoRenderer::get_Owner(OAHWND* owner)
{
    if (!owner)
        return E_POINTER;
    *owner = reinterpret_cast<OAHWND>(m_surface.Owner());
    return S_OK;
}

HRESULT VideoRenderer::put_WindowStyle(LONG style)
{
    m_surface.SetWindowStyle(style);
    return S_OK;
}

HRESULT VideoRenderer::put_Visible(LONG visible)
{
    m_surface.SetVisible(visible != OAFALSE);
    return S_OK;
}

HRESULT VideoRenderer::get_Visible(LONG* visible)
{
    if (!visible)
        return E_POINTER;
    *visible = m_surface.IsVisible() ? OATRUE : OAFALSE;
    return S_OK;
}

HRESULT VideoRenderer::put_MessageDrain(OAHWND drain)
{
    m_surface.SetMessageDrain(reinterpret_cast<HWND>(drain));
    return S_OK;
}

HRESULT VideoRenderer::SetWindowPosition(LONG left, LONG top, LONG width, LONG height)
{
    if (width < 0 || height < 0)
        return E_INVALIDARG;
    m_surface.SetPosition(left, top, width, height);
    return S_OK;
}

HRESULT VideoRenderer::GetWindowPosition(LONG* left, LONG* top, LONG* width, LONG* height)
{
    if (!left || !top || !width || !height)
        return E_POINTER;
    int x = 0, y = 0, w = 0, h = 0;
    m_surface.GetPosition(&x, &y, &w, &h);
    *left = x;
    *top = y;
    *width = w;
    *height = h;
    return S_OK;
}

HRESULT VideoRenderer::put_FullScreenMode(LONG fullScreen)
{
    m_surface.SetFullScreen(fullScreen != OAFALSE);
    return S_OK;
}

HRESULT VideoRenderer::get_FullScreenMode(LONG* fullScreen)
{
    if (!fullScreen)
        return E_POINTER;
    *fullScreen = m_surface.IsFullScreen() ? OATRUE : OAFALSE;
    return S_OK;
}

} // namespace lumo::media
