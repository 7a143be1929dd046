#include "facet/widgets/CheckBox.h"

#include "facet/Skin.h"
#include "facet/widgets/Widget.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Icon.h"
#include "platform/ui/Input.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Window.h"

#include <algorithm>

namespace {

constexpr int kBoxSize = 13; // the drawn box when there is no picture
constexpr int kTextGap = 4;
constexpr DWORD kThreeState = 0x0005;     // BS_3STATE
constexpr DWORD kAutoThreeState = 0x0006; // BS_AUTO3STATE

bool IsChecked(HWND hwnd, WNDPROC previous)
{
    return CallWindowProcW(previous, hwnd, BM_GETCHECK, 0, 0) != BST_UNCHECKED;
}

// Cells of the picture: unchecked, unchecked under the pointer, checked, checked under the pointer.
// Pictures with fewer cells show what they have.
int CellFor(int across, bool checked, bool hovered)
{
    if (across >= 4)
        return (checked ? 2 : 0) + (hovered ? 1 : 0);
    if (across == 3)
        return checked ? 2 : (hovered ? 1 : 0);
    if (across == 2)
        return checked ? 1 : 0;
    return 0;
}

void DrawPlainBox(HDC dc, const RECT& box, COLORREF color, bool checked)
{
    cairo_t* cr = CairoOf(dc);
    cairo_save(cr);
    SetCairoColor(cr, color);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, box.left + 0.5, box.top + 0.5, kBoxSize - 1, kBoxSize - 1);
    cairo_stroke(cr);
    if (checked) {
        cairo_set_line_width(cr, 2);
        cairo_move_to(cr, box.left + 3, box.top + 6.5);
        cairo_line_to(cr, box.left + 5.5, box.top + 9.5);
        cairo_line_to(cr, box.left + 10, box.top + 3.5);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

class CheckBox : public Widget {
public:
    void SetImage(ImageHandle image, ImageCells cells)
    {
        m_image = std::move(image);
        m_cells = cells;
        InvalidateUnder(Handle());
    }
    bool HasImage() const { return m_image.Surface() != nullptr; }

    void TakeText() { m_markup = ParseLabelMarkup(WindowText(Handle())); }

    // The text as drawn: in the skin's check-box size unless the markup sets one.
    LabelMarkup DrawnText() const
    {
        LabelMarkup text = m_markup;
        if (text.size == 0)
            text.size = CurrentSkin().checkBoxFontSize;
        return text;
    }

protected:
    // The button's own procedure keeps the pressing, checking and BN_CLICKED.
    PointerUse Use() const override { return PointerUse::HoverOnly; }
    LPCWSTR CursorOver(int) const override { return m_markup.hand ? IDC_HAND : nullptr; }

    void Paint(HDC dc) override
    {
        HWND hwnd = Handle();
        RECT client {};
        GetClientRect(hwnd, &client);
        int boxWidth = m_image.Surface() ? m_cells.CellWidth(m_image) : kBoxSize;
        RECT text {boxWidth + kTextGap, 0, client.right, client.bottom};
        constexpr UINT kFormat = DT_LEFT | DT_SINGLELINE | DT_VCENTER;
        LabelMarkup markup = DrawnText();
        RECT textBounds = MarkupTextBounds(dc, markup, text, kFormat);
        ClipToContent(hwnd, dc, {0, 0, std::max<LONG>(textBounds.right, boxWidth), client.bottom});
        DrawParentBackdrop(hwnd, dc);
        const Skin& skin = CurrentSkin();
        TextColors colors = MarkupColors(m_markup, {skin.statusText, skin.statusText});
        bool hovered = IsHovered();
        COLORREF color = hovered ? colors.hover : colors.normal;
        bool checked = IsChecked(hwnd, Previous());
        if (m_image.Surface()) {
            int cellHeight = m_cells.CellHeight(m_image);
            bool disabled = !IsWindowEnabled(hwnd) && m_cells.down > 1;
            int column = CellFor(m_cells.across, checked, hovered);
            DrawImageCell(dc, m_image, m_cells, column, disabled ? 1 : 0, 0, (client.bottom - cellHeight) / 2);
        } else {
            LONG top = (client.bottom - kBoxSize) / 2;
            DrawPlainBox(dc, {0, top, kBoxSize, top + kBoxSize}, color, checked);
        }
        DrawMarkupText(dc, text, markup, color, kFormat);
    }

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message != WM_SETTEXT)
            return Default(message, wParam, lParam);
        LRESULT result = Default(message, wParam, lParam);
        TakeText();
        InvalidateUnder(Handle());
        return result;
    }

private:
    LabelMarkup m_markup;
    ImageHandle m_image;
    ImageCells m_cells {4, 1};
};

} // namespace

bool IsCheckBoxControl(HWND hwnd)
{
    if (lstrcmpiW(ClassNameOf(hwnd).c_str(), u"Button") != 0)
        return false;
    DWORD type = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)) & BS_TYPEMASK;
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == kThreeState || type == kAutoThreeState;
}

bool SkinCheckBox(HWND hwnd)
{
    if (!IsCheckBoxControl(hwnd))
        return false;
    if (FindWidget<CheckBox>(hwnd))
        return true;
    auto box = std::make_shared<CheckBox>();
    AttachWidget(hwnd, box);
    box->TakeText();
    InvalidateUnder(hwnd);
    return true;
}

HRESULT SetCheckBoxImage(HWND hwnd, LPCWSTR pathOrUrl, DWORD cells)
{
    if (!SkinCheckBox(hwnd))
        return E_INVALIDARG;
    auto box = FindWidget<CheckBox>(hwnd);
    int across = std::max<int>(LOWORD(cells), 1);
    int down = std::max<int>(HIWORD(cells), 1);
    box->SetImage(LoadWidgetImage(pathOrUrl), {across, down});
    if (pathOrUrl && *pathOrUrl && !box->HasImage())
        return E_FAIL;
    return S_OK;
}

void UnskinCheckBox(HWND hwnd)
{
    if (DetachWidget<CheckBox>(hwnd) && IsWindow(hwnd))
        InvalidateUnder(hwnd);
}

std::vector<HWND> SkinnedCheckBoxes()
{
    return WidgetsOf<CheckBox>().Windows();
}
