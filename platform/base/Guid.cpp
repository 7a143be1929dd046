#include "platform/base/Guid.h"

namespace {

int HexValue(WCHAR c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

// Reads `digits` hex digits at text[pos]; the terminator is not a digit, so a short text
// fails here before anything past it is read.
bool ReadHex(LPCWSTR text, int pos, int digits, ULONGLONG& value)
{
    value = 0;
    for (int i = 0; i < digits; ++i) {
        int digit = HexValue(text[pos + i]);
        if (digit < 0)
            return false;
        value = (value << 4) | static_cast<ULONGLONG>(digit);
    }
    return true;
}

bool ParseGuid(LPCWSTR text, GUID& guid)
{
    // Positions of the fields in "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
    if (text[0] != u'{')
        return false;
    ULONGLONG data1 = 0;
    ULONGLONG data2 = 0;
    ULONGLONG data3 = 0;
    ULONGLONG clockSeq = 0;
    ULONGLONG node = 0;
    if (!ReadHex(text, 1, 8, data1) || text[9] != u'-')
        return false;
    if (!ReadHex(text, 10, 4, data2) || text[14] != u'-')
        return false;
    if (!ReadHex(text, 15, 4, data3) || text[19] != u'-')
        return false;
    if (!ReadHex(text, 20, 4, clockSeq) || text[24] != u'-')
        return false;
    if (!ReadHex(text, 25, 12, node) || text[37] != u'}' || text[38] != 0)
        return false;
    guid.Data1 = static_cast<DWORD>(data1);
    guid.Data2 = static_cast<WORD>(data2);
    guid.Data3 = static_cast<WORD>(data3);
    guid.Data4[0] = static_cast<BYTE>(clockSeq >> 8);
    guid.Data4[1] = static_cast<BYTE>(clockSeq);
    for (int i = 0; i < 6; ++i)
        guid.Data4[2 + i] = static_cast<BYTE>(node >> (8 * (5 - i)));
    return true;
}

HRESULT FromString(LPCWSTR text, GUID* guid, HRESULT failure)
{
    if (!guid)
        return E_INVALIDARG;
    *guid = GUID_NULL;
    if (!text)
        return S_OK;
    GUID parsed{};
    if (!ParseGuid(text, parsed))
        return failure;
    *guid = parsed;
    return S_OK;
}

class HexWriter {
public:
    explicit HexWriter(LPWSTR out) : m_out(out) { }
    void Put(WCHAR c) { *m_out++ = c; }
    void Hex(ULONGLONG value, int digits)
    {
        static constexpr WCHAR kDigits[] = u"0123456789ABCDEF";
        for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
            Put(kDigits[(value >> shift) & 0xF]);
    }

private:
    LPWSTR m_out;
};

} // namespace

int StringFromGUID2(REFGUID guid, LPWSTR buffer, int cchMax)
{
    if (!buffer || cchMax < kGuidTextLength + 1)
        return 0;
    HexWriter writer(buffer);
    writer.Put(u'{');
    writer.Hex(guid.Data1, 8);
    writer.Put(u'-');
    writer.Hex(guid.Data2, 4);
    writer.Put(u'-');
    writer.Hex(guid.Data3, 4);
    writer.Put(u'-');
    writer.Hex(guid.Data4[0], 2);
    writer.Hex(guid.Data4[1], 2);
    writer.Put(u'-');
    for (int i = 2; i < 8; ++i)
        writer.Hex(guid.Data4[i], 2);
    writer.Put(u'}');
    writer.Put(0);
    return kGuidTextLength + 1;
}

HRESULT CLSIDFromString(LPCWSTR text, CLSID* clsid)
{
    return FromString(text, clsid, CO_E_CLASSSTRING);
}

HRESULT IIDFromString(LPCWSTR text, IID* iid)
{
    return FromString(text, iid, E_INVALIDARG);
}
