#include "platform/sys/Resources.h"

#include "platform/sys/Module.h"
#include "platform/sys/ResourceTypes.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>

namespace {

// How deep popups may nest in a menu template; real menus use two or three levels, and the limit
// keeps a hostile template from exhausting the stack.
constexpr int kMaxMenuDepth = 16;
constexpr BYTE kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

const LumoResourceDirectory* DirectoryOf(HMODULE module)
{
    void* native = ModuleNativeHandle(module ? module : GetModuleHandleW(nullptr));
    if (!native) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    void* symbol = dlsym(native, kResourceDirectorySymbol);
    if (!symbol) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    return static_cast<const LumoResourceDirectory*>(symbol);
}

// A resource type or name as the caller gave it: an ordinal (also from "#123") or a name.
struct ResourceKey {
    WORD ordinal = 0;
    WString name;
};

ResourceKey ToKey(LPCWSTR key)
{
    ResourceKey result;
    if (IS_INTRESOURCE(key)) {
        result.ordinal = LOWORD(reinterpret_cast<ULONG_PTR>(key));
        return result;
    }
    WStringView text = ToView(key);
    if (text.size() < 2 || text[0] != u'#') {
        result.name = WString(text);
        return result;
    }
    DWORD value = 0;
    for (WCHAR c : text.substr(1)) {
        if (c < u'0' || c > u'9')
            return result;
        value = value * 10 + static_cast<DWORD>(c - u'0');
        if (value > 0xFFFF)
            return result;
    }
    result.ordinal = static_cast<WORD>(value);
    return result;
}

bool TypeMatches(const LumoResourceEntry& entry, const ResourceKey& type)
{
    if (entry.typeName)
        return !type.name.empty() && lstrcmpiW(entry.typeName, type.name.c_str()) == 0;
    return type.ordinal != 0 && entry.typeId == type.ordinal;
}

const LumoResourceEntry* ToEntry(HRSRC resource)
{
    return reinterpret_cast<const LumoResourceEntry*>(resource);
}

// Reads the little-endian fields of a resource template and never reads past its end.
class TemplateReader {
public:
    TemplateReader(const BYTE* data, size_t size)
        : m_data(data)
        , m_size(data ? size : 0)
    {
    }

    bool ReadWord(WORD& value)
    {
        if (m_size - m_offset < 2)
            return false;
        value = static_cast<WORD>(m_data[m_offset] | (m_data[m_offset + 1] << 8));
        m_offset += 2;
        return true;
    }

    bool ReadShort(short& value)
    {
        WORD word = 0;
        if (!ReadWord(word))
            return false;
        value = static_cast<short>(word);
        return true;
    }

    bool ReadDword(DWORD& value)
    {
        WORD low = 0;
        WORD high = 0;
        if (!ReadWord(low) || !ReadWord(high))
            return false;
        value = static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16);
        return true;
    }

    bool ReadString(WString& text)
    {
        text.clear();
        for (;;) {
            WORD unit = 0;
            if (!ReadWord(unit))
                return false;
            if (unit == 0)
                return true;
            text.push_back(static_cast<WCHAR>(unit));
        }
    }

    // A field that is empty (0x0000), an ordinal (0xFFFF then the number) or a string.
    bool ReadStringOrOrdinal(WORD& ordinal, WString& text)
    {
        ordinal = 0;
        text.clear();
        if (m_size - m_offset < 2)
            return false;
        WORD first = static_cast<WORD>(m_data[m_offset] | (m_data[m_offset + 1] << 8));
        if (first != 0xFFFF)
            return ReadString(text);
        m_offset += 2;
        return ReadWord(ordinal);
    }

    bool ReadBytes(size_t count, std::vector<BYTE>& bytes)
    {
        if (m_size - m_offset < count)
            return false;
        bytes.assign(m_data + m_offset, m_data + m_offset + count);
        m_offset += count;
        return true;
    }

    bool Skip(size_t count)
    {
        if (m_size - m_offset < count)
            return false;
        m_offset += count;
        return true;
    }

