// CWindowImpl: a C++ object bound to a window of its own class, whose messages go through the
// object's message map.
#pragma once

#include "platform/framework/MessageMap.h"
#include "platform/framework/Window.h"
#include "platform/ui/Icon.h"
#include "platform/ui/WindowClass.h"

#include <string>

// The class a CWindowImpl registers on its first Create.
struct CWndClassInfo {
    LPCWSTR name;
    UINT style;
    HBRUSH background;
    ATOM atom = 0;
};

// In a window class: the name, class styles and background colour index (COLOR_*) of its window class.
#define DECLARE_WND_CLASS_EX(className, classStyle, backgroundColor)                                              \
    static CWndClassInfo& GetWndClassInfo()                                                                       \
    {                                                                                                             \
        static CWndClassInfo info {className, classStyle,                                                         \
            reinterpret_cast<HBRUSH>(static_cast<ULONG_PTR>((backgroundColor) + 1))};                             \
        return info;                                                                                              \
    }

namespace framework_detail {
// The object whose window is being created on this thread; the first message binds the two.
inline thread_local void* t_creating = nullptr;
inline const WCHAR* const kObjectProperty = u"LumoFrameworkObject";
}

template <class T, class TBase = CWindow>
class CWindowImpl : public TBase {
public:
    DECLARE_WND_CLASS_EX(nullptr, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, COLOR_WINDOW)

    virtual ~CWindowImpl() = default;

    HWND Create(HWND parent, const RECT& rect, LPCWSTR windowName = nullptr, DWORD style = 0, DWORD exStyle = 0,
        UINT_PTR id = 0, LPVOID param = nullptr)
    {
        ATOM atom = Register();
        if (!atom)
            return nullptr;
        framework_detail::t_creating = static_cast<T*>(this);
        HWND hwnd = ::CreateWindowExW(exStyle, MAKEINTRESOURCEW(atom), windowName, style, rect.left, rect.top,
            rect.right - rect.left, rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(id), nullptr, param);
        framework_detail::t_creating = nullptr;
        return hwnd;
    }

    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
    {
        return ::DefWindowProcW(this->m_hWnd, message, wParam, lParam);
    }

    // Called after the window's last message, when the window no longer exists.
    virtual void OnFinalMessage(HWND) { }

private:
    static ATOM Register()
    {
        CWndClassInfo& info = T::GetWndClassInfo();
        if (info.atom)
            return info.atom;
        WNDCLASSEXW wc {};
        wc.cbSize = sizeof wc;
        wc.style = info.style;
        wc.lpfnWndProc = StartWindowProc;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = info.background;
        // A class without a name of its own gets one from its object type.
        wc.lpszClassName = info.name ? info.name : AutomaticName();
        info.atom = ::RegisterClassExW(&wc);
        return info.atom;
    }

    static LPCWSTR AutomaticName()
    {
        static WCHAR name[32];
        static const int unique = 0;
        WString text = u"LumoWindow:" + Utf8ToWide(std::to_string(reinterpret_cast<ULONG_PTR>(&unique)));
        CopyToBuffer(text, name, 32);
        return name;
    }

    static LRESULT StartWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = static_cast<T*>(framework_detail::t_creating);
        if (!self)
            return ::DefWindowProcW(hwnd, message, wParam, lParam);
        framework_detail::t_creating = nullptr;
        self->m_hWnd = hwnd;
        ::SetPropW(hwnd, framework_detail::kObjectProperty, self);
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc));
        return WindowProc(hwnd, message, wParam, lParam);
    }

    static LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = static_cast<T*>(::GetPropW(hwnd, framework_detail::kObjectProperty));
        if (!self)
            return ::DefWindowProcW(hwnd, message, wParam, lParam);
        LRESULT result = 0;
        if (!self->ProcessWindowMessage(hwnd, message, wParam, lParam, result, 0))
            result = self->DefWindowProc(message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            ::RemovePropW(hwnd, framework_detail::kObjectProperty);
            self->m_hWnd = nullptr;
            self->OnFinalMessage(hwnd);
        }
        return result;
    }
};
