#include "ui/EngineAccess.h"

#include "FakeEngine.h"
#include "platform/sys/Module.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

const WString kEngineModule = Utf8ToWide(fs::canonical(LUMO_APP_TEST_ENGINE).string());
const WString kPlainModule = Utf8ToWide(fs::canonical(LUMO_APP_TEST_MODULE).string());

template <class Function>
Function Export(HMODULE module, LPCSTR name)
{
    return reinterpret_cast<Function>(GetProcAddress(module, name));
}

WString ExecutableFolder(int up)
{
    fs::path folder = fs::canonical("/proc/self/exe").parent_path();
    for (int i = 0; i < up; ++i)
        folder = folder.parent_path();
    return Utf8ToWide(folder.string());
}

class SharedDepthTest : public ::testing::Test {
protected:
    ~SharedDepthTest() override { SetSharedFolderDepth(m_savedDepth); }
    int m_savedDepth = GetSharedFolderDepth();
};

} // namespace

TEST_F(SharedDepthTest, SuiteLibrariesAreLookedUpAboveTheExecutableByTheSharedDepth)
{
    SetSharedFolderDepth(0);
    WCHAR path[MAX_PATH];
    ASSERT_TRUE(MakeSharedLibraryPath(kEngineLibraryName, path));
    EXPECT_EQ(WString(path), ExecutableFolder(0) + u"/Facet.so");

    SetSharedFolderDepth(2);
    ASSERT_TRUE(MakeSharedLibraryPath(u"TernCommon.so", path));
    EXPECT_EQ(WString(path), ExecutableFolder(2) + u"/TernCommon.so");

    // More levels than the path has stop at the root.
    ASSERT_TRUE(GetModuleBaseFolder(nullptr, 200, path));
    EXPECT_EQ(WString(path), u"/");
    EXPECT_FALSE(GetModuleBaseFolder(nullptr, 0, nullptr));
}

TEST(CEngineLibrary, MissingFileOrMissingGetFacetGivesNothingAndFreesTheLibrary)
{
    CEngineLibrary library(LoadLibraryW);
    EXPECT_EQ(library.GetMain(u"/nonexistent/Facet.so"), nullptr);
    EXPECT_EQ(library.GetMain(nullptr), nullptr);
    EXPECT_EQ(library.GetModule(), nullptr);

    ASSERT_EQ(GetModuleHandleW(kPlainModule.c_str()), nullptr);
    EXPECT_EQ(library.GetMain(kPlainModule.c_str()), nullptr);
    EXPECT_EQ(GetModuleHandleW(kPlainModule.c_str()), nullptr) << "a library without GetFacet stays loaded";
    EXPECT_EQ(library.GetModule(), nullptr);
    EXPECT_EQ(library.GetExports().getFacet, nullptr);
}

TEST(CEngineLibrary, LooksUpTheExportsOnceAndCachesTheMainObjectOnceGiven)
{
    CEngineLibrary library(LoadLibraryW);
    // The test engine answers nullptr until enabled: the library is kept and asked again.
    EXPECT_EQ(library.GetMain(kEngineModule.c_str()), nullptr);
    HMODULE module = library.GetModule();
    ASSERT_NE(module, nullptr);
    auto calls = Export<int (*)()>(module, "TestEngineGetFacetCalls");
    ASSERT_NE(calls, nullptr);
    EXPECT_EQ(calls(), 1);
    EXPECT_NE(library.GetExports().getFacet3, nullptr);
    EXPECT_EQ(library.GetExports().getFacet4, nullptr);
    EXPECT_EQ(library.GetExports().getDPICompatible, nullptr);
    EXPECT_EQ(library.GetExports().createFacetBitmap, nullptr);

    Export<void (*)()>(module, "TestEngineEnable")();
    EngineMain* expected = Export<EngineMain* (*)()>(module, "TestEngineMain")();
    // A later path is not loaded: the library held is the engine.
    EXPECT_EQ(library.GetMain(u"/nonexistent/Facet.so"), expected);
    EXPECT_EQ(library.GetMain(nullptr), expected);
    EXPECT_EQ(calls(), 2);
    EXPECT_EQ(library.GetModule(), module);
    EXPECT_EQ(library.GetExports().getFacet3()->MessageBox(nullptr, u"", u"", 0), 6);
}

TEST_F(SharedDepthTest, TheProcessAccessorUsesTheInstalledExportsAndElseTheLibraryBesideTheProgram)
{
    {
        FakeEngine engine;
        EXPECT_EQ(GetEngineMain(), &engine);
        EXPECT_EQ(GetEngineMain(), &engine);
        EXPECT_EQ(GetEngineMessageBox(), nullptr);
        EXPECT_EQ(GetEngineMain4(), nullptr);
        EXPECT_EQ(GetEngineDisplayScaling(), nullptr);
        EngineImage* image = reinterpret_cast<EngineImage*>(&engine);
        EXPECT_EQ(CreateEngineBitmap(&image), E_NOTIMPL);
        EXPECT_EQ(image, nullptr);
        EXPECT_EQ(CreateEngineBitmap(nullptr), E_POINTER);
    }
    // No Facet.so lies beside the test program: without installed exports there is no engine,
    // and a missing file raises no prompt.
    SetSharedFolderDepth(0);
    EXPECT_EQ(GetEngineMain(), nullptr);
    EXPECT_EQ(GetEngineModule(), nullptr);
    EXPECT_EQ(GetEngineMessageBox(), nullptr);
}
