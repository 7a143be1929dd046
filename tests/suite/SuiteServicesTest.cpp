// The suite's services seen from outside the program: a copy of a small driver program is laid out
// as the program is installed, with the suite's real libraries and sibling program beside it, and
// what it leaves behind (the statistics spool, the sibling program's log, the file manager's
// requests, the desktop entry) is read back.
#include "TrustTestSupport.h"

#include "platform/sys/Module.h"
#include "platform/sys/Registry.h"
#include "suite/SuiteInterfaces.h"
#include "suite/SuiteServices.h"
#include "tests/support/ToolRunner.h"

#include <chrono>
#include <sstream>
#include <thread>

using namespace trust_test;

namespace {

constexpr const char* kUrlPrefix = "http://stat.ternshield.example/tern/?stype=lensward_camlet&type=";

std::vector<std::string> ReadLines(const fs::path& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void CopyWithSignature(const fs::path& from, const fs::path& to)
{
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    fs::copy_file(SignaturePath(from), SignaturePath(to), fs::copy_options::overwrite_existing);
}

// The file's lines once it holds `expected` of them, or what it holds when the watchdog ends; for an
// expected 0 a program on its way is given time to write.
std::vector<std::string> WaitForLines(const fs::path& path, size_t expected)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(expected ? 10000 : 700);
    while (std::chrono::steady_clock::now() < deadline && (expected == 0 || ReadLines(path).size() < expected))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return ReadLines(path);
}

// The suite's folders under `base`, the driver copied in as the program.
class SuiteLayout {
public:
    explicit SuiteLayout(const std::string& padding = "")
    {
        m_base = padding.empty() ? m_root.Path() : m_root.Path() / padding;
        m_suite = m_base / "suite";
        m_program = m_suite / "watchcore" / "CameraProtect";
        fs::create_directories(m_program / "shell" / "system");
        fs::create_directories(Root() / "registry");
        fs::copy_file(LUMO_SUITE_SERVICES_CHILD, ProgramFile());
        CopyWithSignature(fs::path(LUMO_BUILD_PROGRAM_DIR) / "TernCommon.so", m_program / "TernCommon.so");
        CopyWithSignature(fs::path(LUMO_BUILD_PROGRAM_DIR) / "TernLensward", m_program / "TernLensward");
        fs::create_symlink(fs::path(LUMO_BUILD_PROGRAM_DIR) / "shell" / "explorer.exe", m_program / "shell" / "explorer.exe");
        std::ofstream(Root() / "machine-id") << "0123456789abcdef0123456789abcdef\n";

        setenv("HOME", Root().c_str(), 1);
        setenv("LUMO_MACHINE_REGISTRY", (Root() / "registry").c_str(), 1);
        setenv("LUMO_MACHINE_ID_FILE", (Root() / "machine-id").c_str(), 1);
        setenv("LUMO_SHELL_OPEN_LOG", (Root() / "shell.log").c_str(), 1);
        setenv("XDG_STATE_HOME", (Root() / "state").c_str(), 1);
        setenv("XDG_DATA_HOME", (Root() / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (Root() / "config").c_str(), 1);
    }

    const fs::path& Root() const { return m_root.Path(); }
    const fs::path& Suite() const { return m_suite; }
    const fs::path& ProgramFolder() const { return m_program; }
    fs::path ProgramFile() const { return m_program / "TernCamlet"; }
    fs::path DesktopEntry() const { return Root() / "data" / "applications" / "Lumo.desktop"; }

    void SetSuiteFolder(const fs::path& folder) const
    {
        WString text = Wide(folder);
        ASSERT_EQ(SHSetValueW(HKEY_LOCAL_MACHINE, kSuiteAppPathsKey, u"Path", REG_SZ, text.c_str(),
                      static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR))),
            ERROR_SUCCESS);
    }
    void SetOpenGlint(DWORD value) const
    {
        ASSERT_EQ(SHSetValueW(HKEY_LOCAL_MACHINE, kLenswardSwitchKey, u"openglint", REG_DWORD, &value, sizeof value),
            ERROR_SUCCESS);
    }
    void PlaceIdentifierLibrary(const fs::path& folder) const
    {
        CopyWithSignature(fs::path(LUMO_BUILD_SUITE_DIR) / "Dizivevivu.so", folder / "Dizivevivu.so");
    }

