#include "facet/Skin.h"

#include "facet/Package.h"
#include "facet/XmlDocument.h"

#include <optional>
#include <string_view>

namespace {

Skin& LiveSkin()
{
    static Skin skin;
    return skin;
}

// The attribute-number rule. Decimal numbers wrap at 32 bits instead of overflowing.
DWORD ParseNumber(WStringView text)
{
    size_t start = text.find_first_not_of(u" \t");
    text = start == WStringView::npos ? WStringView() : text.substr(start);
    bool hexPrefix = text.size() >= 3 && text.size() <= 10 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X');
    DWORD value = 0;
    if (hexPrefix) {
        for (WCHAR c : text.substr(2)) {
            int digit = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'f' ? c - u'a' + 10 : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
            if (digit < 0)
                break;
            value = value * 16 + static_cast<DWORD>(digit);
        }
        return value;
    }
    bool negative = !text.empty() && text[0] == u'-';
    if (!text.empty() && (text[0] == u'-' || text[0] == u'+'))
        text.remove_prefix(1);
    for (WCHAR c : text) {
        if (c < u'0' || c > u'9')
            break;
        value = value * 10 + static_cast<DWORD>(c - u'0');
    }
    return negative ? 0u - value : value;
}

// A missing or empty attribute has no number.
std::optional<DWORD> AttributeNumber(pugi::xml_node config, const char* element, const char* name)
{
    pugi::xml_attribute attribute = config.child(element).attribute(name);
    if (!attribute || !*attribute.value())
        return std::nullopt;
    return ParseNumber(Utf8ToWide(attribute.value()));
}

void ReadColor(pugi::xml_node config, const char* element, const char* name, COLORREF& color)
{
    if (auto number = AttributeNumber(config, element, name))
        color = *number & 0xFFFFFF;
}

void ReadInt(pugi::xml_node config, const char* element, const char* name, int lowest, int highest, int& value)
{
    auto number = AttributeNumber(config, element, name);
    if (!number)
        return;
    auto signedNumber = static_cast<LONG>(*number);
    if (signedNumber >= lowest && signedNumber <= highest)
        value = signedNumber;
}

void ReadFace(pugi::xml_node config, WString& face)
{
    WString text = Utf8ToWide(config.child("FONT").attribute("Face").value());
    // A face name fits a LOGFONT.
    if (!text.empty() && text.size() < 32)
        face = std::move(text);
}

// CAPTIONBUTTON Command="1041" Glyph="FullScreen" Tip="...": a command from 1 to 65535, a glyph the
// engine draws, and a tip of at most 79 characters. An element missing one of them is left out.
void ReadCaptionButtons(pugi::xml_node config, std::vector<SkinCaptionButton>& buttons)
{
    constexpr size_t kMostButtons = 4;
    constexpr size_t kLongestTip = 79;
    for (pugi::xml_node node : config.children("CAPTIONBUTTON")) {
        if (buttons.size() == kMostButtons)
            return;
        pugi::xml_attribute command = node.attribute("Command");
        if (!command || !*command.value())
            continue;
        DWORD number = ParseNumber(Utf8ToWide(command.value()));
        if (number == 0 || number > 0xFFFF)
            continue;
        SkinCaptionButton button;
        button.command = number;
        std::string_view glyph = node.attribute("Glyph").value();
        if (glyph == "FullScreen")
            button.glyph = CaptionGlyph::FullScreen;
        else if (glyph == "Resolution")
            button.glyph = CaptionGlyph::Resolution;
        else
            continue;
        button.tip = Utf8ToWide(node.attribute("Tip").value());
        if (button.tip.size() > kLongestTip)
            button.tip.resize(kLongestTip);
        buttons.push_back(std::move(button));
    }
}

void ApplyConfig(pugi::xml_node config, Skin& skin)
{
    ReadCaptionButtons(config, skin.captionButtons);
    ReadColor(config, "CAPTION", "TextColor", skin.captionText);
    ReadColor(config, "CAPTION", "Top", skin.captionTop);
    ReadColor(config, "CAPTION", "Bottom", skin.captionBottom);
    ReadInt(config, "CAPTION", "Height", 1, 200, skin.captionHeight);
    ReadColor(config, "WINDOW", "Background", skin.windowBackground);
    ReadColor(config, "DYNAMICSTATUSBAR", "TextColor", skin.statusText);
    ReadColor(config, "LINK", "TextColor", skin.linkText);
    ReadColor(config, "LINK", "HoverColor", skin.linkHover);
    ReadColor(config, "TOOLBAR", "TextColor", skin.buttonText);
    ReadColor(config, "TOOLBAR", "HoverColor", skin.buttonHover);
    ReadFace(config, skin.fontFace);
    ReadInt(config, "FONT", "Size", 1, 72, skin.fontSize);
    ReadInt(config, "CHECKBOX", "Size", 1, 72, skin.checkBoxFontSize);
}

HRESULT ReadSkin(WStringView facetXmlPath, Skin& skin)
{
    std::vector<BYTE> bytes;
    if (!ReadXmlFile(facetXmlPath, bytes) && !ReadPackedFile(facetXmlPath, bytes))
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    pugi::xml_document document;
    if (!ParseXml(bytes, document))
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    pugi::xml_node config = document.child("Facet.Config");
    if (!config)
        return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    ApplyConfig(config, skin);
    return S_OK;
}

} // namespace

const Skin& CurrentSkin()
{
    return LiveSkin();
}

HRESULT LoadCurrentSkin(LPCWSTR facetXmlPath, LPCWSTR skinFolder)
{
    Skin skin;
    skin.folder = ToView(skinFolder);
    skin.facetXmlPath = ToView(facetXmlPath);
    HRESULT result = facetXmlPath && *facetXmlPath ? ReadSkin(skin.facetXmlPath, skin) : E_INVALIDARG;
    LiveSkin() = std::move(skin);
    return result;
}
