// The wide formatter: printf directives with the Windows wide meaning (%s is a wide text),
// type-checked at compile time and cut to a capacity.
#pragma once

#include "platform/base/Strings.h"
#include "platform/base/WinTypes.h"

#include <array>
#include <cstddef>
#include <span>
#include <type_traits>

inline constexpr size_t STRSAFE_MAX_CCH = 2147483647;

// One argument of a format call. Integers keep their bits and the width C would pass
// them with (32 bits, or 64 for 64-bit types), so %u and %x of a negative int print its
// 32-bit two's complement while 64-bit values print in full.
class FormatArg {
public:
    enum class Kind : BYTE { Signed, Unsigned, Char, Text, NullText };

    template <class T>
    static FormatArg From(const T& value)
    {
        if constexpr (std::is_array_v<T>) {
            static_assert(std::is_same_v<std::remove_cv_t<std::remove_extent_t<T>>, WCHAR>,
                "only arrays of WCHAR can be formatted");
            // A buffer need not be terminated: it is read up to its own size at most.
            return Text(WStringView(value, BoundedLength(value, std::extent_v<T>)));
        } else if constexpr (std::is_same_v<T, WCHAR>) {
            return FormatArg(Kind::Char, value, false);
        } else if constexpr (std::is_enum_v<T>) {
            return From(static_cast<std::underlying_type_t<T>>(value));
        } else if constexpr (std::is_integral_v<T>) {
            constexpr bool isWide = sizeof(T) > 4;
            if constexpr (std::is_signed_v<T>)
                return FormatArg(Kind::Signed, static_cast<ULONGLONG>(static_cast<LONGLONG>(value)), isWide);
            else
                return FormatArg(Kind::Unsigned, static_cast<ULONGLONG>(value), isWide);
        } else if constexpr (std::is_same_v<T, const WCHAR*> || std::is_same_v<T, WCHAR*>) {
            if (!value)
                return FormatArg(Kind::NullText, 0, false);
            return Text(WStringView(value));
        } else if constexpr (std::is_same_v<T, std::nullptr_t>) {
            return FormatArg(Kind::NullText, 0, false);
        } else {
            static_assert(std::is_convertible_v<const T&, WStringView>,
                "a format argument is an integer, an enum, WCHAR or a wide text");
            return Text(WStringView(value));
        }
    }

    Kind GetKind() const { return m_kind; }
    bool IsWide() const { return m_wide; }
    ULONGLONG GetBits() const { return m_bits; }
    WStringView GetText() const { return m_text; }

private:
    FormatArg(Kind kind, ULONGLONG bits, bool wide) : m_kind(kind), m_wide(wide), m_bits(bits) { }
    static FormatArg Text(WStringView text)
    {
        FormatArg arg(Kind::Text, 0, false);
        arg.m_text = text;
        return arg;
    }
    static size_t BoundedLength(const WCHAR* text, size_t capacity);

    Kind m_kind;
    bool m_wide;
    ULONGLONG m_bits;
    WStringView m_text;
};

// The formatter's core. Writes at most cchDest - 1 units and always terminates; returns S_OK,
// STRSAFE_E_INSUFFICIENT_BUFFER when the text was cut (never inside a surrogate pair), or
// STRSAFE_E_INVALID_PARAMETER for a null buffer, a null format or a bad capacity.
HRESULT StringCchVPrintfW(WCHAR* dest, size_t cchDest, LPCWSTR format, std::span<const FormatArg> args);
WString VFormatW(LPCWSTR format, std::span<const FormatArg> args);

template <class... Args>
HRESULT StringCchPrintfW(WCHAR* dest, size_t cchDest, LPCWSTR format, const Args&... args)
{
    const std::array<FormatArg, sizeof...(Args)> packed{FormatArg::From(args)...};
    return StringCchVPrintfW(dest, cchDest, format, packed);
}

template <class... Args>
WString FormatW(LPCWSTR format, const Args&... args)
{
    const std::array<FormatArg, sizeof...(Args)> packed{FormatArg::From(args)...};
    return VFormatW(format, packed);
}
