// Helpers for the file, folder and store tests: a private temporary folder, a scoped
// environment variable and a forked child with a watchdog.
#pragma once

#include "platform/base/Strings.h"
#include "platform/sys/AtomicFile.h"

#include <gtest/gtest.h>

#include <ftw.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>

class TempFolder {
public:
    TempFolder()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/lumo-files-XXXXXX";
        if (mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~TempFolder()
    {
        if (m_path.empty())
            return;
        nftw(
            m_path.c_str(),
            [](const char* path, const struct stat*, int, struct FTW*) { return remove(path); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Native() const { return m_path; }
    std::string Native(const std::string& name) const { return m_path + "/" + name; }
    WString Wide(const std::string& name = {}) const { return Utf8ToWide(name.empty() ? m_path : Native(name)); }

private:
    std::string m_path;
};

class ScopedEnv {
public:
    // A null value unsets the variable for the scope.
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name, value.c_str()) {}
    ~ScopedEnv()
    {
        if (m_old)
            setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// Starts `body` in a forked child that leaves with _exit(body()).
inline pid_t StartChild(const std::function<int()>& body)
{
    pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    return pid;
}

// Waits for the child's exit code; a child still running after `limit` is killed and gives -1.
inline int WaitForChild(pid_t pid, std::chrono::seconds limit = std::chrono::seconds(20))
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0)
            return -1;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "child " << pid << " did not finish in time";
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

inline int RunInChild(const std::function<int()>& body)
{
    pid_t pid = StartChild(body);
    EXPECT_GT(pid, 0);
    return pid > 0 ? WaitForChild(pid) : -1;
}

inline std::string ReadAll(const std::string& path)
{
    return ReadFileContents(path).value_or(std::string("<unreadable>"));
}
