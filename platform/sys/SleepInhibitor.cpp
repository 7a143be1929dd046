#include "platform/sys/SleepInhibitor.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace {

constexpr int kCallTimeoutMs = 1500;
constexpr const char* kWho = "Lumo";
constexpr const char* kWhy = "Recording a video";
// The portal's flags: suspending and going idle.
constexpr guint32 kPortalSuspendAndIdle = 4 | 8;

// One inhibition as it is held: what releases it.
struct Hold {
    SleepInhibition kind = SleepInhibition::None;
    int loginFd = -1;
    GDBusConnection* connection = nullptr; // the session bus connection the hold belongs to
    std::string portalRequest;
    guint32 cookie = 0;
};

// A connection of its own for every hold, so each test's (or session's) bus is the one asked,
// and closing it drops anything the service still ties to it.
// The session bus as the session announces it; never one started on the spot, which an
// unset address would make the bus library do (and leave running).
gchar* SessionBusAddress()
{
    const char* announced = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (announced && *announced)
        return g_strdup(announced);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || runtime[0] != '/')
        return nullptr;
    std::string socketPath = std::string(runtime) + "/bus";
    struct stat info;
    if (stat(socketPath.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode))
        return nullptr;
    gchar* escaped = g_dbus_address_escape_value(socketPath.c_str());
    gchar* address = g_strconcat("unix:path=", escaped, nullptr);
    g_free(escaped);
    return address;
}

GDBusConnection* Connect(GBusType bus)
{
    gchar* address = bus == G_BUS_TYPE_SESSION ? SessionBusAddress() : g_dbus_address_get_for_bus_sync(bus, nullptr, nullptr);
    if (!address)
        return nullptr;
    GDBusConnection* connection = g_dbus_connection_new_for_address_sync(address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    g_free(address);
    return connection;
}

void Disconnect(GDBusConnection*& connection)
{
    if (!connection)
        return;
    g_dbus_connection_close_sync(connection, nullptr, nullptr);
    g_object_unref(connection);
    connection = nullptr;
}

bool TakeLogin(Hold& hold)
{
    GDBusConnection* connection = Connect(G_BUS_TYPE_SYSTEM);
    if (!connection)
        return false;
    GUnixFDList* fds = nullptr;
    GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(connection, "org.freedesktop.login1",
        "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "Inhibit",
        g_variant_new("(ssss)", "sleep:idle", kWho, kWhy, "block"), G_VARIANT_TYPE("(h)"), G_DBUS_CALL_FLAGS_NONE,
        kCallTimeoutMs, nullptr, &fds, nullptr, nullptr);
    if (reply) {
        gint32 index = -1;
        g_variant_get(reply, "(h)", &index);
        if (fds && index >= 0 && index < g_unix_fd_list_get_length(fds))
            hold.loginFd = g_unix_fd_list_get(fds, index, nullptr);
        g_variant_unref(reply);
    }
    if (fds)
        g_object_unref(fds);
    // The lock lives in the descriptor; the connection is not needed to keep it.
    Disconnect(connection);
    if (hold.loginFd < 0)
        return false;
    hold.kind = SleepInhibition::Login;
    return true;
}

bool TakePortal(Hold& hold, GDBusConnection* connection)
{
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "reason", g_variant_new_string(kWhy));
    GVariant* reply = g_dbus_connection_call_sync(connection, "org.freedesktop.portal.Desktop",
        "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Inhibit", "Inhibit",
        g_variant_new("(sua{sv})", "", kPortalSuspendAndIdle, &options), G_VARIANT_TYPE("(o)"),
        G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr);
    if (!reply)
        return false;
    const gchar* request = nullptr;
    g_variant_get(reply, "(&o)", &request);
    hold.portalRequest = request ? request : "";
    g_variant_unref(reply);
    hold.kind = SleepInhibition::Portal;
    return true;
}

