// The suite's language library: it tells which language resource library goes with the program.
#pragma once

#include "platform/ui/WinUser.h"

class I18NLanguage {
public:
    // The suite's folder.
    virtual void SetSuiteFolder(LPCWSTR folder) = 0;
    // The language selector to pass back to GetResourceLibraryPath.
    virtual int GetLanguage() = 0;
    // Non-zero when `buffer` now holds the path of the language resource library for the program.
    virtual int GetResourceLibraryPath(LPCWSTR programPath, int language, int reserved, LPWSTR buffer, int capacity) = 0;

protected:
    ~I18NLanguage() = default;
};

// The library's export "CreateI18N".
using CreateI18NFunction = void (*)(I18NLanguage** language);
