// The state the engine keeps for each of its windows, by handle.
//
// Lookups hand out shared pointers: a window procedure that sends a message (a command to the parent)
// may see its window destroyed meanwhile, and its state must outlive that call.
#pragma once

#include "platform/ui/WinUser.h"

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
