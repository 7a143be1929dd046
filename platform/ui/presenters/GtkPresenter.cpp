#include "platform/ui/presenters/GtkPresenter.h"

#include "platform/ui/Input.h"
#include "platform/ui/WindowClass.h"
#include "platform/ui/WindowObject.h"

#include <gtk/gtk.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <deque>

namespace {

constexpr const char* kCursorNames[] = {"default", "pointer", "wait", "text", "move"}; // by CursorShape

} // namespace

struct GtkPresenter::Shared {
    // The button held since the last press, for a move drag that the layer asks for afterwards.
    guint pressButton = 0;
    guint32 pressTime = GDK_CURRENT_TIME;
    gdouble pressRootX = 0;
    gdouble pressRootY = 0;
    // The newest user event, so activation requests carry a real timestamp.
    guint32 eventTime = GDK_CURRENT_TIME;
    // A menu that holds the pointer and the keyboard while it is up.
    HWND grabbing = nullptr;
    GdkCursor* cursors[std::size(kCursorNames)] {};

    // The pointer's last known root position, for callers on other threads.
    std::mutex cursorLock;
    POINT cursor {0, 0};

    ~Shared()
    {
        for (GdkCursor* cursor : cursors) {
            if (cursor)
                g_object_unref(cursor);
        }
    }
};

struct GtkPresenter::Shown {
    HWND hwnd = nullptr;
    Shared* shared = nullptr;
    GtkWidget* window = nullptr;
    cairo_surface_t* surface = nullptr;
    bool popup = false; // menus and tooltips: not managed by the window manager, never activated
    bool menu = false;  // a popup that takes the pointer and keyboard while it is up
    // Geometries asked of the window system, oldest first, so that their confirmations are not
    // mistaken for the user moving the window.
    std::deque<RECT> requested;
    CursorShape cursor = CursorShape::Arrow;
    double scroll = 0; // smooth scrolling short of a whole step

    Shown() = default;
    Shown(const Shown&) = delete;
    Shown& operator=(const Shown&) = delete;
    ~Shown()
    {
        if (window) {
            g_signal_handlers_disconnect_by_data(window, this);
            gtk_widget_destroy(window);
        }
        if (surface)
            cairo_surface_destroy(surface);
    }
};

