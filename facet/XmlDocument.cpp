#include "facet/XmlDocument.h"

#include "facet/FileBytes.h"
#include "platform/sys/Com.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>

namespace {

// Lists and elements keep the tree they came from alive, also after the document loads another file.
using Tree = std::shared_ptr<const pugi::xml_document>;

// Visits every node below `top` in document order, with its depth below `top`; no recursion, so any
// nesting is safe.
template <class Visit> void WalkBelow(pugi::xml_node top, Visit visit)
{
    pugi::xml_node node = top.first_child();
    int depth = 1;
    while (node) {
        visit(node, depth);
        if (pugi::xml_node child = node.first_child()) {
            node = child;
            ++depth;
            continue;
        }
        while (node != top) {
            if (pugi::xml_node next = node.next_sibling()) {
                node = next;
                break;
            }
            node = node.parent();
            --depth;
        }
        if (node == top)
            break;
    }
}

bool TooDeep(const pugi::xml_document& document)
{
    int deepest = 0;
    WalkBelow(document, [&deepest](pugi::xml_node, int depth) { deepest = std::max(deepest, depth); });
    return deepest > kMaxXmlDepth;
}

std::vector<pugi::xml_node> ElementsNamed(pugi::xml_node top, LPCWSTR name)
{
    std::string wanted = WideToUtf8(ToView(name));
    bool any = wanted == "*";
    std::vector<pugi::xml_node> found;
    WalkBelow(top, [&](pugi::xml_node node, int) {
        if (node.type() == pugi::node_element && (any || wanted == node.name()))
            found.push_back(node);
    });
    return found;
}

// Reference counting shared by the objects below; each deletes itself on its last Release.
class Counted {
protected:
    ULONG Increment() { return ++m_references; }
    ULONG Decrement() { return --m_references; }

private:
    std::atomic<ULONG> m_references { 1 };
};

class XmlNodeList final : public EngineXmlNodeList, Counted {
public:
    XmlNodeList(Tree tree, std::vector<pugi::xml_node> nodes)
        : m_tree(std::move(tree))
        , m_nodes(std::move(nodes))
    {
    }

    ULONG AddRef() override { return Increment(); }
    ULONG Release() override
    {
        ULONG left = Decrement();
        if (left == 0)
            delete this;
        return left;
    }
    long Length() override { return static_cast<long>(m_nodes.size()); }
    HRESULT Item(long index, EngineXmlNode** node) override;

private:
    Tree m_tree;
    std::vector<pugi::xml_node> m_nodes;
};

HRESULT NewList(const Tree& tree, pugi::xml_node top, LPCWSTR name, EngineXmlNodeList** list)
{
    if (!list)
        return E_POINTER;
    *list = nullptr;
    if (!name)
        return E_POINTER;
    std::vector<pugi::xml_node> nodes;
    if (tree)
        nodes = ElementsNamed(top, name);
    *list = new XmlNodeList(tree, std::move(nodes));
    return S_OK;
}

// A node of a list; every node a list holds is an element, so one object plays both parts.
class XmlElement final : public EngineXmlNode, public EngineXmlElement, Counted {
public:
    XmlElement(Tree tree, pugi::xml_node node)
        : m_tree(std::move(tree))
        , m_node(node)
    {
    }

    ULONG AddRef() override { return Increment(); }
    ULONG Release() override
    {
        ULONG left = Decrement();
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT AsElement(EngineXmlElement** element) override
    {
        if (!element)
            return E_POINTER;
        *element = nullptr;
        if (m_node.type() != pugi::node_element)
            return S_FALSE;
        AddRef();
        *element = this;
        return S_OK;
    }

    HRESULT GetAttribute(LPCWSTR name, LPWSTR* value) override
    {
        if (!value)
            return E_POINTER;
        *value = nullptr;
        if (!name)
            return E_POINTER;
        pugi::xml_attribute attribute = m_node.attribute(WideToUtf8(ToView(name)).c_str());
        if (!attribute)
            return S_FALSE;
        WString text = Utf8ToWide(attribute.value());
        auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(WCHAR)));
        if (!copy)
            return E_OUTOFMEMORY;
        std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
        *value = copy;
        return S_OK;
    }

    HRESULT GetElementsByTagName(LPCWSTR name, EngineXmlNodeList** list) override
    {
        return NewList(m_tree, m_node, name, list);
    }

private:
    Tree m_tree;
    pugi::xml_node m_node;
};

HRESULT XmlNodeList::Item(long index, EngineXmlNode** node)
{
    if (!node)
        return E_POINTER;
    *node = nullptr;
    if (index < 0 || static_cast<size_t>(index) >= m_nodes.size())
        return S_FALSE;
    *node = static_cast<EngineXmlNode*>(new XmlElement(m_tree, m_nodes[static_cast<size_t>(index)]));
    return S_OK;
}

class XmlDocument final : public EngineXmlDocument, Counted {
public:
    ULONG AddRef() override { return Increment(); }
    ULONG Release() override
    {
        ULONG left = Decrement();
        if (left == 0)
            delete this;
        return left;
    }

    // The options are kept for the caller; loading is always synchronous and never validates.
    HRESULT SetLoadOption(int option, BOOL value) override
    {
        if (option < 0 || option >= static_cast<int>(std::size(m_options)))
            return E_INVALIDARG;
        m_options[option] = value;
        return S_OK;
    }

    // A failed load leaves the document empty.
    HRESULT Load(LPCWSTR path, BOOL* loaded) override
    {
        if (loaded)
            *loaded = FALSE;
        m_tree.reset();
        if (!path || !*path)
            return E_INVALIDARG;
        std::vector<BYTE> bytes;
        if (!ReadXmlFile(ToView(path), bytes))
            return S_FALSE;
        auto tree = std::make_shared<pugi::xml_document>();
        if (!ParseXml(bytes, *tree))
            return S_FALSE;
        m_tree = std::move(tree);
        if (loaded)
            *loaded = TRUE;
        return S_OK;
    }

    HRESULT GetElementsByTagName(LPCWSTR name, EngineXmlNodeList** list) override
    {
        return NewList(m_tree, m_tree ? static_cast<pugi::xml_node>(*m_tree) : pugi::xml_node(), name, list);
    }

private:
    Tree m_tree;
    BOOL m_options[2] = { TRUE, FALSE };
};

} // namespace

HRESULT CreateEngineXmlDocument(EngineXmlDocument** document)
{
    if (!document)
        return E_POINTER;
    *document = new XmlDocument();
    return S_OK;
}

bool ReadXmlFile(WStringView path, std::vector<BYTE>& bytes)
{
    return ReadFileBytes(path, kMaxXmlFileSize, bytes);
}

bool ParseXml(const std::vector<BYTE>& bytes, pugi::xml_document& document)
{
    document.reset();
    if (bytes.empty() || bytes.size() > kMaxXmlFileSize)
        return false;
    // Every element starts with '<' and every attribute has its '=', so these bound the nodes to allocate.
    if (static_cast<size_t>(std::count(bytes.begin(), bytes.end(), BYTE('<'))) > kMaxXmlMarkup
        || static_cast<size_t>(std::count(bytes.begin(), bytes.end(), BYTE('='))) > kMaxXmlMarkup)
        return false;
    pugi::xml_parse_result result = document.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_auto);
    if (!result || !document.document_element() || TooDeep(document)) {
        document.reset();
        return false;
    }
    return true;
}
