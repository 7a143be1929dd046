// The dialog manager: the dialog class and its default procedure, keyboard navigation, modal loops.
#include "platform/ui/Dialog.h"

#include "platform/ui/Gdi.h"
#include "platform/ui/Icon.h"
#include "platform/ui/Input.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"
#include "platform/ui/controls/Controls.h"

#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

constexpr UINT kCompareItemMessage = 0x0039;
constexpr UINT kVirtualKeyToItemMessage = 0x002E;
constexpr UINT kCharToItemMessage = 0x002F;
constexpr UINT kQueryDragIconMessage = 0x0037;
constexpr UINT kControlColorEdit = 0x0133;
constexpr UINT kControlColorListBox = 0x0134;
constexpr UINT kControlColorLast = 0x0138;

struct DialogTable {
    std::mutex lock;
    std::unordered_map<HWND, std::shared_ptr<DialogInfo>> infos;
};

DialogTable& Table()
{
    static DialogTable* table = new DialogTable; // dialogs may outlive static destruction order
    return *table;
}

bool IsControlColorMessage(UINT message)
{
    return message >= kControlColorFirst && message <= kControlColorLast;
}

// For these the dialog procedure's own return value is the answer, not DWLP_MSGRESULT.
bool AnswersDirectly(UINT message)
{
    return message == WM_INITDIALOG || IsControlColorMessage(message) || message == kCompareItemMessage
        || message == kVirtualKeyToItemMessage || message == kCharToItemMessage || message == kQueryDragIconMessage;
}

DWORD StyleOf(HWND hwnd)
{
    return static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
}

// Visible and enabled by its own style; the dialog itself may still be hidden.
bool CanTakeFocus(HWND control)
{
    DWORD style = StyleOf(control);
    return (style & WS_VISIBLE) && !(style & WS_DISABLED);
}

std::vector<HWND> ControlsOf(HWND dialog)
{
    std::vector<HWND> controls;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        controls.push_back(c);
    return controls;
}

// The dialog's direct child that is `control` or contains it.
HWND DirectChild(HWND dialog, HWND control)
{
    while (control && IsChild(dialog, control) && GetParent(control) != dialog)
        control = GetParent(control);
    return control && IsChild(dialog, control) && GetParent(control) == dialog ? control : nullptr;
}

