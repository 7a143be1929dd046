#include "FacetTestSupport.h"

#include "platform/sys/Com.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

class XmlDocumentTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(FacetEngine(), nullptr) << "Facet.so did not load"; }

    // A fresh document with the program's options, loaded from `path`; `loaded` gets the answer.
    ComPtr<EngineXmlDocument> Load(const WString& path, BOOL* loaded, HRESULT* result = nullptr)
    {
        ComPtr<EngineXmlDocument> document;
        EXPECT_EQ(FacetEngine()->CreateXmlDocument(&document), S_OK);
        EXPECT_EQ(document->SetLoadOption(0, TRUE), S_OK);
        EXPECT_EQ(document->SetLoadOption(1, FALSE), S_OK);
        HRESULT hr = document->Load(path.c_str(), loaded);
        if (result)
            *result = hr;
        return document;
    }

    ComPtr<EngineXmlDocument> LoadText(const std::string& bytes)
    {
        BOOL loaded = FALSE;
        auto document = Load(m_scratch.Write("doc.xml", bytes), &loaded);
        EXPECT_TRUE(loaded);
        return document;
    }

    bool Loads(const std::string& bytes)
    {
        BOOL loaded = TRUE;
        HRESULT result = E_FAIL;
        Load(m_scratch.Write("doc.xml", bytes), &loaded, &result);
        EXPECT_EQ(result == S_OK, loaded == TRUE);
        return loaded == TRUE;
    }

    ScratchFolder m_scratch;
};

ComPtr<EngineXmlNodeList> ByTag(EngineXmlDocument* document, const WCHAR* name)
{
    ComPtr<EngineXmlNodeList> list;
    EXPECT_EQ(document->GetElementsByTagName(name, &list), S_OK);
    return list;
}

ComPtr<EngineXmlElement> ElementAt(EngineXmlNodeList* list, long index)
{
    ComPtr<EngineXmlNode> node;
    ComPtr<EngineXmlElement> element;
    if (list->Item(index, &node) == S_OK) {
        EXPECT_EQ(node->AsElement(&element), S_OK);
    }
    return element;
}

// The attribute's text, or "<missing>".
WString Attribute(EngineXmlElement* element, const WCHAR* name)
{
    LPWSTR value = nullptr;
    HRESULT result = element->GetAttribute(name, &value);
    if (result == S_FALSE) {
        EXPECT_EQ(value, nullptr);
        return u"<missing>";
    }
    EXPECT_EQ(result, S_OK);
    WString text = value;
    CoTaskMemFree(value);
    return text;
}

std::vector<WString> AttributeOfEach(EngineXmlNodeList* list, const WCHAR* name)
{
    std::vector<WString> values;
    for (long i = 0; i < list->Length(); ++i)
        values.push_back(Attribute(ElementAt(list, i), name));
    return values;
}

std::string Nested(int depth)
{
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += "<a>";
    for (int i = 0; i < depth; ++i)
        text += "</a>";
    return text;
}