namespace {

using Shown = GtkPresenter::Shown;
using Shared = GtkPresenter::Shared;

constexpr int kWheelStep = 120;
constexpr size_t kRequestsRemembered = 8;
constexpr gint kEventMask = GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK
    | GDK_SCROLL_MASK | GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK | GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK
    | GDK_FOCUS_CHANGE_MASK | GDK_STRUCTURE_MASK;

struct KeyName {
    guint keyval;
    UINT virtualKey;
};

constexpr KeyName kKeys[] = {
    {GDK_KEY_Return, VK_RETURN}, {GDK_KEY_KP_Enter, VK_RETURN}, {GDK_KEY_ISO_Enter, VK_RETURN},
    {GDK_KEY_Escape, VK_ESCAPE}, {GDK_KEY_space, VK_SPACE}, {GDK_KEY_KP_Space, VK_SPACE}, {GDK_KEY_Tab, VK_TAB},
    {GDK_KEY_ISO_Left_Tab, VK_TAB}, {GDK_KEY_KP_Tab, VK_TAB}, {GDK_KEY_BackSpace, VK_BACK},
    {GDK_KEY_Delete, VK_DELETE}, {GDK_KEY_KP_Delete, VK_DELETE}, {GDK_KEY_Insert, 0x2D}, {GDK_KEY_KP_Insert, 0x2D},
    {GDK_KEY_Left, VK_LEFT}, {GDK_KEY_KP_Left, VK_LEFT}, {GDK_KEY_Up, VK_UP}, {GDK_KEY_KP_Up, VK_UP},
    {GDK_KEY_Right, VK_RIGHT}, {GDK_KEY_KP_Right, VK_RIGHT}, {GDK_KEY_Down, VK_DOWN}, {GDK_KEY_KP_Down, VK_DOWN},
    {GDK_KEY_Home, 0x24}, {GDK_KEY_KP_Home, 0x24}, {GDK_KEY_End, 0x23}, {GDK_KEY_KP_End, 0x23},
    {GDK_KEY_Page_Up, 0x21}, {GDK_KEY_KP_Page_Up, 0x21}, {GDK_KEY_Page_Down, 0x22}, {GDK_KEY_KP_Page_Down, 0x22},
    {GDK_KEY_Shift_L, VK_SHIFT}, {GDK_KEY_Shift_R, VK_SHIFT}, {GDK_KEY_Control_L, VK_CONTROL},
    {GDK_KEY_Control_R, VK_CONTROL}, {GDK_KEY_Alt_L, VK_MENU}, {GDK_KEY_Alt_R, VK_MENU}, {GDK_KEY_Meta_L, VK_MENU},
    {GDK_KEY_Meta_R, VK_MENU}, {GDK_KEY_Pause, 0x13}, {GDK_KEY_Caps_Lock, 0x14}, {GDK_KEY_Print, 0x2C},
    {GDK_KEY_Super_L, 0x5B}, {GDK_KEY_Super_R, 0x5C}, {GDK_KEY_Menu, 0x5D}, {GDK_KEY_KP_Multiply, 0x6A},
    {GDK_KEY_KP_Add, 0x6B}, {GDK_KEY_KP_Subtract, 0x6D}, {GDK_KEY_KP_Decimal, 0x6E}, {GDK_KEY_KP_Divide, 0x6F},
    {GDK_KEY_semicolon, 0xBA}, {GDK_KEY_equal, 0xBB}, {GDK_KEY_comma, 0xBC}, {GDK_KEY_minus, 0xBD},
    {GDK_KEY_period, 0xBE}, {GDK_KEY_slash, 0xBF}, {GDK_KEY_grave, 0xC0}, {GDK_KEY_bracketleft, 0xDB},
    {GDK_KEY_backslash, 0xDC}, {GDK_KEY_bracketright, 0xDD}, {GDK_KEY_apostrophe, 0xDE},
};

bool IsMainThread()
{
    return syscall(SYS_gettid) == getpid();
}

UINT VirtualKeyOfKeyval(guint keyval)
{
    if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z)
        return 'A' + (keyval - GDK_KEY_a);
    if ((keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z) || (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9))
        return keyval;
    if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F12)
        return VK_F1 + (keyval - GDK_KEY_F1);
    if (keyval >= GDK_KEY_KP_0 && keyval <= GDK_KEY_KP_9)
        return 0x60 + (keyval - GDK_KEY_KP_0); // VK_NUMPAD0...
    for (const KeyName& key : kKeys) {
        if (key.keyval == keyval)
            return key.virtualKey;
    }
    return 0;
}

guint PlainKeyval(GdkKeymap* keymap, const GdkEventKey* event, gint group)
{
    guint keyval = 0;
    if (!gdk_keymap_translate_keyboard_state(
            keymap, event->hardware_keycode, GdkModifierType(0), group, &keyval, nullptr, nullptr, nullptr))
        return 0;
    return keyval;
}

// A virtual key names the key, not what it types: Shift+1 is still '1', and the letters of a
// layout without Latin ones are still A-Z.
UINT VirtualKeyOf(const GdkEventKey* event)
{
    // Num Lock decides what a keypad key means, so its keyval is the key.
    if (event->keyval >= GDK_KEY_KP_Space && event->keyval <= GDK_KEY_KP_9)
        return VirtualKeyOfKeyval(event->keyval);
    GdkKeymap* keymap = gdk_keymap_get_for_display(gdk_window_get_display(event->window));
    if (UINT key = VirtualKeyOfKeyval(PlainKeyval(keymap, event, event->group)))
        return key;
    for (gint group = 0; group < 4; ++group) {
        if (UINT key = VirtualKeyOfKeyval(PlainKeyval(keymap, event, group)))
            return key;
    }
    return VirtualKeyOfKeyval(event->keyval);
}