bool TakeScreenSaver(Hold& hold, GDBusConnection* connection)
{
    GVariant* reply = g_dbus_connection_call_sync(connection, "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
        "org.freedesktop.ScreenSaver", "Inhibit", g_variant_new("(ss)", kWho, kWhy), G_VARIANT_TYPE("(u)"),
        G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr);
    if (!reply)
        return false;
    g_variant_get(reply, "(u)", &hold.cookie);
    g_variant_unref(reply);
    hold.kind = SleepInhibition::ScreenSaver;
    return true;
}

Hold Take()
{
    Hold hold;
    if (TakeLogin(hold))
        return hold;
    GDBusConnection* session = Connect(G_BUS_TYPE_SESSION);
    if (session && (TakePortal(hold, session) || TakeScreenSaver(hold, session))) {
        hold.connection = session;
        return hold;
    }
    Disconnect(session);
    return hold;
}

void Give(Hold& hold)
{
    if (hold.loginFd >= 0)
        close(hold.loginFd);
    if (hold.kind == SleepInhibition::Portal && !hold.portalRequest.empty()) {
        GVariant* reply = g_dbus_connection_call_sync(hold.connection, "org.freedesktop.portal.Desktop",
            hold.portalRequest.c_str(), "org.freedesktop.portal.Request", "Close", nullptr, nullptr,
            G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr);
        if (reply)
            g_variant_unref(reply);
    }
    if (hold.kind == SleepInhibition::ScreenSaver) {
        GVariant* reply = g_dbus_connection_call_sync(hold.connection, "org.freedesktop.ScreenSaver",
            "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", "UnInhibit", g_variant_new("(u)", hold.cookie),
            nullptr, G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr);
        if (reply)
            g_variant_unref(reply);
    }
    Disconnect(hold.connection);
    hold = Hold {};
}

// The wish of the callers and what the worker has made of it. The worker thread lives as long
// as the process; it is never joined, so nothing at exit waits for a slow bus.
struct Inhibitor {
    std::mutex lock;
    std::condition_variable changed;
    bool wanted = false;
    unsigned wish = 0;      // counts InhibitSleep calls
    unsigned tried = 0;     // the wish the worker last tried to fulfil
    bool working = false;
    SleepInhibition held = SleepInhibition::None;
    bool started = false;
};

Inhibitor& State()
{
    static auto* state = new Inhibitor;
    return *state;
}

bool HasWork(const Inhibitor& state)
{
    if (state.wanted)
        return state.held == SleepInhibition::None && state.tried != state.wish;
    return state.held != SleepInhibition::None;
}

void Work()
{
    Inhibitor& state = State();
    Hold hold;
    std::unique_lock lock(state.lock);
    for (;;) {
        state.changed.wait(lock, [&] { return HasWork(state); });
        state.working = true;
        if (state.wanted) {
            state.tried = state.wish;
            lock.unlock();
            Hold taken = Take();
            lock.lock();
            hold = taken;
            state.held = hold.kind;
        } else {
            lock.unlock();
            Give(hold);
            lock.lock();
            state.held = SleepInhibition::None;
        }
        state.working = false;
        state.changed.notify_all();
    }
}

void Post(bool wanted)
{
    Inhibitor& state = State();
    std::lock_guard guard(state.lock);
    if (wanted && !state.wanted)
        ++state.wish;
    state.wanted = wanted;
    if (!state.started) {
        state.started = true;
        std::thread(Work).detach();
    }
    state.changed.notify_all();
}

} // namespace

void InhibitSleep()
{
    Post(true);
}

void AllowSleep()
{
    Post(false);
}

SleepInhibition CurrentSleepInhibition()
{
    Inhibitor& state = State();
    std::lock_guard guard(state.lock);
    return state.held;
}

BOOL WaitForSleepInhibitor(DWORD milliseconds)
{
    Inhibitor& state = State();
    std::unique_lock lock(state.lock);
    return state.changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return !state.working && !HasWork(state); })
        ? TRUE
        : FALSE;
}
