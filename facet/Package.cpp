#include "facet/Package.h"

#include "platform/sys/Module.h"
#include "platform/sys/NativePath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace {

// A skin package is a handful of pictures and texts; anything far larger is not one.
constexpr off_t kMaxPackageFileSize = 64 * 1024 * 1024;
constexpr zip_int64_t kMaxPackageEntries = 65535;

bool IsSeparator(WCHAR c) { return c == u'/' || c == u'\\'; }

bool HasDrive(WStringView path)
{
    return path.size() >= 2 && path[1] == u':' && ((path[0] >= u'a' && path[0] <= u'z') || (path[0] >= u'A' && path[0] <= u'Z'));
}

// The parts of a path between separators, without empty and "." parts.
std::vector<WString> Components(WStringView path)
{
    std::vector<WString> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        WStringView part = path.substr(start, end - start);
        if (!part.empty() && part != u".")
            parts.emplace_back(part);
        start = end + 1;
    }
    return parts;
}

WString Folded(WStringView text)
{
    WString folded(text);
    for (auto& c : folded)
        c = FoldCase(c);
    return folded;
}

WString Joined(const std::vector<WString>& parts)
{
    WString joined;
    for (const auto& part : parts) {
        if (!joined.empty())
            joined += u'/';
        joined += part;
    }
    return joined;
}

bool HasParentReference(const std::vector<WString>& parts)
{
    for (const auto& part : parts) {
        if (part == u"..")
            return true;
    }
    return false;
}

// The key of a name inside a package: its parts case-folded and joined by '/'. Empty for a name that
// could point outside the package (absolute, with a drive, or with ".." anywhere).
WString EntryKey(WStringView name)
{
    if (name.empty() || IsSeparator(name[0]) || HasDrive(name))
        return {};
    auto parts = Components(name);
    if (parts.empty() || HasParentReference(parts))
        return {};
    return Folded(Joined(parts));
}

// An absolute path with '/' separators; a relative one is taken from `baseFolder`, and "." and ".." are
// resolved without asking the file system.
WString AbsolutePath(WStringView path, WStringView baseFolder)
{
    std::vector<WString> parts;
    if (path.empty() || !IsSeparator(path[0]))
        parts = Components(baseFolder);
    for (auto& part : Components(path)) {
        if (part != u"..")
            parts.push_back(std::move(part));
        else if (!parts.empty())
            parts.pop_back();
    }
    return u"/" + Joined(parts);
}

WString ModuleFolder(HMODULE module)
{
    std::vector<WCHAR> buffer(4096);
    DWORD length = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    WString path(buffer.data(), length);
    size_t slash = path.find_last_of(u"/\\");
    return slash == WString::npos ? WString() : path.substr(0, slash);
}

// The library reads the whole central directory when it opens an archive, so the number of entries
// is checked first: every end record in the file's tail must count fewer than 65535, and ZIP64 records
// (whose counts are 64-bit) are refused. Checking every candidate leaves no doubt which one is used.
bool HasSmallDirectory(const std::string& native, off_t fileSize)
{
    constexpr off_t kTail = 22 + 65535 + 20; // end record, longest comment, ZIP64 locator
    std::vector<BYTE> tail(static_cast<size_t>(std::min(fileSize, kTail)));
    int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ssize_t got = pread(fd, tail.data(), tail.size(), fileSize - static_cast<off_t>(tail.size()));
    close(fd);
    if (got != static_cast<ssize_t>(tail.size()))
        return false;
    auto word = [&tail](size_t at) { return static_cast<unsigned>(tail[at] | (tail[at + 1] << 8)); };
    for (size_t i = 0; i + 4 <= tail.size(); ++i) {
        if (tail[i] != 'P' || tail[i + 1] != 'K')
            continue;
        if (tail[i + 2] == 6 && (tail[i + 3] == 6 || tail[i + 3] == 7))
            return false;
        bool endRecord = tail[i + 2] == 5 && tail[i + 3] == 6;
        if (endRecord && i + 22 <= tail.size() && (word(i + 8) == 0xFFFF || word(i + 10) == 0xFFFF))
            return false;
    }
    return true;
}

