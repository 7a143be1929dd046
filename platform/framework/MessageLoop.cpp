#include "platform/framework/MessageLoop.h"

#include "platform/ui/MessageQueue.h"

#include <algorithm>

namespace {

template <class T>
BOOL Add(std::vector<T*>& list, T* item)
{
    if (!item || std::find(list.begin(), list.end(), item) != list.end())
        return FALSE;
    list.push_back(item);
    return TRUE;
}

template <class T>
BOOL Remove(std::vector<T*>& list, T* item)
{
    auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end())
        return FALSE;
    // Keep the slot so a filter or handler removed while the list is being walked does not shift it.
    *it = nullptr;
    return TRUE;
}

} // namespace

BOOL CMessageLoop::AddMessageFilter(CMessageFilter* filter)
{
    return Add(m_filters, filter);
}

BOOL CMessageLoop::RemoveMessageFilter(CMessageFilter* filter)
{
    return Remove(m_filters, filter);
}

BOOL CMessageLoop::AddIdleHandler(CIdleHandler* handler)
{
    return Add(m_idleHandlers, handler);
}

BOOL CMessageLoop::RemoveIdleHandler(CIdleHandler* handler)
{
    return Remove(m_idleHandlers, handler);
}

BOOL CMessageLoop::PreTranslateMessage(MSG* msg)
{
    for (size_t i = m_filters.size(); i-- > 0;) {
        if (m_filters[i] && m_filters[i]->PreTranslateMessage(msg))
            return TRUE;
    }
    return FALSE;
}

BOOL CMessageLoop::OnIdle(int)
{
    BOOL more = FALSE;
    for (size_t i = 0; i < m_idleHandlers.size(); ++i) {
        if (m_idleHandlers[i] && m_idleHandlers[i]->OnIdle())
            more = TRUE;
    }
    return more;
}

BOOL CMessageLoop::IsIdleMessage(const MSG* msg)
{
    // Mouse movement and the caret's and timers' steady ticking do not count as activity.
    return msg->message != WM_MOUSEMOVE && msg->message != WM_NCMOUSEMOVE && msg->message != WM_PAINT
        && msg->message != WM_TIMER && msg->message != 0x0118 /* the caret's blink */;
}

int CMessageLoop::Run()
{
    bool doIdle = true;
    int idleCount = 0;
    for (;;) {
        while (doIdle && !PeekMessageW(&m_msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!OnIdle(idleCount++))
                doIdle = false;
        }
        BOOL got = GetMessageW(&m_msg, nullptr, 0, 0);
        if (got == -1)
            continue;
        if (!got)
            break;
        if (!PreTranslateMessage(&m_msg)) {
            TranslateMessage(&m_msg);
            DispatchMessageW(&m_msg);
        }
        if (IsIdleMessage(&m_msg)) {
            doIdle = true;
            idleCount = 0;
        }
        std::erase(m_filters, nullptr);
        std::erase(m_idleHandlers, nullptr);
    }
    return static_cast<int>(m_msg.wParam);
}
