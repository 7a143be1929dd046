// A small engine of the tests' own: the XML document object over pugixml and a packed storage that
// records what is registered, installed as the process's engine for a test's scope.
#pragma once

#include "platform/base/Strings.h"
#include "ui/Engine.h"

#include <pugixml.hpp>

#include <map>
#include <memory>
#include <string>
#include <vector>

// Document, list and node objects currently alive; 0 once every reference was released.
int FakeXmlObjectsAlive();

// A node list over the given nodes, one reference (for lists no document query makes).
EngineXmlNodeList* MakeFakeNodeList(std::shared_ptr<pugi::xml_document> document, std::vector<pugi::xml_node> nodes);

struct FakeRegistration {
    HMODULE module;
    WString path;
    bool operator==(const FakeRegistration&) const = default;
};

class FakePackage final : public EnginePackage {
public:
    HRESULT Open(HMODULE module, LPCWSTR packagePath) override;
    HRESULT SetDefault(HMODULE module, LPCWSTR relativePackagePath) override;
    long GetPackedSize(int reserved, LPCWSTR name) override;
    long ReadPacked(int reserved, LPCWSTR name, BYTE* buffer, long size) override;

    std::vector<FakeRegistration> opened;
    std::vector<FakeRegistration> defaults;
    std::map<WString, std::string> packed; // files of the storage by the path asked for
    long claimedSize = -1;                 // when >= 0, the size reported for every file
};

struct FakeSkinLoad {
    HMODULE module;
    WString facetXml;
    WString folder;
    bool reload;
    bool operator==(const FakeSkinLoad&) const = default;
};

struct FakeDocumentLoad {
    WString path;
    bool existed; // the file was on disk while it was loaded
};

class FakeEngine final : public EngineMain {
public:
    FakeEngine();
    ~FakeEngine();
    FakeEngine(const FakeEngine&) = delete;
    FakeEngine& operator=(const FakeEngine&) = delete;

    HRESULT LoadSkin(HMODULE module, LPCWSTR facetXmlPath, LPCWSTR skinFolder) override;
    void Terminate() override { }
    HRESULT AttachWindow(HWND) override { return E_NOTIMPL; }
    HRESULT GetWindowObject(HWND, int, EngineObject** object) override;
    HRESULT RegisterClassAlias(LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT ReloadSkin(HMODULE module, LPCWSTR facetXmlPath, LPCWSTR skinFolder) override;
    EnginePackage* GetPackage() override { return hasPackage ? &package : nullptr; }
    HRESULT CreateXmlDocument(EngineXmlDocument** document) override;

    FakePackage package;
    bool hasPackage = true;
    bool canCreateDocuments = true;
    HRESULT skinResult = S_OK;
    std::vector<FakeSkinLoad> skinLoads;
    std::vector<FakeDocumentLoad> documentLoads;
    std::vector<std::pair<int, BOOL>> loadOptions;
};

// Writes `text` to the file at `path`, creating its folders.
void WriteTextFile(const std::string& path, const std::string& text);
