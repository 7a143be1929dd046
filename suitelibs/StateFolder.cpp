#include "suitelibs/StateFolder.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

bool MakeFolders(const std::string& path)
{
    for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string StateHome()
{
    // The XDG rules ignore a relative $XDG_STATE_HOME.
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/')
        return state;
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.local/state";
    if (passwd* entry = getpwuid(getuid()); entry && entry->pw_dir && entry->pw_dir[0] == '/')
        return std::string(entry->pw_dir) + "/.local/state";
    return {};
}

} // namespace

std::string SuiteStateFolder()
{
    std::string home = StateHome();
    if (home.empty())
        return {};
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    std::string folder = home + "/lumo";
    return MakeFolders(folder) ? folder : std::string();
}

bool AppendLine(const std::string& path, std::string_view line)
{
    int file = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
    if (file < 0)
        return false;
    std::string record(line);
    record += '\n';
    ssize_t written;
    do {
        written = write(file, record.data(), record.size());
    } while (written < 0 && errno == EINTR);
    bool complete = written == static_cast<ssize_t>(record.size());
    return close(file) == 0 && complete;
}
