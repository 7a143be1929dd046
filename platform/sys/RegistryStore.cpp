#include "platform/sys/RegistryStore.h"

#include "platform/sys/AtomicFile.h"
#include "platform/sys/File.h"
#include "platform/sys/NativePath.h"
#include "platform/sys/SpecialFolders.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

// The text format, one store per hive, UTF-8:
//   LumoRegistry 1
//   [Software\TernSafe]
//   "name"=sz:"text with \" and \\ escaped"
//   "count"=dword:0000002a
//   "blob"=hex:01,ff
//   "other"=hex(7):61,00,00,00
//   LumoRegistryEnd
// The end line tells a store that was cut short from a complete one.

namespace {

constexpr std::string_view kHeader = "LumoRegistry 1";
constexpr std::string_view kTrailer = "LumoRegistryEnd";

WString Folded(WStringView text)
{
    WString folded(text);
    for (WCHAR& c : folded)
        c = FoldCase(c);
    return folded;
}

void AppendHexByte(std::string& out, unsigned value)
{
    constexpr char kDigits[] = "0123456789abcdef";
    out += kDigits[(value >> 4) & 0xF];
    out += kDigits[value & 0xF];
}

// Quotes a text so that every UTF-16 sequence, lone surrogates and control characters included,
// reads back unchanged.
std::string Quote(WStringView text)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        WCHAR c = text[i];
        bool high = c >= 0xD800 && c <= 0xDBFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            out += WideToUtf8(text.substr(i, 2));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            out += "\\u";
            AppendHexByte(out, c >> 8);
            AppendHexByte(out, c & 0xFF);
        } else if (c == u'"' || c == u'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == u'\n') {
            out += "\\n";
        } else if (c == u'\r') {
            out += "\\r";
        } else if (c == u'\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            AppendHexByte(out, c);
        } else {
            out += WideToUtf8(text.substr(i, 1));
        }
    }
    out += '"';
    return out;
}

std::optional<unsigned> ParseHex(std::string_view digits)
{
    if (digits.empty() || digits.size() > 8)
        return std::nullopt;
    unsigned value = 0;
    for (char c : digits) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        value = (value << 4) | digit;
    }
    return value;
}

std::optional<WCHAR> UnescapeOne(std::string_view line, size_t& i)
{
    switch (line[i]) {
    case '"':
    case '\\':
        return static_cast<WCHAR>(line[i]);
    case 'n':
        return u'\n';
    case 'r':
        return u'\r';
    case 't':
        return u'\t';
    case 'x':
    case 'u': {
        size_t width = line[i] == 'x' ? 2 : 4;
        if (i + width >= line.size())
            return std::nullopt;
        auto value = ParseHex(line.substr(i + 1, width));
        if (!value)
            return std::nullopt;
        i += width;
        return static_cast<WCHAR>(*value);
    }
    default:
        return std::nullopt;
    }
}

// Reads the quoted text at the start of `line` and moves past it.
std::optional<WString> Unquote(std::string_view& line)
{
    if (line.empty() || line.front() != '"')
        return std::nullopt;
    WString text;
    size_t runStart = 1;
    for (size_t i = 1; i < line.size(); ++i) {
        char c = line[i];
        if (static_cast<unsigned char>(c) < 0x20)
            return std::nullopt;
        if (c != '"' && c != '\\')
            continue;
        text += Utf8ToWide(line.substr(runStart, i - runStart));
        if (c == '"') {
            line.remove_prefix(i + 1);
            return text;
        }
        if (++i >= line.size())
            return std::nullopt;
        auto unit = UnescapeOne(line, i);
        if (!unit)
            return std::nullopt;
        text += *unit;
        runStart = i + 1;
    }
    return std::nullopt;
}

std::optional<std::string> ParseHexBytes(std::string_view list)
{
    std::string bytes;
    while (!list.empty()) {
        auto value = list.size() >= 2 ? ParseHex(list.substr(0, 2)) : std::nullopt;
        if (!value)
            return std::nullopt;
        bytes += static_cast<char>(*value);
        list.remove_prefix(2);
        if (list.empty())
            break;
        if (list.front() != ',' || list.size() == 1)
            return std::nullopt;
        list.remove_prefix(1);
    }
    return bytes;
}

