#include "platform/sys/IniFile.h"

#include "platform/base/Strings.h"
#include "platform/sys/AtomicFile.h"
#include "platform/sys/File.h"
#include "platform/sys/NativePath.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace {

enum class IniEncoding { Utf8, Utf8Bom, Utf16Le };

// A line as read, and the bytes it was read from (its line break included), which are written
// back unchanged as long as the line is not edited: text that does not decode, in keys this
// program never touches, survives a rewrite.
struct IniTextLine {
    WString text;
    std::string raw;
    bool original = false;

    IniTextLine() = default;
    IniTextLine(WString edited) : text(std::move(edited)) { }
};

struct IniText {
    std::vector<IniTextLine> lines;
    IniEncoding encoding = IniEncoding::Utf8;
    WString newline = u"\n";
};

// No settings file of this program comes near this; anything larger is not read, and not
// replaced either.
constexpr size_t kMaxIniBytes = 1u << 20;

enum class LineKind { Section, Entry, Other };

struct IniLine {
    LineKind kind = LineKind::Other;
    WStringView name; // the section's or the key's name, trimmed
    WStringView value;
};

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

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

bool SameName(WStringView a, WStringView b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i]))
            return false;
    }
    return true;
}

IniLine Classify(WStringView raw)
{
    IniLine line;
    WStringView text = Trim(raw);
    if (text.empty() || text.front() == u';')
        return line;
    if (text.front() == u'[') {
        size_t close = text.find(u']');
        line.kind = LineKind::Section;
        line.name = Trim(text.substr(1, close == WStringView::npos ? WStringView::npos : close - 1));
        return line;
    }
    size_t equals = text.find(u'=');
    if (equals == WStringView::npos)
        return line;
    line.kind = LineKind::Entry;
    line.name = Trim(text.substr(0, equals));
    line.value = Trim(text.substr(equals + 1));
    return line;
}

WString Unquoted(WStringView value)
{
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return WString(value);
}

void AddDecodedLine(IniText& text, std::string raw, WString line)
{
    if (!line.empty() && line.back() == u'\r') {
        line.pop_back();
        if (text.lines.empty())
            text.newline = u"\r\n";
    }
    IniTextLine& added = text.lines.emplace_back();
    added.text.swap(line);
    added.raw.swap(raw);
    added.original = true;
}

IniText Decode(const std::string& bytes)
{
    IniText text;
    if (bytes.starts_with(kUtf16LeBom)) {
        text.encoding = IniEncoding::Utf16Le;
        size_t start = kUtf16LeBom.size();
        WString line;
        for (size_t i = start; i < bytes.size(); i += 2) {
            if (i + 1 >= bytes.size()) {
                // An odd last byte is no unit of text but is kept with its line.
                AddDecodedLine(text, bytes.substr(start), std::move(line));
                return text;
            }
            auto unit = static_cast<WCHAR>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
            if (unit != u'\n') {
                line += unit;
                continue;
            }
            AddDecodedLine(text, bytes.substr(start, i + 2 - start), std::move(line));
            line.clear();
            start = i + 2;
        }
        if (start < bytes.size())
            AddDecodedLine(text, bytes.substr(start), std::move(line));
        return text;
    }
    size_t start = 0;
    if (bytes.starts_with(kUtf8Bom)) {
        text.encoding = IniEncoding::Utf8Bom;
        start = kUtf8Bom.size();
    }
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        size_t next = end == std::string::npos ? bytes.size() : end + 1;
        std::string_view line = std::string_view(bytes).substr(start, (end == std::string::npos ? bytes.size() : end) - start);
        AddDecodedLine(text, bytes.substr(start, next - start), Utf8ToWide(line));
        start = next;
    }
    return text;
}

void AppendEncoded(std::string& bytes, IniEncoding encoding, const WString& content)
{
    if (encoding != IniEncoding::Utf16Le) {
        bytes += WideToUtf8(content);
        return;
    }
    // An odd last byte is half a unit and no text (it was never read as any): it goes once text
    // follows it, or everything after it would be read shifted by a byte.
    if (bytes.size() % 2 != 0)
        bytes.pop_back();
    for (WCHAR c : content) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
}

bool EndsWithLineBreak(const std::string& raw, IniEncoding encoding)
{
    if (encoding != IniEncoding::Utf16Le)
        return raw.ends_with('\n');
    return raw.size() % 2 == 0 && raw.ends_with(std::string_view("\n\0", 2));
}

