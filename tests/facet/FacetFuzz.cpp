#include "FacetFuzz.h"

#include "FacetTestSupport.h"
#include "platform/sys/Com.h"

namespace {

const ScratchFolder& Scratch()
{
    static const ScratchFolder scratch;
    return scratch;
}

std::string Bytes(const std::uint8_t* data, std::size_t size)
{
    return size ? std::string(reinterpret_cast<const char*>(data), size) : std::string();
}

// A new file for every input: rewriting one file in place makes the file system flush it each time.
class InputFile {
public:
    InputFile(const char* extension, const std::string& bytes)
        : m_name("input-" + std::to_string(++s_count) + extension)
        , m_path(Scratch().Write(m_name, bytes))
    {
    }
    ~InputFile()
    {
        std::error_code ignored;
        std::filesystem::remove(Scratch().File(m_name), ignored);
    }
    const WString& Path() const { return m_path; }
    std::string Read() const { return ReadAll(Scratch().File(m_name)); }

private:
    static inline unsigned s_count = 0;
    std::string m_name;
    WString m_path;
};

// Walks at most `budget` elements of a list: every item is an element, and its attributes read back.
std::string CheckList(EngineXmlNodeList* list, int& budget)
{
    long length = list->Length();
    if (length < 0)
        return "negative list length";
    for (long i = 0; i < length && budget > 0; ++i, --budget) {
        ComPtr<EngineXmlNode> node;
        if (list->Item(i, &node) != S_OK || !node)
            return "item " + std::to_string(i) + " of " + std::to_string(length) + " is missing";
        ComPtr<EngineXmlElement> element;
        if (node->AsElement(&element) != S_OK || !element)
            return "a listed node is no element";
        for (const WCHAR* name : { u"TextColor", u"SkinPath", u"a", u"" }) {
            LPWSTR value = nullptr;
            HRESULT result = element->GetAttribute(name, &value);
            if ((result == S_OK) != (value != nullptr) || (result != S_OK && result != S_FALSE))
                return "GetAttribute answered " + std::to_string(result);
            CoTaskMemFree(value);
        }
        ComPtr<EngineXmlNodeList> below;
        if (i < 4 && element->GetElementsByTagName(u"*", &below) == S_OK && below->Length() >= length)
            return "an element has as many descendants as the whole list";
    }
    if (ComPtr<EngineXmlNode> past; list->Item(length, &past) != S_FALSE || past)
        return "an item past the end was handed out";
    return {};
}

} // namespace

std::string CheckXmlDocumentOnInput(const std::uint8_t* data, std::size_t size, bool* wasLoaded)
{
    EngineMain* engine = FacetEngine();
    if (!engine)
        return "the engine did not load";
    InputFile file(".xml", Bytes(data, size));
    ComPtr<EngineXmlDocument> document;
    if (engine->CreateXmlDocument(&document) != S_OK)
        return "no document";
    document->SetLoadOption(0, TRUE);
    document->SetLoadOption(1, FALSE);
    BOOL loaded = FALSE;
    HRESULT result = document->Load(file.Path().c_str(), &loaded);
    if (wasLoaded)
        *wasLoaded = loaded == TRUE;
    if ((result == S_OK) != (loaded == TRUE))
        return "Load answered " + std::to_string(result) + " with loaded " + std::to_string(loaded);
    ComPtr<EngineXmlNodeList> all;
    if (document->GetElementsByTagName(u"*", &all) != S_OK || !all)
        return "no list";
    if (!loaded && all->Length() != 0)
        return "a document that did not load has elements";
    if (loaded && all->Length() == 0)
        return "a loaded document has no element";
    int budget = 2000;
    return CheckList(all, budget);
}

std::string CheckPackageOnInput(const std::uint8_t* data, std::size_t size)
{
    EngineMain* engine = FacetEngine();
    if (!engine)
        return "the engine did not load";
    std::string input = Bytes(data, size);
    InputFile file(".ui", input);
    EnginePackage* package = engine->GetPackage();
    HRESULT opened = package->Open(nullptr, file.Path().c_str());
    std::string failure;
    for (const WCHAR* name : { u"facet.xml", u"dir/b.txt", u"Pictures\\Logo.png", u"../evil.txt", u"big.bin" }) {
        long declared = package->GetPackedSize(0, name);
        if (declared < 0 || declared > 16 * 1024 * 1024 || (FAILED(opened) && declared != 0)) {
            failure = "GetPackedSize answered " + std::to_string(declared);
            break;
        }
        std::string buffer(static_cast<size_t>(declared) + 1, '\0');
        long read = package->ReadPacked(0, name, reinterpret_cast<BYTE*>(buffer.data()), static_cast<long>(buffer.size()));
        if (read != 0 && read != declared) {
            failure = "ReadPacked gave " + std::to_string(read) + " of " + std::to_string(declared) + " bytes";
            break;
        }
    }
    // Every input starts from no package at all.
    engine->Terminate();
    if (failure.empty() && file.Read() != input)
        failure = "the package file was changed";
    return failure;
}
