#include "app/SkinSelector.h"

#include "ui/EngineAccess.h"
#include "app/XmlArchive.h"
#include "platform/base/Format.h"
#include "platform/sys/File.h"
#include "platform/sys/Path.h"
#include "platform/sys/Registry.h"

#include <algorithm>

namespace {

// The registry value is read into 260 bytes.
constexpr DWORD kRegistryValueBytes = 260;

// Texts from outside (registry values, XML attributes) may separate with either character.
WString WithForwardSlashes(WString path)
{
    std::replace(path.begin(), path.end(), u'\\', u'/');
    return path;
}

bool IsDotEntry(LPCWSTR name)
{
    return lstrcmpW(name, u".") == 0 || lstrcmpW(name, u"..") == 0;
}

} // namespace

void CSkinSelector::Create(HMODULE module, int folderDepth, BOOL readRegistry)
{
    m_module = module;
    m_folderDepth = folderDepth;
    m_readRegistry = readRegistry;
    m_skinFolder.clear();
    if (folderDepth > 0)
        SetSharedFolderDepth(folderDepth);
}

WString CSkinSelector::GetBaseFolder() const
{
    WCHAR folder[MAX_PATH];
    if (!GetModuleBaseFolder(m_module, m_folderDepth, folder))
        return {};
    return folder;
}

WString CSkinSelector::ReadRegistrySkinFolder() const
{
    WCHAR value[kRegistryValueBytes / sizeof(WCHAR) + 1] = {};
    DWORD type = REG_NONE;
    DWORD size = kRegistryValueBytes;
    if (SHGetValueW(HKEY_CURRENT_USER, kSkinRegistryKey, kSkinRegistryValue, &type, value, &size) != ERROR_SUCCESS)
        return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return {};
    return WString(ToView(value));
}

const WString& CSkinSelector::GetSkinFolder(BOOL reread)
{
    if (!m_skinFolder.empty() && !reread)
        return m_skinFolder;
    WString folder;
    if (m_readRegistry)
        folder = WithForwardSlashes(ReadRegistrySkinFolder());
    if (folder.empty())
        folder = kDefaultSkinFolder;
    if (folder.back() == u'/')
        folder.pop_back();

    WCHAR joined[MAX_PATH];
    if (FAILED(StringCchPrintfW(joined, MAX_PATH, u"%s/%s", GetBaseFolder(), folder)) || !PathFileExistsW(joined))
        folder = kDefaultSkinFolder;
    m_skinFolder = folder;
    return m_skinFolder;
}

WString CSkinSelector::GetAbsoluteSkinFolder(BOOL reread)
{
    const WString& folder = GetSkinFolder(reread);
    WCHAR absolute[MAX_PATH];
    StringCchPrintfW(absolute, MAX_PATH, u"%s/%s", GetBaseFolder(), folder);
    return absolute;
}

int CSkinSelector::RegisterSkins()
{
    EngineMain* engine = GetEngineMain();
    EnginePackage* package = engine ? engine->GetPackage() : nullptr;
    if (!package)
        return -1;
    WString base = GetBaseFolder();
    if (base.empty())
        return -1;
    WCHAR configPath[MAX_PATH];
    if (FAILED(StringCchPrintfW(configPath, MAX_PATH, u"%s/config/config.xml", base)))
        return -1;
    CXMLArchive archive;
    if (!archive.Open(m_module, configPath, CXMLArchive::kModeRead))
        return -1;
    CXMLArchiveItemList items = archive.Find(u"Root.Config/Skin/Item");
    if (items.GetLength() == 0)
        return -1;

    for (long i = 0; i < items.GetLength(); ++i) {
        CXMLArchiveItem item = CXMLArchive::Item(items, i);
        WString skinPath = CXMLArchive::GetAttributeText(item, u"SkinPath", u"");
        if (skinPath.empty())
            continue;
        WString storageFile = CXMLArchive::GetAttributeText(item, u"StorageFile", u"");
        if (storageFile.empty())
            continue;
        WCHAR packagePath[MAX_PATH];
        WCHAR fullPath[MAX_PATH];
        if (FAILED(StringCchPrintfW(packagePath, MAX_PATH, u"%s/%s", WithForwardSlashes(skinPath),
                WithForwardSlashes(storageFile)))
            || FAILED(StringCchPrintfW(fullPath, MAX_PATH, u"%s/%s", base, packagePath)))
            continue;
        package->Open(m_module, fullPath);
        if (CXMLArchive::GetAttributeText(item, u"DefaultSkin", u"") == u"1")
            package->SetDefault(m_module, packagePath);
    }
    RegisterSkinFolders(package, base);
    return 1;
}

// Every folder directly under "config" is a skin folder with its first "*.ui" package.
void CSkinSelector::RegisterSkinFolders(EnginePackage* package, const WString& base) const
{
    WCHAR pattern[MAX_PATH];
    if (FAILED(StringCchPrintfW(pattern, MAX_PATH, u"%s/config/*", base)))
        return;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(pattern, &entry);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsDotEntry(entry.cFileName))
            continue;
        WCHAR folder[MAX_PATH];
        WCHAR packagePattern[MAX_PATH];
        if (FAILED(StringCchPrintfW(folder, MAX_PATH, u"%s/config/%s", base, entry.cFileName))
            || FAILED(StringCchPrintfW(packagePattern, MAX_PATH, u"%s/*.ui", folder)))
            continue;
        WCHAR packageName[MAX_PATH];
        CopyToBuffer(u"noui.ui", packageName, MAX_PATH);
        WIN32_FIND_DATAW packageEntry;
        HANDLE packages = FindFirstFileW(packagePattern, &packageEntry);
        if (packages != INVALID_HANDLE_VALUE) {
            CopyToBuffer(ToView(packageEntry.cFileName), packageName, MAX_PATH);
            FindClose(packages);
        }
        WCHAR packagePath[MAX_PATH];
        if (SUCCEEDED(StringCchPrintfW(packagePath, MAX_PATH, u"%s/%s", folder, packageName)))
            package->Open(nullptr, packagePath);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
}

HRESULT CSkinSelector::LoadSkin()
{
    WString absolute = GetAbsoluteSkinFolder(FALSE);
    WCHAR facetXml[MAX_PATH];
    StringCchPrintfW(facetXml, MAX_PATH, u"%s/%s/facet.xml", GetBaseFolder(), m_skinFolder);
    RegisterSkins();
    EngineMain* engine = GetEngineMain();
    if (!engine)
        return E_FAIL;
    return engine->LoadSkin(m_module, facetXml, absolute.c_str());
}

HRESULT CSkinSelector::ReloadSkin(HMODULE module)
{
    CSkinSelector selector;
    selector.Create(module, kReloadFolderDepth, kReadRegistry);
    WString absolute = selector.GetAbsoluteSkinFolder(TRUE);
    EngineMain* engine = GetEngineMain();
    if (!engine)
        return E_FAIL;
    if (EnginePackage* package = engine->GetPackage()) {
        WCHAR packagePath[MAX_PATH];
        if (SUCCEEDED(StringCchPrintfW(packagePath, MAX_PATH, u"%s/%s.ui", absolute, PathFindFileNameW(absolute.c_str()))))
            package->Open(module, packagePath);
    }
    WCHAR facetXml[MAX_PATH];
    StringCchPrintfW(facetXml, MAX_PATH, u"%s/facet.xml", absolute);
    return engine->ReloadSkin(module, facetXml, absolute.c_str());
}
