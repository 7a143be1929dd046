#include "platform/sys/Process.h"

#include "platform/base/Strings.h"
#include "platform/sys/CommandLine.h"
#include "platform/sys/NativePath.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

// GLib defines TRUE and FALSE as macros, so it comes after the headers that declare them.
#include <gio/gio.h>

extern char** environ;

namespace {

constexpr INT kShellSuccess = 42;

struct SpawnRequest {
    std::string program;
    std::vector<std::string> argv;
    std::vector<std::string> environment;
    bool ownEnvironment = false;
    std::string directory;
    bool inheritHandles = false;
};

class ProcessObject final : public KernelObject {
public:
    explicit ProcessObject(pid_t pid)
        : m_pid(pid)
    {
    }

    pid_t Pid() const { return m_pid; }

    DWORD Wait(DWORD milliseconds) override
    {
        std::unique_lock lock(m_lock);
        bool ended = WaitWithTimeout(m_changed, lock, milliseconds, [this] { return m_ended; });
        return ended ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }

    DWORD ExitCode()
    {
        std::lock_guard guard(m_lock);
        return m_ended ? m_exitCode : STILL_ACTIVE;
    }

    DWORD Terminate(UINT exitCode)
    {
        std::lock_guard guard(m_lock);
        if (m_ended)
            return ERROR_ACCESS_DENIED;
        // Until Reap() has taken the lock the child is at worst a zombie, so its pid is still ours.
        if (kill(m_pid, SIGKILL) != 0)
            return ERROR_ACCESS_DENIED;
        m_terminated = true;
        m_terminateCode = exitCode;
        return ERROR_SUCCESS;
    }

    // Runs on the process's own reaper thread, so a child never stays a zombie, whether or not
    // anyone waits or closes the handles. The reaper first waits without reaping, then reaps under
    // the lock that Terminate() takes.
    void Reap()
    {
        siginfo_t info {};
        while (waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) { }
        std::lock_guard guard(m_lock);
        int status = 0;
        pid_t reaped;
        do {
            reaped = waitpid(m_pid, &status, 0);
        } while (reaped < 0 && errno == EINTR);
        // Someone else reaped it (SIGCHLD ignored, or a waitpid(-1) elsewhere): the code is lost.
        m_exitCode = reaped == m_pid ? ExitCodeFromStatus(status) : 0;
        m_ended = true;
        m_changed.notify_all();
    }

private:
    DWORD ExitCodeFromStatus(int status) const
    {
        if (WIFEXITED(status))
            return static_cast<DWORD>(WEXITSTATUS(status));
        if (m_terminated && WTERMSIG(status) == SIGKILL)
            return m_terminateCode;
        return 128 + static_cast<DWORD>(WTERMSIG(status));
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    pid_t m_pid;
    bool m_ended = false;
    DWORD m_exitCode = STILL_ACTIVE;
    bool m_terminated = false;
    UINT m_terminateCode = 0;
};

// The main thread of a child: it ends with the process.
class ProcessMainThread final : public ThreadKernelObject {
public:
    explicit ProcessMainThread(std::shared_ptr<ProcessObject> process)
        : m_process(std::move(process))
    {
    }
    DWORD Wait(DWORD milliseconds) override { return m_process->Wait(milliseconds); }
    DWORD ExitCode() override { return m_process->ExitCode(); }

private:
    std::shared_ptr<ProcessObject> m_process;
};

DWORD ErrorFromSpawn(int error)
{
    switch (error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case ENOEXEC:
    case ELIBBAD:
        return ERROR_BAD_FORMAT;
    case ENOMEM:
    case EAGAIN:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_ACCESS_DENIED;
    }
}

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (auto& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

bool IsDirectory(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string Absolute(const std::string& path)
{
    if (path.empty() || path[0] == '/')
        return path;
    char* folder = g_get_current_dir();
    std::string absolute = std::string(folder) + "/" + path;
    g_free(folder);
    return absolute;
}

// A name without '/' is looked up on PATH, like the shell would, but without one.
std::string ResolveProgram(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return Absolute(name);
    if (name.empty())
        return {};
    const char* variable = std::getenv("PATH");
    std::string path = variable ? variable : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos)
            end = path.size();
        std::string folder = end > start ? path.substr(start, end - start) : ".";
        std::string candidate = folder + "/" + name;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return Absolute(candidate);
        start = end + 1;
    }
    return {};
}

std::vector<std::string> ReadEnvironmentBlock(LPVOID block, bool wide)
{
    std::vector<std::string> entries;
    if (wide) {
        for (auto* entry = static_cast<const WCHAR*>(block); *entry; entry += lstrlenW(entry) + 1)
            entries.push_back(WideToUtf8(ToView(entry)));
        return entries;
    }
    for (auto* entry = static_cast<const char*>(block); *entry; entry += std::strlen(entry) + 1)
        entries.emplace_back(entry);
    return entries;
}

// glibc's posix_spawn reports a failed exec as its own result, so no pipe is needed to see it.
DWORD Spawn(SpawnRequest& request, pid_t& pid)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!request.inheritHandles)
        posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    if (!request.directory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, request.directory.c_str());