bool TakePrefix(std::string_view& line, std::string_view prefix)
{
    if (line.substr(0, prefix.size()) != prefix)
        return false;
    line.remove_prefix(prefix.size());
    return true;
}

std::optional<RegistryValue> ParseValueLine(std::string_view line)
{
    RegistryValue value;
    auto name = Unquote(line);
    if (!name || !TakePrefix(line, "="))
        return std::nullopt;
    value.name = *name;
    bool expand = TakePrefix(line, "expand:");
    if (expand || TakePrefix(line, "sz:")) {
        auto text = Unquote(line);
        if (!text || !line.empty())
            return std::nullopt;
        value.type = expand ? REG_EXPAND_SZ : REG_SZ;
        value.data = RegistryDataFromString(*text);
        return value;
    }
    if (TakePrefix(line, "dword:")) {
        auto number = line.size() == 8 ? ParseHex(line) : std::nullopt;
        if (!number)
            return std::nullopt;
        DWORD dword = *number;
        value.type = REG_DWORD;
        value.data.assign(reinterpret_cast<const char*>(&dword), sizeof dword);
        return value;
    }
    std::optional<unsigned> type;
    if (TakePrefix(line, "hex:")) {
        type = REG_BINARY;
    } else if (TakePrefix(line, "hex(")) {
        size_t close = line.find("):");
        if (close == std::string_view::npos)
            return std::nullopt;
        type = ParseHex(line.substr(0, close));
        line.remove_prefix(close + 2);
    }
    auto bytes = type ? ParseHexBytes(line) : std::nullopt;
    if (!bytes)
        return std::nullopt;
    value.type = *type;
    value.data = *bytes;
    return value;
}

void AppendValueLine(std::string& out, const RegistryValue& value)
{
    out += Quote(value.name) + '=';
    // Text data that is not one terminated UTF-16 text (an odd length, a missing terminator) is
    // kept as bytes, so that it reads back as it was stored.
    bool text = (value.type == REG_SZ || value.type == REG_EXPAND_SZ)
        && RegistryDataFromString(RegistryStringFromData(value.data)) == value.data;
    if (text) {
        out += value.type == REG_SZ ? "sz:" : "expand:";
        out += Quote(RegistryStringFromData(value.data));
    } else if (value.type == REG_DWORD && value.data.size() == sizeof(DWORD)) {
        DWORD dword;
        std::memcpy(&dword, value.data.data(), sizeof dword);
        char digits[16];
        std::snprintf(digits, sizeof digits, "dword:%08x", dword);
        out += digits;
    } else {
        char prefix[24] = "hex:";
        if (value.type != REG_BINARY)
            std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
        out += prefix;
        for (size_t i = 0; i < value.data.size(); ++i) {
            if (i > 0)
                out += ',';
            AppendHexByte(out, static_cast<unsigned char>(value.data[i]));
        }
    }
    out += '\n';
}

std::string StoreFolder(RegistryHive hive)
{
    if (hive == RegistryHive::LocalMachine) {
        const char* folder = std::getenv("LUMO_MACHINE_REGISTRY");
        return folder && *folder ? std::string(folder) : std::string("/etc/lumo/registry");
    }
    WCHAR appData[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_DONT_VERIFY, nullptr, SHGFP_TYPE_CURRENT, appData)))
        return {};
    return ToNativePath(ToView(appData)) + "/lumo/registry";
}

// What tells one version of a store file from the next: an atomic write gives it a new inode.
struct FileStamp {
    dev_t device;
    ino_t inode;
    size_t size;
    struct timespec modified;
    struct timespec changed;

