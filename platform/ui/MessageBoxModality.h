// The parts every message box of the program shares (the layer's own and the UI engine's skinned
// one): the buttons of a box type, the answer of Escape and the close button, the keys of a box, its
// modal run, and what a message box does to the windows around it while it runs: its owner (or, task-modal without
// one, every window of the calling thread) disabled, and enabled and active again afterwards; and
// where the box goes (centred on its owner or the work area, kept inside the work area). An owner of
// another thread is touched on that thread only.
#pragma once

#include "platform/base/Strings.h"
#include "platform/ui/WinUser.h"

#include <vector>

struct MessageBoxButtonSpec {
    int id;
    const WCHAR* text;
};

// The buttons of MB_OK, MB_OKCANCEL, MB_ABORTRETRYIGNORE, MB_YESNOCANCEL, MB_YESNO, MB_RETRYCANCEL.
std::vector<MessageBoxButtonSpec> MessageBoxButtonsOf(UINT flags);
// Escape and the close button answer Cancel, else No; a box with one button answers that button;
// otherwise 0 (they do nothing).
int MessageBoxEscapeIdOf(const std::vector<MessageBoxButtonSpec>& buttons);

// A message box while it is up: its window and buttons, and the answer once one is chosen. The
// boxes add their look to it.
struct MessageBoxState {
    HWND window = nullptr;
    WString caption;
    std::vector<MessageBoxButtonSpec> buttons;
    std::vector<HWND> buttonWindows; // beside `buttons`, once created
    size_t defaultButton = 0;
    int escapeId = 0; // 0: Escape and the close button do nothing
    bool done = false;
    int result = 0;

    // The buttons of the box type `flags`, its default button and the answer of Escape.
    void SetButtonsOf(UINT flags);
    bool HasButton(int id) const;
    // Ends the box with the answer `id`, if the box has such a button and has no answer yet.
    void Choose(int id);
};

class MessageBoxModality;

// Shows the box's window with its default button focused and runs it modally (answering the modal
// script when one is in use) until it has an answer, is gone, or the loop ends; then enables what
// `modality` disabled and destroys the window. Returns the answer: a button's id, else the Escape
// answer or the default button. `owner`, `text` and `flags` are the caller's, as recorded.
int RunMessageBox(MessageBoxState& box, MessageBoxModality& modality, HWND owner, LPCWSTR text, UINT flags);

class MessageBoxModality {
public:
    // `owner`: the box's owner (its top-level ancestor is used), or nullptr.
    MessageBoxModality(HWND owner, UINT flags);
    ~MessageBoxModality();
    MessageBoxModality(const MessageBoxModality&) = delete;
    MessageBoxModality& operator=(const MessageBoxModality&) = delete;

    HWND Owner() const { return m_owner; }
    // The top-left corner of a box of that size.
    POINT Place(SIZE size) const;
    // Enables what the box disabled; the box is destroyed after this, so activation returns to the owner.
    void Release();
    // Gives the activation back to the owner once the box is gone.
    void ReactivateOwner() const;

private:
    HWND m_owner = nullptr;
    bool m_ownerDisabled = false;
    bool m_ownerVisible = false;
    RECT m_ownerRect {};
    std::vector<HWND> m_taskWindows;
    bool m_released = false;
};