WCHAR CharacterOf(const GdkEventKey* event)
{
    gunichar c = gdk_keyval_to_unicode(event->keyval);
    // Control with a letter types a control character, as it does on Windows.
    if ((event->state & GDK_CONTROL_MASK) && c < 0x80 && g_ascii_isalpha(static_cast<gchar>(c)))
        return static_cast<WCHAR>(c & 0x1F);
    // Delete types nothing on Windows. FIXME: characters beyond the BMP need a surrogate pair.
    if (c == 0x7F || c > 0xFFFF)
        return 0;
    return static_cast<WCHAR>(c);
}

POINT PointOf(gdouble x, gdouble y)
{
    return {static_cast<LONG>(std::floor(x)), static_cast<LONG>(std::floor(y))};
}

void NotePointer(Shown* shown, gdouble rootX, gdouble rootY)
{
    std::lock_guard guard(shown->shared->cursorLock);
    shown->shared->cursor = PointOf(rootX, rootY);
}

bool SamePlace(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top;
}

bool SameSize(const RECT& a, const RECT& b)
{
    return a.right - a.left == b.right - b.left && a.bottom - a.top == b.bottom - b.top;
}

cairo_surface_t* CopySurface(cairo_surface_t* source)
{
    if (!source || cairo_surface_get_type(source) != CAIRO_SURFACE_TYPE_IMAGE)
        return nullptr;
    cairo_surface_flush(source);
    int width = cairo_image_surface_get_width(source);
    int height = cairo_image_surface_get_height(source);
    cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(copy);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, source, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    return copy;
}

void ApplyCursor(Shown& shown)
{
    GdkWindow* window = gtk_widget_get_window(shown.window);
    if (!window)
        return;
    auto index = static_cast<size_t>(shown.cursor);
    GdkCursor*& cursor = shown.shared->cursors[index];
    if (!cursor)
        cursor = gdk_cursor_new_from_name(gdk_window_get_display(window), kCursorNames[index]);
    gdk_window_set_cursor(window, cursor);
}

void ReleaseGrab(Shown& shown)
{
    if (shown.shared->grabbing != shown.hwnd)
        return;
    shown.shared->grabbing = nullptr;
    gdk_seat_ungrab(gdk_display_get_default_seat(gtk_widget_get_display(shown.window)));
}

GdkWindowTypeHint HintOf(bool popup, bool tooltip, bool owned)
{
    if (popup)
        return tooltip ? GDK_WINDOW_TYPE_HINT_TOOLTIP : GDK_WINDOW_TYPE_HINT_POPUP_MENU;
    return owned ? GDK_WINDOW_TYPE_HINT_DIALOG : GDK_WINDOW_TYPE_HINT_NORMAL;
}

gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer data)
{
    auto* shown = static_cast<Shown*>(data);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    if (shown->surface)
        cairo_set_source_surface(cr, shown->surface, 0, 0);
    else
        cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_paint(cr);
    return TRUE;
}

gboolean OnMotion(GtkWidget*, GdkEventMotion* event, gpointer data)
{
    auto* shown = static_cast<Shown*>(data);
    NotePointer(shown, event->x_root, event->y_root);
    DeliverPointerMotion(shown->hwnd, PointOf(event->x, event->y));
    return TRUE;
}

gboolean OnButton(GtkWidget*, GdkEventButton* event, gpointer data)
{
    // The layer recognises double clicks itself; GDK's extra events for them would be third presses.
    if (event->type != GDK_BUTTON_PRESS && event->type != GDK_BUTTON_RELEASE)
        return TRUE;
    PointerButton button;
    if (event->button == GDK_BUTTON_PRIMARY)
        button = PointerButton::Left;
    else if (event->button == GDK_BUTTON_MIDDLE)
        button = PointerButton::Middle;
    else if (event->button == GDK_BUTTON_SECONDARY)
        button = PointerButton::Right;
    else
        return FALSE;
    auto* shown = static_cast<Shown*>(data);
    Shared& shared = *shown->shared;
    bool pressed = event->type == GDK_BUTTON_PRESS;
    shared.eventTime = event->time;
    if (pressed) {
        shared.pressButton = event->button;
        shared.pressTime = event->time;
        shared.pressRootX = event->x_root;
        shared.pressRootY = event->y_root;
    } else if (shared.pressButton == event->button) {
        shared.pressButton = 0;
    }
    NotePointer(shown, event->x_root, event->y_root);
    DeliverPointerButton(shown->hwnd, PointOf(event->x, event->y), button, pressed);
    return TRUE;
}

