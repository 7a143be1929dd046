#include "facet/widgets/Caption.h"

#include "facet/Skin.h"
#include "facet/widgets/Widget.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Icon.h"
#include "platform/ui/Input.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"

#include <algorithm>
#include <vector>

namespace {

constexpr int kButtonWidth = 32;
constexpr int kGlyphSize = 10;
constexpr int kIconSize = 16;
constexpr int kMargin = 8;
constexpr int kIconTitleGap = 6;
constexpr int kWidestLinkGap = 200;
// Items: the two window buttons, the skin's buttons from kFirstSkinItem, the links (in the order they
// were added) from kFirstLinkItem.
constexpr int kCloseItem = 0;
constexpr int kMinimiseItem = 1;
constexpr int kFirstSkinItem = 100;
constexpr int kFirstLinkItem = 200;

struct CaptionLink {
    UINT command = 0;
    LabelMarkup text;
    RECT spacing {};
};

struct CaptionLayout {
    RECT close {};
    RECT minimise {};
    std::vector<RECT> skinButtons; // in the skin's order, left to right
    std::vector<RECT> links;
    LONG titleLeft = 0;
    LONG titleRight = 0;
};

bool Contains(const RECT& r, POINT p)
{
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

COLORREF Darker(COLORREF color)
{
    return RGB(static_cast<BYTE>(GetRValue(color) * 4 / 5), static_cast<BYTE>(GetGValue(color) * 4 / 5),
        static_cast<BYTE>(GetBValue(color) * 4 / 5));
}

void StrokeGlyph(cairo_t* cr, int item, double cx, double cy)
{
    double half = kGlyphSize / 2.0;
    if (item == kCloseItem) {
        cairo_move_to(cr, cx - half, cy - half);
        cairo_line_to(cr, cx + half, cy + half);
        cairo_move_to(cr, cx + half, cy - half);
        cairo_line_to(cr, cx - half, cy + half);
        return;
    }
    if (item == kMinimiseItem) {
        cairo_move_to(cr, cx - half, cy + half - 1);
        cairo_line_to(cr, cx + half, cy + half - 1);
        return;
    }
}

// Four corners pointing out: the picture grows to the screen.
void StrokeFullScreen(cairo_t* cr, double cx, double cy)
{
    double half = kGlyphSize / 2.0;
    double arm = 3.5;
    for (int sx : {-1, 1}) {
        for (int sy : {-1, 1}) {
            double x = cx + sx * half;
            double y = cy + sy * half;
            cairo_move_to(cr, x - sx * arm, y);
            cairo_line_to(cr, x, y);
            cairo_line_to(cr, x, y - sy * arm);
        }
    }
}

// A screen with a smaller picture in its corner: the picture's size.
void StrokeResolution(cairo_t* cr, double cx, double cy)
{
    double halfWidth = kGlyphSize / 2.0 + 1;
    double halfHeight = kGlyphSize / 2.0 - 1;
    cairo_rectangle(cr, cx - halfWidth, cy - halfHeight, 2 * halfWidth, 2 * halfHeight);
    cairo_rectangle(cr, cx - halfWidth + 2.5, cy - halfHeight + 2.5, halfWidth, halfHeight);
}

class Caption : public Widget {
public:
    explicit Caption(const CREATESTRUCTW&) { }

    void SetIcon(HICON icon)
    {
        m_icon = icon;
        InvalidateRect(Handle(), nullptr, TRUE);
    }

    void AddLink(CaptionLink link)
    {
        // Set up again (after a skin reload) a command keeps its one link.
        auto same = std::find_if(m_links.begin(), m_links.end(), [&](const CaptionLink& l) { return l.command == link.command; });
        if (same != m_links.end())
            *same = std::move(link);
        else
            m_links.push_back(std::move(link));
        InvalidateRect(Handle(), nullptr, TRUE);
    }

    // The tips of the skin's buttons follow the buttons' places; a skin without buttons has none.
    void UpdateTips()
    {
        for (UINT_PTR id = 0; id < m_tipCount; ++id) {
            TOOLINFOW tool {};
            tool.cbSize = sizeof tool;
            tool.hwnd = Handle();
            tool.uId = id;
            SendMessageW(m_tip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
        m_tipCount = 0;
        const std::vector<SkinCaptionButton>& buttons = CurrentSkin().captionButtons;
        if (buttons.empty())
            return;
        if (!m_tip) {
            m_tip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0, 0,
                GetParent(Handle()), nullptr, nullptr, nullptr);
            if (!m_tip)
                return;
            SendMessageW(m_tip, TTM_ACTIVATE, TRUE, 0);
        }
        CaptionLayout layout = Layout();
        for (size_t i = 0; i < buttons.size() && i < layout.skinButtons.size(); ++i) {
            WString text = buttons[i].tip;
            if (text.empty())
                continue;
            TOOLINFOW tool {};
            tool.cbSize = sizeof tool;
            tool.hwnd = Handle();
            tool.uId = m_tipCount;
            tool.rect = layout.skinButtons[i];
            tool.lpszText = text.data();
            if (SendMessageW(m_tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool)))
                ++m_tipCount;
        }
    }

protected:
    bool PassesThroughBetweenItems() const override { return true; }
    LPCWSTR CursorOver(int item) const override { return item >= kFirstLinkItem ? IDC_HAND : nullptr; }

    int ItemAt(POINT point) const override
    {
        CaptionLayout layout = Layout();
        if (Contains(layout.close, point))
            return kCloseItem;
        if (Contains(layout.minimise, point))
            return kMinimiseItem;
        for (size_t i = 0; i < layout.skinButtons.size(); ++i) {
            if (Contains(layout.skinButtons[i], point))
                return kFirstSkinItem + static_cast<int>(i);
        }
        for (size_t i = 0; i < layout.links.size(); ++i) {
            if (Contains(layout.links[i], point))
                return kFirstLinkItem + static_cast<int>(i);
        }
        return kNoItem;
    }

    void Paint(HDC dc) override
    {
        HWND hwnd = Handle();
        DrawParentBackdrop(hwnd, dc);
        RECT client {};
        GetClientRect(hwnd, &client);
        CaptionLayout layout = Layout();
        PaintIcon(dc, client.bottom);
        PaintTitle(dc, layout, client.bottom);
        const Skin& skin = CurrentSkin();
        for (size_t i = 0; i < m_links.size(); ++i) {
            int item = kFirstLinkItem + static_cast<int>(i);
            LabelMarkup text = m_links[i].text;
            bool hovered = IsHovered(item);
            text.underline = text.underline || hovered;
            TextColors colors = MarkupColors(text, {skin.linkText, skin.linkHover});
            DrawMarkupText(dc, layout.links[i], text, hovered ? colors.hover : colors.normal, DT_LEFT | DT_TOP | DT_SINGLELINE);
        }
        for (size_t i = 0; i < layout.skinButtons.size(); ++i)
            PaintButton(dc, layout.skinButtons[i], kFirstSkinItem + static_cast<int>(i));
        if (layout.minimise.right > layout.minimise.left)
            PaintButton(dc, layout.minimise, kMinimiseItem);
        PaintButton(dc, layout.close, kCloseItem);
    }

    void OnMouseMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (!m_tip)
            return;
        MSG msg {};
        msg.hwnd = Handle();
        msg.message = message;
        msg.wParam = wParam;
        msg.lParam = lParam;
        SendMessageW(m_tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
    }

    // The parent may destroy the caption (closing the window) while it handles the command.
    void OnClicked(int item) override
    {
        HWND hwnd = Handle();
        HWND window = GetParent(hwnd);
        if (item == kMinimiseItem) {
            ShowWindow(window, SW_MINIMIZE);
            return;
        }
        UINT command = IDCANCEL;
        const std::vector<SkinCaptionButton>& buttons = CurrentSkin().captionButtons;
        if (item >= kFirstLinkItem)
            command = m_links[static_cast<size_t>(item - kFirstLinkItem)].command;
        else if (item >= kFirstSkinItem && static_cast<size_t>(item - kFirstSkinItem) < buttons.size())
            command = buttons[static_cast<size_t>(item - kFirstSkinItem)].command;
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(static_cast<int>(command), BN_CLICKED), reinterpret_cast<LPARAM>(hwnd));
    }

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        switch (message) {
        case WM_SETTEXT: {
            LRESULT result = Default(message, wParam, lParam);
            InvalidateRect(Handle(), nullptr, TRUE);
            return result;
        }
        case WM_SIZE:
            UpdateTips();
            return Default(message, wParam, lParam);
        case WM_DESTROY:
            if (m_tip)
                DestroyWindow(m_tip);
            m_tip = nullptr;
            m_tipCount = 0;
            return Default(message, wParam, lParam);
        default:
            return Default(message, wParam, lParam);
        }
    }

private:
    // Right to left from the close button: minimise, the skin's buttons, then the links, the first
    // link added nearest to the buttons.
    CaptionLayout Layout() const
    {
        HWND hwnd = Handle();
        CaptionLayout layout;
        RECT client {};
        GetClientRect(hwnd, &client);
        LONG height = client.bottom;
        layout.close = {client.right - kButtonWidth, 0, client.right, height};
        // The minimise button shows only for a window with a minimise box, as the system's caption does.
        bool minimiseBox = (GetWindowLongPtrW(GetParent(hwnd), GWL_STYLE) & WS_MINIMIZEBOX) != 0;
        LONG minimiseWidth = minimiseBox ? kButtonWidth : 0;
        layout.minimise = {layout.close.left - minimiseWidth, 0, layout.close.left, height};
        size_t skinButtons = CurrentSkin().captionButtons.size();
        LONG left = layout.minimise.left - static_cast<LONG>(skinButtons) * kButtonWidth;
        for (size_t i = 0; i < skinButtons; ++i) {
            LONG x = left + static_cast<LONG>(i) * kButtonWidth;
            layout.skinButtons.push_back({x, 0, x + kButtonWidth, height});
        }
        LONG x = left - kMargin;
        HDC dc = GetDC(hwnd);
        for (const CaptionLink& link : m_links) {
            SIZE size = MeasureMarkupText(dc, link.text);
            LONG gap = std::clamp<LONG>(link.spacing.right - link.spacing.left, 0, kWidestLinkGap);
            LONG shiftX = std::clamp<LONG>(link.spacing.left, -kWidestLinkGap, kWidestLinkGap);
            LONG shiftY = std::clamp<LONG>(link.spacing.top, -kWidestLinkGap, kWidestLinkGap);
            LONG right = x - gap + shiftX;
            LONG top = (height - size.cy) / 2 + shiftY;
            layout.links.push_back({right - size.cx, top, right, top + size.cy});
            x = right - size.cx - shiftX;
        }
        ReleaseDC(hwnd, dc);
        layout.titleLeft = kMargin + (m_icon ? kIconSize + kIconTitleGap : 0);
        layout.titleRight = x - kMargin;
        return layout;
    }

