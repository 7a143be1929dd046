// Automation basics: counted wide strings (BSTR) and the VARIANT the property bags hand out.
#pragma once

#include "platform/base/WinTypes.h"

using OLECHAR = WCHAR;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
// Points at the first character; the length in bytes sits in the four bytes before it and the text
// is always terminated.
using BSTR = OLECHAR*;

BSTR SysAllocString(LPCOLESTR text);
BSTR SysAllocStringLen(LPCOLESTR text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);

using VARTYPE = WORD;
inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_BSTR = 8;

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        BSTR bstrVal;
    };
};

void VariantInit(VARIANT* value);
// Frees what the variant owns and leaves it VT_EMPTY.
HRESULT VariantClear(VARIANT* value);