gboolean OnScroll(GtkWidget*, GdkEventScroll* event, gpointer data)
{
    auto* shown = static_cast<Shown*>(data);
    int steps = 0;
    if (event->direction == GDK_SCROLL_UP) {
        steps = 1;
    } else if (event->direction == GDK_SCROLL_DOWN) {
        steps = -1;
    } else if (event->direction == GDK_SCROLL_SMOOTH) {
        shown->scroll -= event->delta_y;
        steps = static_cast<int>(std::trunc(shown->scroll));
        shown->scroll -= steps;
    }
    if (steps)
        DeliverPointerWheel(shown->hwnd, PointOf(event->x, event->y), steps * kWheelStep);
    return TRUE;
}

gboolean OnEnter(GtkWidget*, GdkEventCrossing* event, gpointer data)
{
    auto* shown = static_cast<Shown*>(data);
    NotePointer(shown, event->x_root, event->y_root);
    DeliverPointerMotion(shown->hwnd, PointOf(event->x, event->y));
    return FALSE;
}

gboolean OnLeave(GtkWidget*, GdkEventCrossing* event, gpointer data)
{
    if (event->detail == GDK_NOTIFY_INFERIOR)
        return FALSE;
    DeliverPointerLeave(static_cast<Shown*>(data)->hwnd);
    return FALSE;
}

gboolean OnKey(GtkWidget*, GdkEventKey* event, gpointer data)
{
    auto* shown = static_cast<Shown*>(data);
    shown->shared->eventTime = event->time;
    bool pressed = event->type == GDK_KEY_PRESS;
    UINT virtualKey = VirtualKeyOf(event);
    WCHAR character = pressed ? CharacterOf(event) : 0;
    if (!virtualKey && !character)
        return FALSE;
    // While a menu holds the keyboard the keys are the menu's, whichever window reports them.
    HWND target = shown->shared->grabbing ? shown->shared->grabbing : shown->hwnd;
    DeliverKey(target, virtualKey, pressed, character, (event->state & GDK_MOD1_MASK) != 0);
    return TRUE;
}

gboolean OnFocus(GtkWidget*, GdkEventFocus* event, gpointer data)
{
    // A menu's grab moves the focus only while the menu is up; popups are never active.
    auto* shown = static_cast<Shown*>(data);
    if (shown->popup || shown->shared->grabbing)
        return FALSE;
    DeliverActivation(shown->hwnd, event->in != 0);
    return FALSE;
}

gboolean OnConfigure(GtkWidget*, GdkEventConfigure* event, gpointer data)
{
    auto* shown = static_cast<Shown*>(data);
    RECT now {event->x, event->y, event->x + event->width, event->y + event->height};
    auto& asked = shown->requested;
    // Moving and sizing may be confirmed one after the other, so each half is matched on its own.
    bool placeAsked = std::any_of(asked.begin(), asked.end(), [&](const RECT& r) { return SamePlace(r, now); });
    bool sizeAsked = std::any_of(asked.begin(), asked.end(), [&](const RECT& r) { return SameSize(r, now); });
    if (placeAsked && sizeAsked) {
        if (SamePlace(asked.back(), now) && SameSize(asked.back(), now))
            asked.erase(asked.begin(), asked.end() - 1);
        return FALSE;
    }
    asked.assign(1, now);
    DeliverMovedByUser(shown->hwnd, now);
    return FALSE;
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data)
{
    // The window's procedure decides whether it closes.
    DeliverCloseRequest(static_cast<Shown*>(data)->hwnd);
    return TRUE;
}

gboolean OnMap(GtkWidget* widget, GdkEvent*, gpointer data)
{
    auto* shown = static_cast<Shown*>(data);
    if (!shown->menu)
        return FALSE;
    // With owner events, presses on the program's other windows stay theirs and presses anywhere
    // else come to the menu, which dismisses it.
    GdkSeat* seat = gdk_display_get_default_seat(gtk_widget_get_display(widget));
    GdkGrabStatus status = gdk_seat_grab(
        seat, gtk_widget_get_window(widget), GDK_SEAT_CAPABILITY_ALL, TRUE, nullptr, nullptr, nullptr, nullptr);
    if (status == GDK_GRAB_SUCCESS)
        shown->shared->grabbing = shown->hwnd;
    return FALSE;
}

