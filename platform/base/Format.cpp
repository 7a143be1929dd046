#include "platform/base/Format.h"

#include <algorithm>

namespace {

constexpr bool IsHighSurrogate(WCHAR c) { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool IsLowSurrogate(WCHAR c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Where the formatted text goes: either a fixed buffer that cuts, or a string that grows.
class FormatOutput {
public:
    FormatOutput(WCHAR* buffer, size_t capacity) : m_buffer(buffer), m_room(capacity - 1) { }
    explicit FormatOutput(WString& text) : m_text(&text) { }

    void Append(WStringView text)
    {
        if (m_text) {
            m_text->append(text);
            return;
        }
        if (m_cut)
            return;
        size_t count = std::min(m_room - m_length, text.size());
        std::copy_n(text.data(), count, m_buffer + m_length);
        m_length += count;
        if (count < text.size())
            Cut(text[count]);
    }

    void Repeat(WCHAR unit, size_t count)
    {
        if (m_text) {
            m_text->append(count, unit);
            return;
        }
        if (m_cut)
            return;
        size_t written = std::min(m_room - m_length, count);
        std::fill_n(m_buffer + m_length, written, unit);
        m_length += written;
        if (written < count)
            Cut(unit);
    }

    // Terminates the buffer; false when the text did not fit.
    bool Finish()
    {
        if (m_buffer)
            m_buffer[m_length] = 0;
        return !m_cut;
    }

private:
    void Cut(WCHAR firstDropped)
    {
        m_cut = true;
        // A high surrogate whose partner was dropped would be a broken character.
        if (m_length > 0 && IsHighSurrogate(m_buffer[m_length - 1]) && IsLowSurrogate(firstDropped))
            --m_length;
    }

    WCHAR* m_buffer = nullptr;
    size_t m_room = 0;
    size_t m_length = 0;
    bool m_cut = false;
    WString* m_text = nullptr;
};

enum class Narrowing { None, To8, To16, To32 };

struct Directive {
    bool leftAlign = false;
    bool zeroPad = false;
    bool plusSign = false;
    bool spaceSign = false;
    bool alternate = false;
    int width = 0;
    int precision = -1;
    Narrowing narrowing = Narrowing::None;
    WCHAR conversion = 0;
};

constexpr int kMaxCount = 100000000;

bool IsKnownConversion(WCHAR c)
{
    return WStringView(u"diuoxXcCsS%").find(c) != WStringView::npos;
}

class Formatter {
public:
    Formatter(FormatOutput& output, std::span<const FormatArg> args) : m_output(output), m_args(args) { }

    void Run(LPCWSTR format)
    {
        const WCHAR* p = format;
        while (*p) {
            const WCHAR* percent = p;
            while (*percent && *percent != u'%')
                ++percent;
            m_output.Append(WStringView(p, percent - p));
            if (!*percent)
                return;
            Directive directive;
            p = Parse(percent + 1, directive);
            if (!directive.conversion) {
                m_output.Append(WStringView(percent, p - percent));
                continue;
            }
            Write(directive);
        }
    }

private:
    const FormatArg* NextArg() { return m_next < m_args.size() ? &m_args[m_next++] : nullptr; }

    // Reads a width or precision: digits, or '*' taking the next argument. Returns false
    // when '*' found no argument.
    bool ReadCount(const WCHAR*& p, int& count)
    {
        if (*p == u'*') {
            ++p;
            const FormatArg* arg = NextArg();
            if (!arg || arg->GetKind() == FormatArg::Kind::Text || arg->GetKind() == FormatArg::Kind::NullText)
                return false;
            LONGLONG value = arg->IsWide() || arg->GetKind() != FormatArg::Kind::Signed
                ? static_cast<LONGLONG>(arg->GetBits())
                : static_cast<LONGLONG>(static_cast<LONG>(arg->GetBits()));
            count = static_cast<int>(std::clamp<LONGLONG>(value, -kMaxCount, kMaxCount));
            return true;
        }
        count = 0;
        while (*p >= u'0' && *p <= u'9') {
            count = std::min(count * 10 + (*p - u'0'), kMaxCount);
            ++p;
        }
        return true;
    }

    // Parses the directive after '%'; returns where the text continues. The conversion stays
    // 0 for a letter this formatter does not know, which is then copied as it stands.
    const WCHAR* Parse(const WCHAR* p, Directive& d)
    {
        for (;; ++p) {
            if (*p == u'-')
                d.leftAlign = true;
            else if (*p == u'0')
                d.zeroPad = true;
            else if (*p == u'+')
                d.plusSign = true;
            else if (*p == u' ')
                d.spaceSign = true;
            else if (*p == u'#')
                d.alternate = true;
            else
                break;
        }
        int width = 0;
        if (ReadCount(p, width)) {
            if (width < 0)
                d.leftAlign = true;
            d.width = width < 0 ? -width : width;
        }
        if (*p == u'.') {
            ++p;
            int precision = 0;
            if (ReadCount(p, precision))
                d.precision = precision < 0 ? -1 : precision;
        }
        p = ParseLength(p, d);
        if (!*p)
            return p;
        if (IsKnownConversion(*p))
            d.conversion = *p;
        return p + 1;
    }

    // Compares without reading past the terminator: a mismatch stops at it.
    static bool StartsWith(const WCHAR* p, WStringView prefix)
    {
        for (WCHAR c : prefix) {
            if (*p++ != c)
                return false;
        }
        return true;
    }

    // Length prefixes are accepted; the argument's own type gives its width, except that
    // h, hh and I32 narrow it the way C converts a promoted argument.
    static const WCHAR* ParseLength(const WCHAR* p, Directive& d)
    {
        if (StartsWith(p, u"hh")) {
            d.narrowing = Narrowing::To8;
            return p + 2;
        }
        if (StartsWith(p, u"I32")) {
            d.narrowing = Narrowing::To32;
            return p + 3;
        }
        if (StartsWith(p, u"I64"))
            return p + 3;
        if (StartsWith(p, u"ll"))
            return p + 2;
        if (*p == u'h') {
            d.narrowing = Narrowing::To16;
            return p + 1;
        }
        if (*p && WStringView(u"lwLIjzt").find(*p) != WStringView::npos)
            return p + 1;
        return p;
    }

    void Write(const Directive& d)
    {
        if (d.conversion == u'%') {
            m_output.Append(u"%");
            return;
        }
        const FormatArg* arg = NextArg();
        if (!arg)
            return;
        bool wantsText = d.conversion == u's' || d.conversion == u'S';
        bool wantsUnit = d.conversion == u'c' || d.conversion == u'C';
        switch (arg->GetKind()) {
        case FormatArg::Kind::Text:
            WriteText(d, arg->GetText());
            return;
        case FormatArg::Kind::NullText:
            WriteText(d, u"(null)");
            return;
        case FormatArg::Kind::Char:
            if (wantsText || wantsUnit) {
                WCHAR unit = static_cast<WCHAR>(arg->GetBits());
                WriteText(d, WStringView(&unit, 1));
                return;
            }
            WriteInteger(d, d.conversion, arg->GetBits(), false);
            return;
        case FormatArg::Kind::Signed:
        case FormatArg::Kind::Unsigned:
            if (wantsUnit) {
                WCHAR unit = static_cast<WCHAR>(arg->GetBits());
                WriteText(d, WStringView(&unit, 1));
                return;
            }
            if (wantsText) {
                Directive asNumber = d;
                asNumber.precision = -1;
                WCHAR conversion = arg->GetKind() == FormatArg::Kind::Signed ? u'd' : u'u';
                WriteInteger(asNumber, conversion, arg->GetBits(), arg->IsWide());
                return;
            }
            WriteInteger(d, d.conversion, arg->GetBits(), arg->IsWide());
            return;
        }
    }

    void WriteText(const Directive& d, WStringView text)
    {
        // A precision written for %s limits the units; one that would split a pair stops before it.
        bool limits = d.precision >= 0 && (d.conversion == u's' || d.conversion == u'S');
        if (limits && static_cast<size_t>(d.precision) < text.size()) {
            size_t length = static_cast<size_t>(d.precision);
            if (length > 0 && IsHighSurrogate(text[length - 1]) && IsLowSurrogate(text[length]))
                --length;
            text = text.substr(0, length);
        }
        size_t padding = static_cast<size_t>(d.width) > text.size() ? d.width - text.size() : 0;
        if (!d.leftAlign)
            m_output.Repeat(u' ', padding);
        m_output.Append(text);
        if (d.leftAlign)
            m_output.Repeat(u' ', padding);
    }

    void WriteInteger(const Directive& d, WCHAR conversion, ULONGLONG bits, bool wide)
    {
        int valueBits = wide ? 64 : 32;
        if (d.narrowing == Narrowing::To8)
            valueBits = 8;
        else if (d.narrowing == Narrowing::To16)
            valueBits = 16;
        else if (d.narrowing == Narrowing::To32)
            valueBits = 32;
        ULONGLONG mask = valueBits == 64 ? ~0ULL : (1ULL << valueBits) - 1;
        ULONGLONG magnitude = bits & mask;

        bool isSigned = conversion == u'd' || conversion == u'i';
        bool negative = isSigned && (magnitude >> (valueBits - 1)) != 0;
        if (negative)
            magnitude = (~magnitude & mask) + 1;

        WStringView prefix;
        if (negative)
            prefix = u"-";
        else if (isSigned && d.plusSign)
            prefix = u"+";
        else if (isSigned && d.spaceSign)
            prefix = u" ";
        else if (d.alternate && magnitude != 0 && conversion == u'x')
            prefix = u"0x";
        else if (d.alternate && magnitude != 0 && conversion == u'X')
            prefix = u"0X";

        unsigned base = conversion == u'x' || conversion == u'X' ? 16 : (conversion == u'o' ? 8 : 10);
        const char16_t* digitSet = conversion == u'X' ? u"0123456789ABCDEF" : u"0123456789abcdef";
        WCHAR digits[24];
        size_t start = std::size(digits);
        for (ULONGLONG rest = magnitude; rest != 0; rest /= base)
            digits[--start] = digitSet[rest % base];
        if (magnitude == 0 && d.precision != 0)
            digits[--start] = u'0';
        if (conversion == u'o' && d.alternate && (start == std::size(digits) || digits[start] != u'0'))
            digits[--start] = u'0';
        WStringView number(digits + start, std::size(digits) - start);

        size_t zeros = d.precision > 0 && static_cast<size_t>(d.precision) > number.size() ? d.precision - number.size() : 0;
        size_t used = prefix.size() + zeros + number.size();
        size_t width = static_cast<size_t>(d.width);
        if (d.zeroPad && !d.leftAlign && d.precision < 0 && width > used) {
            zeros += width - used;
            used = width;
        }
        size_t padding = width > used ? width - used : 0;
        if (!d.leftAlign)
            m_output.Repeat(u' ', padding);
        m_output.Append(prefix);
        m_output.Repeat(u'0', zeros);
        m_output.Append(number);
        if (d.leftAlign)
            m_output.Repeat(u' ', padding);
    }

    FormatOutput& m_output;
    std::span<const FormatArg> m_args;
    size_t m_next = 0;
};

} // namespace

size_t FormatArg::BoundedLength(const WCHAR* text, size_t capacity)
{
    return std::find(text, text + capacity, u'\0') - text;
}

HRESULT StringCchVPrintfW(WCHAR* dest, size_t cchDest, LPCWSTR format, std::span<const FormatArg> args)
{
    if (!dest || cchDest == 0 || cchDest > STRSAFE_MAX_CCH)
        return STRSAFE_E_INVALID_PARAMETER;
    if (!format) {
        dest[0] = 0;
        return STRSAFE_E_INVALID_PARAMETER;
    }
    FormatOutput output(dest, cchDest);
    Formatter(output, args).Run(format);
    return output.Finish() ? S_OK : STRSAFE_E_INSUFFICIENT_BUFFER;
}

WString VFormatW(LPCWSTR format, std::span<const FormatArg> args)
{
    WString text;
    if (!format)
        return text;
    FormatOutput output(text);
    Formatter(output, args).Run(format);
    return text;
}