    void PaintButton(HDC dc, const RECT& r, int item) const
    {
        const Skin& skin = CurrentSkin();
        cairo_t* cr = CairoOf(dc);
        cairo_save(cr);
        bool pressed = IsPressedInside(item);
        if (pressed || (IsHovered(item) && Pointer().pressed == kNoItem)) {
            SetCairoColor(cr, pressed ? Darker(skin.buttonHover) : skin.buttonHover);
            cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
            cairo_fill(cr);
        }
        double cx = (r.left + r.right) / 2.0;
        double cy = (r.top + r.bottom) / 2.0;
        SetCairoColor(cr, skin.captionText);
        cairo_set_line_width(cr, 1.5);
        if (item >= kFirstSkinItem) {
            const std::vector<SkinCaptionButton>& buttons = skin.captionButtons;
            auto index = static_cast<size_t>(item - kFirstSkinItem);
            if (index < buttons.size() && buttons[index].glyph == CaptionGlyph::Resolution)
                StrokeResolution(cr, cx, cy);
            else
                StrokeFullScreen(cr, cx, cy);
        } else {
            StrokeGlyph(cr, item, cx, cy);
        }
        cairo_stroke(cr);
        cairo_restore(cr);
    }

    void PaintIcon(HDC dc, LONG height) const
    {
        cairo_surface_t* picture = IconSurface(m_icon);
        if (!picture)
            return;
        RECT source {0, 0, cairo_image_surface_get_width(picture), cairo_image_surface_get_height(picture)};
        LONG top = (height - kIconSize) / 2;
        DrawSurfacePart(CairoOf(dc), picture, source, {kMargin, top, kMargin + kIconSize, top + kIconSize});
    }

