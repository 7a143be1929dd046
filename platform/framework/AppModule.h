// The application module: the executable's instance and the message loops of its UI threads.
#pragma once

#include "platform/framework/MessageLoop.h"

#include <map>
#include <mutex>

class CAppModuleEx {
public:
    HRESULT Init(HINSTANCE instance);
    void Term();

    HINSTANCE GetModuleInstance() const { return m_instance; }
    // Resources (strings, menus, dialogs, icons, pictures) always come from the executable.
    HINSTANCE GetResourceInstance() const { return m_instance; }
    DWORD GetCreatorThread() const { return m_creatorThread; }

    BOOL AddMessageLoop(CMessageLoop* loop);
    BOOL RemoveMessageLoop();
    // The calling thread's loop, or that of the given thread.
    CMessageLoop* GetMessageLoop(DWORD threadId = 0);

private:
    HINSTANCE m_instance = nullptr;
    DWORD m_creatorThread = 0;
    std::mutex m_lock;
    std::map<DWORD, CMessageLoop*> m_loops;
    bool m_initialized = false;
};
