// Trusted loading of the suite's files: a library or program of the suite is loaded or started only
// when its code signature verifies. The signature of a file F is F.sig, an Ed25519 detached
// signature of F's bytes under the suite's public key, which is compiled into this library.
#pragma once

#include "platform/base/WinTypes.h"

// True only for an existing regular file of at most 256 MiB whose ".sig" holds exactly one valid
// signature of its bytes. The file is read once.
bool IsSignedFile(LPCWSTR path);

// The loaded library, or nullptr (silently) when there is no path or the file does not verify.
HMODULE LoadSignedLibrary(LPCWSTR path);

// No path or a missing file gives nullptr. A file that exists but does not verify shows the
// damaged-file prompt and then ends the program at once with exit code 0 through the normal exit;
// no window is torn down. Otherwise the loaded library (nullptr when the loader refuses it).
HMODULE LoadSuiteLibrary(LPCWSTR path);

// Tells the user that `path` is damaged and offers the suite's download; a Yes opens it.
void ShowDamagedFilePrompt(LPCWSTR path);