void OnRealize(GtkWidget*, gpointer data)
{
    ApplyCursor(*static_cast<Shown*>(data));
}

void Connect(GtkWidget* widget, Shown* shown)
{
    g_signal_connect(widget, "draw", G_CALLBACK(OnDraw), shown);
    g_signal_connect(widget, "motion-notify-event", G_CALLBACK(OnMotion), shown);
    g_signal_connect(widget, "button-press-event", G_CALLBACK(OnButton), shown);
    g_signal_connect(widget, "button-release-event", G_CALLBACK(OnButton), shown);
    g_signal_connect(widget, "scroll-event", G_CALLBACK(OnScroll), shown);
    g_signal_connect(widget, "enter-notify-event", G_CALLBACK(OnEnter), shown);
    g_signal_connect(widget, "leave-notify-event", G_CALLBACK(OnLeave), shown);
    g_signal_connect(widget, "key-press-event", G_CALLBACK(OnKey), shown);
    g_signal_connect(widget, "key-release-event", G_CALLBACK(OnKey), shown);
    g_signal_connect(widget, "focus-in-event", G_CALLBACK(OnFocus), shown);
    g_signal_connect(widget, "focus-out-event", G_CALLBACK(OnFocus), shown);
    g_signal_connect(widget, "configure-event", G_CALLBACK(OnConfigure), shown);
    g_signal_connect(widget, "delete-event", G_CALLBACK(OnDelete), shown);
    g_signal_connect(widget, "map-event", G_CALLBACK(OnMap), shown);
    g_signal_connect(widget, "realize", G_CALLBACK(OnRealize), shown);
}

struct Queued {
    std::weak_ptr<GtkPresenter*> presenter;
    std::function<void()> work;
};

gboolean RunQueued(gpointer data)
{
    auto* queued = static_cast<Queued*>(data);
    if (!queued->presenter.expired())
        queued->work();
    return G_SOURCE_REMOVE;
}

void DeleteQueued(gpointer data)
{
    delete static_cast<Queued*>(data);
}

} // namespace

GtkPresenter::GtkPresenter()
    : m_thread(std::this_thread::get_id()), m_self(std::make_shared<GtkPresenter*>(this)), m_shared(std::make_unique<Shared>())
{
    m_monitors = QueryMonitors();
}

GtkPresenter::~GtkPresenter()
{
    m_self.reset();
    for (auto& [hwnd, shown] : m_windows)
        ReleaseGrab(*shown);
    m_windows.clear();
}

void GtkPresenter::RunOnPresenterThread(std::function<void()> work)
{
    if (OnPresenterThread()) {
        work();
        return;
    }
    // An idle source of the default context rather than g_main_context_invoke, which runs the work
    // right here when this thread can acquire the default context.
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, RunQueued, new Queued {m_self, std::move(work)}, DeleteQueued);
    g_source_attach(source, g_main_context_default());
    g_source_unref(source);
}

GtkPresenter::Shown* GtkPresenter::Find(HWND hwnd) const
{
    auto it = m_windows.find(hwnd);
    return it == m_windows.end() ? nullptr : it->second.get();
}

