// The suite's libraries as the build made them, loaded the way the program loads them.
#include "TrustTestSupport.h"

#include "app/Language.h"
#include "platform/sys/Module.h"
#include "suite/SuiteInterfaces.h"
#include "suite/Trust.h"
#include "tests/support/ToolRunner.h"

using namespace trust_test;

namespace {

template <class Function>
Function Export(const std::string& library, const char* name)
{
    HMODULE module = LoadSignedLibrary(Utf8ToWide(library).c_str());
    EXPECT_NE(module, nullptr) << library << " is not loaded as signed";
    return module ? reinterpret_cast<Function>(GetProcAddress(module, name)) : nullptr;
}

I18NLanguage* Language()
{
    auto create = Export<CreateI18NFunction>(std::string(LUMO_BUILD_SHARED_SUITE_DIR) + "/I18N.so", "CreateI18N");
    I18NLanguage* language = nullptr;
    if (create)
        create(&language);
    return language;
}

void SetLocale(const char* all, const char* messages, const char* lang)
{
    for (auto [name, value] : {std::pair {"LC_ALL", all}, {"LC_MESSAGES", messages}, {"LANG", lang}}) {
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
}

} // namespace

TEST(LanguageLibrary, TakesTheLanguageFromTheFirstLocaleVariableThatIsSet)
{
    I18NLanguage* language = Language();
    ASSERT_NE(language, nullptr);
    SetLocale("zh_CN.UTF-8", "de_DE.UTF-8", "fr_FR.UTF-8");
    EXPECT_EQ(language->GetLanguage(), 0x0804);
    SetLocale("", "de_DE.UTF-8", "zh_CN.UTF-8");
    EXPECT_EQ(language->GetLanguage(), 0x0407) << "an empty LC_ALL is passed over";
    SetLocale(nullptr, nullptr, "zh_TW.Big5@stroke");
    EXPECT_EQ(language->GetLanguage(), 0x0404);
    SetLocale(nullptr, nullptr, "zh");
    EXPECT_EQ(language->GetLanguage(), 0x0804) << "a language without its region gets the default region";
    SetLocale(nullptr, nullptr, "en_NZ.UTF-8");
    EXPECT_EQ(language->GetLanguage(), 0x0409);
    for (const char* none : {"C", "POSIX", "C.UTF-8", "xx_YY", ""}) {
        SetLocale(nullptr, nullptr, none);
        EXPECT_EQ(language->GetLanguage(), 0) << none;
    }
}

TEST(LanguageLibrary, NamesTheProgramsResourceLibraryOnlyWhenOneExistsForTheLanguage)
{
    I18NLanguage* language = Language();
    ASSERT_NE(language, nullptr);
    WString suite = Utf8ToWide(LUMO_BUILD_SHARED_SUITE_DIR);
    language->SetSuiteFolder(suite.c_str());
    WString program = Utf8ToWide(std::string(LUMO_BUILD_PROGRAM_DIR) + "/TernCamlet");
    WCHAR path[1024] = {};
    ASSERT_NE(language->GetResourceLibraryPath(program.c_str(), 0x0804, 0, path, 1024), 0);
    std::string expected = std::string(LUMO_BUILD_SHARED_SUITE_DIR) + "/zh_CN/TernCamlet.res.so";
    EXPECT_EQ(WideToUtf8(ToView(path)), expected);
    EXPECT_TRUE(IsSignedFile(path)) << "the build signs the resource library";
    HMODULE module = LoadSignedLibrary(path);
    ASSERT_NE(module, nullptr);
    using LanguageFunction = int (*)();
    auto which = reinterpret_cast<LanguageFunction>(GetProcAddress(module, "LumoResourceLanguage"));
    ASSERT_NE(which, nullptr);
    EXPECT_EQ(which(), 0x0804);

    WCHAR untouched[1024] = u"unchanged";
    EXPECT_EQ(language->GetResourceLibraryPath(program.c_str(), 0x0407, 0, untouched, 1024), 0) << "no German library";
    EXPECT_EQ(language->GetResourceLibraryPath(program.c_str(), 0, 0, untouched, 1024), 0);
    WString other = Utf8ToWide(std::string(LUMO_BUILD_PROGRAM_DIR) + "/Other");
    EXPECT_EQ(language->GetResourceLibraryPath(other.c_str(), 0x0804, 0, untouched, 1024), 0) << "another program";
    EXPECT_EQ(language->GetResourceLibraryPath(program.c_str(), 0x0804, 0, untouched, 20), 0) << "a path cut short";
}

TEST(IdentifierLibrary, DerivesA32DigitIdentifierFromTheMachineIdByAKeyedHash)
{
    auto getCIDW = Export<GetCIDWFunction>(std::string(LUMO_BUILD_SUITE_DIR) + "/Dizivevivu.so", "GetCIDW");
    ASSERT_NE(getCIDW, nullptr);
    TempFolder folder;
    auto identifierOf = [&](const std::string& machineId) {
        std::ofstream(folder / "machine-id", std::ios::trunc) << machineId;
        setenv("LUMO_MACHINE_ID_FILE", (folder / "machine-id").c_str(), 1);
        WCHAR buffer[100] = {};
        return getCIDW(buffer, 100) ? WideToUtf8(ToView(buffer)) : std::string("none");
    };
    std::string first = identifierOf("3d1219c7c4c5404aaa1f6d2a48adfda4\n");
    EXPECT_EQ(first.size(), 32u);
    EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), std::string::npos) << first;
    EXPECT_NE(first, "3d1219c7c4c5404aaa1f6d2a48adfda4");
    // The same id with other line endings gives the same identifier; another id another one.
    EXPECT_EQ(identifierOf("3d1219c7c4c5404aaa1f6d2a48adfda4"), first);
    EXPECT_EQ(identifierOf(" 3d1219c7c4c5404aaa1f6d2a48adfda4 \r\n"), first);
    EXPECT_NE(identifierOf("3d1219c7c4c5404aaa1f6d2a48adfda5\n"), first);
    EXPECT_EQ(identifierOf(""), "none") << "an empty file";
    EXPECT_EQ(identifierOf("\n"), "none");
    setenv("LUMO_MACHINE_ID_FILE", (folder / "missing").c_str(), 1);
    WCHAR buffer[100] = {};
    EXPECT_EQ(getCIDW(buffer, 100), 0) << "no file";
    std::ofstream(folder / "machine-id", std::ios::trunc) << "3d1219c7c4c5404aaa1f6d2a48adfda4\n";
    setenv("LUMO_MACHINE_ID_FILE", (folder / "machine-id").c_str(), 1);
    EXPECT_EQ(getCIDW(buffer, 32), 0) << "no room for the terminator";
    EXPECT_NE(getCIDW(buffer, 33), 0);
}

