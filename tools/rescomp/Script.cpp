#include "tools/rescomp/Script.h"

#include "platform/sys/ResourceTypes.h"
#include "tools/rescomp/Encoding.h"
#include "tools/rescomp/Png.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <set>
#include <string_view>
#include <utility>

namespace rescomp {

namespace {

constexpr std::pair<std::string_view, std::uint32_t> kStyleNames[] = {
    {"WS_OVERLAPPED", WS_OVERLAPPED},
    {"WS_POPUP", WS_POPUP},
    {"WS_CHILD", WS_CHILD},
    {"WS_MINIMIZE", WS_MINIMIZE},
    {"WS_VISIBLE", WS_VISIBLE},
    {"WS_DISABLED", WS_DISABLED},
    {"WS_CLIPSIBLINGS", WS_CLIPSIBLINGS},
    {"WS_CLIPCHILDREN", WS_CLIPCHILDREN},
    {"WS_MAXIMIZE", WS_MAXIMIZE},
    {"WS_CAPTION", WS_CAPTION},
    {"WS_BORDER", WS_BORDER},
    {"WS_DLGFRAME", WS_DLGFRAME},
    {"WS_VSCROLL", WS_VSCROLL},
    {"WS_HSCROLL", WS_HSCROLL},
    {"WS_SYSMENU", WS_SYSMENU},
    {"WS_THICKFRAME", WS_THICKFRAME},
    {"WS_GROUP", WS_GROUP},
    {"WS_TABSTOP", WS_TABSTOP},
    {"WS_MINIMIZEBOX", WS_MINIMIZEBOX},
    {"WS_MAXIMIZEBOX", WS_MAXIMIZEBOX},
    {"DS_ABSALIGN", DS_ABSALIGN},
    {"DS_SYSMODAL", DS_SYSMODAL},
    {"DS_LOCALEDIT", DS_LOCALEDIT},
    {"DS_SETFONT", DS_SETFONT},
    {"DS_MODALFRAME", DS_MODALFRAME},
    {"DS_NOIDLEMSG", DS_NOIDLEMSG},
    {"DS_SETFOREGROUND", DS_SETFOREGROUND},
    {"DS_CONTROL", DS_CONTROL},
    {"DS_CENTER", DS_CENTER},
    {"SS_LEFT", SS_LEFT},
    {"SS_CENTER", SS_CENTER},
    {"SS_RIGHT", SS_RIGHT},
    {"SS_ICON", SS_ICON},
    {"SS_BITMAP", SS_BITMAP},
    {"SS_NOPREFIX", SS_NOPREFIX},
    {"SS_NOTIFY", SS_NOTIFY},
    {"SS_CENTERIMAGE", SS_CENTERIMAGE},
    {"BS_PUSHBUTTON", BS_PUSHBUTTON},
    {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
    {"BS_CHECKBOX", BS_CHECKBOX},
    {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX},
    {"BS_RADIOBUTTON", BS_RADIOBUTTON},
    {"BS_3STATE", BS_3STATE},
    {"BS_AUTO3STATE", BS_AUTO3STATE},
    {"BS_GROUPBOX", BS_GROUPBOX},
    {"BS_AUTORADIOBUTTON", BS_AUTORADIOBUTTON},
    {"BS_OWNERDRAW", BS_OWNERDRAW},
    {"BS_LEFTTEXT", BS_LEFTTEXT},
};

constexpr std::pair<std::string_view, std::uint16_t> kControlClasses[] = {
    {"button", kDialogClassButton},
    {"edit", kDialogClassEdit},
    {"static", kDialogClassStatic},
    {"listbox", kDialogClassListBox},
    {"scrollbar", kDialogClassScrollBar},
    {"combobox", kDialogClassComboBox},
};

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

// Knows where each element of the script starts, for error messages.
class Compiler {
public:
    Compiler(const std::string& text, std::filesystem::path pictureFolder)
        : m_text(text)
        , m_pictureFolder(std::move(pictureFolder))
    {
    }

    std::vector<CompiledResource> Run();

private:
    int LineOf(const pugi::xml_node& node) const;
    [[noreturn]] void Fail(const pugi::xml_node& node, const std::string& message) const;

    void CheckAttributes(const pugi::xml_node& node, std::initializer_list<std::string_view> allowed) const;
    void CheckNoText(const pugi::xml_node& node) const;
    std::string RequiredAttribute(const pugi::xml_node& node, const char* name) const;
    long long Number(const pugi::xml_node& node, const char* name, long long low, long long high) const;
    long long OptionalNumber(const pugi::xml_node& node, const char* name, long long low, long long high, long long fallback) const;
    std::uint32_t Style(const pugi::xml_node& node, const char* name) const;
    std::u16string Wide(const pugi::xml_node& node, std::string_view utf8) const;
    std::u16string WideAttribute(const pugi::xml_node& node, const char* name) const;
    std::vector<std::uint8_t> ReadPicture(const pugi::xml_node& node, int width, int height) const;

    void Add(const pugi::xml_node& node, std::uint16_t typeId, std::string typeName, std::vector<std::uint8_t> bytes, bool isText = false);

    void CompileStringTable(const pugi::xml_node& node);
    void CompileMenu(const pugi::xml_node& node);
    std::vector<MenuItemDefinition> CompileMenuItems(const pugi::xml_node& node);
    void CompileDialog(const pugi::xml_node& node);
    DialogItemDefinition CompileControl(const pugi::xml_node& node);
    void CompileIcon(const pugi::xml_node& node);
    void CompilePng(const pugi::xml_node& node);

    const std::string& m_text;
    std::filesystem::path m_pictureFolder;
    std::vector<CompiledResource> m_resources;
    std::map<std::pair<std::string, std::uint16_t>, int> m_declared; // (type, id) -> line
};

int Compiler::LineOf(const pugi::xml_node& node) const
{
    std::ptrdiff_t offset = node.offset_debug();
    if (offset < 0 || static_cast<std::size_t>(offset) > m_text.size())
        return 0;
    return 1 + static_cast<int>(std::count(m_text.begin(), m_text.begin() + offset, '\n'));
}

void Compiler::Fail(const pugi::xml_node& node, const std::string& message) const
{
    throw ScriptError(LineOf(node), message);
}

void Compiler::CheckAttributes(const pugi::xml_node& node, std::initializer_list<std::string_view> allowed) const
{
    for (const pugi::xml_attribute& attribute : node.attributes()) {
        if (std::find(allowed.begin(), allowed.end(), attribute.name()) == allowed.end())
            Fail(node, std::string("unknown attribute '") + attribute.name() + "' on <" + node.name() + ">");
    }
}

void Compiler::CheckNoText(const pugi::xml_node& node) const
{
    for (const pugi::xml_node& child : node.children()) {
        if ((child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) && !Trim(child.value()).empty())
            Fail(node, std::string("unexpected text in <") + node.name() + ">");
    }
}

std::string Compiler::RequiredAttribute(const pugi::xml_node& node, const char* name) const
{
    pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute)
        Fail(node, std::string("<") + node.name() + "> needs the attribute '" + name + "'");
    return attribute.value();
}

long long Compiler::Number(const pugi::xml_node& node, const char* name, long long low, long long high) const
{
    std::string text = RequiredAttribute(node, name);
    std::string_view digits = Trim(text);
    bool negative = !digits.empty() && digits.front() == '-';
    if (negative)
        digits.remove_prefix(1);
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        base = 16;
    }
    long long value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
        Fail(node, std::string("attribute '") + name + "' is not a number: \"" + text + "\"");
    if (negative)
        value = -value;
    if (value < low || value > high)
        Fail(node, std::string("attribute '") + name + "' is out of range (" + std::to_string(low) + " to " + std::to_string(high) + "): " + text);
    return value;
}

long long Compiler::OptionalNumber(const pugi::xml_node& node, const char* name, long long low, long long high, long long fallback) const
{
    return node.attribute(name) ? Number(node, name, low, high) : fallback;
}

// A style is names and numbers joined by '|', such as "WS_CHILD | WS_VISIBLE | 0x2".
std::uint32_t Compiler::Style(const pugi::xml_node& node, const char* name) const
{
    pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute)
        return 0;
    std::string_view rest = attribute.value();
    std::uint32_t style = 0;
    for (;;) {
        std::size_t bar = rest.find('|');
        std::string_view part = Trim(rest.substr(0, bar));
        auto known = std::find_if(std::begin(kStyleNames), std::end(kStyleNames), [part](const auto& entry) { return entry.first == part; });
        if (known != std::end(kStyleNames)) {
            style |= known->second;
        } else {
            int base = part.size() > 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X') ? 16 : 10;
            std::string_view digits = base == 16 ? part.substr(2) : part;
            std::uint32_t value = 0;
            auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
            if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
                Fail(node, std::string("unknown style '") + std::string(part) + "' in attribute '" + name + "'");
            style |= value;
        }
        if (bar == std::string_view::npos)
            return style;
        rest.remove_prefix(bar + 1);
    }
}