    bool AlignToDword() { return Skip((4 - m_offset % 4) % 4); }

private:
    const BYTE* m_data;
    size_t m_size;
    size_t m_offset = 0;
};

bool ReadDialogItem(TemplateReader& reader, DialogItemTemplate& item)
{
    WORD creationSize = 0;
    return reader.AlignToDword() && reader.ReadDword(item.style) && reader.ReadDword(item.exStyle)
        && reader.ReadShort(item.x) && reader.ReadShort(item.y) && reader.ReadShort(item.cx)
        && reader.ReadShort(item.cy) && reader.ReadWord(item.id)
        && reader.ReadStringOrOrdinal(item.classOrdinal, item.className)
        && reader.ReadStringOrOrdinal(item.titleOrdinal, item.title) && reader.ReadWord(creationSize)
        && reader.ReadBytes(creationSize, item.creationData);
}

bool ReadMenuItems(TemplateReader& reader, std::vector<MenuItemTemplate>& items, int depth)
{
    if (depth > kMaxMenuDepth)
        return false;
    for (;;) {
        MenuItemTemplate item;
        if (!reader.ReadWord(item.flags))
            return false;
        if (!(item.flags & MF_POPUP) && !reader.ReadWord(item.id))
            return false;
        if (!reader.ReadString(item.text))
            return false;
        if (item.IsPopup() && !ReadMenuItems(reader, item.children, depth + 1))
            return false;
        bool last = (item.flags & MF_END) != 0;
        item.flags &= static_cast<WORD>(~MF_END);
        items.push_back(std::move(item));
        if (last)
            return true;
    }
}

DWORD ReadBigEndian32(const BYTE* p)
{
    return (static_cast<DWORD>(p[0]) << 24) | (static_cast<DWORD>(p[1]) << 16) | (static_cast<DWORD>(p[2]) << 8) | p[3];
}