    // Runs the program with these steps; its answers, without the closing count of message boxes.
    std::vector<std::string> Run(std::vector<std::string> steps, int* exitCode = nullptr, int* boxes = nullptr) const
    {
        fs::path output = Root() / "output.txt";
        fs::remove(output);
        std::vector<std::string> args {ProgramFile().string(), output.string()};
        args.insert(args.end(), steps.begin(), steps.end());
        int code = RunProgram(args);
        if (exitCode)
            *exitCode = code;
        std::vector<std::string> lines = ReadLines(output);
        if (!lines.empty() && lines.back().starts_with("boxes=")) {
            if (boxes)
                *boxes = std::stoi(lines.back().substr(6));
            lines.pop_back();
        }
        return lines;
    }

    std::vector<std::string> Spool() const { return ReadLines(Root() / "state" / "lumo" / "statistics.spool"); }
    // The file manager is started and not waited for: its requests once there are `expected`.
    std::vector<std::string> ShellRequests(size_t expected) const { return WaitForLines(Root() / "shell.log", expected); }
    // Likewise the sibling program's log.
    std::vector<std::string> LenswardLog(size_t expected) const
    {
        return WaitForLines(Root() / "state" / "lumo" / "lensward.log", expected);
    }

private:
    TempFolder m_root;
    fs::path m_base;
    fs::path m_suite;
    fs::path m_program;
};

// The identifier the suite's library makes of the machine id file in the environment.
std::string DerivedIdentifier()
{
    HMODULE library = LoadLibraryW(Utf8ToWide(std::string(LUMO_BUILD_SUITE_DIR) + "/Dizivevivu.so").c_str());
    EXPECT_NE(library, nullptr);
    if (!library)
        return {};
    auto getCIDW = reinterpret_cast<GetCIDWFunction>(GetProcAddress(library, "GetCIDW"));
    WCHAR buffer[100] = {};
    EXPECT_NE(getCIDW(buffer, 100), 0);
    FreeLibrary(library);
    return WideToUtf8(ToView(buffer));
}

std::string Url(const std::string& type, const std::string& id, const std::string& tick)
{
    return kUrlPrefix + type + "&m=" + id + "&zt=" + tick;
}

} // namespace

TEST(AdvtoolsSwitch, StartsTheSiblingOnceUnlessTheRegistrySaysNo)
{
    SuiteLayout layout;
    layout.Run({"command", "/advtools"});
    EXPECT_EQ(layout.LenswardLog(1).size(), 1u) << "the value absent starts it";

    layout.SetOpenGlint(0);
    layout.Run({"command", "/advtools"});
    std::vector<std::string> log = layout.LenswardLog(2);
    ASSERT_EQ(log.size(), 2u) << "the value 0 starts it";
    EXPECT_TRUE(log[1].ends_with("Z OpenGlint")) << log[1];

    layout.SetOpenGlint(1);
    layout.Run({"command", "/advtools"});
    EXPECT_EQ(layout.LenswardLog(0).size(), 2u) << "the value 1 keeps it from starting";
}

TEST(AdvtoolsSwitch, IsCaseSensitiveAndFoundAnywhereInTheCommandLine)
{
    SuiteLayout layout;
    layout.Run({"command", "/ADVTOOLS", "/AdvTools"});
    EXPECT_EQ(layout.LenswardLog(0).size(), 0u);
    layout.Run({"command"});
    EXPECT_EQ(layout.LenswardLog(0).size(), 0u);
    layout.Run({"command", "x/advtoolsy"});
    EXPECT_EQ(layout.LenswardLog(1).size(), 1u);
}

TEST(LaunchLensward, RefusesProgramPathsOver210UnitsAndUnsignedSiblings)
{
    std::string tail = "/suite/watchcore/CameraProtect/TernCamlet";
    auto padding = [&](size_t total) {
        TempFolder probe;
        return std::string(total - probe.Path().string().size() - 1 - tail.size(), 'p');
    };
    {
        // A fresh temporary folder has the same length as the probe's.
        SuiteLayout layout(padding(210));
        ASSERT_EQ(layout.ProgramFile().string().size(), 210u);
        EXPECT_EQ(layout.Run({"launch"}), std::vector<std::string> {"1"});
        EXPECT_EQ(layout.LenswardLog(1).size(), 1u);
    }
    {
        SuiteLayout layout(padding(211));
        ASSERT_EQ(layout.ProgramFile().string().size(), 211u);
        EXPECT_EQ(layout.Run({"launch", "command", "/advtools"}), std::vector<std::string> {"0"});
        EXPECT_EQ(layout.LenswardLog(0).size(), 0u);
    }
    {
        SuiteLayout layout;
        fs::remove(SignaturePath(layout.ProgramFolder() / "TernLensward"));
        EXPECT_EQ(layout.Run({"launch"}), std::vector<std::string> {"0"});
        fs::remove(layout.ProgramFolder() / "TernLensward");
        EXPECT_EQ(layout.Run({"launch"}), std::vector<std::string> {"0"});
        EXPECT_EQ(layout.LenswardLog(0).size(), 0u);
    }
}

