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

void OnDeviceChange(lumo::media::DeviceKind kind, bool arrived)
{
    GMainContext* context = g_context.load();
    if (!context)
        return;
    auto* change = new Change { kind == lumo::media::DeviceKind::Video, arrived };
    g_main_context_invoke_full(
        context, G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            const auto* change = static_cast<const Change*>(data);
            BroadcastDeviceChange(change->video, change->arrived);
            return G_SOURCE_REMOVE;
        },
        change, [](gpointer data) { delete static_cast<Change*>(data); });
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
