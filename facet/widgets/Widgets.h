// The engine's window-side part: skinned windows, their per-window objects, and the window classes
// the engine provides. The engine's main object calls these; the widgets read CurrentSkin().
#pragma once

#include "ui/Engine.h"

// Registers "DynamicToolBar" and "HyperLink" (global classes); called once when the engine starts.
void RegisterWidgetClasses();
// Skins a top-level window (a dialog of a class told by RegisterClassAlias or the dialog class):
// frame, caption with icon, title, caption links, minimise and close, and its labels, links and check boxes.
HRESULT AttachSkinnedWindow(HWND hwnd);
// The object of an interface number for a skinned window or one of its controls.
HRESULT GetSkinnedWindowObject(HWND hwnd, int number, EngineObject** object);
// Redraws every skinned window with the current skin (after a reload).
void RefreshSkinnedWindows();
// Forgets every skinned window (the engine's Terminate).
void DetachSkinnedWindows();
