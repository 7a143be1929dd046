// The file manager the program starts as "explorer.exe" from its Windows folder. It takes that
// program's command line (Request.h) and hands the request to the Linux desktop: the desktop's file manager over D-Bus to
// show an item selected, the default application to open a folder or location.
//
// With LUMO_SHELL_OPEN_LOG naming a file nothing is launched; one line is appended instead,
// "show <URI>" for a selected item and "open <URI>" otherwise, as the program's shell layer does.

#include "tools/shell/Request.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include <gio/gio.h>

namespace {

using shell::Action;
using shell::FileUri;
using shell::Request;

constexpr const char* kComputerUri = "computer:///";
// The file manager may be started by D-Bus activation first; give it time, not forever.
constexpr int kShowItemsTimeoutMs = 10000;

std::string ParentUri(const std::string& path)
{
    char* canonical = g_canonicalize_filename(path.c_str(), nullptr);
    char* parent = g_path_get_dirname(canonical);
    std::string result = FileUri(parent);
    g_free(parent);
    g_free(canonical);
    return result;
}

std::string HomeUri() { return FileUri(g_get_home_dir()); }

bool AppendLogLine(const char* logPath, std::string line)
{
    line.push_back('\n');
    int file = open(logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (file < 0)
        return false;
    // One write, so lines of processes that run at the same time never mix.
    bool written = write(file, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    close(file);
    return written;
}

bool OpenWithDefault(const std::string& uri)
{
    GError* error = nullptr;
    if (g_app_info_launch_default_for_uri(uri.c_str(), nullptr, &error))
        return true;
    g_clear_error(&error);
    // Without a desktop session GIO may know no handler where xdg-open still finds one.
    const char* argv[] = { "xdg-open", uri.c_str(), nullptr };
    if (g_spawn_async(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, &error))
        return true;
    g_clear_error(&error);
    return false;
}

bool ShowItemSelected(const std::string& uri)
{
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        g_clear_error(&error);
        return false;
    }
    const char* uris[] = { uri.c_str(), nullptr };
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
        "org.freedesktop.FileManager1", "ShowItems", g_variant_new("(^ass)", uris, ""), nullptr,
        G_DBUS_CALL_FLAGS_NONE, kShowItemsTimeoutMs, nullptr, &error);
    g_object_unref(bus);
    if (!reply) {
        g_clear_error(&error);
        return false;
    }
    g_variant_unref(reply);
    return true;
}

int Run(const Request& request)
{
    const char* log = std::getenv("LUMO_SHELL_OPEN_LOG");
    if (log && !*log)
        log = nullptr;

    if (shell::IsComputerLocation(request.target)) {
        if (log)
            return AppendLogLine(log, std::string("open ") + kComputerUri) ? 0 : 1;
        return OpenWithDefault(kComputerUri) || OpenWithDefault(HomeUri()) ? 0 : 1;
    }
    std::string uri = FileUri(request.target);
    if (request.action == Action::Show) {
        if (log)
            return AppendLogLine(log, "show " + uri) ? 0 : 1;
        return ShowItemSelected(uri) || OpenWithDefault(ParentUri(request.target)) ? 0 : 1;
    }
    if (log)
        return AppendLogLine(log, "open " + uri) ? 0 : 1;
    return OpenWithDefault(uri) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    std::optional<Request> request = shell::ParseArguments(argc, argv);
    if (!request)
        return 2;
    return Run(*request);
}
