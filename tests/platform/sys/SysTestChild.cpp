// A child program for the process and mutex tests. It reports what it saw through files, so the
// tests can check exactly what reached it.
//   argv <out> [args...]     writes every argv entry, each followed by a NUL byte
//   exit <code>              exits with the code
//   sleep <ms>               sleeps, then exits with 0
//   signal <number>          raises the signal
//   cwd <out>                writes the working folder
//   env <out> <name>         writes the variable's value, or "<unset>"
//   fds <out>                writes the open descriptors above 2, one a line
//   mutex <name> <out>       creates the named mutex owned, writes "<created> <last error>",
//                            then waits up to 30 s to be killed
#include "platform/base/Strings.h"
#include "platform/sys/Mutex.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

// Written beside the target and renamed, so a test never reads a half-written report.
bool WriteReport(const std::string& path, const std::string& content)
{
    std::string temporary = path + ".part";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return false;
    bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    written = std::fclose(file) == 0 && written;
    return written && std::rename(temporary.c_str(), path.c_str()) == 0;
}

std::string OpenDescriptors()
{
    std::string list;
    DIR* folder = opendir("/proc/self/fd");
    if (!folder)
        return list;
    int own = dirfd(folder);
    while (dirent* entry = readdir(folder)) {
        int fd = std::atoi(entry->d_name);
        if (entry->d_name[0] != '.' && fd > 2 && fd != own)
            list += std::to_string(fd) + "\n";
    }
    closedir(folder);
    return list;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 100;
    std::string mode = argv[1];
    if (mode == "argv" && argc >= 3) {
        std::string content;
        for (int i = 0; i < argc; ++i)
            content.append(argv[i], std::strlen(argv[i]) + 1);
        return WriteReport(argv[2], content) ? 0 : 101;
    }
    if (mode == "exit" && argc >= 3)
        return std::atoi(argv[2]);
    if (mode == "sleep" && argc >= 3) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
        return 0;
    }
    if (mode == "signal" && argc >= 3) {
        raise(std::atoi(argv[2]));
        return 102;
    }
    if (mode == "cwd" && argc >= 3) {
        char folder[4096];
        return getcwd(folder, sizeof folder) && WriteReport(argv[2], folder) ? 0 : 101;
    }
    if (mode == "env" && argc >= 4) {
        const char* value = std::getenv(argv[3]);
        return WriteReport(argv[2], value ? value : "<unset>") ? 0 : 101;
    }
    if (mode == "fds" && argc >= 3)
        return WriteReport(argv[2], OpenDescriptors()) ? 0 : 101;
    if (mode == "mutex" && argc >= 4) {
        HANDLE mutex = CreateMutexW(nullptr, TRUE, Utf8ToWide(argv[2]).c_str());
        DWORD error = GetLastError();
        if (!WriteReport(argv[3], std::to_string(mutex != nullptr) + " " + std::to_string(error)))
            return 101;
        // The test kills this process; the limit only keeps a broken test from leaving it behind.
        std::this_thread::sleep_for(std::chrono::seconds(30));
        return 0;
    }
    return 100;
}