bool EndsWithReturn(const std::string& raw, IniEncoding encoding)
{
    if (encoding != IniEncoding::Utf16Le)
        return raw.ends_with('\r');
    // An odd last byte is dropped when text follows it, so the unit before it is what counts.
    std::string_view units(raw.data(), raw.size() - raw.size() % 2);
    return units.ends_with(std::string_view("\r\0", 2));
}

std::string Encode(const IniText& text)
{
    std::string bytes;
    if (text.encoding == IniEncoding::Utf8Bom)
        bytes = kUtf8Bom;
    else if (text.encoding == IniEncoding::Utf16Le)
        bytes = kUtf16LeBom;
    for (size_t i = 0; i < text.lines.size(); ++i) {
        const IniTextLine& line = text.lines[i];
        if (!line.original) {
            AppendEncoded(bytes, text.encoding, line.text + text.newline);
            continue;
        }
        bytes += line.raw;
        // The file's last line may have had no break; one is needed once lines follow it. A
        // line that already ends in a CR only takes the line feed, or it would read back as a
        // line with a CR of its own at its end.
        if (i + 1 < text.lines.size() && !EndsWithLineBreak(line.raw, text.encoding))
            AppendEncoded(bytes, text.encoding, EndsWithReturn(line.raw, text.encoding) ? WString(u"\n") : text.newline);
    }
    return bytes;
}

std::optional<IniText> Load(const std::string& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && static_cast<size_t>(info.st_size) > kMaxIniBytes) {
        errno = EFBIG;
        return std::nullopt;
    }
    auto bytes = ReadFileContents(path);
    if (!bytes)
        return std::nullopt;
    // It may have grown between the two looks.
    if (bytes->size() > kMaxIniBytes) {
        errno = EFBIG;
        return std::nullopt;
    }
    return Decode(*bytes);
}

// The lines [begin, end) of the first section with this name: its header and its body.
struct SectionRange {
    size_t begin = 0;
    size_t end = 0;
};

std::optional<SectionRange> FindSection(const IniText& text, WStringView name)
{
    for (size_t i = 0; i < text.lines.size(); ++i) {
        IniLine line = Classify(text.lines[i].text);
        if (line.kind != LineKind::Section || !SameName(line.name, name))
            continue;
        size_t end = i + 1;
        while (end < text.lines.size() && Classify(text.lines[end].text).kind != LineKind::Section)
            ++end;
        return SectionRange{i, end};
    }
    return std::nullopt;
}

std::optional<size_t> FindEntry(const IniText& text, const SectionRange& section, WStringView key)
{
    for (size_t i = section.begin + 1; i < section.end; ++i) {
        IniLine line = Classify(text.lines[i].text);
        if (line.kind == LineKind::Entry && SameName(line.name, key))
            return i;
    }
    return std::nullopt;
}

void AddUnique(std::vector<WString>& names, WStringView name)
{
    for (const auto& existing : names) {
        if (SameName(existing, name))
            return;
    }
    names.emplace_back(name);
}

std::vector<WString> ListNames(const IniText& text, LPCWSTR section)
{
    std::vector<WString> names;
    if (!section) {
        for (const auto& raw : text.lines) {
            IniLine line = Classify(raw.text);
            if (line.kind == LineKind::Section)
                AddUnique(names, line.name);
        }
        return names;
    }
    auto range = FindSection(text, ToView(section));
    if (!range)
        return names;
    for (size_t i = range->begin + 1; i < range->end; ++i) {
        IniLine line = Classify(text.lines[i].text);
        if (line.kind == LineKind::Entry)
            AddUnique(names, line.name);
    }
    return names;
}

// The Windows double-NUL list: each name terminated, then one more NUL.
DWORD CopyNameList(const std::vector<WString>& names, LPWSTR buffer, DWORD size)
{
    WString list;
    for (const auto& name : names) {
        list += name;
        list += u'\0';
    }
    if (list.size() + 1 <= size) {
        list.copy(buffer, list.size());
        buffer[list.size()] = 0;
        return static_cast<DWORD>(list.size());
    }
    if (size < 2) {
        buffer[0] = 0;
        return 0;
    }
    list.copy(buffer, size - 2);
    buffer[size - 2] = 0;
    buffer[size - 1] = 0;
    return size - 2;
}

DWORD CopyValue(WStringView value, LPWSTR buffer, DWORD size)
{
    CopyToBuffer(value, buffer, size);
    return static_cast<DWORD>(lstrlenW(buffer));
}

