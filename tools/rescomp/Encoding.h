// The binary layouts of the resources: strings, menu and dialog templates, icon directories.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rescomp {

// Appends little-endian fields to a template.
class ByteWriter {
public:
    void Word(std::uint16_t value);
    void Dword(std::uint32_t value);
    void Short(std::int16_t value) { Word(static_cast<std::uint16_t>(value)); }
    // UTF-16 units followed by a NUL unit.
    void Text(std::u16string_view text);
    // Zero bytes up to the next multiple of `alignment` from the start of the template.
    void Align(std::size_t alignment);
    void Bytes(const std::vector<std::uint8_t>& bytes);

    std::size_t Size() const { return m_bytes.size(); }
    std::vector<std::uint8_t> Take() { return std::move(m_bytes); }

private:
    std::vector<std::uint8_t> m_bytes;
};

// Strict UTF-8 to UTF-16: false on a malformed sequence, an overlong form or a surrogate.
bool Utf8ToUtf16(std::string_view utf8, std::u16string& result);

struct MenuItemDefinition {
    std::uint16_t flags = 0; // MF_* other than MF_POPUP and MF_END, which the encoder sets
    std::uint16_t id = 0;
    std::u16string text;
    std::vector<MenuItemDefinition> children; // non-empty for a popup
    bool popup = false;
};

std::vector<std::uint8_t> EncodeMenu(const std::vector<MenuItemDefinition>& items);

// A class, menu or title field: an ordinal when ordinal is non-zero, else the text.
struct NameOrOrdinal {
    std::uint16_t ordinal = 0;
    std::u16string text;
};

struct DialogItemDefinition {
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    std::int16_t x = 0;
    std::int16_t y = 0;
    std::int16_t cx = 0;
    std::int16_t cy = 0;
    std::uint16_t id = 0;
    NameOrOrdinal className;
    NameOrOrdinal title;
};

struct DialogDefinition {
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    std::int16_t x = 0;
    std::int16_t y = 0;
    std::int16_t cx = 0;
    std::int16_t cy = 0;
    NameOrOrdinal menu;
    NameOrOrdinal className;
    std::u16string title;
    std::uint16_t pointSize = 0; // written with faceName when the style has DS_SETFONT
    std::u16string faceName;
    std::vector<DialogItemDefinition> items;
};

std::vector<std::uint8_t> EncodeDialog(const DialogDefinition& dialog);

struct IconImageDefinition {
    int size = 0; // width and height in pixels, 1 to 256
    std::vector<std::uint8_t> png;
};

std::vector<std::uint8_t> EncodeIconDirectory(const std::vector<IconImageDefinition>& images);

} // namespace rescomp
