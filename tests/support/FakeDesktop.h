// Fake desktop services for the sleep inhibitor's tests: logind's manager, the portal's
// inhibition and the screen saver, answering on a private message bus of the test (the session
// bus, which a test may also name as its system bus), on a thread and main context of their own.
#pragma once

#include <gio/gio.h>
#include <gio/gunixfdlist.h>

#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fake_desktop {

constexpr unsigned kWatchdogMs = 10000;

enum Service : unsigned { kLogin = 1, kPortal = 2, kScreenSaver = 4, kHungScreenSaver = 8 };

inline constexpr const char* kIntrospection = R"(<node>
  <interface name="org.freedesktop.login1.Manager">
    <method name="Inhibit">
      <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="h" direction="out"/>
    </method>
  </interface>
  <interface name="org.freedesktop.portal.Inhibit">
    <method name="Inhibit">
      <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="a{sv}" direction="in"/>
      <arg type="o" direction="out"/>
    </method>
  </interface>
  <interface name="org.freedesktop.portal.Request">
    <method name="Close"/>
  </interface>
  <interface name="org.freedesktop.ScreenSaver">
    <method name="Inhibit">
      <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="u" direction="out"/>
    </method>
    <method name="UnInhibit"><arg type="u" direction="in"/></method>
  </interface>
</node>)";

inline constexpr const char* kRequestPath = "/org/freedesktop/portal/desktop/request/lumo/1";
inline constexpr guint32 kCookie = 4242;

// The services, answering on a thread and a main context of their own, and what they were asked.
class FakeDesktop {
public:
    explicit FakeDesktop(unsigned services) : m_services(services)
    {
        m_thread = std::thread([this] { Run(); });
        std::unique_lock lock(m_lock);
        m_changed.wait_for(lock, std::chrono::milliseconds(kWatchdogMs), [this] { return m_ready; });
    }
    ~FakeDesktop()
    {
        g_main_loop_quit(m_loop);
        m_thread.join();
        if (m_loginReadEnd >= 0)
            close(m_loginReadEnd);
    }

    bool Ready() const { return m_ready && m_ok; }
    std::vector<std::string> Calls()
    {
        std::lock_guard guard(m_lock);
        return m_calls;
    }
    bool WaitForCall(const std::string& call)
    {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::milliseconds(kWatchdogMs),
            [&] { return std::find(m_calls.begin(), m_calls.end(), call) != m_calls.end(); });
    }
    // True once the process that holds the login lock has closed it.
    bool LoginLockClosed(int waitMs)
    {
        pollfd p {m_loginReadEnd, POLLIN, 0};
        return m_loginReadEnd >= 0 && poll(&p, 1, waitMs) == 1 && (p.revents & (POLLHUP | POLLIN));
    }