struct PackedEntry {
    zip_uint64_t index = 0;
    zip_uint64_t size = 0;
};

// One registered ".ui" archive, opened read-only; its acceptable entries are indexed when it opens.
class Package {
public:
    static std::unique_ptr<Package> Open(const WString& absolutePath)
    {
        std::string native = ToNativePath(absolutePath);
        struct stat info {};
        if (stat(native.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > kMaxPackageFileSize)
            return nullptr;
        if (!HasSmallDirectory(native, info.st_size))
            return nullptr;
        int error = 0;
        // No ZIP_CHECKCONS: common packers write local headers that differ from the central directory
        // in harmless ways (data descriptors, time fields). Every entry's checksum is checked on reading.
        zip_t* zip = zip_open(native.c_str(), ZIP_RDONLY, &error);
        if (!zip)
            return nullptr;
        std::unique_ptr<Package> package(new Package(zip, absolutePath));
        if (!package->IndexEntries())
            return nullptr;
        return package;
    }

    ~Package() { zip_discard(m_zip); }

    const WString& Path() const { return m_path; }

    // A name inside the package, or a full path that lies in the package's folder.
    const PackedEntry* Find(WStringView request) const
    {
        if (request.empty() || HasDrive(request))
            return nullptr;
        auto parts = Components(request);
        if (parts.empty() || HasParentReference(parts))
            return nullptr;
        WString key = Folded(Joined(parts));
        if (IsSeparator(request[0])) {
            if (key.size() <= m_folderKey.size() || key.compare(0, m_folderKey.size(), m_folderKey) != 0)
                return nullptr;
            key.erase(0, m_folderKey.size());
        }
        auto found = m_entries.find(key);
        return found == m_entries.end() ? nullptr : &found->second;
    }

    // The whole entry, exactly its declared size and with a good checksum.
    bool Read(const PackedEntry& entry, BYTE* buffer, zip_uint64_t size) const
    {
        if (size < entry.size)
            return false;
        zip_file_t* file = zip_fopen_index(m_zip, entry.index, 0);
        if (!file)
            return false;
        zip_uint64_t done = 0;
        while (done < entry.size) {
            zip_int64_t n = zip_fread(file, buffer + done, entry.size - done);
            if (n <= 0)
                break;
            done += static_cast<zip_uint64_t>(n);
        }
        // Reading past the end makes the library check the checksum, and shows data the header did not declare.
        BYTE extra = 0;
        bool exact = done == entry.size && zip_fread(file, &extra, 1) == 0;
        zip_fclose(file);
        return exact;
    }

private:
    Package(zip_t* zip, const WString& path)
        : m_zip(zip)
        , m_path(path)
    {
        auto parts = Components(path);
        parts.pop_back();
        m_folderKey = Folded(Joined(parts)) + u'/';
    }

    bool IndexEntries()
    {
        zip_int64_t count = zip_get_num_entries(m_zip, 0);
        if (count < 0 || count > kMaxPackageEntries)
            return false;
        for (zip_int64_t i = 0; i < count; ++i) {
            zip_stat_t stat;
            zip_stat_init(&stat);
            auto index = static_cast<zip_uint64_t>(i);
            if (zip_stat_index(m_zip, index, ZIP_FL_ENC_GUESS, &stat) != 0)
                continue;
            if (!(stat.valid & ZIP_STAT_NAME) || !(stat.valid & ZIP_STAT_SIZE) || !stat.name)
                continue;
            if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
                continue;
            std::string_view name = stat.name;
            if (name.empty() || name.back() == '/' || stat.size > static_cast<zip_uint64_t>(kMaxPackedFileSize))
                continue;
            WString key = EntryKey(Utf8ToWide(name));
            if (!key.empty())
                m_entries.emplace(std::move(key), PackedEntry { index, stat.size });
        }
        return true;
    }

    zip_t* m_zip;
    WString m_path;
    WString m_folderKey; // "/folder/of/the/package/", case-folded
    std::unordered_map<WString, PackedEntry> m_entries;
};

class PackageStore final : public EnginePackage {
public:
    HRESULT Open(HMODULE module, LPCWSTR packagePath) override
    {
        if (!packagePath || !*packagePath)
            return E_INVALIDARG;
        WString path = AbsolutePath(ToView(packagePath), ModuleFolder(module));
        auto package = Package::Open(path);
        if (!package)
            return HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
        std::lock_guard guard(m_lock);
        for (auto& registered : m_packages) {
            if (Folded(registered->Path()) == Folded(path)) {
                registered = std::move(package);
                return S_OK;
            }
        }
        m_packages.push_back(std::move(package));
        return S_OK;
    }