std::ptrdiff_t IndexOf(const std::vector<HWND>& controls, HWND control)
{
    for (size_t i = 0; i < controls.size(); ++i) {
        if (controls[i] == control)
            return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
}

// The next control of `candidates` after `from` (or before it), wrapping, that satisfies `accept`;
// `from` itself comes last. Without `from` the search starts at the beginning (or the end).
template <class Accept>
HWND Cycle(const std::vector<HWND>& candidates, std::ptrdiff_t from, bool previous, Accept accept)
{
    auto n = static_cast<std::ptrdiff_t>(candidates.size());
    if (n == 0)
        return nullptr;
    if (from < 0)
        from = previous ? 0 : n - 1;
    for (std::ptrdiff_t step = 1; step <= n; ++step) {
        std::ptrdiff_t i = ((previous ? from - step : from + step) % n + n) % n;
        if (accept(candidates[i]))
            return candidates[i];
    }
    return nullptr;
}

// The controls of the group `control` belongs to: from the nearest WS_GROUP control at or before it
// up to the next WS_GROUP control.
HWND GetNextDlgGroupItem(HWND dialog, HWND control, bool previous)
{
    std::vector<HWND> controls = ControlsOf(dialog);
    std::ptrdiff_t at = IndexOf(controls, DirectChild(dialog, control));
    if (at < 0)
        return Cycle(controls, -1, previous, CanTakeFocus);
    std::ptrdiff_t first = at;
    while (first > 0 && !(StyleOf(controls[first]) & WS_GROUP))
        --first;
    auto last = static_cast<std::ptrdiff_t>(controls.size()) - 1;
    for (std::ptrdiff_t i = at + 1; i < static_cast<std::ptrdiff_t>(controls.size()); ++i) {
        if (StyleOf(controls[i]) & WS_GROUP) {
            last = i - 1;
            break;
        }
    }
    std::vector<HWND> group(controls.begin() + first, controls.begin() + last + 1);
    return Cycle(group, at - first, previous, CanTakeFocus);
}

bool IsFocusableControlOf(HWND dialog, HWND control)
{
    return control && IsWindow(control) && IsChild(dialog, control) && CanTakeFocus(control);
}

void SaveFocus(HWND dialog, DialogInfo& info)
{
    HWND focus = GetFocus();
    if (focus && IsChild(dialog, focus))
        info.savedFocus = focus;
}

void RestoreFocus(HWND dialog, DialogInfo& info)
{
    HWND focus = GetFocus();
    if (focus && IsChild(dialog, focus))
        return;
    HWND target = IsFocusableControlOf(dialog, info.savedFocus) ? info.savedFocus : GetNextDlgTabItem(dialog, nullptr, FALSE);
    SetFocus(target ? target : dialog);
}

void GiveBackOwner(DialogInfo& info)
{
    HWND owner = info.disabledOwner;
    info.disabledOwner = nullptr;
    if (owner && IsWindow(owner))
        EnableWindow(owner, TRUE);
}

LRESULT DefaultButtonId(HWND dialog, const DialogInfo& info)
{
    if (info.hasDefaultId)
        return MAKELPARAM(info.defaultId, kHasDefaultId);
    for (HWND c : ControlsOf(dialog)) {
        if (SendMessageW(c, WM_GETDLGCODE, 0, 0) & kDefaultPushButton)
            return MAKELPARAM(GetDlgCtrlID(c), kHasDefaultId);
    }
    return 0;
}

LRESULT EraseBackground(HWND dialog, HDC dc)
{
    auto brush = reinterpret_cast<HBRUSH>(SendMessageW(dialog, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(dialog)));
    RECT client;
    GetClientRect(dialog, &client);
    FillRect(dc, &client, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
    return 1;
}

LRESULT DefaultControlColors(UINT message, HDC dc)
{
    int background = message == kControlColorEdit || message == kControlColorListBox ? COLOR_WINDOW : COLOR_BTNFACE;
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(background));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(background));
}

LRESULT DefaultDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (IsControlColorMessage(message))
        return DefaultControlColors(message, reinterpret_cast<HDC>(wParam));
    auto info = DialogInfoOf(dialog);
    switch (message) {
    case WM_ERASEBKGND:
        return EraseBackground(dialog, reinterpret_cast<HDC>(wParam));
    case WM_CLOSE: {
        // Closing is cancelling, unless the dialog's cancel button is disabled.
        HWND cancel = GetDlgItem(dialog, IDCANCEL);
        if (cancel && !IsWindowEnabled(cancel))
            return 0;
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        return 0;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) != 0)
            RestoreFocus(dialog, *info);
        else
            SaveFocus(dialog, *info);
        return 0;
    case WM_SETFOCUS:
        RestoreFocus(dialog, *info);
        return 0;
    case WM_SHOWWINDOW:
        if (!wParam)
            SaveFocus(dialog, *info);
        return DefWindowProcW(dialog, message, wParam, lParam);
    case WM_SETFONT:
        info->font = reinterpret_cast<HFONT>(wParam);
        return DefWindowProcW(dialog, message, wParam, lParam);
    case WM_GETFONT:
        return info->font ? reinterpret_cast<LRESULT>(info->font) : DefWindowProcW(dialog, message, wParam, lParam);
    case kNextDialogControlMessage: {
        HWND target = lParam ? reinterpret_cast<HWND>(wParam) : GetNextDlgTabItem(dialog, GetFocus(), wParam != 0);
        if (IsFocusableControlOf(dialog, target))
            SetFocus(target);
        return 0;
    }
    case kGetDefaultIdMessage:
        return DefaultButtonId(dialog, *info);
    case kSetDefaultIdMessage:
        info->defaultId = LOWORD(wParam);
        info->hasDefaultId = true;
        return TRUE;
    default:
        return DefWindowProcW(dialog, message, wParam, lParam);
    }
}