std::string Utf16(const std::u16string& text, bool bigEndian)
{
    std::string bytes = bigEndian ? std::string("\xFE\xFF", 2) : std::string("\xFF\xFE", 2);
    for (char16_t c : text) {
        char low = static_cast<char>(c & 0xFF);
        char high = static_cast<char>(c >> 8);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

const char* const kSkinList = R"(<?xml version="1.0" encoding="utf-8"?>
<Root.Config>
  <Skin>
    <Item n="1"><Item n="1.1"/></Item>
    <!-- a comment is no element -->
    <Item n="2" text="a &amp; b &lt;c&gt;" name="摄像头"/>
  </Skin>
  <Skin><Item n="3"/></Skin>
</Root.Config>)";

TEST_F(XmlDocumentTest, TagListsAreInDocumentOrderAndElementListsHoldOnlyDescendants)
{
    auto document = LoadText(kSkinList);
    auto items = ByTag(document, u"Item");
    EXPECT_EQ(AttributeOfEach(items, u"n"), (std::vector<WString> { u"1", u"1.1", u"2", u"3" }));
    EXPECT_EQ(ByTag(document, u"Root.Config")->Length(), 1);
    EXPECT_EQ(ByTag(document, u"item")->Length(), 0) << "tag names are case-sensitive";
    EXPECT_EQ(ByTag(document, u"*")->Length(), 7);

    auto skins = ByTag(document, u"Skin");
    ASSERT_EQ(skins->Length(), 2);
    ComPtr<EngineXmlNodeList> firstSkinItems;
    ASSERT_EQ(ElementAt(skins, 0)->GetElementsByTagName(u"Item", &firstSkinItems), S_OK);
    EXPECT_EQ(AttributeOfEach(firstSkinItems, u"n"), (std::vector<WString> { u"1", u"1.1", u"2" }));
    ComPtr<EngineXmlNodeList> notItself;
    ASSERT_EQ(ElementAt(firstSkinItems, 1)->GetElementsByTagName(u"Item", &notItself), S_OK);
    EXPECT_EQ(notItself->Length(), 0);

    ComPtr<EngineXmlNode> node;
    EXPECT_EQ(items->Item(4, &node), S_FALSE);
    EXPECT_EQ(node, nullptr);
    EXPECT_EQ(items->Item(-1, &node), S_FALSE);
}

TEST_F(XmlDocumentTest, AttributesAreFreshUtf16CopiesWithEntitiesResolved)
{
    auto document = LoadText(kSkinList);
    auto second = ElementAt(ByTag(document, u"Item"), 2);
    EXPECT_EQ(Attribute(second, u"text"), u"a & b <c>");
    EXPECT_EQ(Attribute(second, u"name"), u"摄像头");
    EXPECT_EQ(Attribute(second, u"Name"), u"<missing>");
    EXPECT_EQ(Attribute(second, u"absent"), u"<missing>");

    LPWSTR first = nullptr;
    LPWSTR again = nullptr;
    ASSERT_EQ(second->GetAttribute(u"n", &first), S_OK);
    ASSERT_EQ(second->GetAttribute(u"n", &again), S_OK);
    EXPECT_NE(first, again) << "each call hands out its own copy";
    CoTaskMemFree(first);
    CoTaskMemFree(again);
    EXPECT_EQ(second->GetAttribute(nullptr, &first), E_POINTER);
}

TEST_F(XmlDocumentTest, ListsAndElementsOutliveTheirDocumentAndItsNextLoad)
{
    auto document = LoadText(kSkinList);
    auto items = ByTag(document, u"Item");
    auto third = ElementAt(items, 2);
    BOOL loaded = TRUE;
    EXPECT_EQ(document->Load(m_scratch.Write("other.xml", "<x/>").c_str(), &loaded), S_OK);
    document.Reset();
    EXPECT_EQ(Attribute(third, u"n"), u"2");
    EXPECT_EQ(AttributeOfEach(items, u"n").size(), 4u);
}

TEST_F(XmlDocumentTest, Utf16FilesWithByteOrderMarkLoad)
{
    std::u16string text = u"<?xml version='1.0' encoding='utf-16'?><Facet.Config><DYNAMICSTATUSBAR TextColor='0xFF' Label='状态'/></Facet.Config>";
    for (bool bigEndian : { false, true }) {
        BOOL loaded = FALSE;
        auto document = Load(m_scratch.Write("utf16.xml", Utf16(text, bigEndian)), &loaded);
        ASSERT_TRUE(loaded) << (bigEndian ? "big-endian" : "little-endian");
        auto bar = ElementAt(ByTag(document, u"DYNAMICSTATUSBAR"), 0);
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(Attribute(bar, u"TextColor"), u"0xFF");
        EXPECT_EQ(Attribute(bar, u"Label"), u"状态");
    }
    // UTF-8 with a byte-order mark, declared as UTF-16 the way the program's files are.
    auto document = LoadText("\xEF\xBB\xBF<?xml version='1.0' encoding='utf-16'?><r a='\xC3\xA9'/>");
    EXPECT_EQ(Attribute(ElementAt(ByTag(document, u"r"), 0), u"a"), u"é");
}

TEST_F(XmlDocumentTest, BadFilesAreNotLoadedAndLeaveTheDocumentEmpty)
{
    EXPECT_FALSE(Loads("<a><b></a>"));
    EXPECT_FALSE(Loads("<a attr='1></a>"));
    EXPECT_FALSE(Loads(""));
    EXPECT_FALSE(Loads("<!-- only a comment -->"));
    EXPECT_FALSE(Loads(std::string("\0\0\0\0", 4)));
    EXPECT_FALSE(Loads(Nested(300)));
    EXPECT_TRUE(Loads(Nested(200)));

    BOOL loaded = TRUE;
    HRESULT result = S_OK;
    Load(m_scratch.Wide("missing.xml"), &loaded, &result);
    EXPECT_FALSE(loaded);
    EXPECT_NE(result, S_OK);
    Load(WidePath(m_scratch.Path()), &loaded, &result);
    EXPECT_FALSE(loaded) << "a folder is no document";

    // Over 16 MiB: refused before anything is read (a sparse file costs no disk).
    auto huge = m_scratch.File("huge.xml");
    std::ofstream(huge) << "<a>";
    std::filesystem::resize_file(huge, 17 * 1024 * 1024);
    Load(WidePath(huge), &loaded, &result);
    EXPECT_FALSE(loaded);

    // A failed load empties a document that held a tree.
    auto document = LoadText(kSkinList);
    EXPECT_EQ(document->Load(m_scratch.Write("bad.xml", "<a>").c_str(), &loaded), S_FALSE);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(ByTag(document, u"Item")->Length(), 0);
}

TEST_F(XmlDocumentTest, ManyElementsAreRefusedBeforeTheTreeIsBuilt)
{
    std::string flat = "<r>";
    for (int i = 0; i < 1100 * 1024; ++i)
        flat += "<a/>";
    flat += "</r>";
    EXPECT_FALSE(Loads(flat));
}

TEST_F(XmlDocumentTest, LoadOptionsAreKeptOnlyForKnownOptions)
{
    ComPtr<EngineXmlDocument> document;
    ASSERT_EQ(FacetEngine()->CreateXmlDocument(&document), S_OK);
    EXPECT_EQ(document->SetLoadOption(0, FALSE), S_OK);
    EXPECT_EQ(document->SetLoadOption(1, TRUE), S_OK);
    EXPECT_EQ(document->SetLoadOption(2, TRUE), E_INVALIDARG);
    EXPECT_EQ(document->SetLoadOption(-1, TRUE), E_INVALIDARG);
    ComPtr<EngineXmlNodeList> list;
    EXPECT_EQ(document->GetElementsByTagName(u"a", &list), S_OK) << "an empty document gives an empty list";
    EXPECT_EQ(list->Length(), 0);
    EXPECT_EQ(FacetEngine()->CreateXmlDocument(nullptr), E_POINTER);
}

} // namespace