void GtkPresenter::Create(HWND hwnd, const Creation& creation)
{
    auto shown = std::make_unique<Shown>();
    shown->hwnd = hwnd;
    shown->shared = m_shared.get();
    shown->surface = creation.surface;
    shown->popup = (creation.exStyle & (WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE)) != 0;
    shown->menu = shown->popup && !creation.tooltip;
    Shown* owner = Find(creation.owner);

    GtkWidget* widget = gtk_window_new(shown->popup ? GTK_WINDOW_POPUP : GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(widget);
    shown->window = widget;
    gtk_window_set_decorated(window, FALSE);
    gtk_window_set_gravity(window, GDK_GRAVITY_NORTH_WEST);
    gtk_window_set_type_hint(window, HintOf(shown->popup, creation.tooltip, owner != nullptr));
    gtk_widget_set_app_paintable(widget, TRUE);
    gtk_widget_add_events(widget, kEventMask);
    if (owner)
        gtk_window_set_transient_for(window, GTK_WINDOW(owner->window));
    if (creation.exStyle & WS_EX_TOPMOST)
        gtk_window_set_keep_above(window, TRUE);
    if (shown->popup) {
        gtk_window_set_accept_focus(window, FALSE);
        gtk_window_set_focus_on_map(window, FALSE);
    }
    if (creation.exStyle & WS_EX_TOOLWINDOW) {
        gtk_window_set_skip_taskbar_hint(window, TRUE);
        gtk_window_set_skip_pager_hint(window, TRUE);
    }
    Connect(widget, shown.get());
    m_windows[hwnd] = std::move(shown);
    Move(hwnd, creation.rect);
}

void GtkPresenter::Replace(HWND hwnd, cairo_surface_t* surface, const RECT& dirty)
{
    Shown* shown = Find(hwnd);
    if (!shown) {
        if (surface)
            cairo_surface_destroy(surface);
        return;
    }
    if (surface) {
        if (shown->surface)
            cairo_surface_destroy(shown->surface);
        shown->surface = surface;
    }
    int width = dirty.right - dirty.left;
    int height = dirty.bottom - dirty.top;
    if (width > 0 && height > 0)
        gtk_widget_queue_draw_area(shown->window, dirty.left, dirty.top, width, height);
}

void GtkPresenter::Show(HWND hwnd, int showCommand)
{
    Shown* shown = Find(hwnd);
    if (!shown)
        return;
    GtkWindow* window = GTK_WINDOW(shown->window);
    switch (showCommand) {
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
        // Asked before the window maps, it maps minimised.
        gtk_window_iconify(window);
        gtk_widget_show(shown->window);
        return;
    case SW_SHOWNA:
    case SW_SHOWNOACTIVATE:
        gtk_window_set_focus_on_map(window, FALSE);
        gtk_widget_show(shown->window);
        gtk_window_set_focus_on_map(window, !shown->popup);
        return;
    case SW_RESTORE:
        gtk_window_deiconify(window);
        break;
    default:
        break;
    }
    gtk_widget_show(shown->window);
    if (!shown->popup)
        gtk_window_present_with_time(window, shown->shared->eventTime);
}

void GtkPresenter::Move(HWND hwnd, const RECT& rect)
{
    Shown* shown = Find(hwnd);
    if (!shown)
        return;
    // A window system window is never empty.
    int width = std::max<LONG>(1, rect.right - rect.left);
    int height = std::max<LONG>(1, rect.bottom - rect.top);
    shown->requested.push_back({rect.left, rect.top, rect.left + width, rect.top + height});
    if (shown->requested.size() > kRequestsRemembered)
        shown->requested.pop_front();
    GtkWindow* window = GTK_WINDOW(shown->window);
    gtk_window_move(window, rect.left, rect.top);
    gtk_window_resize(window, width, height);
}

std::vector<MonitorDescription> GtkPresenter::QueryMonitors()
{
    std::vector<MonitorDescription> monitors;
    GdkDisplay* display = gdk_display_get_default();
    if (!display)
        return monitors;
    int count = gdk_display_get_n_monitors(display);
    for (int i = 0; i < count; ++i) {
        GdkMonitor* monitor = gdk_display_get_monitor(display, i);
        GdkRectangle area;
        GdkRectangle work;
        gdk_monitor_get_geometry(monitor, &area);
        gdk_monitor_get_workarea(monitor, &work);
        MonitorDescription description;
        description.monitor = {area.x, area.y, area.x + area.width, area.y + area.height};
        description.work = {work.x, work.y, work.x + work.width, work.y + work.height};
        description.primary = gdk_monitor_is_primary(monitor) != FALSE;
        monitors.push_back(description);
    }
    // A display that names no primary monitor (a bare X server) has its first one as primary.
    bool anyPrimary = std::any_of(monitors.begin(), monitors.end(), [](const auto& m) { return m.primary; });
    if (!anyPrimary && !monitors.empty())
        monitors.front().primary = true;
    return monitors;
}

void GtkPresenter::WindowCreated(HWND hwnd, const RECT& rect, DWORD, DWORD exStyle)
{
    Creation creation;
    creation.rect = rect;
    creation.exStyle = exStyle;
    // This runs on the window's own thread, so its record may be read here.
    if (WindowObject* w = FindWindowObject(hwnd)) {
        creation.owner = w->owner;
        creation.tooltip = w->windowClass && lstrcmpiW(w->windowClass->name.c_str(), u"tooltips_class32") == 0;
        if (w->surface)
            creation.surface = OnPresenterThread() ? cairo_surface_reference(w->surface) : CopySurface(w->surface);
    }
    RunOnPresenterThread([this, hwnd, creation] { Create(hwnd, creation); });
}

void GtkPresenter::WindowDestroyed(HWND hwnd)
{
    RunOnPresenterThread([this, hwnd] {
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end())
            return;
        ReleaseGrab(*it->second);
        m_windows.erase(it);
    });
}