std::u16string Compiler::Wide(const pugi::xml_node& node, std::string_view utf8) const
{
    std::u16string wide;
    if (!Utf8ToUtf16(utf8, wide))
        Fail(node, "text is not valid UTF-8");
    return wide;
}

std::u16string Compiler::WideAttribute(const pugi::xml_node& node, const char* name) const
{
    return Wide(node, node.attribute(name).value());
}

std::vector<std::uint8_t> Compiler::ReadPicture(const pugi::xml_node& node, int width, int height) const
{
    std::filesystem::path file = RequiredAttribute(node, "file");
    if (file.empty() || file.is_absolute() || std::find(file.begin(), file.end(), "..") != file.end())
        Fail(node, "picture file must be a path inside the picture folder: " + file.string());
    std::filesystem::path path = m_pictureFolder / file;
    std::ifstream stream(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    if (!stream.good() && !stream.eof())
        Fail(node, "cannot read " + path.string());
    if (bytes.empty())
        Fail(node, "cannot read " + path.string() + " (missing or empty)");
    PngInfo info;
    std::string error;
    if (!InspectPng(bytes, info, error))
        Fail(node, path.string() + ": " + error);
    if (info.width != width || info.height != height)
        Fail(node, path.string() + " is " + std::to_string(info.width) + "x" + std::to_string(info.height) + " pixels, expected "
                + std::to_string(width) + "x" + std::to_string(height));
    return bytes;
}

void Compiler::Add(const pugi::xml_node& node, std::uint16_t typeId, std::string typeName, std::vector<std::uint8_t> bytes, bool isText)
{
    std::string key = typeName.empty() ? "#" + std::to_string(typeId) : typeName;
    auto id = static_cast<std::uint16_t>(Number(node, "id", 1, 0xFFFF));
    auto [previous, inserted] = m_declared.emplace(std::make_pair(key, id), LineOf(node));
    if (!inserted)
        Fail(node, "<" + std::string(node.name()) + "> " + std::to_string(id) + " is already declared on line " + std::to_string(previous->second));
    CompiledResource resource;
    resource.typeId = typeId;
    resource.typeName = std::move(typeName);
    resource.id = id;
    resource.bytes = std::move(bytes);
    resource.isText = isText;
    resource.line = LineOf(node);
    m_resources.push_back(std::move(resource));
}

void Compiler::CompileStringTable(const pugi::xml_node& table)
{
    CheckAttributes(table, {});
    CheckNoText(table);
    for (const pugi::xml_node& node : table.children()) {
        if (node.type() != pugi::node_element)
            continue;
        if (std::string_view(node.name()) != "string")
            Fail(node, std::string("unexpected <") + node.name() + "> in <stringtable>");
        CheckAttributes(node, {"id"});
        std::string text;
        for (const pugi::xml_node& child : node.children()) {
            if (child.type() == pugi::node_element)
                Fail(child, "a <string> holds text only");
            text += child.value();
        }
        std::vector<std::uint8_t> bytes;
        for (char16_t unit : Wide(node, text)) {
            bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
        }
        Add(node, kResourceTypeString, {}, std::move(bytes), true);
    }
}

std::vector<MenuItemDefinition> Compiler::CompileMenuItems(const pugi::xml_node& parent)
{
    CheckNoText(parent);
    std::vector<MenuItemDefinition> items;
    for (const pugi::xml_node& node : parent.children()) {
        if (node.type() != pugi::node_element)
            continue;
        std::string_view kind = node.name();
        MenuItemDefinition item;
        if (kind == "popup") {
            CheckAttributes(node, {"text"});
            item.popup = true;
            item.text = Wide(node, RequiredAttribute(node, "text"));
            item.children = CompileMenuItems(node);
            if (item.children.empty())
                Fail(node, "a <popup> needs at least one item");
        } else if (kind == "item") {
            CheckAttributes(node, {"id", "text", "grayed", "checked"});
            item.id = static_cast<std::uint16_t>(Number(node, "id", 1, 0xFFFF));
            item.text = Wide(node, RequiredAttribute(node, "text"));
            if (item.text.empty())
                Fail(node, "an <item> needs a text (use <separator/> for a line)");
            if (node.attribute("grayed").as_bool())
                item.flags |= MF_GRAYED;
            if (node.attribute("checked").as_bool())
                item.flags |= MF_CHECKED;
        } else if (kind == "separator") {
            CheckAttributes(node, {});
        } else {
            Fail(node, std::string("unexpected <") + node.name() + "> in a menu");
        }
        items.push_back(std::move(item));
    }
    return items;
}

void Compiler::CompileMenu(const pugi::xml_node& node)
{
    CheckAttributes(node, {"id"});
    std::vector<MenuItemDefinition> items = CompileMenuItems(node);
    if (items.empty())
        Fail(node, "a <menu> needs at least one item");
    Add(node, kResourceTypeMenu, {}, EncodeMenu(items));
}

DialogItemDefinition Compiler::CompileControl(const pugi::xml_node& node)
{
    CheckAttributes(node, {"id", "class", "text", "style", "exstyle", "x", "y", "width", "height"});
    CheckNoText(node);
    DialogItemDefinition item;
    item.id = static_cast<std::uint16_t>(Number(node, "id", 0, 0xFFFF));
    std::string className = RequiredAttribute(node, "class");
    auto predefined = std::find_if(std::begin(kControlClasses), std::end(kControlClasses),
        [&className](const auto& entry) { return EqualsIgnoringCase(entry.first, className); });
    if (predefined != std::end(kControlClasses))
        item.className.ordinal = predefined->second;
    else if (className.empty())
        Fail(node, "a <control> needs a class");
    else
        item.className.text = Wide(node, className);
    item.title.text = WideAttribute(node, "text");
    item.style = Style(node, "style");
    item.exStyle = Style(node, "exstyle");
    if (!(item.style & WS_CHILD))
        Fail(node, "a control's style must include WS_CHILD");
    item.x = static_cast<std::int16_t>(Number(node, "x", -32768, 32767));
    item.y = static_cast<std::int16_t>(Number(node, "y", -32768, 32767));
    item.cx = static_cast<std::int16_t>(Number(node, "width", 0, 32767));
    item.cy = static_cast<std::int16_t>(Number(node, "height", 0, 32767));
    return item;
}

void Compiler::CompileDialog(const pugi::xml_node& node)
{
    CheckAttributes(node, {"id", "style", "exstyle", "x", "y", "width", "height", "class", "title", "font", "pointsize"});
    CheckNoText(node);
    DialogDefinition dialog;
    dialog.style = Style(node, "style");
    dialog.exStyle = Style(node, "exstyle");
    dialog.x = static_cast<std::int16_t>(OptionalNumber(node, "x", -32768, 32767, 0));
    dialog.y = static_cast<std::int16_t>(OptionalNumber(node, "y", -32768, 32767, 0));
    dialog.cx = static_cast<std::int16_t>(Number(node, "width", 0, 32767));
    dialog.cy = static_cast<std::int16_t>(Number(node, "height", 0, 32767));
    dialog.className.text = WideAttribute(node, "class");
    dialog.title = WideAttribute(node, "title");
    bool hasFont = static_cast<bool>(node.attribute("font"));
    if (hasFont != ((dialog.style & DS_SETFONT) != 0))
        Fail(node, "a dialog has a font exactly when its style includes DS_SETFONT");
    if (hasFont) {
        dialog.faceName = WideAttribute(node, "font");
        dialog.pointSize = static_cast<std::uint16_t>(Number(node, "pointsize", 1, 0xFFFF));
    }
    std::set<std::uint16_t> ids;
    for (const pugi::xml_node& child : node.children()) {
        if (child.type() != pugi::node_element)
            continue;
        if (std::string_view(child.name()) != "control")
            Fail(child, std::string("unexpected <") + child.name() + "> in <dialog>");
        DialogItemDefinition item = CompileControl(child);
        if (item.id != 0 && item.id != 0xFFFF && !ids.insert(item.id).second)
            Fail(child, "control id " + std::to_string(item.id) + " appears twice in this dialog");
        dialog.items.push_back(std::move(item));
    }
    if (dialog.items.size() > 0xFFFF)
        Fail(node, "too many controls");
    Add(node, kResourceTypeDialog, {}, EncodeDialog(dialog));
}

void Compiler::CompileIcon(const pugi::xml_node& node)
{
    CheckAttributes(node, {"id"});
    CheckNoText(node);
    std::vector<IconImageDefinition> images;
    for (const pugi::xml_node& child : node.children()) {
        if (child.type() != pugi::node_element)
            continue;
        if (std::string_view(child.name()) != "image")
            Fail(child, std::string("unexpected <") + child.name() + "> in <icon>");
        CheckAttributes(child, {"file", "size"});
        IconImageDefinition image;
        image.size = static_cast<int>(Number(child, "size", 1, 256));
        if (std::any_of(images.begin(), images.end(), [&image](const IconImageDefinition& other) { return other.size == image.size; }))
            Fail(child, "the icon already has an image of " + std::to_string(image.size) + " pixels");
        image.png = ReadPicture(child, image.size, image.size);
        images.push_back(std::move(image));
    }
    if (images.empty())
        Fail(node, "an <icon> needs at least one <image>");
    std::sort(images.begin(), images.end(), [](const IconImageDefinition& a, const IconImageDefinition& b) { return a.size < b.size; });
    Add(node, kResourceTypeGroupIcon, {}, EncodeIconDirectory(images));
}

void Compiler::CompilePng(const pugi::xml_node& node)
{
    CheckAttributes(node, {"id", "file", "width", "height"});
    CheckNoText(node);
    int width = static_cast<int>(Number(node, "width", 1, 65535));
    int height = static_cast<int>(Number(node, "height", 1, 65535));
    Add(node, 0, "PNG", ReadPicture(node, width, height));
}

std::vector<CompiledResource> Compiler::Run()
{
    pugi::xml_document document;
    // Whitespace-only texts are kept, so a string of blanks survives; line ends are normalised.
    unsigned options = pugi::parse_default | pugi::parse_ws_pcdata_single;
    pugi::xml_parse_result parsed = document.load_buffer(m_text.data(), m_text.size(), options, pugi::encoding_utf8);
    if (!parsed) {
        auto end = m_text.begin() + std::min<std::ptrdiff_t>(parsed.offset, static_cast<std::ptrdiff_t>(m_text.size()));
        throw ScriptError(1 + static_cast<int>(std::count(m_text.begin(), end, '\n')), std::string("XML: ") + parsed.description());
    }
    pugi::xml_node root = document.document_element();
    if (std::string_view(root.name()) != "resources")
        throw ScriptError(LineOf(root), "the root element must be <resources>");
    CheckAttributes(root, {});
    CheckNoText(root);
    for (const pugi::xml_node& node : root.children()) {
        if (node.type() != pugi::node_element)
            continue;
        std::string_view kind = node.name();
        if (kind == "stringtable")
            CompileStringTable(node);
        else if (kind == "menu")
            CompileMenu(node);
        else if (kind == "dialog")
            CompileDialog(node);
        else if (kind == "icon")
            CompileIcon(node);
        else if (kind == "png")
            CompilePng(node);
        else
            Fail(node, std::string("unknown resource <") + node.name() + ">");
    }
    return std::move(m_resources);
}

} // namespace

std::vector<CompiledResource> CompileScript(const std::string& scriptText, const std::filesystem::path& pictureFolder)
{
    return Compiler(scriptText, pictureFolder).Run();
}

} // namespace rescomp
