#include "FakeEngine.h"

#include "ui/EngineAccess.h"
#include "platform/sys/Com.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

int g_alive = 0;
FakeEngine* g_installed = nullptr;

EngineMain* FakeGetFacet()
{
    return g_installed;
}

using Document = std::shared_ptr<pugi::xml_document>;

// Elements below `parent` with that name, in document order.
void CollectElements(pugi::xml_node parent, const std::string& name, std::vector<pugi::xml_node>& found)
{
    for (pugi::xml_node child : parent.children()) {
        if (child.type() != pugi::node_element)
            continue;
        if (name == child.name())
            found.push_back(child);
        CollectElements(child, name, found);
    }
}

class FakeCounted {
protected:
    FakeCounted() { ++g_alive; }
    virtual ~FakeCounted() { --g_alive; }
    ULONG AddReference() { return ++m_references; }
    ULONG ReleaseReference()
    {
        ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }

private:
    ULONG m_references = 1;
};

class FakeNode final : public EngineXmlNode, public EngineXmlElement, private FakeCounted {
public:
    FakeNode(Document document, pugi::xml_node node) : m_document(std::move(document)), m_node(node) { }

    ULONG AddRef() override { return AddReference(); }
    ULONG Release() override { return ReleaseReference(); }

    HRESULT AsElement(EngineXmlElement** element) override
    {
        *element = nullptr;
        if (m_node.type() != pugi::node_element)
            return S_FALSE;
        AddRef();
        *element = this;
        return S_OK;
    }

    HRESULT GetAttribute(LPCWSTR name, LPWSTR* value) override
    {
        *value = nullptr;
        pugi::xml_attribute attribute = m_node.attribute(WideToUtf8(ToView(name)).c_str());
        if (!attribute)
            return S_FALSE;
        WString text = Utf8ToWide(attribute.value());
        auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
        std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
        *value = copy;
        return S_OK;
    }

    HRESULT GetElementsByTagName(LPCWSTR name, EngineXmlNodeList** list) override;

private:
    Document m_document;
    pugi::xml_node m_node;
};

class FakeNodeList final : public EngineXmlNodeList, private FakeCounted {
public:
    FakeNodeList(Document document, std::vector<pugi::xml_node> nodes)
        : m_document(std::move(document)), m_nodes(std::move(nodes))
    {
    }

    ULONG AddRef() override { return AddReference(); }
    ULONG Release() override { return ReleaseReference(); }
    long Length() override { return static_cast<long>(m_nodes.size()); }
    HRESULT Item(long index, EngineXmlNode** node) override
    {
        *node = nullptr;
        if (index < 0 || index >= Length())
            return S_FALSE;
        *node = new FakeNode(m_document, m_nodes[static_cast<size_t>(index)]);
        return S_OK;
    }

private:
    Document m_document;
    std::vector<pugi::xml_node> m_nodes;
};

HRESULT FakeNode::GetElementsByTagName(LPCWSTR name, EngineXmlNodeList** list)
{
    std::vector<pugi::xml_node> found;
    CollectElements(m_node, WideToUtf8(ToView(name)), found);
    *list = new FakeNodeList(m_document, std::move(found));
    return S_OK;
}

class FakeDocument final : public EngineXmlDocument, private FakeCounted {
public:
    explicit FakeDocument(FakeEngine& engine) : m_engine(engine), m_document(std::make_shared<pugi::xml_document>()) { }

    ULONG AddRef() override { return AddReference(); }
    ULONG Release() override { return ReleaseReference(); }

    HRESULT SetLoadOption(int option, BOOL value) override
    {
        m_engine.loadOptions.emplace_back(option, value);
        return S_OK;
    }

    HRESULT Load(LPCWSTR path, BOOL* loaded) override
    {
        std::string native = WideToUtf8(ToView(path));
        m_engine.documentLoads.push_back({WString(ToView(path)), std::filesystem::exists(native)});
        *loaded = m_document->load_file(native.c_str()) ? TRUE : FALSE;
        return *loaded ? S_OK : S_FALSE;
    }

    HRESULT GetElementsByTagName(LPCWSTR name, EngineXmlNodeList** list) override
    {
        std::vector<pugi::xml_node> found;
        CollectElements(*m_document, WideToUtf8(ToView(name)), found);
        *list = new FakeNodeList(m_document, std::move(found));
        return S_OK;
    }

private:
    FakeEngine& m_engine;
    Document m_document;
};

} // namespace

int FakeXmlObjectsAlive()
{
    return g_alive;
}

EngineXmlNodeList* MakeFakeNodeList(std::shared_ptr<pugi::xml_document> document, std::vector<pugi::xml_node> nodes)
{
    return new FakeNodeList(std::move(document), std::move(nodes));
}

HRESULT FakePackage::Open(HMODULE module, LPCWSTR packagePath)
{
    opened.push_back({module, WString(ToView(packagePath))});
    return S_OK;
}

HRESULT FakePackage::SetDefault(HMODULE module, LPCWSTR relativePackagePath)
{
    defaults.push_back({module, WString(ToView(relativePackagePath))});
    return S_OK;
}

long FakePackage::GetPackedSize(int, LPCWSTR name)
{
    auto found = packed.find(WString(ToView(name)));
    if (found == packed.end())
        return 0;
    return claimedSize >= 0 ? claimedSize : static_cast<long>(found->second.size());
}

long FakePackage::ReadPacked(int, LPCWSTR name, BYTE* buffer, long size)
{
    auto found = packed.find(WString(ToView(name)));
    if (found == packed.end())
        return 0;
    long count = std::min(size, static_cast<long>(found->second.size()));
    std::memcpy(buffer, found->second.data(), static_cast<size_t>(count));
    return count;
}

FakeEngine::FakeEngine()
{
    g_installed = this;
    EngineExports exports;
    exports.getFacet = FakeGetFacet;
    UseEngineExportsForTesting(&exports);
}

FakeEngine::~FakeEngine()
{
    UseEngineExportsForTesting(nullptr);
    g_installed = nullptr;
}

HRESULT FakeEngine::LoadSkin(HMODULE module, LPCWSTR facetXmlPath, LPCWSTR skinFolder)
{
    skinLoads.push_back({module, WString(ToView(facetXmlPath)), WString(ToView(skinFolder)), false});
    return skinResult;
}

HRESULT FakeEngine::ReloadSkin(HMODULE module, LPCWSTR facetXmlPath, LPCWSTR skinFolder)
{
    skinLoads.push_back({module, WString(ToView(facetXmlPath)), WString(ToView(skinFolder)), true});
    return skinResult;
}

HRESULT FakeEngine::GetWindowObject(HWND, int, EngineObject** object)
{
    *object = nullptr;
    return E_NOTIMPL;
}

HRESULT FakeEngine::CreateXmlDocument(EngineXmlDocument** document)
{
    *document = nullptr;
    if (!canCreateDocuments)
        return E_FAIL;
    *document = new FakeDocument(*this);
    return S_OK;
}

void WriteTextFile(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}
