// The packed skin storage: ".ui" packages (zip archives) registered by path. A file is found by its
// name inside a package, or by its full path when that lies in a package's folder; the default
// package is searched first, then the others in the order they were registered. Nothing is written.
#pragma once

#include "platform/base/Strings.h"
#include "ui/Engine.h"

#include <vector>

// Entries declared larger than this are never read.
inline constexpr long kMaxPackedFileSize = 16 * 1024 * 1024;

// The engine's one package object.
EnginePackage* EnginePackages();
// The bytes of a packed file; false when no registered package holds it or it cannot be read.
bool ReadPackedFile(WStringView name, std::vector<BYTE>& bytes);
// Forgets every registered package (the engine's Terminate).
void CloseEnginePackages();
