#include "app/XmlArchive.h"

#include "ui/EngineAccess.h"
#include "platform/sys/Com.h"
#include "platform/sys/File.h"
#include "platform/sys/Path.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <vector>

namespace {

// A skin's configuration is a few kilobytes; a package claiming more than this is not trusted.
constexpr long kMaxPackedFileSize = 16 * 1024 * 1024;

// Numbers of the "~xm" temporary files, one per file taken out of the packed storage.
std::atomic<UINT> g_nextTempNumber{10000};

template <class Interface>
void ReleaseAndClear(Interface*& object)
{
    if (!object)
        return;
    object->Release();
    object = nullptr;
}

int HexDigit(WCHAR c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

int ParseHex(WStringView digits)
{
    std::uint32_t value = 0;
    for (WCHAR c : digits) {
        int digit = HexDigit(c);
        if (digit < 0)
            break;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return static_cast<int>(value);
}

// Out-of-range values stop at the nearest 32-bit limit instead of wrapping.
int ParseDecimal(WStringView text)
{
    bool negative = false;
    if (!text.empty() && (text.front() == u'-' || text.front() == u'+')) {
        negative = text.front() == u'-';
        text.remove_prefix(1);
    }
    constexpr long long kLimit = static_cast<long long>(std::numeric_limits<int>::max()) + 1;
    long long value = 0;
    for (WCHAR c : text) {
        if (c < u'0' || c > u'9')
            break;
        value = value * 10 + (c - u'0');
        if (value > kLimit)
            value = kLimit;
    }
    if (negative)
        return static_cast<int>(-value);
    return value >= kLimit ? std::numeric_limits<int>::max() : static_cast<int>(value);
}

// The first entry of a list as an element, or nullptr.
EngineXmlElement* FirstElement(EngineXmlNodeList* list)
{
    if (list->Length() <= 0)
        return nullptr;
    EngineXmlNode* node = nullptr;
    if (list->Item(0, &node) != S_OK || !node)
        return nullptr;
    EngineXmlElement* element = nullptr;
    if (node->AsElement(&element) != S_OK)
        element = nullptr;
    node->Release();
    return element;
}

// The attribute's text, or nothing when the item is empty or the attribute is missing.
bool ReadAttribute(const CXMLArchiveItem& item, LPCWSTR name, WString& text)
{
    if (item.IsEmpty() || !name)
        return false;
    LPWSTR value = nullptr;
    HRESULT hr = item.GetElement()->GetAttribute(name, &value);
    bool found = hr == S_OK && value;
    if (found)
        text = value;
    if (value)
        CoTaskMemFree(value);
    return found;
}

} // namespace

CXMLArchiveItem::CXMLArchiveItem(EngineXmlElement* element) : m_element(element)
{
    if (m_element)
        m_element->AddRef();
}

CXMLArchiveItem::CXMLArchiveItem(const CXMLArchiveItem& other) : CXMLArchiveItem(other.m_element) { }

CXMLArchiveItem& CXMLArchiveItem::operator=(const CXMLArchiveItem& other)
{
    if (other.m_element)
        other.m_element->AddRef();
    ReleaseAndClear(m_element);
    m_element = other.m_element;
    return *this;
}

CXMLArchiveItem::~CXMLArchiveItem()
{
    ReleaseAndClear(m_element);
}

CXMLArchiveItemList::CXMLArchiveItemList(EngineXmlNodeList* list) : m_list(list)
{
    if (!m_list)
        return;
    m_list->AddRef();
    m_length = m_list->Length();
    if (m_length < 0)
        m_length = 0;
}

CXMLArchiveItemList::CXMLArchiveItemList(const CXMLArchiveItemList& other) : m_list(other.m_list), m_length(other.m_length)
{
    if (m_list)
        m_list->AddRef();
}

CXMLArchiveItemList& CXMLArchiveItemList::operator=(const CXMLArchiveItemList& other)
{
    if (other.m_list)
        other.m_list->AddRef();
    ReleaseAndClear(m_list);
    m_list = other.m_list;
    m_length = other.m_length;
    return *this;
}

CXMLArchiveItemList::~CXMLArchiveItemList()
{
    ReleaseAndClear(m_list);
}

CXMLArchive::~CXMLArchive()
{
    Close();
}

void CXMLArchive::Close()
{
    ReleaseAndClear(m_document);
}

BOOL CXMLArchive::Open(HMODULE module, LPCWSTR path, int mode)
{
    Close();
    if (!path || !*path || mode != kModeRead)
        return FALSE;
    WCHAR fullPath[MAX_PATH];
    if (PathIsRelativeW(path)) {
        if (!GetModuleBaseFolder(module, 0, fullPath) || !PathAppendW(fullPath, path))
            return FALSE;
    } else if (!CopyToBuffer(ToView(path), fullPath, MAX_PATH)) {
        return FALSE;
    }
    m_path = fullPath;
    m_mode = mode;

    EngineMain* engine = GetEngineMain();
    if (!engine)
        return FALSE;
    EngineXmlDocument* document = nullptr;
    if (FAILED(engine->CreateXmlDocument(&document))) {
        ReleaseAndClear(document);
        return FALSE;
    }
    m_document = document;
    if (!m_document)
        return FALSE;
    m_document->SetLoadOption(0, TRUE);
    m_document->SetLoadOption(1, FALSE);

    BOOL loaded = FALSE;
    if (PathFileExistsW(fullPath)) {
        if (m_document->Load(fullPath, &loaded) != S_OK)
            loaded = FALSE;
    } else {
        loaded = LoadFromPackage(engine, m_path);
    }
    if (!loaded)
        Close();
    return IsOpen();
}

// The packed file goes through a temporary file because the document object reads from paths.
BOOL CXMLArchive::LoadFromPackage(EngineMain* engine, const WString& path)
{
    EnginePackage* package = engine->GetPackage();
    if (!package)
        return FALSE;
    long size = package->GetPackedSize(0, path.c_str());
    if (size <= 0 || size > kMaxPackedFileSize)
        return FALSE;
    std::vector<BYTE> bytes(static_cast<size_t>(size));
    long read = package->ReadPacked(0, path.c_str(), bytes.data(), size);
    if (read <= 0)
        return FALSE;
    if (read > size)
        read = size;

    WCHAR tempFolder[MAX_PATH];
    DWORD folderLength = GetTempPathW(MAX_PATH, tempFolder);
    if (folderLength == 0 || folderLength >= MAX_PATH)
        return FALSE;
    // The file is created exclusively: a name that is taken (by another copy of the program, or by a
    // link someone placed in the shared temporary folder) is never written through; the next number is tried.
    constexpr int kAttempts = 64;
    WCHAR tempFile[MAX_PATH];
    FILE* file = nullptr;
    for (int attempt = 0; attempt < kAttempts && !file; ++attempt) {
        if (GetTempFileNameW(tempFolder, u"~xm", g_nextTempNumber.fetch_add(1), tempFile) == 0)
            return FALSE;
        file = _wfopen(tempFile, u"wbx");
    }
    if (!file)
        return FALSE;
    bool written = std::fwrite(bytes.data(), 1, static_cast<size_t>(read), file) == static_cast<size_t>(read);
    written = std::fclose(file) == 0 && written;

    BOOL loaded = FALSE;
    if (written && m_document->Load(tempFile, &loaded) != S_OK)
        loaded = FALSE;
    DeleteFileW(tempFile);
    return loaded;
}

CXMLArchiveItemList CXMLArchive::Find(LPCWSTR path) const
{
    if (!m_document || !path)
        return {};
    WStringView view = ToView(path);
    if (view.empty() || view.size() > static_cast<size_t>(kMaxFindPath))
        return {};

    EngineXmlNodeList* list = nullptr;
    size_t start = 0;
    while (start <= view.size()) {
        size_t end = view.find_first_of(u"/\\", start);
        if (end == WStringView::npos)
            end = view.size();
        WString segment(view.substr(start, end - start));
        start = end + 1;
        if (segment.empty())
            continue;

        EngineXmlNodeList* next = nullptr;
        if (!list) {
            if (m_document->GetElementsByTagName(segment.c_str(), &next) != S_OK)
                next = nullptr;
        } else {
            EngineXmlElement* element = FirstElement(list);
            ReleaseAndClear(list);
            if (element && element->GetElementsByTagName(segment.c_str(), &next) != S_OK)
                next = nullptr;
            ReleaseAndClear(element);
        }
        if (!next)
            return {};
        list = next;
        if (list->Length() <= 0) {
            ReleaseAndClear(list);
            return {};
        }
    }
    if (!list)
        return {};
    CXMLArchiveItemList result(list);
    list->Release();
    return result;
}

CXMLArchiveItem CXMLArchive::Item(const CXMLArchiveItemList& list, long index)
{
    if (index < 0 || index >= list.GetLength() || !list.GetList())
        return {};
    EngineXmlNode* node = nullptr;
    if (list.GetList()->Item(index, &node) != S_OK || !node)
        return {};
    EngineXmlElement* element = nullptr;
    if (node->AsElement(&element) != S_OK)
        element = nullptr;
    node->Release();
    CXMLArchiveItem item(element);
    ReleaseAndClear(element);
    return item;
}

WString CXMLArchive::GetAttributeText(const CXMLArchiveItem& item, LPCWSTR name, LPCWSTR defaultValue)
{
    WString text;
    if (ReadAttribute(item, name, text))
        return text;
    return WString(ToView(defaultValue));
}

int CXMLArchive::GetAttributeNumber(const CXMLArchiveItem& item, LPCWSTR name, int defaultValue)
{
    WString text;
    if (!ReadAttribute(item, name, text) || text.empty())
        return defaultValue;
    return ParseNumber(text);
}

int CXMLArchive::ParseNumber(WStringView text)
{
    size_t first = text.find_first_not_of(u" \t");
    WStringView rest = first == WStringView::npos ? WStringView() : text.substr(first);
    bool hexPrefix = rest.size() >= 2 && rest[0] == u'0' && (rest[1] == u'x' || rest[1] == u'X');
    if (hexPrefix && rest.size() >= 3 && rest.size() <= 10)
        return ParseHex(rest.substr(2));
    return ParseDecimal(rest);
}
