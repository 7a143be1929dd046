// Read-only access to an XML file through the UI engine's XML document object: elements by a
// slash-separated tag path, attribute texts and attribute numbers.
#pragma once

#include "platform/base/Strings.h"
#include "ui/Engine.h"

// One element, or the empty item.
class CXMLArchiveItem {
public:
    CXMLArchiveItem() = default;
    // Takes a reference of its own.
    explicit CXMLArchiveItem(EngineXmlElement* element);
    CXMLArchiveItem(const CXMLArchiveItem& other);
    CXMLArchiveItem& operator=(const CXMLArchiveItem& other);
    virtual ~CXMLArchiveItem();

    BOOL IsEmpty() const { return m_element == nullptr; }
    EngineXmlElement* GetElement() const { return m_element; }

private:
    EngineXmlElement* m_element = nullptr;
};

// A list of elements and its length; the empty list has length 0.
class CXMLArchiveItemList {
public:
    CXMLArchiveItemList() = default;
    // Takes a reference of its own.
    explicit CXMLArchiveItemList(EngineXmlNodeList* list);
    CXMLArchiveItemList(const CXMLArchiveItemList& other);
    CXMLArchiveItemList& operator=(const CXMLArchiveItemList& other);
    virtual ~CXMLArchiveItemList();

    long GetLength() const { return m_length; }
    EngineXmlNodeList* GetList() const { return m_list; }

private:
    EngineXmlNodeList* m_list = nullptr;
    long m_length = 0;
};

class CXMLArchive {
public:
    enum OpenMode : int {
        kModeRead = 0, // read an existing file; the only mode the system uses
    };
    static constexpr int kMaxFindPath = 2048;

    CXMLArchive() = default;
    CXMLArchive(const CXMLArchive&) = delete;
    CXMLArchive& operator=(const CXMLArchive&) = delete;
    virtual ~CXMLArchive();

    // A relative path is taken relative to the module's folder (nullptr: the executable). A file
    // that is not on disk is taken from the engine's packed skin storage. TRUE when open.
    BOOL Open(HMODULE module, LPCWSTR path, int mode);
    void Close();
    BOOL IsOpen() const { return m_document != nullptr; }
    const WString& GetPath() const { return m_path; }
    const WString& GetDeclaration() const { return m_declaration; }

    // The elements at a '/' or '\' separated tag path of 1 to 2048 characters: the first segment
    // picks the document's first element of that tag, each later one the elements of its tag below
    // the first element picked so far. A single segment gives every element of that tag.
    CXMLArchiveItemList Find(LPCWSTR path) const;
    // The element at the 0-based index, or the empty item.
    static CXMLArchiveItem Item(const CXMLArchiveItemList& list, long index);
    // The attribute's text, or the default when the item is empty or has no such attribute.
    static WString GetAttributeText(const CXMLArchiveItem& item, LPCWSTR name, LPCWSTR defaultValue);
    // The attribute read as a number: blanks and tabs skipped, then "0x"/"0X" with 3 to 10
    // characters in all is hexadecimal, anything else decimal; each up to the first non-digit.
    // A missing or empty attribute gives the default.
    static int GetAttributeNumber(const CXMLArchiveItem& item, LPCWSTR name, int defaultValue);

    // The number rule on its own, for a text that is present and not empty.
    static int ParseNumber(WStringView text);

private:
    BOOL LoadFromPackage(EngineMain* engine, const WString& path);

    EngineXmlDocument* m_document = nullptr;
    WString m_path;
    WString m_declaration = u"version='1.0' encoding='utf-16'";
    int m_mode = kModeRead;
};
