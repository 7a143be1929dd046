// CWinDataExchange: moves values between members and the window's controls.
#pragma once

#include "platform/base/Strings.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/Window.h"

template <class T>
class CWinDataExchange {
public:
    // Text of control `id` into `value` when saving, else `value` into the control. False when the control is missing.
    BOOL DDX_Text(int id, WString& value, BOOL save)
    {
        HWND control = ::GetDlgItem(static_cast<T*>(this)->m_hWnd, id);
        if (!control)
            return FALSE;
        if (!save)
            return ::SetWindowTextW(control, value.c_str());
        int length = ::GetWindowTextLengthW(control);
        WString text(static_cast<size_t>(length) + 1, u'\0');
        int copied = ::GetWindowTextW(control, text.data(), length + 1);
        text.resize(static_cast<size_t>(copied));
        value = text;
        return TRUE;
    }

    // Check state of control `id` (BST_UNCHECKED / BST_CHECKED) into `value` when saving, else the other way.
    BOOL DDX_Check(int id, int& value, BOOL save)
    {
        HWND hwnd = static_cast<T*>(this)->m_hWnd;
        if (!::GetDlgItem(hwnd, id))
            return FALSE;
        if (save)
            value = static_cast<int>(::IsDlgButtonChecked(hwnd, id));
        else
            ::CheckDlgButton(hwnd, id, static_cast<UINT>(value));
        return TRUE;
    }
};