void GtkPresenter::WindowShown(HWND hwnd, int showCommand)
{
    RunOnPresenterThread([this, hwnd, showCommand] { Show(hwnd, showCommand); });
}

void GtkPresenter::WindowHidden(HWND hwnd)
{
    RunOnPresenterThread([this, hwnd] {
        if (Shown* shown = Find(hwnd)) {
            ReleaseGrab(*shown);
            gtk_widget_hide(shown->window);
        }
    });
}

void GtkPresenter::WindowMoved(HWND hwnd, const RECT& rect)
{
    // A resize gave the window a new surface; on another thread the next paint brings a copy of it.
    cairo_surface_t* fresh = nullptr;
    if (OnPresenterThread()) {
        WindowObject* w = FindWindowObject(hwnd);
        if (w && w->surface)
            fresh = cairo_surface_reference(w->surface);
    }
    RunOnPresenterThread([this, hwnd, rect, fresh] {
        Move(hwnd, rect);
        Replace(hwnd, fresh, RECT {});
    });
}

void GtkPresenter::WindowTextChanged(HWND hwnd, WStringView text)
{
    std::string title = WideToUtf8(text);
    RunOnPresenterThread([this, hwnd, title] {
        if (Shown* shown = Find(hwnd))
            gtk_window_set_title(GTK_WINDOW(shown->window), title.c_str());
    });
}

void GtkPresenter::WindowIconChanged(HWND hwnd, cairo_surface_t* icon)
{
    // The icon belongs to the caller and may go away before queued work runs.
    cairo_surface_t* copy = CopySurface(icon);
    RunOnPresenterThread([this, hwnd, copy] {
        Shown* shown = Find(hwnd);
        GdkPixbuf* pixbuf = nullptr;
        if (copy && shown) {
            pixbuf = gdk_pixbuf_get_from_surface(
                copy, 0, 0, cairo_image_surface_get_width(copy), cairo_image_surface_get_height(copy));
        }
        if (shown)
            gtk_window_set_icon(GTK_WINDOW(shown->window), pixbuf);
        if (pixbuf)
            g_object_unref(pixbuf);
        if (copy)
            cairo_surface_destroy(copy);
    });
}

void GtkPresenter::SurfaceChanged(HWND hwnd, cairo_surface_t* surface, const RECT& dirty)
{
    // Another thread keeps drawing into its surface, so the main thread shows a copy of it.
    cairo_surface_t* shownSurface = OnPresenterThread() ? cairo_surface_reference(surface) : CopySurface(surface);
    RunOnPresenterThread([this, hwnd, shownSurface, dirty] { Replace(hwnd, shownSurface, dirty); });
}

void GtkPresenter::SetFullScreen(HWND hwnd, bool fullScreen)
{
    RunOnPresenterThread([this, hwnd, fullScreen] {
        Shown* shown = Find(hwnd);
        if (!shown)
            return;
        if (fullScreen)
            gtk_window_fullscreen(GTK_WINDOW(shown->window));
        else
            gtk_window_unfullscreen(GTK_WINDOW(shown->window));
    });
}

