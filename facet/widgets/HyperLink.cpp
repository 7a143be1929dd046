#include "facet/widgets/HyperLink.h"

#include "facet/Skin.h"
#include "facet/widgets/Widget.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"

namespace {

class HyperLink : public Widget {
public:
    explicit HyperLink(const CREATESTRUCTW&) { }

protected:
    LPCWSTR CursorOver(int) const override { return IDC_HAND; }

    void Paint(HDC dc) override
    {
        RECT client {};
        GetClientRect(Handle(), &client);
        constexpr UINT kFormat = DT_LEFT | DT_SINGLELINE | DT_VCENTER;
        ClipToContent(Handle(), dc, MarkupTextBounds(dc, m_markup, client, kFormat));
        DrawParentBackdrop(Handle(), dc);
        const Skin& skin = CurrentSkin();
        TextColors colors = MarkupColors(m_markup, {skin.linkText, skin.linkHover});
        DrawMarkupText(dc, client, m_markup, IsHovered() ? colors.hover : colors.normal, kFormat);
    }

    void OnClicked(int) override
    {
        HWND hwnd = Handle();
        HWND parent = GetParent(hwnd);
        int id = GetDlgCtrlID(hwnd);
        UINT link = m_markup.link;
        // The parent may destroy this control while it handles the command; nothing of it is used after.
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(hwnd));
        if (link != 0)
            PostMessageW(parent, link, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(hwnd));
    }

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        switch (message) {
        case WM_NCCREATE:
        case WM_SETTEXT: {
            LRESULT result = Default(message, wParam, lParam);
            m_markup = ParseLabelMarkup(WindowText(Handle()));
            InvalidateUnder(Handle());
            return result;
        }
        case WM_ENABLE:
            InvalidateRect(Handle(), nullptr, TRUE);
            return 0;
        default:
            return Default(message, wParam, lParam);
        }
    }

private:
    LabelMarkup m_markup;
};

} // namespace

void RegisterHyperLinkClass()
{
    RegisterWidgetClass(kHyperLinkClass, WidgetProc<HyperLink>, IDC_HAND);
}

bool IsHyperLink(HWND hwnd)
{
    return FindWidget<HyperLink>(hwnd) != nullptr;
}
