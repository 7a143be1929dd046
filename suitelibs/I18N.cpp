// The suite's language library: which language the user reads, and the language resource library
// of a program for it. A program's resource library for language L is
// "<suite folder>/<L's locale name>/<program file name>.res.so", used only when it exists.
#include "app/Language.h"
#include "platform/base/Strings.h"

#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

struct Language {
    int id;
    std::string_view locale;
};

// Selectors are the suite's language numbers; the first entry of a language is its default region.
constexpr Language kLanguages[] = {
    {0x0804, "zh_CN"}, {0x0404, "zh_TW"}, {0x0C04, "zh_HK"}, {0x1004, "zh_SG"},
    {0x0409, "en_US"}, {0x0809, "en_GB"},
    {0x0407, "de_DE"}, {0x040C, "fr_FR"}, {0x0410, "it_IT"}, {0x0C0A, "es_ES"},
    {0x0411, "ja_JP"}, {0x0412, "ko_KR"}, {0x0419, "ru_RU"}, {0x0416, "pt_BR"},
};
constexpr int kNoLanguage = 0;

// The first of LC_ALL, LC_MESSAGES and LANG that is set and not empty, as the C library reads them.
std::string_view UserLocale()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return value;
    }
    return {};
}

// "zh_CN.UTF-8@stroke" reads as "zh_CN"; a locale of a known language with an unknown or no
// region gets the language's default region.
int SelectorOf(std::string_view locale)
{
    locale = locale.substr(0, locale.find_first_of(".@"));
    for (const Language& language : kLanguages) {
        if (language.locale == locale)
            return language.id;
    }
    std::string_view code = locale.substr(0, locale.find('_'));
    if (code.size() < 2)
        return kNoLanguage;
    for (const Language& language : kLanguages) {
        if (language.locale.substr(0, language.locale.find('_')) == code)
            return language.id;
    }
    return kNoLanguage;
}

std::string_view LocaleOf(int selector)
{
    for (const Language& language : kLanguages) {
        if (language.id == selector)
            return language.locale;
    }
    return {};
}

bool IsRegularFile(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

class CLanguageLibrary final : public I18NLanguage {
public:
    void SetSuiteFolder(LPCWSTR folder) override { m_suiteFolder = folder ? WideToUtf8(ToView(folder)) : std::string(); }

    int GetLanguage() override { return SelectorOf(UserLocale()); }

    int GetResourceLibraryPath(LPCWSTR programPath, int language, int, LPWSTR buffer, int capacity) override
    {
        std::string_view locale = LocaleOf(language);
        if (locale.empty() || m_suiteFolder.empty() || !programPath || !buffer || capacity <= 0)
            return 0;
        std::string program = WideToUtf8(ToView(programPath));
        std::string name = program.substr(program.find_last_of("/\\") + 1);
        if (name.empty())
            return 0;
        std::string path = m_suiteFolder + "/" + std::string(locale) + "/" + name + ".res.so";
        if (!IsRegularFile(path))
            return 0;
        return CopyToBuffer(Utf8ToWide(path), buffer, static_cast<size_t>(capacity)) ? 1 : 0;
    }

private:
    std::string m_suiteFolder;
};

} // namespace

extern "C" void CreateI18N(I18NLanguage** language)
{
    static CLanguageLibrary library;
    if (language)
        *language = &library;
}