private:
    static void OnCall(GDBusConnection*, const gchar*, const gchar* path, const gchar* interface, const gchar* method,
        GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data)
    {
        static_cast<FakeDesktop*>(data)->Answer(path, interface, method, parameters, invocation);
    }

    void Record(std::string call)
    {
        std::lock_guard guard(m_lock);
        m_calls.push_back(std::move(call));
        m_changed.notify_all();
    }

    void Answer(const std::string& path, const std::string& interface, const std::string& method, GVariant* parameters,
        GDBusMethodInvocation* invocation)
    {
        if (interface == "org.freedesktop.login1.Manager") {
            const gchar *what, *who, *why, *mode;
            g_variant_get(parameters, "(&s&s&s&s)", &what, &who, &why, &mode);
            Record(std::string("login Inhibit ") + what + " " + mode);
            int ends[2];
            if (pipe(ends) != 0) {
                g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.Failed", "pipe");
                return;
            }
            GUnixFDList* fds = g_unix_fd_list_new();
            g_unix_fd_list_append(fds, ends[1], nullptr);
            close(ends[1]);
            m_loginReadEnd = ends[0];
            g_dbus_method_invocation_return_value_with_unix_fd_list(invocation, g_variant_new("(h)", 0), fds);
            g_object_unref(fds);
            return;
        }
        if (interface == "org.freedesktop.portal.Inhibit") {
            guint32 flags = 0;
            g_variant_get(parameters, "(&su@a{sv})", nullptr, &flags, nullptr);
            Record("portal Inhibit " + std::to_string(flags));
            g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", kRequestPath));
            return;
        }
        if (interface == "org.freedesktop.portal.Request") {
            Record("portal Close " + path);
            g_dbus_method_invocation_return_value(invocation, nullptr);
            return;
        }
        if (method == "Inhibit") {
            Record("screensaver Inhibit");
            // A hung service never answers; the invocation is dropped with the connection.
            if (m_services & kHungScreenSaver) {
                m_hung.push_back(invocation);
                return;
            }
            g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", kCookie));
            return;
        }
        guint32 cookie = 0;
        g_variant_get(parameters, "(u)", &cookie);
        Record("screensaver UnInhibit " + std::to_string(cookie));
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }

    bool Register(GDBusNodeInfo* node, const char* path, const char* interface)
    {
        static const GDBusInterfaceVTable vtable {OnCall, nullptr, nullptr, {}};
        GDBusInterfaceInfo* info = g_dbus_node_info_lookup_interface(node, interface);
        return g_dbus_connection_register_object(m_connection, path, info, &vtable, this, nullptr, nullptr) != 0;
    }

    bool Own(const char* name)
    {
        GVariant* reply = g_dbus_connection_call_sync(m_connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
            "org.freedesktop.DBus", "RequestName", g_variant_new("(su)", name, 4u), G_VARIANT_TYPE("(u)"),
            G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
        if (!reply)
            return false;
        guint32 result = 0;
        g_variant_get(reply, "(u)", &result);
        g_variant_unref(reply);
        return result == 1;
    }

    void Run()
    {
        GMainContext* context = g_main_context_new();
        g_main_context_push_thread_default(context);
        m_loop = g_main_loop_new(context, FALSE);
        gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        m_connection = address ? g_dbus_connection_new_for_address_sync(address,
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr) : nullptr;
        g_free(address);
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
        bool ok = m_connection && node;
        if (ok && (m_services & kLogin))
            ok = Register(node, "/org/freedesktop/login1", "org.freedesktop.login1.Manager") && Own("org.freedesktop.login1");
        if (ok && (m_services & kPortal))
            ok = Register(node, "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Inhibit")
                && Register(node, kRequestPath, "org.freedesktop.portal.Request") && Own("org.freedesktop.portal.Desktop");
        if (ok && (m_services & (kScreenSaver | kHungScreenSaver)))
            ok = Register(node, "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver") && Own("org.freedesktop.ScreenSaver");
        {
            std::lock_guard guard(m_lock);
            m_ok = ok;
            m_ready = true;
            m_changed.notify_all();
        }
        g_main_loop_run(m_loop);
        for (GDBusMethodInvocation* invocation : m_hung)
            g_object_unref(invocation);
        if (m_connection) {
            g_dbus_connection_close_sync(m_connection, nullptr, nullptr);
            g_object_unref(m_connection);
        }
        if (node)
            g_dbus_node_info_unref(node);
        g_main_loop_unref(m_loop);
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }

    unsigned m_services;
    std::thread m_thread;
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_ready = false;
    bool m_ok = false;
    GMainLoop* m_loop = nullptr;
    GDBusConnection* m_connection = nullptr;
    std::vector<std::string> m_calls;
    std::vector<GDBusMethodInvocation*> m_hung;
    int m_loginReadEnd = -1;
};

// A private bus for a whole test program: both buses lead to it, or the system bus nowhere.
class PrivateBus {
public:
    PrivateBus()
    {
        m_bus = g_test_dbus_new(G_TEST_DBUS_NONE);
        g_test_dbus_up(m_bus);
        const gchar* address = g_test_dbus_get_bus_address(m_bus);
        m_address = address ? address : "";
    }
    ~PrivateBus()
    {
        g_test_dbus_down(m_bus);
        g_object_unref(m_bus);
    }
    const std::string& Address() const { return m_address; }
    void Use(bool systemBusToo) const
    {
        setenv("DBUS_SESSION_BUS_ADDRESS", m_address.c_str(), 1);
        setenv("DBUS_SYSTEM_BUS_ADDRESS", systemBusToo ? m_address.c_str() : "unix:path=/nonexistent/lumo-test-bus", 1);
    }

private:
    GTestDBus* m_bus = nullptr;
    std::string m_address;
};

} // namespace fake_desktop