TEST(MachineId, ComesFromTheLibraryInTheSuiteFolderOrOneFolderAboveTheProgram)
{
    SuiteLayout layout;
    std::string derived = DerivedIdentifier();
    ASSERT_EQ(derived.size(), 32u);
    EXPECT_EQ(derived.find("0123456789abcdef"), std::string::npos) << "the raw machine id must not leave";

    layout.PlaceIdentifierLibrary(layout.Suite());
    layout.SetSuiteFolder(layout.Suite());
    EXPECT_EQ(layout.Run({"id", "id"}), (std::vector<std::string> {derived, derived}));

    // No App Paths value, the library one folder above the program's folder.
    fs::remove(layout.Root() / "registry" / "machine.reg");
    fs::remove(layout.Suite() / "Dizivevivu.so");
    layout.PlaceIdentifierLibrary(layout.Suite() / "watchcore");
    EXPECT_EQ(layout.Run({"id"}), std::vector<std::string> {derived});

    // Two folders above is not looked at.
    fs::rename(layout.Suite() / "watchcore" / "Dizivevivu.so", layout.Suite() / "Dizivevivu.so");
    fs::rename(layout.Suite() / "watchcore" / "Dizivevivu.so.sig", layout.Suite() / "Dizivevivu.so.sig");
    EXPECT_EQ(layout.Run({"id"}), std::vector<std::string> {WideToUtf8(kFallbackMachineId)});
}

TEST(MachineId, FallsBackToTheFixedIdentifierWhenTheSuiteCannotTell)
{
    SuiteLayout layout;
    std::string fallback = WideToUtf8(kFallbackMachineId);
    ASSERT_EQ(fallback.size(), 32u);
    EXPECT_EQ(fallback.find_first_not_of("0123456789abcdef"), std::string::npos);

    layout.SetSuiteFolder(layout.Suite());
    EXPECT_EQ(layout.Run({"id"}), std::vector<std::string> {fallback}) << "no library";

    layout.PlaceIdentifierLibrary(layout.Suite());
    fs::remove(SignaturePath(layout.Suite() / "Dizivevivu.so"));
    int boxes = -1;
    EXPECT_EQ(layout.Run({"id"}, nullptr, &boxes), std::vector<std::string> {fallback}) << "an unsigned library";
    EXPECT_EQ(boxes, 0) << "an unsigned identifier library is passed over silently";

    layout.PlaceIdentifierLibrary(layout.Suite());
    fs::remove(layout.Root() / "machine-id");
    EXPECT_EQ(layout.Run({"id"}), std::vector<std::string> {fallback}) << "no machine id";
}

TEST(UsageStatistics, EveryEventIsOneUrlWithTheIdentifierAndTheTickAsASignedNumber)
{
    SuiteLayout layout;
    layout.PlaceIdentifierLibrary(layout.Suite());
    layout.SetSuiteFolder(layout.Suite());
    std::string id = DerivedIdentifier();
    layout.Run({"tick=123456", "start", "item", "tick=2147483653", "recfail", "item"});
    EXPECT_EQ(layout.Spool(), (std::vector<std::string> {Url("camlet_run", id, "123456"),
                                  Url("camlet_shortcut", id, "123456"), Url("camlet_recfail", id, "-2147483643"),
                                  Url("camlet_shortcut", id, "-2147483643")}));
}

