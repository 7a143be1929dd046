#include "facet/widgets/Markup.h"

#include <optional>

namespace {

constexpr WStringView kBracketOpen = u"[.]";
constexpr WStringView kBracketClose = u"[/.]";
constexpr WStringView kStyleOpen = u"<.style>";
constexpr WStringView kStyleClose = u"</.style>";

bool IsBlank(WCHAR c)
{
    return c == u' ' || c == u'\t';
}

WStringView Trim(WStringView text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

WCHAR AsciiLower(WCHAR c)
{
    return c >= u'A' && c <= u'Z' ? static_cast<WCHAR>(c - u'A' + u'a') : c;
}

bool EqualsIgnoringCase(WStringView a, WStringView b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

bool StartsWithIgnoringCase(WStringView text, WStringView prefix)
{
    return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

// Finds `needle` ignoring ASCII case; npos when absent. The tags are short, so this stays linear.
size_t FindIgnoringCase(WStringView text, WStringView needle, size_t from)
{
    if (needle.empty() || text.size() < needle.size())
        return WStringView::npos;
    for (size_t i = from; i + needle.size() <= text.size(); ++i) {
        if (AsciiLower(text[i]) == AsciiLower(needle[0]) && EqualsIgnoringCase(text.substr(i, needle.size()), needle))
            return i;
    }
    return WStringView::npos;
}

// A decimal number of at most `maxDigits` digits, nothing else.
std::optional<unsigned> ParseDecimal(WStringView text, size_t maxDigits)
{
    text = Trim(text);
    if (!text.empty() && text.front() == u'+')
        text.remove_prefix(1);
    if (text.empty() || text.size() > maxDigits)
        return std::nullopt;
    unsigned value = 0;
    for (WCHAR c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - u'0');
    }
    return value;
}

std::optional<bool> ParseBool(WStringView value)
{
    value = Trim(value);
    if (EqualsIgnoringCase(value, u"true") || value == u"1")
        return true;
    if (EqualsIgnoringCase(value, u"false") || value == u"0")
        return false;
    return std::nullopt;
}

void ApplyPair(WStringView pair, LabelMarkup& markup)
{
    size_t equals = pair.find(u'=');
    if (equals == WStringView::npos)
        return;
    WStringView name = Trim(pair.substr(0, equals));
    WStringView value = Trim(pair.substr(equals + 1));
    if (EqualsIgnoringCase(name, u"color")) {
        markup.hasColor = ParseRgbColor(value, &markup.color) || markup.hasColor;
        return;
    }
    if (EqualsIgnoringCase(name, u"hovercolor")) {
        markup.hasHoverColor = ParseRgbColor(value, &markup.hoverColor) || markup.hasHoverColor;
        return;
    }
    if (EqualsIgnoringCase(name, u"link")) {
        auto number = ParseDecimal(value, 5);
        if (number && *number >= 1 && *number <= kLargestLinkMessage)
            markup.link = *number;
        return;
    }
    if (EqualsIgnoringCase(name, u"size")) {
        auto number = ParseDecimal(value, 3);
        if (number && *number >= kSmallestMarkupSize && *number <= kLargestMarkupSize)
            markup.size = static_cast<int>(*number);
        return;
    }
    auto flag = ParseBool(value);
    if (!flag)
        return;
    if (EqualsIgnoringCase(name, u"hand"))
        markup.hand = *flag;
    else if (EqualsIgnoringCase(name, u"underline"))
        markup.underline = *flag;
    else if (EqualsIgnoringCase(name, u"bold"))
        markup.bold = *flag;
}

void ApplyPairs(WStringView block, LabelMarkup& markup)
{
    while (!block.empty()) {
        size_t end = block.find(u';');
        ApplyPair(block.substr(0, end), markup);
        if (end == WStringView::npos)
            return;
        block.remove_prefix(end + 1);
    }
}

} // namespace

bool ParseRgbColor(WStringView value, COLORREF* color)
{
    value = Trim(value);
    if (!StartsWithIgnoringCase(value, u"rgb"))
        return false;
    value = Trim(value.substr(3));
    if (value.size() < 2 || value.front() != u'(' || value.back() != u')')
        return false;
    value = value.substr(1, value.size() - 2);
    unsigned parts[3] = {};
    for (int i = 0; i < 3; ++i) {
        size_t comma = value.find(u',');
        bool last = i == 2;
        if (last != (comma == WStringView::npos))
            return false;
        auto number = ParseDecimal(value.substr(0, comma), 3);
        if (!number || *number > 255)
            return false;
        parts[i] = *number;
        if (!last)
            value.remove_prefix(comma + 1);
    }
    if (color)
        *color = RGB(static_cast<BYTE>(parts[0]), static_cast<BYTE>(parts[1]), static_cast<BYTE>(parts[2]));
    return true;
}

LabelMarkup ParseLabelMarkup(WStringView text)
{
    LabelMarkup markup;
    size_t start = 0;
    while (start < text.size() && IsBlank(text[start]))
        ++start;
    WStringView rest = text.substr(start);
    WStringView close;
    size_t open = 0;
    if (rest.starts_with(kBracketOpen)) {
        open = kBracketOpen.size();
        close = kBracketClose;
    } else if (StartsWithIgnoringCase(rest, kStyleOpen)) {
        open = kStyleOpen.size();
        close = kStyleClose;
    } else {
        markup.text = WString(text);
        return markup;
    }
    size_t end = FindIgnoringCase(rest, close, open);
    if (end == WStringView::npos) {
        markup.text = WString(text);
        return markup;
    }
    ApplyPairs(rest.substr(open, end - open), markup);
    markup.hasStyle = true;
    markup.text = WString(text.substr(0, start));
    markup.text += rest.substr(end + close.size());
    return markup;
}