    void PaintTitle(HDC dc, const CaptionLayout& layout, LONG height) const
    {
        WString title = WindowText(Handle());
        if (title.empty())
            title = WindowText(GetParent(Handle()));
        if (title.empty() || layout.titleRight <= layout.titleLeft)
            return;
        LabelMarkup text;
        text.text = std::move(title);
        text.bold = true;
        RECT area {layout.titleLeft, 0, layout.titleRight, height};
        DrawMarkupText(dc, area, text, CurrentSkin().captionText, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    }

    HICON m_icon = nullptr;
    std::vector<CaptionLink> m_links;
    HWND m_tip = nullptr;
    UINT_PTR m_tipCount = 0;
};

} // namespace

void RegisterCaptionClass()
{
    RegisterWidgetClass(kCaptionClass, WidgetProc<Caption>, IDC_ARROW);
}

HWND CreateCaption(HWND window)
{
    RECT client {};
    GetClientRect(window, &client);
    HWND caption = CreateWindowExW(0, kCaptionClass, u"", WS_CHILD | WS_VISIBLE, 0, 0, client.right,
        CurrentSkin().captionHeight, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCaptionId)), nullptr, nullptr);
    if (!caption)
        return nullptr;
    // Below every control, so a control that reaches into the band keeps its pointer.
    SetWindowPos(caption, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (auto widget = FindWidget<Caption>(caption))
        widget->UpdateTips();
    return caption;
}