    bool operator==(const FileStamp& other) const
    {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

std::optional<FileStamp> StampOf(const std::string& file)
{
    struct stat info;
    if (stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return FileStamp {info.st_dev, info.st_ino, static_cast<size_t>(info.st_size), info.st_mtim, info.st_ctim};
}

struct CachedStore {
    std::string file;
    std::optional<FileStamp> stamp;
    std::shared_ptr<const RegistryStore> store;
};

struct StoreCache {
    std::mutex lock;
    CachedStore hives[2];
};

StoreCache& Cache()
{
    static auto* cache = new StoreCache;
    return *cache;
}

std::string StoreFile(const std::string& folder, RegistryHive hive)
{
    return folder + (hive == RegistryHive::LocalMachine ? "/machine.reg" : "/user.reg");
}

} // namespace

const RegistryValue* RegistryKey::FindValue(WStringView name) const
{
    auto found = m_index.find(Folded(name));
    return found == m_index.end() ? nullptr : &m_values[found->second];
}

void RegistryKey::SetValue(RegistryValue value)
{
    auto [slot, added] = m_index.try_emplace(Folded(value.name), m_values.size());
    if (added) {
        m_values.push_back(std::move(value));
        return;
    }
    // The value keeps the spelling of its name from when it was first made.
    RegistryValue& existing = m_values[slot->second];
    existing.type = value.type;
    existing.data = std::move(value.data);
}

bool RegistryKey::RemoveValue(WStringView name)
{
    auto found = m_index.find(Folded(name));
    if (found == m_index.end())
        return false;
    size_t position = found->second;
    m_index.erase(found);
    m_values.erase(m_values.begin() + static_cast<std::ptrdiff_t>(position));
    for (auto& entry : m_index) {
        if (entry.second > position)
            --entry.second;
    }
    return true;
}

const RegistryKey* RegistryStore::FindKey(WStringView path) const
{
    auto found = m_index.find(Folded(path));
    return found == m_index.end() ? nullptr : &m_keys[found->second];
}

RegistryKey* RegistryStore::FindKey(WStringView path)
{
    auto found = m_index.find(Folded(path));
    return found == m_index.end() ? nullptr : &m_keys[found->second];
}

RegistryKey& RegistryStore::AddKey(const WString& path)
{
    WString folded = Folded(path);
    auto [slot, added] = m_index.try_emplace(folded, m_keys.size());
    if (!added)
        return m_keys[slot->second];
    m_keys.emplace_back(path);
    // Marks the path and its ancestors; an ancestor already marked has its own marked too.
    for (;;) {
        if (!m_existing.insert(folded).second)
            break;
        size_t slash = folded.find_last_of(u'\\');
        if (slash == WString::npos)
            break;
        folded.resize(slash);
    }
    return m_keys.back();
}

bool RegistryStore::KeyExists(WStringView path) const
{
    return path.empty() || m_existing.count(Folded(path)) != 0;
}

size_t RegistryStore::EntryCount() const
{
    size_t count = m_keys.size();
    for (const auto& key : m_keys)
        count += key.Values().size();
    return count;
}

std::optional<WString> JoinKeyPath(const WString& base, WStringView subKey)
{
    WString joined = base;
    size_t start = 0;
    while (start <= subKey.size()) {
        size_t end = subKey.find_first_of(u"\\/", start);
        if (end == WStringView::npos)
            end = subKey.size();
        WStringView part = subKey.substr(start, end - start);
        for (WCHAR c : part) {
            if (c < 0x20 || c == 0x7F)
                return std::nullopt;
        }
        if (!part.empty()) {
            if (!joined.empty())
                joined += u'\\';
            joined += part;
        }
        start = end + 1;
    }
    return joined;
}

std::optional<RegistryStore> ParseRegistryStore(std::string_view text)
{
    if (text.size() > kRegistryStoreMaxBytes)
        return std::nullopt;
    if (!TakePrefix(text, kHeader) || !(TakePrefix(text, "\n") || TakePrefix(text, "\r\n")))
        return std::nullopt;
    RegistryStore store;
    RegistryKey* current = nullptr;
    size_t entries = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        // Every line of a complete store ends with a newline.
        if (end == std::string_view::npos)
            return std::nullopt;
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line == kTrailer)
            return text.empty() ? std::optional(store) : std::nullopt;
        if (line.empty() || line.front() == ';')
            continue;
        if (++entries > kRegistryStoreMaxEntries)
            return std::nullopt;
        if (line.front() == '[') {
            if (line.size() < 2 || line.back() != ']')
                return std::nullopt;
            auto path = JoinKeyPath({}, Utf8ToWide(line.substr(1, line.size() - 2)));
            if (!path)
                return std::nullopt;
            current = &store.AddKey(*path);
            continue;
        }
        auto value = current ? ParseValueLine(line) : std::nullopt;
        if (!value)
            return std::nullopt;
        current->SetValue(std::move(*value));
    }
    return std::nullopt;
}