void GtkPresenter::SetTopmost(HWND hwnd, bool topmost)
{
    RunOnPresenterThread([this, hwnd, topmost] {
        if (Shown* shown = Find(hwnd))
            gtk_window_set_keep_above(GTK_WINDOW(shown->window), topmost);
    });
}

void GtkPresenter::Activate(HWND hwnd)
{
    RunOnPresenterThread([this, hwnd] {
        Shown* shown = Find(hwnd);
        // Presenting a hidden window would show it; popups never take the focus.
        if (!shown || shown->popup || !gtk_widget_get_visible(shown->window))
            return;
        gtk_window_present_with_time(GTK_WINDOW(shown->window), m_shared->eventTime);
    });
}

void GtkPresenter::BeginMoveDrag(HWND hwnd, POINT)
{
    RunOnPresenterThread([this, hwnd] {
        Shown* shown = Find(hwnd);
        const Shared& shared = *m_shared;
        // The drag continues the press that asked for it. Once that button is up there is nothing to
        // continue, and a drag started then would follow the pointer until the next click.
        if (!shown || !shared.pressButton || !gtk_widget_get_visible(shown->window))
            return;
        gtk_window_begin_move_drag(GTK_WINDOW(shown->window), static_cast<gint>(shared.pressButton),
            static_cast<gint>(shared.pressRootX), static_cast<gint>(shared.pressRootY), shared.pressTime);
    });
}

void GtkPresenter::SetCursorShape(HWND hwnd, CursorShape shape)
{
    RunOnPresenterThread([this, hwnd, shape] {
        Shown* shown = Find(hwnd);
        if (!shown || shown->cursor == shape)
            return;
        shown->cursor = shape;
        ApplyCursor(*shown);
    });
}

std::vector<MonitorDescription> GtkPresenter::Monitors()
{
    std::lock_guard guard(m_cacheLock);
    if (OnPresenterThread())
        m_monitors = QueryMonitors();
    return m_monitors;
}

POINT GtkPresenter::CursorPosition()
{
    Shared& shared = *m_shared;
    std::lock_guard guard(shared.cursorLock);
    if (!OnPresenterThread())
        return shared.cursor;
    GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
    GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
    if (!pointer)
        return shared.cursor;
    gint x = 0;
    gint y = 0;
    gdk_device_get_position(pointer, nullptr, &x, &y);
    shared.cursor = {x, y};
    return shared.cursor;
}

void GtkPresenter::QueueDeleteEvent(HWND hwnd)
{
    Shown* shown = Find(hwnd);
    GdkWindow* window = shown ? gtk_widget_get_window(shown->window) : nullptr;
    if (!window)
        return;
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(window));
    event->any.send_event = TRUE;
    gdk_display_put_event(gdk_window_get_display(window), event);
    gdk_event_free(event);
}

void GtkPresenter::Sync()
{
    gdk_display_sync(gdk_display_get_default());
}

std::unique_ptr<Presenter> CreateGtkPresenter()
{
    // GTK belongs to the thread that runs the default main context, which is the main thread's.
    if (!IsMainThread())
        return nullptr;
    static bool configured = false;
    if (!configured) {
        configured = true;
        // The program's locale is its own business, and it places its windows itself, which only
        // X11 allows.
        gtk_disable_setlocale();
        gdk_set_allowed_backends("x11,*");
    }
    // Nothing here draws with OpenGL, yet GDK would open the GL driver to choose its visuals: a
    // software driver alone maps some 50 MB. The setting is read while GTK starts, and is taken
    // back at once so that the programs this one starts still get GL.
    bool glChosen = g_getenv("GDK_GL") != nullptr;
    if (!glChosen)
        g_setenv("GDK_GL", "disable", TRUE);
    bool started = gtk_init_check(nullptr, nullptr);
    if (!glChosen)
        g_unsetenv("GDK_GL");
    if (!started)
        return nullptr;
    return std::make_unique<GtkPresenter>();
}

GtkPresenter* CurrentGtkPresenter()
{
    return dynamic_cast<GtkPresenter*>(&CurrentPresenter());
}