TEST(UsageStatistics, AMissingCommonLibraryDropsEventsUntilItAppears)
{
    SuiteLayout layout;
    fs::path common = layout.ProgramFolder() / "TernCommon.so";
    fs::path aside = layout.Root() / "TernCommon.so";
    fs::rename(common, aside);
    fs::rename(SignaturePath(common), SignaturePath(aside));
    std::string fallback = WideToUtf8(kFallbackMachineId);
    int boxes = -1;
    layout.Run({"tick=7", "start", "item", "copy=" + aside.string() + "," + common.string(), "item", "recfail", "item"},
        nullptr, &boxes);
    EXPECT_EQ(boxes, 0);
    // The camera-item events use the kept sender only: the first two find none, the one after the
    // recording failure the sender that event obtained.
    EXPECT_EQ(layout.Spool(), (std::vector<std::string> {Url("camlet_recfail", fallback, "7"),
                                  Url("camlet_shortcut", fallback, "7")}));
}

TEST(UsageStatistics, ADamagedCommonLibraryEndsTheProgramAfterThePromptDuringTheStartEvent)
{
    SuiteLayout layout;
    fs::path common = layout.ProgramFolder() / "TernCommon.so";
    std::ofstream(common, std::ios::app) << "damaged";
    int code = -1;
    int boxes = -1;
    std::vector<std::string> answers = layout.Run({"id", "start", "id"}, &code, &boxes);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(boxes, 1) << "the damaged-file prompt";
    EXPECT_EQ(answers.size(), 1u) << "nothing after the start event ran";
    EXPECT_TRUE(layout.Spool().empty());
    std::vector<std::string> shell = layout.ShellRequests(1);
    ASSERT_EQ(shell.size(), 1u) << "Yes opens the download address";
    EXPECT_TRUE(shell[0].starts_with("open http://") && shell[0].ends_with("/setup.exe")) << shell[0];
}

TEST(CameraItem, IsADesktopEntryMadeOnceAndEveryClickReportsFirst)
{
    SuiteLayout layout;
    layout.SetSuiteFolder(layout.Suite());
    EXPECT_EQ(layout.Run({"present"}), std::vector<std::string> {"0"});
    EXPECT_EQ(layout.Run({"tick=5", "start", "add", "present"}), std::vector<std::string> {"1"});
    std::string fallback = WideToUtf8(kFallbackMachineId);
    EXPECT_EQ(layout.Spool(), (std::vector<std::string> {Url("camlet_run", fallback, "5"),
                                  Url("camlet_shortcut", fallback, "5")}));
    std::vector<std::string> shell = layout.ShellRequests(1);
    EXPECT_EQ(shell, std::vector<std::string> {"open computer:///"});

    std::string entry;
    ASSERT_TRUE(std::ifstream(layout.DesktopEntry())) << layout.DesktopEntry();
    std::getline(std::ifstream(layout.DesktopEntry()), entry, '\0');
    EXPECT_NE(entry.find("\nName=Lumo\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nComment=Ternshield 摄像头保护模块\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nExec=" + layout.ProgramFile().string() + "\n"), std::string::npos) << entry;
    std::string validator;
    int valid = RunTool({"desktop-file-validate", layout.DesktopEntry().string()}, &validator, 10000, ToolErrors::Kept);
    EXPECT_EQ(valid, 0) << validator;
    EXPECT_EQ(validator, "");

    // The entry exists: the click reports and opens the computer view again, and changes nothing.
    auto written = fs::last_write_time(layout.DesktopEntry());
    layout.Run({"tick=9", "start", "add"});
    EXPECT_EQ(layout.Spool().size(), 4u);
    EXPECT_EQ(layout.Spool().back(), Url("camlet_shortcut", fallback, "9"));
    EXPECT_EQ(layout.ShellRequests(2).size(), 2u);
    EXPECT_EQ(fs::last_write_time(layout.DesktopEntry()), written);
}

TEST(CameraItem, WithoutTheSuiteFolderTheEntryStartsTheRunningProgram)
{
    SuiteLayout layout;
    layout.Run({"add"});
    std::string entry;
    std::getline(std::ifstream(layout.DesktopEntry()), entry, '\0');
    EXPECT_NE(entry.find("\nExec=" + layout.ProgramFile().string() + "\n"), std::string::npos) << entry;
    // The path of a suite folder with a space is quoted.
    fs::remove(layout.DesktopEntry());
    layout.SetSuiteFolder("/opt/Tern Suite");
    layout.Run({"add"});
    std::getline(std::ifstream(layout.DesktopEntry()), entry, '\0');
    EXPECT_NE(entry.find("\nExec=\"/opt/Tern Suite/watchcore/CameraProtect/TernCamlet\"\n"), std::string::npos) << entry;
}
