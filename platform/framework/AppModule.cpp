#include "platform/framework/AppModule.h"

#include "platform/sys/Thread.h"

HRESULT CAppModuleEx::Init(HINSTANCE instance)
{
    std::lock_guard guard(m_lock);
    m_instance = instance;
    m_creatorThread = GetCurrentThreadId();
    m_loops.clear();
    m_initialized = true;
    return S_OK;
}

void CAppModuleEx::Term()
{
    std::lock_guard guard(m_lock);
    m_loops.clear();
    m_initialized = false;
}

BOOL CAppModuleEx::AddMessageLoop(CMessageLoop* loop)
{
    std::lock_guard guard(m_lock);
    if (!m_initialized || !loop)
        return FALSE;
    return m_loops.emplace(GetCurrentThreadId(), loop).second ? TRUE : FALSE;
}

BOOL CAppModuleEx::RemoveMessageLoop()
{
    std::lock_guard guard(m_lock);
    return m_loops.erase(GetCurrentThreadId()) ? TRUE : FALSE;
}

CMessageLoop* CAppModuleEx::GetMessageLoop(DWORD threadId)
{
    std::lock_guard guard(m_lock);
    auto it = m_loops.find(threadId ? threadId : GetCurrentThreadId());
    return it == m_loops.end() ? nullptr : it->second;
}
