// The dialog class and the standard controls. Internal to platform/ui.
#pragma once

#include "platform/ui/WinUser.h"

#include <memory>

// Each registers its class through RegisterBuiltinClass; called from RegisterBuiltinClasses.
void RegisterDialogClass();
void RegisterStaticClass();
void RegisterButtonClass();
void RegisterTooltipClass();

// Messages and codes of the dialog manager that the layer uses between the dialog and its controls.
inline constexpr UINT kNextDialogControlMessage = 0x0028; // WM_NEXTDLGCTL
inline constexpr UINT kGetDefaultIdMessage = WM_USER + 0;  // DM_GETDEFID
inline constexpr UINT kSetDefaultIdMessage = WM_USER + 1;  // DM_SETDEFID
inline constexpr WORD kHasDefaultId = 0x534B;              // DC_HASDEFID
inline constexpr UINT kWantArrows = 0x0001;                // DLGC_WANTARROWS
inline constexpr UINT kWantTab = 0x0002;                   // DLGC_WANTTAB
inline constexpr UINT kDefaultPushButton = 0x0010;         // DLGC_DEFPUSHBUTTON
inline constexpr UINT kOtherPushButton = 0x0020;           // DLGC_UNDEFPUSHBUTTON
inline constexpr UINT kButtonGetState = 0x00F2;            // BM_GETSTATE
inline constexpr UINT kButtonSetState = 0x00F3;            // BM_SETSTATE
inline constexpr UINT kButtonClick = 0x00F5;               // BM_CLICK
inline constexpr UINT kButtonPushed = 0x0004;              // BST_PUSHED
inline constexpr UINT kButtonFocused = 0x0008;             // BST_FOCUS
inline constexpr UINT kStaticDoubleClicked = 1;            // STN_DBLCLK
inline constexpr UINT kControlColorFirst = 0x0132;         // WM_CTLCOLORMSGBOX

// What the dialog manager keeps for a dialog window besides its DWLP_* slots.
struct DialogInfo {
    HFONT font = nullptr;      // the dialog's font, from the template or WM_SETFONT
    HFONT ownedFont = nullptr; // made for the template's DS_SETFONT, deleted with the dialog
    SIZE baseUnits {0, 0};     // dialog base units of the font, in pixels
    HWND savedFocus = nullptr; // the control that had the focus when the dialog was deactivated
    HWND disabledOwner = nullptr;
    bool modal = false;
    bool ended = false;
    INT_PTR result = 0;
    WORD defaultId = 0;
    bool hasDefaultId = false;
};

// The record of a dialog window, made on first use for any live window of a dialog class.
std::shared_ptr<DialogInfo> DialogInfoOf(HWND dialog);
void ForgetDialogInfo(HWND dialog);
// Creates a dialog from an RT_DIALOG resource; a modal one disables its owner until EndDialog.
HWND CreateDialogFromResource(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc, LPARAM initParam, bool modal);
// The base units of a font (0: the stock dialog font): the average width of the Latin letters and
// the character height.
SIZE DialogBaseUnitsOfFont(HFONT font);
// The units a template is laid out in: the classic 6 × 13 for the classic 8-point faces, else its font's.
SIZE DialogBaseUnitsOfTemplate(const struct DialogTemplate& t, HFONT font);

// Painting helpers shared by the controls.
// Asks the parent for the brush and colours of a control (WM_CTLCOLORSTATIC, WM_CTLCOLORBTN);
// when the parent leaves the message unanswered the dialog defaults are set on `dc`.
HBRUSH ControlColors(HWND control, HDC dc, UINT message);
// The font a control draws with: the one given by WM_SETFONT, else the stock dialog font.
HFONT ControlFont(HWND control);
// Tells the control's parent about an event: WM_COMMAND with the control's id and `code`.
void NotifyParent(HWND control, UINT code);
