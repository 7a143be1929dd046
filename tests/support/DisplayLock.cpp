#include "DisplayLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

DisplayLock::DisplayLock(const std::string& display, int waitMs)
{
    std::string name = "lumo-gtk-tests-" + display + ".lock";
    for (char& c : name) {
        if (c == '/' || c == ':')
            c = '_';
    }
    auto path = std::filesystem::temp_directory_path() / name;
    m_fd = open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (m_fd >= 0 && flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (std::chrono::steady_clock::now() > deadline)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_held = m_fd >= 0;
}

DisplayLock::~DisplayLock()
{
    if (m_fd >= 0)
        close(m_fd);
}
