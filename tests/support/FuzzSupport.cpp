#include "FuzzSupport.h"

#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace fuzz {

namespace {

class Folder {
public:
    Folder()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/lumo-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~Folder()
    {
        if (m_path.empty())
            return;
        nftw(
            m_path.c_str(), [](const char* path, const struct stat*, int, struct FTW*) { return remove(path); }, 16,
            FTW_DEPTH | FTW_PHYS);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace

WString Units(const std::uint8_t* data, std::size_t size)
{
    WString units(size / 2, u'\0');
    if (!units.empty())
        std::memcpy(units.data(), data, units.size() * sizeof(WCHAR));
    return units;
}

const std::string& ScratchFolder()
{
    static const Folder folder;
    return folder.Path();
}

bool WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

void Fail(const std::string& rule)
{
    std::fprintf(stderr, "rule broken: %s\n", rule.c_str());
    std::abort();
}

} // namespace fuzz