void ReleaseDialog(HWND dialog)
{
    std::shared_ptr<DialogInfo> info;
    {
        auto& table = Table();
        std::lock_guard guard(table.lock);
        auto it = table.infos.find(dialog);
        if (it == table.infos.end())
            return;
        info = it->second;
        table.infos.erase(it);
    }
    GiveBackOwner(*info);
    if (info->ownedFont)
        DeleteObject(info->ownedFont);
    info->ownedFont = nullptr;
    info->font = nullptr;
}

bool IsKeyDown(int virtualKey)
{
    return (GetKeyState(virtualKey) & 0x8000) != 0;
}

void SendCommand(HWND dialog, int id, HWND control)
{
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

// Enter: the focused push button, else the dialog's default button, else IDOK.
void PressDefault(HWND dialog)
{
    HWND focus = GetFocus();
    if (focus && IsChild(dialog, focus)
        && (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & (kDefaultPushButton | kOtherPushButton))) {
        SendCommand(dialog, GetDlgCtrlID(focus), focus);
        return;
    }
    auto answer = static_cast<DWORD>(SendMessageW(dialog, kGetDefaultIdMessage, 0, 0));
    if (HIWORD(answer) == kHasDefaultId) {
        HWND button = GetDlgItem(dialog, LOWORD(answer));
        if (!button || IsWindowEnabled(button))
            SendCommand(dialog, LOWORD(answer), button);
        return;
    }
    SendCommand(dialog, IDOK, GetDlgItem(dialog, IDOK));
}

// A navigation key of a WM_KEYDOWN that the focused control leaves to the dialog; true when handled.
bool NavigateByKey(HWND dialog, const MSG& msg, UINT code)
{
    switch (msg.wParam) {
    case VK_TAB:
        if (code & kWantTab)
            return false;
        SendMessageW(dialog, kNextDialogControlMessage, IsKeyDown(VK_SHIFT) ? 1 : 0, 0);
        return true;
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN: {
        if (code & kWantArrows)
            return false;
        bool previous = msg.wParam == VK_LEFT || msg.wParam == VK_UP;
        HWND next = GetNextDlgGroupItem(dialog, msg.hwnd, previous);
        if (next)
            SendMessageW(dialog, kNextDialogControlMessage, reinterpret_cast<WPARAM>(next), TRUE);
        return true;
    }
    case VK_ESCAPE:
        SendCommand(dialog, IDCANCEL, GetDlgItem(dialog, IDCANCEL));
        return true;
    case VK_RETURN:
        PressDefault(dialog);
        return true;
    default:
        return false;
    }
}

} // namespace

std::shared_ptr<DialogInfo> DialogInfoOf(HWND dialog)
{
    auto& table = Table();
    std::lock_guard guard(table.lock);
    auto& slot = table.infos[dialog];
    if (!slot)
        slot = std::make_shared<DialogInfo>();
    return slot;
}

void ForgetDialogInfo(HWND dialog)
{
    ReleaseDialog(dialog);
}

HBRUSH ControlColors(HWND control, HDC dc, UINT message)
{
    HWND parent = GetParent(control);
    LRESULT answer = parent ? SendMessageW(parent, message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control)) : 0;
    if (answer)
        return reinterpret_cast<HBRUSH>(answer);
    return reinterpret_cast<HBRUSH>(DefaultControlColors(message, dc));
}

HFONT ControlFont(HWND control)
{
    auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    return font ? font : GetStockObject(DEFAULT_GUI_FONT);
}

void NotifyParent(HWND control, UINT code)
{
    HWND parent = GetParent(control);
    if (parent)
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), static_cast<int>(code)), reinterpret_cast<LPARAM>(control));
}

void RegisterDialogClass()
{
    WNDCLASSEXW wc {};
    wc.cbSize = sizeof wc;
    wc.style = CS_SAVEBITS;
    wc.lpfnWndProc = DefDlgProcW;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<ULONG_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = WC_DIALOG;
    RegisterBuiltinClass(wc);
}

