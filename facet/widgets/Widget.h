// The shape every widget of the engine shares: one object per window, found by its handle, that
// owns the pointer (hover, press, capture and click over its items) and the message switch. A widget
// says where its items are, paints itself and acts on a click; everything else has a default.
//
// A widget of an engine class is made when its window is created (WidgetProc<T> as the class's
// procedure); a standard control is taken over by AttachWidget and given back by DetachWidget.
#pragma once

#include "facet/widgets/Pointer.h"
#include "facet/widgets/WidgetPaint.h"
#include "facet/widgets/WidgetRegistry.h"
#include "platform/ui/Paint.h"

#include <memory>

class Widget {
public:
    virtual ~Widget() = default;

    HWND Handle() const { return m_hwnd; }
    // The procedure a taken-over control had; nullptr for a window of an engine class.
    WNDPROC Previous() const { return m_previous; }

    // Runs one message through the widget's switch; the window procedures call it.
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void Bind(HWND hwnd, WNDPROC previous)
    {
        m_hwnd = hwnd;
        m_previous = previous;
    }

protected:
    // How the widget uses the pointer.
    enum class PointerUse {
        Clicks,    // items are pressed and clicked; the widget captures the pointer while pressed
        HoverOnly, // only hover is followed; every mouse message still goes to Default
    };

    virtual PointerUse Use() const { return PointerUse::Clicks; }
    // The item under a client point, kNoItem for none. A widget that is one item: 0 inside.
    virtual int ItemAt(POINT client) const { return PointInClient(m_hwnd, client) ? 0 : kNoItem; }
    // Where no item is, the pointer goes through to the window underneath (its drag band).
    virtual bool PassesThroughBetweenItems() const { return false; }
    // The cursor over an item, nullptr to leave it to the class; asked with kNoItem too.
    virtual LPCWSTR CursorOver(int /*item*/) const { return nullptr; }
    virtual void Paint(HDC dc) = 0;
    // A press and a release on the same item. The widget may be destroyed meanwhile by what it sends,
    // so nothing of it is used after the call.
    virtual void OnClicked(int /*item*/) { }
    // A press begins on an item.
    virtual void OnPressed(int /*item*/) { }
    // Every mouse message, before the widget follows it (to relay it to a tooltip, say).
    virtual void OnMouseMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/) { }
    // The hover or press changed; the look follows by default.
    virtual void OnPointerChanged() { InvalidateRect(m_hwnd, nullptr, TRUE); }
    // Every message the switch leaves to the widget.
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) { return Default(message, wParam, lParam); }

    // The window's own handling: the taken-over control's procedure, else the default procedure.
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);
    const ItemPointerState& Pointer() const { return m_pointer; }
    bool IsHovered(int item = 0) const { return m_pointer.hovered == item; }
    // Pressed with the pointer still over the item.
    bool IsPressedInside(int item = 0) const { return m_pointer.pressed == item && m_pointer.pressInside; }
    // Forgets a press and the hover, as when the items are replaced.
    void ResetPointer() { ResetItemPointer(m_hwnd, m_pointer); }

private:
    LRESULT OnPointerMessage(UINT message, WPARAM wParam, LPARAM lParam);

    HWND m_hwnd = nullptr;
    WNDPROC m_previous = nullptr;
    ItemPointerState m_pointer;
};

template <class T>
WidgetRegistry<T>& WidgetsOf()
{
    static WidgetRegistry<T> widgets;
    return widgets;
}

template <class T>
std::shared_ptr<T> FindWidget(HWND hwnd)
{
    return WidgetsOf<T>().Find(hwnd);
}

// The procedure of an engine class whose windows are widgets of type T. T is made from the creation
// parameters: T(const CREATESTRUCTW&).
template <class T>
LRESULT WidgetProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto widget = std::make_shared<T>(*reinterpret_cast<const CREATESTRUCTW*>(lParam));
        widget->Bind(hwnd, nullptr);
        WidgetsOf<T>().Add(hwnd, std::move(widget));
    }
    // Held for the whole message: what the widget sends may destroy its window.
    std::shared_ptr<T> widget = FindWidget<T>(hwnd);
    if (!widget)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        WidgetsOf<T>().Remove(hwnd);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return widget->Dispatch(message, wParam, lParam);
}

// The procedure of standard controls taken over as widgets of type T.
template <class T>
LRESULT AttachedWidgetProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<T> widget = FindWidget<T>(hwnd);
    if (!widget)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        WidgetsOf<T>().Remove(hwnd);
        return CallWindowProcW(widget->Previous(), hwnd, message, wParam, lParam);
    }
    return widget->Dispatch(message, wParam, lParam);
}

// Takes a control over: its messages go through `widget` first, the rest to its own procedure.
template <class T>
void AttachWidget(HWND hwnd, std::shared_ptr<T> widget)
{
    WidgetsOf<T>().Add(hwnd, widget);
    auto previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AttachedWidgetProc<T>)));
    widget->Bind(hwnd, previous);
}

// Gives a taken-over control its own procedure back. When someone subclassed the control after the
// engine, the engine's procedure stays in their chain, and so does the widget. True when it was given
// back.
template <class T>
bool DetachWidget(HWND hwnd)
{
    std::shared_ptr<T> widget = FindWidget<T>(hwnd);
    if (!widget)
        return false;
    if (IsWindow(hwnd) && GetWindowLongPtrW(hwnd, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&AttachedWidgetProc<T>))
        return false;
    WidgetsOf<T>().Remove(hwnd);
    if (IsWindow(hwnd))
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(widget->Previous()));
    return true;
}
