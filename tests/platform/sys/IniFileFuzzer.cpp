// libFuzzer target: INI files. The input is the file; every section and key it lists reads, and a
// written key reads back while every other key keeps its value.
#include "platform/sys/IniFile.h"
#include "support/FuzzSupport.h"

#include "platform/base/Strings.h"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

namespace {

// Every read parses the file again: a few names of each list stand for all of them.
constexpr size_t kNamesRead = 12;
constexpr WCHAR kMissing[] = u"<missing>";
constexpr WCHAR kWrittenKey[] = u"LumoFuzzKey";
constexpr WCHAR kWrittenValue[] = u"written value";

// Room for any list or value of a file of that many bytes (each name takes a terminator).
DWORD g_bufferUnits = 0;

// A list of NUL-terminated names ending with a second NUL.
std::vector<WString> Names(const WString& file, LPCWSTR section)
{
    std::vector<WCHAR> buffer(g_bufferUnits);
    DWORD length = GetPrivateProfileStringW(section, nullptr, u"", buffer.data(), g_bufferUnits, file.c_str());
    fuzz::Check(length < g_bufferUnits - 1, "a list fits the buffer");
    fuzz::Check(buffer[length] == 0 && (length == 0 || buffer[length - 1] == 0), "a list ends with two NULs");
    std::vector<WString> names;
    for (DWORD at = 0; at < length;) {
        WString name(buffer.data() + at);
        at += static_cast<DWORD>(name.size()) + 1;
        names.push_back(std::move(name));
    }
    return names;
}

WString Value(const WString& file, const WString& section, const WString& key)
{
    std::vector<WCHAR> buffer(g_bufferUnits);
    DWORD length = GetPrivateProfileStringW(section.c_str(), key.c_str(), kMissing, buffer.data(), g_bufferUnits, file.c_str());
    fuzz::Check(length < g_bufferUnits && buffer[length] == 0, "a value is terminated where its length says");
    return WString(buffer.data(), length);
}

using Values = std::map<std::pair<WString, WString>, WString>;

Values ReadAll(const WString& file, std::vector<WString>& sections)
{
    sections = Names(file, nullptr);
    Values values;
    for (size_t i = 0; i < sections.size() && i < kNamesRead; ++i) {
        const WString& section = sections[i];
        std::vector<WString> keys = Names(file, section.c_str());
        keys.resize(std::min(keys.size(), kNamesRead));
        for (const WString& key : keys) {
            WString value = Value(file, section, key);
            values.emplace(std::make_pair(section, key), value);
            GetPrivateProfileIntW(section.c_str(), key.c_str(), -1, file.c_str());
        }
    }
    return values;
}

bool SameName(const WString& a, const WString& b)
{
    return lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = fuzz::ScratchFolder() + "/camera.ini";
    fuzz::Check(fuzz::WriteFile(path, fuzz::Text(data, size)), "the input file is written");
    const WString file = Utf8ToWide(path);
    g_bufferUnits = static_cast<DWORD>(2 * size + 64);

    std::vector<WString> sections;
    Values before = ReadAll(file, sections);

    // Writes cut a name at a line break and names are read trimmed, so the key goes to the first
    // section a caller can name. (A listed name may also be the piece of a name before a NUL.)
    WString target = u"Lumo";
    for (const WString& section : sections) {
        bool blankEdge = !section.empty() && (section.front() == u' ' || section.front() == u'\t'
            || section.back() == u' ' || section.back() == u'\t');
        if (!blankEdge && section.find_first_of(u"\r\n") == WString::npos) {
            target = section;
            break;
        }
    }
    fuzz::Check(WritePrivateProfileStringW(target.c_str(), kWrittenKey, kWrittenValue, file.c_str()) == TRUE, "a key is written");
    fuzz::Check(Value(file, target, kWrittenKey) == kWrittenValue, "a written key reads back");

    std::vector<WString> sectionsAfter;
    Values after = ReadAll(file, sectionsAfter);
    for (const auto& [name, value] : before) {
        if (SameName(name.first, target) && SameName(name.second, kWrittenKey))
            continue;
        auto found = after.find(name);
        fuzz::Check(found != after.end(), "a key not written is still listed");
        fuzz::Check(found->second == value, "a key not written keeps its value");
    }
    return 0;
}