LRESULT DefDlgProcW(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!IsWindow(dialog))
        return 0;
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 0);
    auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(dialog, DWLP_DLGPROC));
    INT_PTR handled = proc ? proc(dialog, message, wParam, lParam) : FALSE;
    LRESULT result = 0;
    if (handled && AnswersDirectly(message))
        result = handled;
    else if (handled)
        result = IsWindow(dialog) ? GetWindowLongPtrW(dialog, DWLP_MSGRESULT) : 0;
    else if (IsWindow(dialog))
        result = DefaultDialogProc(dialog, message, wParam, lParam);
    // The dialog's own record goes with the window, whoever answered the message.
    if (message == WM_NCDESTROY)
        ForgetDialogInfo(dialog);
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result)
{
    if (!IsWindow(dialog)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    auto info = DialogInfoOf(dialog);
    info->ended = true;
    info->result = result;
    HWND owner = info->disabledOwner ? info->disabledOwner : GetWindow(dialog, GW_OWNER);
    GiveBackOwner(*info);
    bool wasActive = GetActiveWindow() == dialog;
    ShowWindow(dialog, SW_HIDE);
    if (wasActive && owner && IsWindowVisible(owner))
        SetActiveWindow(owner);
    // A modal loop waiting in GetMessageW wakes up and sees the dialog ended.
    PostMessageW(dialog, WM_NULL, 0, 0);
    return TRUE;
}

INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc, LPARAM initParam)
{
    HWND dialog = CreateDialogFromResource(instance, templateName, parent, proc, initParam, true);
    if (!dialog)
        return -1;
    auto info = DialogInfoOf(dialog);
    if (!info->ended && !IsWindowVisible(dialog))
        ShowWindow(dialog, SW_SHOWNORMAL);
    MSG msg;
    while (!info->ended && IsWindow(dialog)) {
        if (!GetMessageW(&msg, nullptr, 0, 0)) {
            // The quit message belongs to the outer loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    GiveBackOwner(*info);
    if (IsWindow(dialog))
        DestroyWindow(dialog);
    return info->result;
}

BOOL IsDialogMessageW(HWND dialog, LPMSG msg)
{
    if (!msg || !IsWindow(dialog) || !msg->hwnd)
        return FALSE;
    if (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd))
        return FALSE;
    if (msg->message == WM_KEYDOWN) {
        auto code = static_cast<UINT>(SendMessageW(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg)));
        if (!(code & DLGC_WANTALLKEYS) && NavigateByKey(dialog, *msg, code))
            return TRUE;
    } else if (msg->message == WM_CHAR) {
        // The characters of the navigation keys are not typed into controls that do not ask for them.
        auto code = static_cast<UINT>(SendMessageW(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg)));
        bool wanted = (code & (DLGC_WANTCHARS | DLGC_WANTALLKEYS)) || (msg->wParam == u'\t' && (code & kWantTab));
        bool navigation = msg->wParam == u'\t' || msg->wParam == u'\r' || msg->wParam == 0x1B;
        if (navigation && !wanted)
            return TRUE;
    }
    TranslateMessage(msg);
    DispatchMessageW(msg);
    return TRUE;
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous)
{
    if (!IsWindow(dialog))
        return nullptr;
    std::vector<HWND> controls = ControlsOf(dialog);
    std::ptrdiff_t at = IndexOf(controls, DirectChild(dialog, control));
    return Cycle(controls, at, previous != FALSE, [](HWND c) { return CanTakeFocus(c) && (StyleOf(c) & WS_TABSTOP); });
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check)
{
    HWND button = GetDlgItem(dialog, id);
    if (!button)
        return FALSE;
    SendMessageW(button, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    return button ? static_cast<UINT>(SendMessageW(button, BM_GETCHECK, 0, 0)) : 0;
}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init)
{
    // The common controls are classes of the layer, registered with the other built-in classes.
    return init && init->dwSize == sizeof(INITCOMMONCONTROLSEX) ? TRUE : FALSE;
}
