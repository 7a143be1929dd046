// CDialogImplEx: a C++ object bound to a dialog made from the executable's dialog resource T::IDD,
// whose messages go through the object's message map.
#pragma once

#include "platform/framework/MessageMap.h"
#include "platform/framework/Window.h"
#include "platform/framework/WindowImpl.h"
#include "platform/sys/Module.h"
#include "platform/ui/Dialog.h"

template <class T, class TBase = CWindow>
class CDialogImplEx : public TBase {
public:
    virtual ~CDialogImplEx() = default;

    // A modeless dialog; nullptr when the template is missing or the dialog refused to be created.
    HWND Create(HWND parent, LPARAM initParam = 0)
    {
        framework_detail::t_creating = static_cast<T*>(this);
        HWND hwnd = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(T::IDD), parent, StartDialogProc, initParam);
        framework_detail::t_creating = nullptr;
        return hwnd;
    }

    INT_PTR DoModal(HWND parent = nullptr, LPARAM initParam = 0)
    {
        framework_detail::t_creating = static_cast<T*>(this);
        INT_PTR result = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(T::IDD), parent, StartDialogProc, initParam);
        framework_detail::t_creating = nullptr;
        return result;
    }

    BOOL EndDialog(INT_PTR result) { return ::EndDialog(this->m_hWnd, result); }

    virtual void OnFinalMessage(HWND) { }

private:
    static INT_PTR StartDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = static_cast<T*>(framework_detail::t_creating);
        if (!self)
            return FALSE;
        framework_detail::t_creating = nullptr;
        self->m_hWnd = hwnd;
        ::SetPropW(hwnd, framework_detail::kObjectProperty, self);
        ::SetWindowLongPtrW(hwnd, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(DialogProc));
        return DialogProc(hwnd, message, wParam, lParam);
    }

    static INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = static_cast<T*>(::GetPropW(hwnd, framework_detail::kObjectProperty));
        if (!self)
            return FALSE;
        LRESULT result = 0;
        BOOL handled = self->ProcessWindowMessage(hwnd, message, wParam, lParam, result, 0);
        if (message == WM_NCDESTROY) {
            ::RemovePropW(hwnd, framework_detail::kObjectProperty);
            self->m_hWnd = nullptr;
            self->OnFinalMessage(hwnd);
        }
        if (!handled)
            return FALSE;
        // These answer through the procedure's own result; every other message through DWLP_MSGRESULT.
        switch (message) {
        case WM_INITDIALOG:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
            return static_cast<INT_PTR>(result);
        default:
            ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
            return TRUE;
        }
    }
};
