// Tests that drive one X server's pointer, keyboard and screen take turns: one holder per display,
// shared by every test program (ctest runs them in parallel).
#pragma once

#include <string>

class DisplayLock {
public:
    // Waits up to `waitMs` for the display's turn.
    explicit DisplayLock(const std::string& display, int waitMs = 45000);
    ~DisplayLock();
    DisplayLock(const DisplayLock&) = delete;
    DisplayLock& operator=(const DisplayLock&) = delete;
    bool Held() const { return m_held; }

private:
    int m_fd = -1;
    bool m_held = false;
};
