// The window classes the layer itself provides. Internal to platform/ui.
#pragma once

// Registers every built-in class; called once, on the first class lookup.
void RegisterBuiltinClasses();
