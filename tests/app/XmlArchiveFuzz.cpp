#include "XmlArchiveFuzz.h"

#include "FakeEngine.h"
#include "app/XmlArchive.h"

#include <pugixml.hpp>

#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <vector>

namespace {

const char* const kNames[] = {"Root.Config", "Skin", "Item", "Facet.Config", "DYNAMICSTATUSBAR", "a", "b.c"};
constexpr size_t kNameCount = sizeof kNames / sizeof kNames[0];
constexpr char kNumberAlphabet[] = " 0xX-+19aAfFgz";
constexpr int kDefault = -77;

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, size_t size) : m_data(data), m_size(size) { }
    unsigned Next() { return m_position < m_size ? m_data[m_position++] : 0; }
    bool AtEnd() const { return m_position >= m_size; }

private:
    const std::uint8_t* m_data;
    size_t m_size;
    size_t m_position = 0;
};

// A private folder for the document files, removed when the program ends.
class WorkFolder {
public:
    WorkFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumo-xmlfuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~WorkFolder()
    {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

const std::string& WorkFolderPath()
{
    static const WorkFolder folder;
    return folder.Path();
}

std::vector<pugi::xml_node> Descendants(pugi::xml_node from, const std::string& name)
{
    std::vector<pugi::xml_node> found;
    for (const pugi::xpath_node& node : from.select_nodes(("descendant::*[name()='" + name + "']").c_str()))
        found.push_back(node.node());
    return found;
}

// The rule as written: separators split, empty segments vanish, each later segment searches below
// the first element found so far; XPath does the searching here.
std::vector<pugi::xml_node> ModelFind(const pugi::xml_document& document, const std::string& path)
{
    if (path.empty() || path.size() > 2048)
        return {};
    std::vector<std::string> segments;
    std::string segment;
    for (char c : path + "/") {
        if (c != '/' && c != '\\') {
            segment += c;
            continue;
        }
        if (!segment.empty())
            segments.push_back(segment);
        segment.clear();
    }
    if (segments.empty())
        return {};
    std::vector<pugi::xml_node> list = Descendants(document, segments[0]);
    for (size_t i = 1; i < segments.size() && !list.empty(); ++i)
        list = Descendants(list.front(), segments[i]);
    return list;
}

int ModelNumber(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t");
    std::string rest = first == std::string::npos ? std::string() : text.substr(first);
    if (rest.size() >= 3 && rest.size() <= 10 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
        size_t end = 2;
        while (end < rest.size() && std::isxdigit(static_cast<unsigned char>(rest[end])))
            ++end;
        if (end == 2)
            return 0;
        return static_cast<int>(static_cast<std::uint32_t>(std::stoul(rest.substr(2, end - 2), nullptr, 16)));
    }
    std::smatch match;
    static const std::regex decimal("^[+-]?[0-9]*");
    std::regex_search(rest, match, decimal);
    long long value = std::strtoll(match.str().c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

// One character per UTF-16 unit, so lengths count as the rule counts them; other than ASCII is '?'.
std::string AsciiUnits(WStringView text)
{
    std::string ascii;
    for (WCHAR unit : text)
        ascii += unit < 0x80 ? static_cast<char>(unit) : '?';
    return ascii;
}

std::string RandomNumberText(ByteReader& reader)
{
    std::string text;
    for (unsigned length = reader.Next() % 13; length > 0; --length)
        text += kNumberAlphabet[reader.Next() % (sizeof kNumberAlphabet - 1)];
    return text;
}

std::string RandomPath(ByteReader& reader)
{
    std::string path;
    for (unsigned segments = reader.Next() % 5; segments > 0; --segments) {
        unsigned pick = reader.Next();
        path += pick % 4 == 0 ? "\\" : "/";
        if (pick % 7 == 0)
            path += "/";
        path += pick % 11 == 0 ? "Zz" : kNames[(pick >> 3) % kNameCount];
    }
    if (!path.empty() && reader.Next() % 3 != 0)
        path.erase(0, 1);
    // Now and then padded by separators to the edge of the length limit.
    if (reader.Next() % 8 == 0) {
        size_t length = 2046 + reader.Next() % 5;
        if (path.size() < length)
            path.insert(0, length - path.size(), '/');
    }
    return path;
}

// The archive hands out text as UTF-16, so bytes of an id that are not UTF-8 come back as U+FFFD.
std::string IdsOf(const std::vector<pugi::xml_node>& nodes)
{
    std::string ids;
    for (const pugi::xml_node& node : nodes)
        ids += (node.attribute("id") ? WideToUtf8(Utf8ToWide(node.attribute("id").value())) : std::string("?")) + ",";
    return ids;
}

std::string IdsOf(const CXMLArchiveItemList& list)
{
    std::string ids;
    for (long i = 0; i < list.GetLength(); ++i)
        ids += WideToUtf8(CXMLArchive::GetAttributeText(CXMLArchive::Item(list, i), u"id", u"?")) + ",";
    return ids;
}

// Any UTF-16 units: the rule must read only ASCII blanks, signs, "0x" and digits.
std::string CheckParseNumber(ByteReader& reader)
{
    static const WCHAR kUnits[] = u" \t0xX-+19aAfFgz\u0663\uFF10\u00A0";
    WString text;
    for (unsigned length = reader.Next() % 14; length > 0; --length)
        text += kUnits[reader.Next() % (std::size(kUnits) - 1)];
    int got = CXMLArchive::ParseNumber(text);
    int expected = ModelNumber(AsciiUnits(text));
    if (got == expected)
        return {};
    return "ParseNumber(\"" + WideToUtf8(text) + "\") gave " + std::to_string(got) + ", expected " + std::to_string(expected);
}

std::string CheckDocument(const pugi::xml_document& document, const std::string& file, ByteReader& reader)
{
    FakeEngine engine;
    CXMLArchive archive;
    if (!archive.Open(nullptr, Utf8ToWide(file).c_str(), CXMLArchive::kModeRead))
        return {};
    for (int i = 0; i < 6; ++i) {
        std::string path = RandomPath(reader);
        std::string got = IdsOf(archive.Find(Utf8ToWide(path).c_str()));
        std::string expected = IdsOf(ModelFind(document, path));
        if (got != expected)
            return "Find(\"" + path + "\") gave [" + got + "], expected [" + expected + "]";
    }
    for (const char* name : kNames) {
        CXMLArchiveItemList list = archive.Find(Utf8ToWide(name).c_str());
        std::vector<pugi::xml_node> model = ModelFind(document, name);
        if (list.GetLength() != static_cast<long>(model.size()))
            return std::string("Find(\"") + name + "\") has a wrong length";
        for (long i = 0; i < list.GetLength(); ++i) {
            pugi::xml_attribute attribute = model[static_cast<size_t>(i)].attribute("v");
            int expected = !attribute || !*attribute.value() ? kDefault : ModelNumber(AsciiUnits(Utf8ToWide(attribute.value())));
            int got = CXMLArchive::GetAttributeNumber(CXMLArchive::Item(list, i), u"v", kDefault);
            if (got != expected)
                return std::string("number of \"") + attribute.value() + "\" gave " + std::to_string(got)
                    + ", expected " + std::to_string(expected);
        }
    }
    return {};
}

} // namespace

std::string CheckXmlArchiveOnInput(const std::uint8_t* data, std::size_t size)
{
    if (WorkFolderPath().empty())
        return "no work folder";
    ByteReader reader(data, size);
    std::string file = WorkFolderPath() + "/document.xml";
    pugi::xml_document document;
    if (reader.Next() & 0x80) {
        std::string bytes(reinterpret_cast<const char*>(data) + 1, size > 0 ? size - 1 : 0);
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
        document.load_file(file.c_str());
    } else {
        // Every element is a Root.Config, Skin, ... below one of the elements made before it.
        std::vector<pugi::xml_node> elements{document.append_child("Root.Config")};
        for (unsigned count = reader.Next() % 24; count > 0; --count) {
            pugi::xml_node parent = elements[reader.Next() % elements.size()];
            unsigned pick = reader.Next();
            pugi::xml_node element = parent.append_child(kNames[pick % kNameCount]);
            if (pick & 0x80)
                element.append_attribute("v") = RandomNumberText(reader).c_str();
            elements.push_back(element);
        }
        int id = 0;
        for (pugi::xml_node& element : elements)
            element.prepend_attribute("id") = id++;
        document.save_file(file.c_str());
    }
    std::string failure = CheckDocument(document, file, reader);
    if (failure.empty())
        failure = CheckParseNumber(reader);
    if (failure.empty() && FakeXmlObjectsAlive() != 0)
        failure = "document objects left alive";
    return failure;
}
