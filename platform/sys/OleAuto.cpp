#include "platform/sys/OleAuto.h"

#include <cstdlib>
#include <cstring>

BSTR SysAllocStringLen(LPCOLESTR text, UINT length)
{
    auto* block = static_cast<BYTE*>(std::malloc(sizeof(DWORD) + (static_cast<size_t>(length) + 1) * sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    DWORD bytes = length * sizeof(OLECHAR);
    std::memcpy(block, &bytes, sizeof bytes);
    auto* characters = reinterpret_cast<OLECHAR*>(block + sizeof(DWORD));
    if (text)
        std::memcpy(characters, text, bytes);
    else
        std::memset(characters, 0, bytes);
    characters[length] = 0;
    return characters;
}

BSTR SysAllocString(LPCOLESTR text)
{
    if (!text)
        return nullptr;
    UINT length = 0;
    while (text[length])
        ++length;
    return SysAllocStringLen(text, length);
}

void SysFreeString(BSTR text)
{
    if (text)
        std::free(reinterpret_cast<BYTE*>(text) - sizeof(DWORD));
}

UINT SysStringLen(BSTR text)
{
    if (!text)
        return 0;
    DWORD bytes;
    std::memcpy(&bytes, reinterpret_cast<BYTE*>(text) - sizeof(DWORD), sizeof bytes);
    return bytes / sizeof(OLECHAR);
}

void VariantInit(VARIANT* value)
{
    if (!value)
        return;
    std::memset(value, 0, sizeof *value);
    value->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* value)
{
    if (!value)
        return E_INVALIDARG;
    if (value->vt == VT_BSTR)
        SysFreeString(value->bstrVal);
    VariantInit(value);
    return S_OK;
}