TEST(CommonLibrary, TheSenderSpoolsEachUrlAsOneLine)
{
    auto instance = Export<GetTernCommonInstanceFunction>(std::string(LUMO_BUILD_PROGRAM_DIR) + "/TernCommon.so",
        "GetTernCommonInstance");
    ASSERT_NE(instance, nullptr);
    TempFolder folder;
    setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1);
    TernCommonServices* services = instance();
    ASSERT_NE(services, nullptr);
    TernStatSender* sender = services->GetStatSender();
    ASSERT_NE(sender, nullptr);
    EXPECT_EQ(sender, services->GetStatSender()) << "one sender for the process";
    int sentBefore = sender->GetSentCount();
    EXPECT_EQ(sender->Send(u"http://a.example/1?m=x&zt=-5"), 1);
    EXPECT_EQ(sender->Send(u"http://a.example/2?\u4e2d"), 1);
    EXPECT_EQ(sender->Send(u"http://a.example/3\nhttp://injected"), 0) << "a line break would make two requests";
    EXPECT_EQ(sender->Send(u""), 0);
    EXPECT_EQ(sender->GetSentCount(), sentBefore + 2);
    WCHAR spool[260] = {};
    ASSERT_EQ(sender->GetSpoolPath(spool, 260), 1);
    EXPECT_EQ(WideToUtf8(ToView(spool)), (folder / "state" / "lumo" / "statistics.spool").string());
    std::ifstream in(folder / "state" / "lumo" / "statistics.spool");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "http://a.example/1?m=x&zt=-5\nhttp://a.example/2?\xe4\xb8\xad\n");
    EXPECT_EQ(fs::status(folder / "state" / "lumo").permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST(SiblingProgram, RecordsOnlyTheOpenGlintRequest)
{
    TempFolder folder;
    setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1);
    std::string program = std::string(LUMO_BUILD_PROGRAM_DIR) + "/TernLensward";
    EXPECT_TRUE(IsSignedFile(Utf8ToWide(program).c_str()));
    EXPECT_EQ(RunProgram({program, "openglint"}), 2);
    EXPECT_EQ(RunProgram({program}), 2);
    EXPECT_FALSE(fs::exists(folder / "state" / "lumo" / "lensward.log"));
    EXPECT_EQ(RunProgram({program, "OpenGlint"}), 0);
    std::ifstream in(folder / "state" / "lumo" / "lensward.log");
    std::string line;
    ASSERT_TRUE(std::getline(in, line));
    // "2026-12-09T08:04:08Z OpenGlint"
    ASSERT_EQ(line.size(), 30u) << line;
    EXPECT_EQ(line.substr(10, 1), "T");
    EXPECT_EQ(line.substr(19), "Z OpenGlint");
}
