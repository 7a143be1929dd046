// The message loop of a UI thread, with its message filters and idle handlers.
#pragma once

#include "platform/ui/WinUser.h"

#include <vector>

class CMessageFilter {
public:
    virtual BOOL PreTranslateMessage(MSG* msg) = 0;

protected:
    ~CMessageFilter() = default;
};

class CIdleHandler {
public:
    virtual BOOL OnIdle() = 0;

protected:
    ~CIdleHandler() = default;
};

class CMessageLoop {
public:
    virtual ~CMessageLoop() = default;
    BOOL AddMessageFilter(CMessageFilter* filter);
    BOOL RemoveMessageFilter(CMessageFilter* filter);
    BOOL AddIdleHandler(CIdleHandler* handler);
    BOOL RemoveIdleHandler(CIdleHandler* handler);

    // Runs until WM_QUIT and returns its exit code. While the queue is empty the idle handlers run
    // until none of them wants more; every message is offered to the filters, newest first, and is
    // translated and dispatched only when none of them took it.
    int Run();

    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual BOOL OnIdle(int idleCount);

protected:
    // Messages after which the idle handlers run again.
    static BOOL IsIdleMessage(const MSG* msg);

    std::vector<CMessageFilter*> m_filters;
    std::vector<CIdleHandler*> m_idleHandlers;
    MSG m_msg {};

    friend class CAppModuleEx;
};
