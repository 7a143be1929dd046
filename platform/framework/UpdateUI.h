// CUpdateUI: enable, check and text state for the window's controls, applied on request.
#pragma once

#include "platform/base/Strings.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/Window.h"

#include <map>
#include <optional>

template <class T>
class CUpdateUI {
public:
    void UIEnable(int id, BOOL enable) { m_state[id].enabled = enable; }
    void UISetCheck(int id, int check) { m_state[id].check = check; }
    void UISetText(int id, LPCWSTR text) { m_state[id].text = WString(ToView(text)); }

    // Applies every pending state to the controls of the window.
    void UIUpdateChildWindows()
    {
        HWND hwnd = static_cast<T*>(this)->m_hWnd;
        for (auto& [id, state] : m_state) {
            HWND control = ::GetDlgItem(hwnd, id);
            if (!control)
                continue;
            if (state.enabled)
                ::EnableWindow(control, *state.enabled);
            if (state.check)
                ::CheckDlgButton(hwnd, id, static_cast<UINT>(*state.check));
            if (state.text)
                ::SetWindowTextW(control, state.text->c_str());
        }
        m_state.clear();
    }

private:
    struct State {
        std::optional<BOOL> enabled;
        std::optional<int> check;
        std::optional<WString> text;
    };
    std::map<int, State> m_state;
};
