// What passes between the program and the suite's own libraries: the machine identifier export of
// Dizivevivu.so and the common-services object of TernCommon.so with its statistics sender. The
// order of the operations is the libraries' binary interface; it never changes.
#pragma once

#include "platform/base/WinTypes.h"

// The statistics sender. The program only ever calls Send.
class TernStatSender {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // The file the sender keeps its requests in, into `buffer`; non-zero when it fits.
    virtual int GetSpoolPath(LPWSTR buffer, int capacity) = 0;
    // The requests handed over since the sender was made.
    virtual int GetSentCount() = 0;
    // Hands one NUL-terminated URL over for sending.
    virtual int Send(LPCWSTR url) = 0;

protected:
    ~TernStatSender() = default;
};

// The common-services object.
class TernCommonServices {
public:
    // The process's statistics sender, or nullptr.
    virtual TernStatSender* GetStatSender() = 0;

protected:
    ~TernCommonServices() = default;
};

// TernCommon.so: "GetTernCommonInstance", the process's common-services object or nullptr.
using GetTernCommonInstanceFunction = TernCommonServices* (*)();
// Dizivevivu.so: "GetCIDW" writes the machine's identifier into `buffer` of `size` units; non-zero
// on success.
using GetCIDWFunction = int (*)(LPWSTR buffer, int size);