// Width and height from the IHDR chunk, which a PNG stream must begin with.
bool ReadPngSize(const BYTE* png, size_t size, int& width, int& height)
{
    constexpr size_t kHeaderEnd = 8 + 8 + 13;
    if (size < kHeaderEnd || std::memcmp(png, kPngSignature, sizeof kPngSignature) != 0)
        return false;
    if (ReadBigEndian32(png + 8) != 13 || std::memcmp(png + 12, "IHDR", 4) != 0)
        return false;
    DWORD w = ReadBigEndian32(png + 16);
    DWORD h = ReadBigEndian32(png + 20);
    if (w == 0 || h == 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF)
        return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

} // namespace

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    const LumoResourceDirectory* directory = DirectoryOf(module);
    if (!directory)
        return nullptr;
    ResourceKey typeKey = ToKey(type);
    ResourceKey nameKey = ToKey(name);
    bool typeFound = false;
    for (DWORD i = 0; i < directory->count; ++i) {
        const LumoResourceEntry& entry = directory->entries[i];
        if (!TypeMatches(entry, typeKey))
            continue;
        typeFound = true;
        if (nameKey.name.empty() && nameKey.ordinal != 0 && entry.id == nameKey.ordinal)
            return reinterpret_cast<HRSRC>(const_cast<LumoResourceEntry*>(&entry));
    }
    SetLastError(typeFound ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

HGLOBAL LoadResource(HMODULE, HRSRC resource)
{
    if (!resource) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<void*>(ToEntry(resource)->data);
}

LPVOID LockResource(HGLOBAL data)
{
    return data;
}

DWORD SizeofResource(HMODULE, HRSRC resource)
{
    if (!resource) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return ToEntry(resource)->size;
}

int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int capacity)
{
    if (!buffer || capacity < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    HRSRC resource = id <= 0xFFFF ? FindResourceW(instance, MAKEINTRESOURCEW(static_cast<WORD>(id)), RT_STRING) : nullptr;
    if (!resource) {
        if (id > 0xFFFF)
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        if (capacity > 0)
            buffer[0] = 0;
        return 0;
    }
    const auto* text = static_cast<LPCWSTR>(ToEntry(resource)->data);
    int length = static_cast<int>(ToEntry(resource)->size / sizeof(WCHAR));
    if (capacity == 0) {
        std::memcpy(buffer, &text, sizeof text);
        return length;
    }
    int copied = std::min(length, capacity - 1);
    std::memcpy(buffer, text, static_cast<size_t>(copied) * sizeof(WCHAR));
    buffer[copied] = 0;
    return copied;
}

bool ParseDialogTemplate(const BYTE* data, size_t size, DialogTemplate& result)
{
    DialogTemplate dialog;
    TemplateReader reader(data, size);
    WORD count = 0;
    if (!reader.ReadDword(dialog.style) || !reader.ReadDword(dialog.exStyle) || !reader.ReadWord(count))
        return false;
    // An extended template starts with version 1 and the signature 0xFFFF.
    if (dialog.style == 0xFFFF0001)
        return false;
    if (!reader.ReadShort(dialog.x) || !reader.ReadShort(dialog.y) || !reader.ReadShort(dialog.cx)
        || !reader.ReadShort(dialog.cy))
        return false;
    if (!reader.ReadStringOrOrdinal(dialog.menuOrdinal, dialog.menuName)
        || !reader.ReadStringOrOrdinal(dialog.classOrdinal, dialog.className) || !reader.ReadString(dialog.title))
        return false;
    if ((dialog.style & DS_SETFONT) && (!reader.ReadWord(dialog.pointSize) || !reader.ReadString(dialog.faceName)))
        return false;
    for (WORD i = 0; i < count; ++i) {
        DialogItemTemplate item;
        if (!ReadDialogItem(reader, item))
            return false;
        dialog.items.push_back(std::move(item));
    }
    result = std::move(dialog);
    return true;
}

bool ParseMenuTemplate(const BYTE* data, size_t size, MenuTemplate& result)
{
    TemplateReader reader(data, size);
    WORD version = 0;
    WORD headerSize = 0;
    if (!reader.ReadWord(version) || !reader.ReadWord(headerSize) || version != 0 || !reader.Skip(headerSize))
        return false;
    MenuTemplate menu;
    if (!ReadMenuItems(reader, menu.items, 0))
        return false;
    result = std::move(menu);
    return true;
}

bool ParseIconDirectory(const BYTE* data, size_t size, std::vector<IconImage>& result)
{
    TemplateReader reader(data, size);
    WORD reserved = 0;
    WORD type = 0;
    WORD count = 0;
    if (!reader.ReadWord(reserved) || !reader.ReadWord(type) || !reader.ReadWord(count) || reserved != 0 || type != 1)
        return false;
    std::vector<IconImage> images;
    for (WORD i = 0; i < count; ++i) {
        std::vector<BYTE> sizes;
        WORD planes = 0;
        WORD bits = 0;
        DWORD length = 0;
        DWORD offset = 0;
        if (!reader.ReadBytes(4, sizes) || !reader.ReadWord(planes) || !reader.ReadWord(bits)
            || !reader.ReadDword(length) || !reader.ReadDword(offset))
            return false;
        if (offset > size || length > size - offset)
            return false;
        IconImage image;
        if (!ReadPngSize(data + offset, length, image.width, image.height))
            return false;
        if (image.width != (sizes[0] ? sizes[0] : 256) || image.height != (sizes[1] ? sizes[1] : 256))
            return false;
        image.png.assign(data + offset, data + offset + length);
        images.push_back(std::move(image));
    }
    std::stable_sort(images.begin(), images.end(), [](const IconImage& a, const IconImage& b) { return a.width < b.width; });
    result = std::move(images);
    return true;
}

std::vector<IconImage> LoadIconImages(HMODULE module, WORD id)
{
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), RT_GROUP_ICON);
    if (!resource)
        return {};
    std::vector<IconImage> images;
    const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
    if (!ParseIconDirectory(bytes, SizeofResource(module, resource), images)) {
        SetLastError(ERROR_INVALID_DATA);
        return {};
    }
    return images;
}
