// Window classes the program registered as copies of another class under a new name, as it told the
// engine with RegisterClassAlias; the widgets skin a window of such a class as one of its base class.
#pragma once

#include "platform/base/Strings.h"

// A later alias of the same name replaces the earlier one.
void RegisterEngineClassAlias(WStringView baseClass, WStringView alias);
// The class `className` is a copy of (case-insensitive), or `className` itself when it is no alias.
WString EngineBaseClassOf(WStringView className);
// Forgets every alias (the engine's Terminate).
void ClearEngineClassAliases();
