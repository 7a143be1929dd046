// The state the engine keeps for each of its windows, by handle.
//
// Lookups hand out shared pointers: a window procedure that sends a message (a command to the parent)
// may see its window destroyed meanwhile, and its state must outlive that call.
#pragma once

#include "platform/ui/Icon.h"
#include "platform/ui/Window.h"
#include "platform/ui/WinUser.h"
#include "platform/ui/WindowClass.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

template <class State>
class WidgetRegistry {
public:
    std::shared_ptr<State> Find(HWND hwnd) const
    {
        std::lock_guard guard(m_lock);
        auto it = m_states.find(hwnd);
        return it == m_states.end() ? nullptr : it->second;
    }

    void Add(HWND hwnd, std::shared_ptr<State> state)
    {
        std::lock_guard guard(m_lock);
        m_states[hwnd] = std::move(state);
    }

    std::shared_ptr<State> Remove(HWND hwnd)
    {
        std::lock_guard guard(m_lock);
        auto it = m_states.find(hwnd);
        if (it == m_states.end())
            return nullptr;
        auto state = std::move(it->second);
        m_states.erase(it);
        return state;
    }

    std::vector<HWND> Windows() const
    {
        std::lock_guard guard(m_lock);
        std::vector<HWND> windows;
        for (const auto& entry : m_states)
            windows.push_back(entry.first);
        return windows;
    }

private:
    mutable std::mutex m_lock;
    std::map<HWND, std::shared_ptr<State>> m_states;
};

// Gives a subclassed control its own procedure back and forgets its state. When someone subclassed
// the control after the engine, the engine's procedure stays in their chain, so its state stays too.
// Returns the state it forgot (nullptr when it kept it or had none).
template <class State>
std::shared_ptr<State> UnsubclassWidget(WidgetRegistry<State>& registry, HWND hwnd, WNDPROC ours)
{
    auto state = registry.Find(hwnd);
    if (!state)
        return nullptr;
    if (IsWindow(hwnd) && GetWindowLongPtrW(hwnd, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(ours))
        return nullptr;
    registry.Remove(hwnd);
    if (IsWindow(hwnd))
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(state->previous));
    return state;
}

// Registers one of the engine's window classes for every module (CS_GLOBALCLASS).
inline void RegisterWidgetClass(LPCWSTR name, WNDPROC proc, LPCWSTR cursor)
{
    WNDCLASSEXW wc {};
    wc.cbSize = sizeof wc;
    wc.style = CS_GLOBALCLASS;
    wc.lpfnWndProc = proc;
    wc.hCursor = LoadCursorW(nullptr, cursor);
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}
