#include "facet/widgets/Toolbar.h"

#include "facet/Skin.h"
#include "facet/widgets/Widget.h"
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

constexpr int kPictureTextGap = 4;
constexpr int kAutoWidthPadding = 16;
constexpr int kWidestButton = 4096;

enum ButtonLook { kNormal = 0, kHover = 1, kPressed = 2 };

struct ToolbarButton {
    UINT command = 0;
    LabelMarkup text; // plain: the toolbar draws it in the skin's button colours
    ImageHandle image;
    int width = 0;
};

const ImageCells kStateCells {kToolbarPictureStates, 1};

void PaintButton(HDC dc, const ToolbarButton& button, const RECT& r, ButtonLook look)
{
    const Skin& skin = CurrentSkin();
    int cellWidth = kStateCells.CellWidth(button.image);
    int cellHeight = kStateCells.CellHeight(button.image);
    SIZE textSize = MeasureMarkupText(dc, button.text);
    int gap = cellHeight > 0 && textSize.cy > 0 ? kPictureTextGap : 0;
    int total = cellHeight + gap + textSize.cy;
    LONG top = r.top + std::max<LONG>(0, (r.bottom - r.top - total) / 2);
    if (cellHeight > 0)
        DrawImageCell(dc, button.image, kStateCells, look, 0, r.left + (r.right - r.left - cellWidth) / 2, top);
    RECT text {r.left, top + cellHeight + gap, r.right, r.bottom};
    COLORREF color = look == kNormal ? skin.buttonText : skin.buttonHover;
    DrawMarkupText(dc, text, button.text, color, DT_CENTER | DT_TOP | DT_SINGLELINE);
}

class Toolbar : public Widget {
public:
    explicit Toolbar(const CREATESTRUCTW&) { }

    void Clear()
    {
        ResetPointer();
        m_buttons.clear();
        InvalidateUnder(Handle());
    }

    HRESULT Add(UINT command, LPCWSTR text, LPCWSTR imageUrl, int width)
    {
        ToolbarButton button;
        button.command = command;
        button.text.text = WString(ToView(text));
        button.image = LoadWidgetImage(imageUrl);
        button.width = width > 0 ? std::min(width, kWidestButton) : AutomaticWidth(button);
        bool pictureMissing = imageUrl && *imageUrl && !button.image.Surface();
        m_buttons.push_back(std::move(button));
        InvalidateUnder(Handle());
        return pictureMissing ? S_FALSE : S_OK;
    }

protected:
    // The space between and beside the buttons belongs to the window underneath (its drag band).
    bool PassesThroughBetweenItems() const override { return true; }
    LPCWSTR CursorOver(int item) const override { return item == kNoItem ? nullptr : IDC_HAND; }

    int ItemAt(POINT point) const override
    {
        for (int i = 0; i < static_cast<int>(m_buttons.size()); ++i) {
            RECT r = ButtonRect(i);
            if (point.x >= r.left && point.x < r.right && point.y >= r.top && point.y < r.bottom)
                return i;
        }
        return kNoItem;
    }

    void Paint(HDC dc) override
    {
        RECT client {};
        GetClientRect(Handle(), &client);
        LONG used = 0;
        for (const ToolbarButton& button : m_buttons)
            used += button.width;
        ClipToContent(Handle(), dc, {0, 0, used, client.bottom});
        DrawParentBackdrop(Handle(), dc);
        for (int i = 0; i < static_cast<int>(m_buttons.size()); ++i)
            PaintButton(dc, m_buttons[static_cast<size_t>(i)], ButtonRect(i), LookOf(i));
    }

    void OnClicked(int item) override
    {
        UINT command = m_buttons[static_cast<size_t>(item)].command;
        HWND hwnd = Handle();
        // The parent may rebuild or destroy the toolbar while it handles the command; nothing is used after.
        SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(static_cast<int>(command), BN_CLICKED), reinterpret_cast<LPARAM>(hwnd));
    }

private:
    RECT ButtonRect(int index) const
    {
        if (index < 0 || index >= static_cast<int>(m_buttons.size()))
            return {};
        RECT client {};
        GetClientRect(Handle(), &client);
        LONG left = 0;
        for (int i = 0; i < index; ++i)
            left += m_buttons[static_cast<size_t>(i)].width;
        return {left, 0, left + m_buttons[static_cast<size_t>(index)].width, client.bottom};
    }

    ButtonLook LookOf(int index) const
    {
        if (IsPressedInside(index))
            return kPressed;
        return IsHovered(index) ? kHover : kNormal;
    }

    int AutomaticWidth(const ToolbarButton& button) const
    {
        HDC dc = GetDC(Handle());
        SIZE text = MeasureMarkupText(dc, button.text);
        ReleaseDC(Handle(), dc);
        return std::max<int>(text.cx, kStateCells.CellWidth(button.image)) + kAutoWidthPadding;
    }

    std::vector<ToolbarButton> m_buttons;
};

} // namespace

void RegisterToolbarClass()
{
    RegisterWidgetClass(kToolbarClass, WidgetProc<Toolbar>, IDC_ARROW);
}

bool IsToolbar(HWND hwnd)
{
    return FindWidget<Toolbar>(hwnd) != nullptr;
}

HRESULT ClearToolbar(HWND hwnd)
{
    auto toolbar = FindWidget<Toolbar>(hwnd);
    if (!toolbar)
        return E_INVALIDARG;
    toolbar->Clear();
    return S_OK;
}

HRESULT SetToolbarLayout(HWND hwnd, DWORD layout)
{
    if (!IsToolbar(hwnd))
        return E_INVALIDARG;
    // Picture above text, left to right, is the one layout there is.
    return layout == kToolbarPictureAboveText ? S_OK : E_INVALIDARG;
}

HRESULT AddToolbarButton(HWND hwnd, UINT command, LPCWSTR text, LPCWSTR imageUrl, int width)
{
    auto toolbar = FindWidget<Toolbar>(hwnd);
    if (!toolbar)
        return E_INVALIDARG;
    return toolbar->Add(command, text, imageUrl, width);
}
