#include "bench/support/BenchChild.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

std::string ReadText(const std::string& path)
{
    std::ifstream file(path);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

} // namespace

BenchChild::BenchChild(const std::vector<std::string>& arguments, const std::map<std::string, std::string>& overrides,
    bool pinned)
{
    std::map<std::string, std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        size_t equals = text.find('=');
        if (equals != std::string::npos)
            environment[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : overrides) {
        if (value.empty())
            environment.erase(name);
        else
            environment[name] = value;
    }
    std::vector<std::string> pairs;
    for (const auto& [name, value] : environment)
        pairs.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& pair : pairs)
        envp.push_back(pair.data());
    envp.push_back(nullptr);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    m_output = memfd_create("bench-child", MFD_CLOEXEC);
    m_started = Clock::now();
    m_pid = fork();
    if (m_pid == 0) {
        if (pinned) {
            cpu_set_t set;
            CPU_ZERO(&set);
            CPU_SET(0, &set);
            sched_setaffinity(0, sizeof set, &set);
        }
        dup2(m_output, STDOUT_FILENO);
        dup2(m_output, STDERR_FILENO);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
}

BenchChild::~BenchChild()
{
    Stop();
    if (m_output >= 0)
        close(m_output);
}

bool BenchChild::Running()
{
    return m_pid > 0 && !Reap(WNOHANG);
}

void BenchChild::Stop()
{
    for (int signal : {SIGINT, SIGTERM, SIGKILL}) {
        if (m_pid <= 0 || Reap(WNOHANG))
            return;
        kill(m_pid, signal);
        auto deadline = Clock::now() + std::chrono::seconds(5);
        while (!Reap(WNOHANG) && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::optional<double> BenchChild::CpuSeconds() const
{
    std::string text = ReadText("/proc/" + std::to_string(m_pid) + "/stat");
    // The command name may hold spaces and parentheses; the fields after it start at the last ')'.
    size_t close = text.rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    unsigned long long ticks = 0;
    // After the name: state (field 3) ... utime (field 14), stime (field 15).
    int number = 3;
    for (; number <= 15 && fields >> field; ++number) {
        if (number == 14 || number == 15)
            ticks += std::strtoull(field.c_str(), nullptr, 10);
    }
    if (number <= 15)
        return std::nullopt;
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double BenchChild::RssMiB() const
{
    std::string text = ReadText("/proc/" + std::to_string(m_pid) + "/status");
    size_t at = text.find("VmRSS:");
    return at == std::string::npos ? -1 : std::strtod(text.c_str() + at + 6, nullptr) / 1024.0;
}

std::string BenchChild::Output() const
{
    struct stat info {};
    if (m_output < 0 || fstat(m_output, &info) != 0)
        return {};
    std::string text(static_cast<size_t>(info.st_size), '\0');
    ssize_t got = pread(m_output, text.data(), text.size(), 0);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

bool BenchChild::Reap(int options)
{
    if (m_reaped)
        return true;
    int status = 0;
    pid_t result = waitpid(m_pid, &status, options);
    if (result == m_pid || (result < 0 && errno == ECHILD))
        m_reaped = true;
    return m_reaped;
}