std::string SerializeRegistryStore(const RegistryStore& store)
{
    std::string out(kHeader);
    out += '\n';
    for (const auto& key : store.Keys()) {
        out += '[' + WideToUtf8(key.Path()) + "]\n";
        for (const auto& value : key.Values())
            AppendValueLine(out, value);
    }
    out += kTrailer;
    out += '\n';
    return out;
}

std::shared_ptr<const RegistryStore> LoadRegistryStore(RegistryHive hive)
{
    static const auto empty = std::make_shared<const RegistryStore>();
    std::string folder = StoreFolder(hive);
    if (folder.empty())
        return empty;
    std::string file = StoreFile(folder, hive);
    StoreCache& caches = Cache();
    std::lock_guard<std::mutex> guard(caches.lock);
    CachedStore& cached = caches.hives[hive == RegistryHive::LocalMachine ? 1 : 0];
    auto stamp = StampOf(file);
    if (cached.store && cached.file == file && cached.stamp == stamp)
        return cached.store;
    cached.file = file;
    cached.stamp = stamp;
    cached.store = empty;
    if (!stamp || stamp->size > kRegistryStoreMaxBytes)
        return empty;
    auto content = ReadFileContents(file);
    auto parsed = content ? ParseRegistryStore(*content) : std::nullopt;
    // The file may have changed between the stamp and the read; the stamp then no longer matches
    // at the next call and the file is read again.
    if (parsed)
        cached.store = std::make_shared<const RegistryStore>(std::move(*parsed));
    return cached.store;
}

LSTATUS ModifyRegistryStore(RegistryHive hive, const std::function<LSTATUS(RegistryStore&)>& change)
{
    std::string folder = StoreFolder(hive);
    if (folder.empty() || !CreateDirectoryTree(folder))
        return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);
    std::string file = StoreFile(folder, hive);
    FileLock lock(file);
    if (!lock.IsLocked())
        return static_cast<LSTATUS>(ERROR_ACCESS_DENIED);
    auto stamp = StampOf(file);
    std::optional<std::string> content;
    if (stamp && stamp->size <= kRegistryStoreMaxBytes) {
        content = ReadFileContents(file);
        if (!content && errno != ENOENT)
            return static_cast<LSTATUS>(ErrorFromErrno(errno));
    }
    // A store that does not parse, or is too large to be read, is replaced by what this write
    // makes of an empty one.
    RegistryStore store = content ? ParseRegistryStore(*content).value_or(RegistryStore{}) : RegistryStore{};
    LSTATUS status = change(store);
    if (status != static_cast<LSTATUS>(ERROR_SUCCESS))
        return status;
    std::string text = SerializeRegistryStore(store);
    if (store.EntryCount() > kRegistryStoreMaxEntries || text.size() > kRegistryStoreMaxBytes)
        return static_cast<LSTATUS>(ERROR_CANTWRITE);
    if (!WriteFileAtomically(file, text))
        return static_cast<LSTATUS>(ErrorFromErrno(errno));
    // What was just written is what the next read would parse; the lock keeps other writers
    // out until the stamp is taken.
    if (auto written = StampOf(file)) {
        StoreCache& caches = Cache();
        std::lock_guard<std::mutex> guard(caches.lock);
        CachedStore& cached = caches.hives[hive == RegistryHive::LocalMachine ? 1 : 0];
        cached.file = file;
        cached.stamp = written;
        cached.store = std::make_shared<const RegistryStore>(std::move(store));
    }
    return status;
}

WString RegistryStringFromData(const std::string& data)
{
    WString text(data.size() / sizeof(WCHAR), u'\0');
    std::memcpy(text.data(), data.data(), text.size() * sizeof(WCHAR));
    size_t nul = text.find(u'\0');
    if (nul != WString::npos)
        text.resize(nul);
    return text;
}

std::string RegistryDataFromString(WStringView text)
{
    std::string data((text.size() + 1) * sizeof(WCHAR), '\0');
    std::memcpy(data.data(), text.data(), text.size() * sizeof(WCHAR));
    return data;
}
