// A program the benchmarks start and measure from outside: its output in an anonymous file (nothing
// blocks on a full pipe, and it can be read again at any time), its CPU time and memory from /proc.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

class BenchChild {
public:
    using Clock = std::chrono::steady_clock;

    // `overrides` are set in its environment (an empty value unsets); `pinned` keeps it on core 0.
    explicit BenchChild(const std::vector<std::string>& arguments, const std::map<std::string, std::string>& overrides = {},
        bool pinned = false);
    ~BenchChild();
    BenchChild(const BenchChild&) = delete;
    BenchChild& operator=(const BenchChild&) = delete;

    bool Started() const { return m_pid > 0; }
    Clock::time_point StartedAt() const { return m_started; }
    pid_t Pid() const { return m_pid; }
    bool Running();
    bool Exited() { return !Running(); }

    // Ended as a user at its terminal would end it (SIGINT), then SIGTERM, then SIGKILL.
    void Stop();

    // User and system time of all its threads so far; nothing once it cannot be read.
    std::optional<double> CpuSeconds() const;
    double RssMiB() const;
    std::string Output() const;

private:
    bool Reap(int options);

    pid_t m_pid = -1;
    int m_output = -1;
    bool m_reaped = false;
    Clock::time_point m_started;
};
