// GUIDs: class and interface identifiers.
#pragma once

#include "platform/base/WinTypes.h"

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

constexpr bool IsEqualGUID(REFGUID a, REFGUID b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i])
            return false;
    }
    return true;
}
constexpr bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
constexpr bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
constexpr bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// Declares a GUID constant from its parts, in the order the text form shows them.
constexpr GUID MakeGuid(DWORD data1, WORD data2, WORD data3, BYTE b0, BYTE b1, BYTE b2, BYTE b3, BYTE b4, BYTE b5,
    BYTE b6, BYTE b7)
{
    return GUID{data1, data2, data3, {b0, b1, b2, b3, b4, b5, b6, b7}};
}
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    inline constexpr GUID name = MakeGuid(l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)

// The text form is "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": 38 units and the terminator.
inline constexpr int kGuidTextLength = 38;

// Writes the upper-case text form; returns the units written including the terminator,
// or 0 when the buffer holds fewer than 39.
int StringFromGUID2(REFGUID guid, LPWSTR buffer, int cchMax);

// Read the text form in either case, nothing before or after it. A null text is GUID_NULL.
// Any other text fails with CO_E_CLASSSTRING (classes) or E_INVALIDARG (interfaces) and
// leaves GUID_NULL in the result.
HRESULT CLSIDFromString(LPCWSTR text, CLSID* clsid);
HRESULT IIDFromString(LPCWSTR text, IID* iid);