    // The child starts with no blocked signals and default dispositions, even for signals this
    // process ignores (SIGPIPE).
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv = Pointers(request.argv);
    std::vector<char*> environment = Pointers(request.environment);
    int error = posix_spawn(&pid, request.program.c_str(), &actions, &attributes, argv.data(),
        request.ownEnvironment ? environment.data() : environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? ERROR_SUCCESS : ErrorFromSpawn(error);
}

DWORD StartProcess(SpawnRequest& request, std::shared_ptr<ProcessObject>& process)
{
    pid_t pid = 0;
    DWORD error = Spawn(request, pid);
    if (error != ERROR_SUCCESS)
        return error;
    process = std::make_shared<ProcessObject>(pid);
    try {
        std::thread([process] { process->Reap(); }).detach();
    } catch (const std::system_error&) {
        // Without a reaper nobody would ever collect the child.
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        process.reset();
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

HINSTANCE ShellResult(INT code) { return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(code)); }

bool IsUrl(WStringView text)
{
    size_t separator = text.find(u"://");
    // One letter before the colon is a drive, not a scheme.
    if (separator == WStringView::npos || separator < 2 || !g_ascii_isalpha(static_cast<char>(text[0])))
        return false;
    for (size_t i = 0; i < separator; ++i) {
        WCHAR c = text[i];
        bool allowed = c < 0x80 && (g_ascii_isalnum(static_cast<char>(c)) || c == u'+' || c == u'-' || c == u'.');
        if (!allowed)
            return false;
    }
    return true;
}

std::string Canonical(const std::string& path, const std::string& base)
{
    char* canonical = g_canonicalize_filename(path.c_str(), base.empty() ? nullptr : base.c_str());
    std::string result = canonical;
    g_free(canonical);
    return result;
}

std::string FileUri(const std::string& absolutePath)
{
    char* uri = g_filename_to_uri(absolutePath.c_str(), nullptr, nullptr);
    if (!uri)
        return "file://" + absolutePath;
    std::string result = uri;
    g_free(uri);
    return result;
}

const char* ShellOpenLog()
{
    const char* log = std::getenv("LUMO_SHELL_OPEN_LOG");
    return log && *log ? log : nullptr;
}

INT AppendShellLog(const char* logPath, std::string line)
{
    line.push_back('\n');
    int file = open(logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (file < 0)
        return SE_ERR_ACCESSDENIED;
    bool written = write(file, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    close(file);
    return written ? kShellSuccess : SE_ERR_ACCESSDENIED;
}

INT OpenWithDefault(const std::string& uri)
{
    if (const char* log = ShellOpenLog())
        return AppendShellLog(log, "open " + uri);
    GError* error = nullptr;
    if (g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error))
        return kShellSuccess;
    g_clear_error(&error);
    // Without a desktop session GIO may know no handler where xdg-open still finds one.
    SpawnRequest request;
    request.program = ResolveProgram("xdg-open");
    request.argv = { "xdg-open", uri };
    std::shared_ptr<ProcessObject> process;
    if (request.program.empty() || StartProcess(request, process) != ERROR_SUCCESS)
        return SE_ERR_NOASSOC;
    return kShellSuccess;
}

INT ShellOpen(WStringView target, LPCWSTR directory)
{
    if (IsUrl(target))
        return OpenWithDefault(WideToUtf8(target));
    std::string folder = Canonical(directory && *directory ? ToNativePath(ToView(directory)) : ".", {});
    if (!IsDirectory(folder))
        return SE_ERR_PNF;
    std::string path = Canonical(ToNativePath(target), folder);
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return SE_ERR_FNF;
        return errno == ENOTDIR ? SE_ERR_PNF : SE_ERR_ACCESSDENIED;
    }
    // A document with the exec bit and a program's head (every file on a FAT documents folder has the
    // bit) is still a document: it goes to the default application and is never run.
    return OpenWithDefault(FileUri(path));
}

} // namespace

BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, void*, void*, BOOL inheritHandles, DWORD creationFlags,
    LPVOID environment, LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo, LPPROCESS_INFORMATION processInformation)
{
    if (!processInformation) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (startupInfo && (startupInfo->dwFlags & STARTF_USESTDHANDLES)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    bool hasApplication = applicationName && *applicationName;
    std::vector<WString> argv = SplitCommandLine(ToView(commandLine));
    if (argv.empty() && hasApplication)
        argv.push_back(applicationName);
    if (argv.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }

    SpawnRequest request;
    request.program
        = hasApplication ? Absolute(ToNativePath(ToView(applicationName))) : ResolveProgram(ToNativePath(argv[0]));
    if (request.program.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    for (const auto& argument : argv)
        request.argv.push_back(WideToUtf8(argument));
    if (environment) {
        request.environment = ReadEnvironmentBlock(environment, (creationFlags & CREATE_UNICODE_ENVIRONMENT) != 0);
        request.ownEnvironment = true;
    }
    if (currentDirectory && *currentDirectory) {
        request.directory = ToNativePath(ToView(currentDirectory));
        if (!IsDirectory(request.directory)) {
            SetLastError(ERROR_DIRECTORY);
            return FALSE;
        }
    }
    request.inheritHandles = inheritHandles != FALSE;

    std::shared_ptr<ProcessObject> process;
    DWORD error = StartProcess(request, process);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    auto pid = static_cast<DWORD>(process->Pid());
    processInformation->hThread = InsertKernelObject(std::make_shared<ProcessMainThread>(process));
    processInformation->hProcess = InsertKernelObject(std::move(process));
    processInformation->dwProcessId = pid;
    // The main thread's id is the process id.
    processInformation->dwThreadId = pid;
    return TRUE;
}

void GetStartupInfoW(LPSTARTUPINFOW startupInfo)
{
    if (!startupInfo)
        return;
    *startupInfo = STARTUPINFOW {};
    startupInfo->cb = sizeof(STARTUPINFOW);
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode)
{
    if (!exitCode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto object = ReferenceKernelObject<ProcessObject>(process);
    if (!object)
        return FALSE;
    *exitCode = object->ExitCode();
    return TRUE;
}

BOOL TerminateProcess(HANDLE process, UINT exitCode)
{
    auto object = ReferenceKernelObject<ProcessObject>(process);
    if (!object)
        return FALSE;
    DWORD error = object->Terminate(exitCode);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

HINSTANCE ShellExecuteW(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR, LPCWSTR directory, INT)
{
    if (verb && *verb && lstrcmpiW(verb, u"open") != 0 && lstrcmpiW(verb, u"explore") != 0)
        return ShellResult(SE_ERR_NOASSOC);
    WStringView target = ToView(file);
    if (target.size() >= 2 && target.front() == u'"' && target.back() == u'"')
        target = target.substr(1, target.size() - 2);
    if (target.empty())
        return ShellResult(SE_ERR_FNF);
    return ShellResult(ShellOpen(target, directory));
}