    HRESULT SetDefault(HMODULE module, LPCWSTR relativePackagePath) override
    {
        if (!relativePackagePath || !*relativePackagePath)
            return E_INVALIDARG;
        WString wanted = Folded(AbsolutePath(ToView(relativePackagePath), ModuleFolder(module)));
        WString tail = EntryKey(ToView(relativePackagePath));
        std::lock_guard guard(m_lock);
        const Package* match = nullptr;
        for (const auto& package : m_packages) {
            WString path = Folded(package->Path());
            if (path == wanted) {
                match = package.get();
                break;
            }
            // The same package seen from another base folder.
            bool endsWithTail = !tail.empty() && path.size() > tail.size()
                && path.compare(path.size() - tail.size(), tail.size(), tail) == 0 && path[path.size() - tail.size() - 1] == u'/';
            if (!match && endsWithTail)
                match = package.get();
        }
        if (!match)
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        m_defaultPath = Folded(match->Path());
        return S_OK;
    }

    long GetPackedSize(int, LPCWSTR name) override
    {
        std::lock_guard guard(m_lock);
        auto [package, entry] = Lookup(ToView(name));
        return entry ? static_cast<long>(entry->size) : 0;
    }

    long ReadPacked(int, LPCWSTR name, BYTE* buffer, long size) override
    {
        if (!buffer || size <= 0)
            return 0;
        std::lock_guard guard(m_lock);
        auto [package, entry] = Lookup(ToView(name));
        if (!entry || !package->Read(*entry, buffer, static_cast<zip_uint64_t>(size)))
            return 0;
        return static_cast<long>(entry->size);
    }

    bool ReadWhole(WStringView name, std::vector<BYTE>& bytes)
    {
        std::lock_guard guard(m_lock);
        auto [package, entry] = Lookup(name);
        if (!entry)
            return false;
        bytes.resize(entry->size);
        if (package->Read(*entry, bytes.data(), bytes.size()))
            return true;
        bytes.clear();
        return false;
    }

    void Close()
    {
        std::lock_guard guard(m_lock);
        m_packages.clear();
        m_defaultPath.clear();
    }

private:
    std::pair<const Package*, const PackedEntry*> Lookup(WStringView name) const
    {
        const Package* defaultPackage = nullptr;
        for (const auto& package : m_packages) {
            if (!m_defaultPath.empty() && Folded(package->Path()) == m_defaultPath)
                defaultPackage = package.get();
        }
        if (defaultPackage) {
            if (const PackedEntry* entry = defaultPackage->Find(name))
                return { defaultPackage, entry };
        }
        for (const auto& package : m_packages) {
            if (package.get() == defaultPackage)
                continue;
            if (const PackedEntry* entry = package->Find(name))
                return { package.get(), entry };
        }
        return { nullptr, nullptr };
    }

    std::mutex m_lock;
    std::vector<std::unique_ptr<Package>> m_packages;
    WString m_defaultPath; // case-folded
};

PackageStore& Store()
{
    static PackageStore store;
    return store;
}

} // namespace

EnginePackage* EnginePackages()
{
    return &Store();
}

bool ReadPackedFile(WStringView name, std::vector<BYTE>& bytes)
{
    return Store().ReadWhole(name, bytes);
}

void CloseEnginePackages()
{
    Store().Close();
}