std::optional<WString> ReadValue(const IniText& text, LPCWSTR section, LPCWSTR key)
{
    auto range = FindSection(text, ToView(section));
    auto entry = range ? FindEntry(text, *range, ToView(key)) : std::nullopt;
    if (!entry)
        return std::nullopt;
    return Unquoted(Classify(text.lines[*entry].text).value);
}

// A line break inside a key or value would split it into lines of its own.
WString SingleLine(LPCWSTR text)
{
    WStringView view = ToView(text);
    return WString(view.substr(0, view.find_first_of(u"\r\n")));
}

// Applies the write to the text; false when nothing changed.
bool ApplyWrite(IniText& text, LPCWSTR section, LPCWSTR key, LPCWSTR value)
{
    auto range = FindSection(text, ToView(section));
    if (!key) {
        if (!range)
            return false;
        text.lines.erase(text.lines.begin() + static_cast<std::ptrdiff_t>(range->begin), text.lines.begin() + static_cast<std::ptrdiff_t>(range->end));
        return true;
    }
    // A plain index (npos for none) rather than an optional: GCC 12 misreads the optional here when optimising.
    size_t entry = WString::npos;
    if (range) {
        if (auto found = FindEntry(text, *range, ToView(key)))
            entry = *found;
    }
    if (!value) {
        if (entry == WString::npos)
            return false;
        text.lines.erase(text.lines.begin() + static_cast<std::ptrdiff_t>(entry));
        return true;
    }
    WString newValue = SingleLine(value);
    if (entry != WString::npos) {
        IniTextLine& line = text.lines[entry];
        line = IniTextLine(WString(Classify(line.text).name) + u"=" + newValue);
        return true;
    }
    WString newLine = SingleLine(key) + u"=" + newValue;
    if (!range) {
        text.lines.push_back(u"[" + SingleLine(section) + u"]");
        text.lines.push_back(newLine);
        return true;
    }
    // A new key goes after the section's last non-blank line, before the blank lines that
    // separate it from the next section.
    size_t at = range->end;
    while (at > range->begin + 1 && Trim(text.lines[at - 1].text).empty())
        --at;
    text.lines.insert(text.lines.begin() + static_cast<std::ptrdiff_t>(at), newLine);
    return true;
}

} // namespace

DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR returned, DWORD size,
                               LPCWSTR fileName)
{
    if (!returned || size == 0)
        return 0;
    std::optional<IniText> text = fileName ? Load(ToNativePath(ToView(fileName))) : std::nullopt;
    if (!section || !key)
        return CopyNameList(text ? ListNames(*text, section) : std::vector<WString>{}, returned, size);
    if (auto value = text ? ReadValue(*text, section, key) : std::nullopt)
        return CopyValue(*value, returned, size);
    WStringView fallback = ToView(defaultValue);
    while (!fallback.empty() && IsBlank(fallback.back()))
        fallback.remove_suffix(1);
    return CopyValue(fallback, returned, size);
}

UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR fileName)
{
    if (!section || !key || !fileName)
        return static_cast<UINT>(defaultValue);
    auto text = Load(ToNativePath(ToView(fileName)));
    auto value = text ? ReadValue(*text, section, key) : std::nullopt;
    if (!value || value->empty())
        return static_cast<UINT>(defaultValue);
    size_t i = 0;
    bool negative = (*value)[0] == u'-';
    if (negative || (*value)[0] == u'+')
        ++i;
    // Out-of-range numbers saturate at the 32-bit limits, as strtol does on Windows.
    long long number = 0;
    for (; i < value->size() && (*value)[i] >= u'0' && (*value)[i] <= u'9'; ++i) {
        number = number * 10 + ((*value)[i] - u'0');
        if (number > 0x80000000LL)
            number = 0x80000000LL;
    }
    if (!negative && number > 0x7FFFFFFFLL)
        number = 0x7FFFFFFFLL;
    return static_cast<UINT>(static_cast<INT>(negative ? -number : number));
}

BOOL WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR fileName)
{
    if (!section) {
        // All null only asks to flush a cache this implementation does not have.
        if (!key && !value)
            return TRUE;
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!fileName || !*fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string path = ToNativePath(ToView(fileName));
    FileLock lock(path);
    if (!lock.IsLocked()) {
        SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
        return FALSE;
    }
    std::optional<IniText> loaded = Load(path);
    // A file that exists but cannot be read must not be replaced by the one new line.
    if (!loaded && errno != ENOENT) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    IniText text = loaded.value_or(IniText{});
    if (!ApplyWrite(text, section, key, value))
        return TRUE;
    if (!WriteFileAtomically(path, Encode(text))) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}