bool IsCaption(HWND hwnd)
{
    return FindWidget<Caption>(hwnd) != nullptr;
}

void LayoutCaption(HWND caption)
{
    auto widget = FindWidget<Caption>(caption);
    if (!widget)
        return;
    RECT client {};
    GetClientRect(GetParent(caption), &client);
    SetWindowPos(caption, nullptr, 0, 0, client.right, CurrentSkin().captionHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    // The skin (and with it the buttons) may have changed while the size did not.
    widget->UpdateTips();
    InvalidateRect(caption, nullptr, TRUE);
}

HRESULT SetCaptionWindowIcon(HWND caption, HICON icon)
{
    auto widget = FindWidget<Caption>(caption);
    if (!widget)
        return E_INVALIDARG;
    widget->SetIcon(icon);
    return S_OK;
}

HRESULT AddCaptionLink(HWND caption, UINT command, LPCWSTR text, const RECT* spacing)
{
    auto widget = FindWidget<Caption>(caption);
    if (!widget)
        return E_INVALIDARG;
    if (!text || !*text)
        return E_INVALIDARG;
    CaptionLink link;
    link.command = command;
    link.text = ParseLabelMarkup(ToView(text));
    if (spacing)
        link.spacing = *spacing;
    widget->AddLink(std::move(link));
    return S_OK;
}
