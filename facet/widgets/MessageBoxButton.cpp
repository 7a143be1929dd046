#include "facet/widgets/MessageBoxButton.h"

#include "facet/widgets/MessageBoxLook.h"
#include "facet/widgets/Widget.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/Input.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Window.h"

namespace {

class MessageBoxButton : public Widget {
public:
    explicit MessageBoxButton(const CREATESTRUCTW& create)
    {
        if (auto* picture = static_cast<std::shared_ptr<const ImageHandle>*>(create.lpCreateParams))
            m_picture = *picture;
    }

protected:
    void Paint(HDC dc) override
    {
        DrawParentBackdrop(Handle(), dc);
        RECT client {};
        GetClientRect(Handle(), &client);
        DrawMessageBoxButton(dc, m_picture.get(), client, Look(), GetFocus() == Handle(), WindowText(Handle()));
    }

    // A press takes the focus, as a push button of the desktop does.
    void OnPressed(int) override { SetFocus(Handle()); }

    void OnClicked(int) override
    {
        HWND hwnd = Handle();
        // The box may end and destroy the button while it handles the click; nothing is used after.
        SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), BN_CLICKED), reinterpret_cast<LPARAM>(hwnd));
    }

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        switch (message) {
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_ENABLE:
            InvalidateRect(Handle(), nullptr, TRUE);
            return 0;
        case WM_SETTEXT: {
            LRESULT result = Default(message, wParam, lParam);
            InvalidateRect(Handle(), nullptr, TRUE);
            return result;
        }
        default:
            return Default(message, wParam, lParam);
        }
    }

private:
    MessageBoxButtonLook Look() const
    {
        // A press dragged off the button shows it released, as a push button of the desktop does.
        if (IsPressedInside())
            return MessageBoxButtonLook::Pressed;
        bool pressedElsewhere = Pointer().pressed != kNoItem;
        return IsHovered() && !pressedElsewhere ? MessageBoxButtonLook::Hover : MessageBoxButtonLook::Normal;
    }

    std::shared_ptr<const ImageHandle> m_picture;
};

} // namespace

void RegisterMessageBoxButtonClass()
{
    WNDCLASSEXW existing {};
    existing.cbSize = sizeof existing;
    if (!GetClassInfoExW(nullptr, kMessageBoxButtonClass, &existing))
        RegisterWidgetClass(kMessageBoxButtonClass, WidgetProc<MessageBoxButton>, IDC_ARROW);
}

HWND CreateMessageBoxButton(HWND box, int id, LPCWSTR text, const RECT& rect, std::shared_ptr<const ImageHandle> picture)
{
    return CreateWindowExW(0, kMessageBoxButtonClass, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP, rect.left, rect.top,
        rect.right - rect.left, rect.bottom - rect.top, box, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr,
        &picture);
}

bool IsMessageBoxButton(HWND hwnd)
{
    return FindWidget<MessageBoxButton>(hwnd) != nullptr;
}
