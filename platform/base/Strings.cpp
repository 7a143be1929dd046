#include "platform/base/Strings.h"


namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf16(WString& out, char32_t cp)
{
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
        return;
    }
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Decodes one UTF-8 sequence at `i`; malformed input consumes one byte and yields U+FFFD.
char32_t DecodeUtf8(std::string_view s, size_t& i)
{
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    int length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    if (i + length > s.size()) {
        ++i;
        return kReplacement;
    }
    for (int k = 1; k < length; ++k) {
        unsigned char c = byte(i + k);
        if ((c & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += length;
    return cp;
}

} // namespace

WString Utf8ToWide(std::string_view utf8)
{
    WString out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();)
        AppendUtf16(out, DecodeUtf8(utf8, i));
    return out;
}

std::string WideToUtf8(WStringView wide)
{
    std::string out;
    out.reserve(wide.size() * 3);
    for (size_t i = 0; i < wide.size(); ++i) {
        char32_t unit = wide[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (wide[i + 1] - 0xDC00));
            ++i;
            continue;
        }
        if (unit >= 0xD800 && unit <= 0xDFFF)
            unit = kReplacement;
        AppendUtf8(out, unit);
    }
    return out;
}

WStringView ToView(LPCWSTR text)
{
    if (!text)
        return {};
    return WStringView(text);
}

int lstrlenW(LPCWSTR text)
{
    return static_cast<int>(ToView(text).size());
}

int lstrcmpW(LPCWSTR a, LPCWSTR b)
{
    int c = ToView(a).compare(ToView(b));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

WCHAR FoldCase(WCHAR c)
{
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? static_cast<WCHAR>(c + 32) : c;
    // Folding must not depend on the process locale, so the common alphabets are folded by table.
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F))
        return static_cast<WCHAR>(c + 32);
    if (c >= 0x400 && c <= 0x40F)
        return static_cast<WCHAR>(c + 80);
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
        bool evenIsUpper = (c < 0x139) || (c > 0x148 && c < 0x179);
        if (evenIsUpper ? (c % 2 == 0) : (c % 2 == 1))
            return static_cast<WCHAR>(c + 1);
    }
    return c;
}

int lstrcmpiW(LPCWSTR a, LPCWSTR b)
{
    WStringView x = ToView(a);
    WStringView y = ToView(b);
    size_t n = x.size() < y.size() ? x.size() : y.size();
    for (size_t i = 0; i < n; ++i) {
        WCHAR p = FoldCase(x[i]);
        WCHAR q = FoldCase(y[i]);
        if (p != q)
            return p < q ? -1 : 1;
    }
    if (x.size() == y.size())
        return 0;
    return x.size() < y.size() ? -1 : 1;
}

int StrCmpIW(LPCWSTR a, LPCWSTR b)
{
    return lstrcmpiW(a, b);
}

LPWSTR lstrcpynW(LPWSTR dest, LPCWSTR source, int capacity)
{
    if (!dest || capacity <= 0)
        return dest;
    CopyToBuffer(ToView(source), dest, static_cast<size_t>(capacity));
    return dest;
}

LPCWSTR StrStrW(LPCWSTR haystack, LPCWSTR needle)
{
    if (!haystack || !needle)
        return nullptr;
    size_t at = ToView(haystack).find(ToView(needle));
    return at == WStringView::npos ? nullptr : haystack + at;
}

bool CopyToBuffer(WStringView text, WCHAR* buffer, size_t capacity)
{
    if (!buffer || capacity == 0)
        return text.empty();
    size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    // A surrogate pair is never split by the cut.
    if (n < text.size() && n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF)
        --n;
    text.copy(buffer, n);
    buffer[n] = 0;
    return n == text.size();
}
