#include "platform/sys/Module.h"
#include "platform/base/Strings.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

const std::string kModulePath = fs::canonical(LUMO_SYS_TEST_MODULE).string();
const WString kModule = Utf8ToWide(kModulePath);
const WString kModuleName = Utf8ToWide(fs::path(kModulePath).filename().string());

using AnswerFunction = int (*)();

int Call(HMODULE module, LPCSTR name)
{
    auto function = reinterpret_cast<AnswerFunction>(GetProcAddress(module, name));
    return function ? function() : -1;
}

ULONG_PTR Value(HMODULE module) { return reinterpret_cast<ULONG_PTR>(module); }

} // namespace

TEST(LoadLibraryW, LoadsFindsSymbolsAndCountsReferences)
{
    HMODULE first = LoadLibraryW(kModule.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Call(first, "LumoTestModuleAnswer"), 42);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(first, "NoSuchExport"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);

    // A second load, also through another spelling of the path, is the same module and copy.
    WString otherSpelling
        = Utf8ToWide(fs::path(kModulePath).parent_path().string() + "/./" + fs::path(kModulePath).filename().string());
    HMODULE second = LoadLibraryW(otherSpelling.c_str());
    EXPECT_EQ(second, first);
    EXPECT_EQ(Call(first, "LumoTestModuleCallCount"), 1);
    EXPECT_EQ(Call(second, "LumoTestModuleCallCount"), 2);

    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(GetModuleHandleW(kModuleName.c_str()), first);
    EXPECT_EQ(Call(second, "LumoTestModuleAnswer"), 42);
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_EQ(GetModuleHandleW(kModuleName.c_str()), nullptr);
    EXPECT_EQ(ModuleNativeHandle(first), nullptr);
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetProcAddress(first, "LumoTestModuleAnswer"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(LoadLibraryW, TellsAMissingFileFromOneThatIsNoLibrary)
{
    fs::path folder = fs::temp_directory_path() / ("lumo-module-" + std::to_string(getpid()));
    fs::create_directories(folder);
    std::ofstream((folder / "text.so").string()) << "not a shared object\n";

    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(Utf8ToWide((folder / "missing.so").string()).c_str()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(LoadLibraryW(u"liblumo-no-such-library.so"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(LoadLibraryW(Utf8ToWide((folder / "text.so").string()).c_str()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_BAD_FORMAT);
    EXPECT_EQ(LoadLibraryW(u""), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    fs::remove_all(folder);
}

TEST(GetModuleHandleW, FindsModulesByNameAndPath)
{
    HMODULE module = LoadLibraryW(kModule.c_str());
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(GetModuleHandleW(kModuleName.c_str()), module);
    EXPECT_EQ(GetModuleHandleW(kModule.c_str()), module);
    WString backslashes = kModule;
    for (auto& c : backslashes) {
        if (c == u'/')
            c = u'\\';
    }
    EXPECT_EQ(GetModuleHandleW(backslashes.c_str()), module);
    SetLastError(0);
    EXPECT_EQ(GetModuleHandleW(u"liblumo-not-loaded.so"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);

    HMODULE executable = GetModuleHandleW(nullptr);
    EXPECT_EQ(Value(executable), 0x400000u);
    std::string self = fs::read_symlink("/proc/self/exe").string();
    EXPECT_EQ(GetModuleHandleW(Utf8ToWide(fs::path(self).filename().string()).c_str()), executable);
    EXPECT_EQ(GetModuleHandleW(Utf8ToWide(self).c_str()), executable);
    EXPECT_NE(ModuleNativeHandle(executable), nullptr);
    FreeLibrary(module);
}

TEST(LoadLibraryW, FindsLibrariesByBareNameAndReportsTheirFullPath)
{
    HMODULE module = LoadLibraryW(u"libm.so.6");
    ASSERT_NE(module, nullptr);
    EXPECT_NE(GetProcAddress(module, "cos"), nullptr);
    WCHAR path[1024];
    DWORD length = GetModuleFileNameW(module, path, 1024);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(path[0], u'/');
    EXPECT_EQ(GetModuleHandleW(u"libm.so.6"), module);
    EXPECT_TRUE(FreeLibrary(module));
}

TEST(GetModuleFileNameW, CutsLikeTheSystemDoes)
{
    HMODULE module = LoadLibraryW(kModule.c_str());
    ASSERT_NE(module, nullptr);
    DWORD length = static_cast<DWORD>(kModule.size());
    WCHAR buffer[4096];

    SetLastError(ERROR_ALREADY_EXISTS);
    EXPECT_EQ(GetModuleFileNameW(module, buffer, length + 1), length);
    EXPECT_EQ(WString(buffer), kModule);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

    // One unit short: cut to size - 1 units and terminated, the result is the size.
    EXPECT_EQ(GetModuleFileNameW(module, buffer, length), length);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(WString(buffer), kModule.substr(0, length - 1));
    EXPECT_EQ(GetModuleFileNameW(module, buffer, 5), 5u);
    EXPECT_EQ(WString(buffer), kModule.substr(0, 4));
    EXPECT_EQ(GetModuleFileNameW(module, buffer, 0), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    std::string self = fs::read_symlink("/proc/self/exe").string();
    DWORD selfLength = GetModuleFileNameW(nullptr, buffer, 4096);
    EXPECT_EQ(WString(buffer, selfLength), Utf8ToWide(self));
    EXPECT_EQ(GetModuleFileNameW(GetModuleHandleW(nullptr), buffer, 4096), selfLength);
    FreeLibrary(module);
    EXPECT_EQ(GetModuleFileNameW(module, buffer, 4096), 0u);
}

TEST(ModuleHandles, StayBelowTwoToTheThirtyOneAndRoundTripThroughDecimal)
{
    // Holding the library open here keeps each load below cheap without pinning a handle.
    void* pin = dlopen(kModulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(pin, nullptr);
    HMODULE previous = nullptr;
    for (int round = 0; round < 33000; ++round) {
        HMODULE module = LoadLibraryW(kModule.c_str());
        ASSERT_NE(module, nullptr) << round;
        ASSERT_GE(Value(module), 0x400000u);
        ASSERT_LT(Value(module), 0x80000000u) << round;
        ASSERT_NE(module, previous) << "a freed handle came back at once";
        std::string decimal = std::to_string(static_cast<int>(Value(module)));
        ASSERT_EQ(reinterpret_cast<HMODULE>(static_cast<ULONG_PTR>(std::stoi(decimal))), module);
        ASSERT_TRUE(FreeLibrary(module));
        previous = module;
    }
    dlclose(pin);
}
