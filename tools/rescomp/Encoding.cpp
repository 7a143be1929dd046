#include "tools/rescomp/Encoding.h"

#include "platform/sys/ResourceTypes.h"

namespace rescomp {

void ByteWriter::Word(std::uint16_t value)
{
    m_bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
    m_bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void ByteWriter::Dword(std::uint32_t value)
{
    Word(static_cast<std::uint16_t>(value & 0xFFFF));
    Word(static_cast<std::uint16_t>(value >> 16));
}

void ByteWriter::Text(std::u16string_view text)
{
    for (char16_t unit : text)
        Word(unit);
    Word(0);
}

void ByteWriter::Align(std::size_t alignment)
{
    while (m_bytes.size() % alignment != 0)
        m_bytes.push_back(0);
}

void ByteWriter::Bytes(const std::vector<std::uint8_t>& bytes)
{
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
}

bool Utf8ToUtf16(std::string_view utf8, std::u16string& result)
{
    result.clear();
    std::size_t i = 0;
    while (i < utf8.size()) {
        auto lead = static_cast<unsigned char>(utf8[i]);
        int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + static_cast<std::size_t>(length) > utf8.size())
            return false;
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        if (code >= 0x10000) {
            code -= 0x10000;
            result.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            result.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            result.push_back(static_cast<char16_t>(code));
        }
        i += static_cast<std::size_t>(length);
    }
    return true;
}

namespace {

void EncodeMenuItems(ByteWriter& writer, const std::vector<MenuItemDefinition>& items)
{
    for (std::size_t i = 0; i < items.size(); ++i) {
        const MenuItemDefinition& item = items[i];
        std::uint16_t flags = item.flags;
        if (item.popup)
            flags |= MF_POPUP;
        if (i + 1 == items.size())
            flags |= MF_END;
        writer.Word(flags);
        if (!item.popup)
            writer.Word(item.id);
        writer.Text(item.text);
        if (item.popup)
            EncodeMenuItems(writer, item.children);
    }
}

void WriteNameOrOrdinal(ByteWriter& writer, const NameOrOrdinal& field)
{
    if (field.ordinal == 0) {
        writer.Text(field.text);
        return;
    }
    writer.Word(0xFFFF);
    writer.Word(field.ordinal);
}

} // namespace

std::vector<std::uint8_t> EncodeMenu(const std::vector<MenuItemDefinition>& items)
{
    ByteWriter writer;
    writer.Word(0); // version
    writer.Word(0); // no extra header bytes
    EncodeMenuItems(writer, items);
    return writer.Take();
}

std::vector<std::uint8_t> EncodeDialog(const DialogDefinition& dialog)
{
    ByteWriter writer;
    writer.Dword(dialog.style);
    writer.Dword(dialog.exStyle);
    writer.Word(static_cast<std::uint16_t>(dialog.items.size()));
    writer.Short(dialog.x);
    writer.Short(dialog.y);
    writer.Short(dialog.cx);
    writer.Short(dialog.cy);
    WriteNameOrOrdinal(writer, dialog.menu);
    WriteNameOrOrdinal(writer, dialog.className);
    writer.Text(dialog.title);
    if (dialog.style & DS_SETFONT) {
        writer.Word(dialog.pointSize);
        writer.Text(dialog.faceName);
    }
    for (const DialogItemDefinition& item : dialog.items) {
        writer.Align(4);
        writer.Dword(item.style);
        writer.Dword(item.exStyle);
        writer.Short(item.x);
        writer.Short(item.y);
        writer.Short(item.cx);
        writer.Short(item.cy);
        writer.Word(item.id);
        WriteNameOrOrdinal(writer, item.className);
        WriteNameOrOrdinal(writer, item.title);
        writer.Word(0); // no creation data
    }
    return writer.Take();
}

std::vector<std::uint8_t> EncodeIconDirectory(const std::vector<IconImageDefinition>& images)
{
    constexpr std::size_t kHeaderSize = 6;
    constexpr std::size_t kEntrySize = 16;
    ByteWriter writer;
    writer.Word(0); // reserved
    writer.Word(1); // an icon, not a cursor
    writer.Word(static_cast<std::uint16_t>(images.size()));
    auto offset = static_cast<std::uint32_t>(kHeaderSize + kEntrySize * images.size());
    for (const IconImageDefinition& image : images) {
        auto side = static_cast<std::uint16_t>(image.size == 256 ? 0 : image.size);
        writer.Word(static_cast<std::uint16_t>(side | (side << 8))); // width, height
        writer.Word(0); // colour count, reserved
        writer.Word(1); // planes
        writer.Word(32); // bits per pixel
        writer.Dword(static_cast<std::uint32_t>(image.png.size()));
        writer.Dword(offset);
        offset += static_cast<std::uint32_t>(image.png.size());
    }
    for (const IconImageDefinition& image : images)
        writer.Bytes(image.png);
    return writer.Take();
}

} // namespace rescomp
