#include "MarkupFuzz.h"

#include "facet/widgets/Markup.h"

#include <cstring>

namespace {

bool IsBlank(WCHAR c)
{
    return c == u' ' || c == u'\t';
}

bool StartsWithTag(WStringView text)
{
    if (text.starts_with(u"[.]"))
        return true;
    constexpr WStringView kStyle = u"<.style>";
    if (text.size() < kStyle.size())
        return false;
    for (size_t i = 0; i < kStyle.size(); ++i) {
        WCHAR c = text[i];
        if (c >= u'A' && c <= u'Z')
            c = static_cast<WCHAR>(c - u'A' + u'a');
        if (c != kStyle[i])
            return false;
    }
    return true;
}

} // namespace

std::string CheckLabelMarkup(const uint8_t* data, size_t size)
{
    WString input(size / 2, u'\0');
    if (!input.empty())
        std::memcpy(input.data(), data, input.size() * sizeof(WCHAR));
    LabelMarkup markup = ParseLabelMarkup(input);
    if (markup.link > kLargestLinkMessage)
        return "link out of range";
    if (markup.size != 0 && (markup.size < kSmallestMarkupSize || markup.size > kLargestMarkupSize))
        return "size out of range";
    if (!markup.hasStyle) {
        if (markup.text != input)
            return "text without a style block changed";
        if (markup.hasColor || markup.hasHoverColor || markup.link || markup.size || markup.hand || markup.bold || markup.underline)
            return "text without a style block has style";
        return {};
    }
    size_t blanks = 0;
    while (blanks < input.size() && IsBlank(input[blanks]))
        ++blanks;
    if (!StartsWithTag(WStringView(input).substr(blanks)))
        return "style block found where no tag opens the text";
    if (markup.text.size() >= input.size())
        return "visible text not shorter than the input";
    WStringView text = markup.text;
    if (text.substr(0, blanks) != WStringView(input).substr(0, blanks))
        return "leading blanks lost";
    if (!WStringView(input).ends_with(text.substr(blanks)))
        return "visible text is not the end of the input";
    return {};
}
