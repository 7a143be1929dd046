// Mutexes: unnamed ones live in this process, named ones are shared by every process of the user.
#pragma once

#include "platform/base/Strings.h"
#include "platform/sys/Handle.h"

#include <string>


// A named mutex exists while any process has a handle to it: the one that creates it gets
// ERROR_SUCCESS, every later CreateMutexW of the name (in this or another process) gets a handle
// to the same mutex with ERROR_ALREADY_EXISTS, and initialOwner is then ignored.
// Named mutexes are lock files in the folder "lumo-mutex" of $XDG_RUNTIME_DIR (without that
// variable, of the private folder /tmp/lumo-<uid>), held with flock, so a process that crashes
// or is killed releases everything it held. When that folder cannot be used the result is nullptr.
// Waiting on the handle takes ownership (recursively for the owning thread); a mutex whose owner
// ended without releasing it is taken with WAIT_ABANDONED.
HANDLE CreateMutexW(void* attributes, BOOL initialOwner, LPCWSTR name);
// Fails with ERROR_NOT_OWNER unless the calling thread owns the mutex.
BOOL ReleaseMutex(HANDLE mutex);

// The file name (without folder or extension) that stands for a mutex name: only letters,
// digits, '_', '-', '%', '~' and '+', never empty, at most 160 bytes, whatever the name holds.
std::string NamedMutexFileName(WStringView name);
