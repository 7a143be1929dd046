#include "platform/media/DeviceBroadcast.h"

#include "platform/media/DirectShow.h"
#include "platform/media/gst/Devices.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Window.h"
#include "platform/ui/WinUser.h"

#include <glib.h>

#include <atomic>

namespace {

std::atomic<GMainContext*> g_context { nullptr };

struct Change {
    bool video;
    bool arrived;
};

// Called on whatever thread noticed the change (a device provider's own thread, a streaming
// thread). The broadcast is only queued on the UI thread's context: g_main_context_invoke would run
// it right here whenever that context is free to acquire (the UI thread blocked in the provider's
// start, say), and the windows would then be sent to from a thread the UI thread is waiting on.
void OnDeviceChange(lumo::media::DeviceKind kind, bool arrived)
{
    GMainContext* context = g_context.load();
    if (!context)
        return;
    auto* change = new Change { kind == lumo::media::DeviceKind::Video, arrived };
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(
        source,
        [](gpointer data) -> gboolean {
            const auto* change = static_cast<const Change*>(data);
            BroadcastDeviceChange(change->video, change->arrived);
            return G_SOURCE_REMOVE;
        },
        change, [](gpointer data) { delete static_cast<Change*>(data); });
    g_source_attach(source, context);
    g_source_unref(source);
}

} // namespace

void BroadcastDeviceChange(bool video, bool arrived)
{
    DEV_BROADCAST_DEVICEINTERFACE_W header {};
    header.dbcc_size = sizeof header;
    header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    header.dbcc_classguid = video ? KSCATEGORY_CAPTURE : KSCATEGORY_AUDIO;
    struct Pass {
        WPARAM event;
        const DEV_BROADCAST_DEVICEINTERFACE_W* header;
    } pass { arrived ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE, &header };
    EnumWindows(
        [](HWND hwnd, LPARAM data) -> BOOL {
            const auto* pass = reinterpret_cast<const Pass*>(data);
            SendMessageW(hwnd, WM_DEVICECHANGE, pass->event, reinterpret_cast<LPARAM>(pass->header));
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&pass));
}

void StartDeviceChangeBroadcasts()
{
    GMainContext* context = g_main_context_ref_thread_default();
    if (GMainContext* previous = g_context.exchange(context))
        g_main_context_unref(previous);
    lumo::media::SetDeviceChangeListener(&OnDeviceChange);
}
