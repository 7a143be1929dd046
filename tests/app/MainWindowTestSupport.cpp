#include "MainWindowTestSupport.h"

#include "ui/EngineAccess.h"
#include "app/SkinSelector.h"
#include "app/StartUp.h"
#include "platform/media/MediaClasses.h"
#include "platform/sys/Com.h"
#include "platform/sys/Module.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/WindowObject.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

// The test's copy of the program's module carries the program's resources, as the test program
// itself does; each module's resources are looked up in that module alone, so the one name both
// define is no violation of the one-definition rule.
extern "C" const char* __asan_default_suppressions()
{
    return "odr_violation:lumo_resource_directory\n";
}

namespace {

constexpr DWORD kProgramControlClasses = 0x404; // the bar and rebar classes, as the program asks for them

// The engine as the program would load it, without the signature check of the suite loader.
const EngineExports& FacetExports()
{
    static EngineExports exports = [] {
        EngineExports loaded;
        HMODULE module = LoadLibraryW(Utf8ToWide(LUMO_FACET_LIBRARY).c_str());
        if (!module)
            return loaded;
        loaded.getFacet = reinterpret_cast<GetFacetFunction>(GetProcAddress(module, "GetFacet"));
        loaded.getFacet3 = reinterpret_cast<GetFacet3Function>(GetProcAddress(module, "GetFacet3"));
        loaded.getFacet4 = reinterpret_cast<GetFacet4Function>(GetProcAddress(module, "GetFacet4"));
        loaded.getDPICompatible = reinterpret_cast<GetDPICompatibleFunction>(GetProcAddress(module, "GetDPICompatible"));
        loaded.createFacetBitmap = reinterpret_cast<CreateFacetBitmapFunction>(GetProcAddress(module, "CreateFacetBitmap"));
        return loaded;
    }();
    return exports;
}

} // namespace

bool IsNear(long pixel, COLORREF color, int tolerance)
{
    if (pixel < 0)
        return false;
    int red = static_cast<int>((pixel >> 16) & 0xFF);
    int green = static_cast<int>((pixel >> 8) & 0xFF);
    int blue = static_cast<int>(pixel & 0xFF);
    return std::abs(red - GetRValue(color)) <= tolerance && std::abs(green - GetGValue(color)) <= tolerance
        && std::abs(blue - GetBValue(color)) <= tolerance;
}

void MainWindowTest::SetUpTestSuite()
{
    s_runtime = new TempFolder;
    s_runtimeEnv = new ScopedEnv("XDG_RUNTIME_DIR", s_runtime->Native());
}

void MainWindowTest::TearDownTestSuite()
{
    delete s_runtimeEnv;
    s_runtimeEnv = nullptr;
    delete s_runtime;
    s_runtime = nullptr;
}

void MainWindowTest::SetUp()
{
    UiTest::SetUp();
    ModalScript::Reset();
    ASSERT_NE(m_module.Handle(), nullptr);
    ASSERT_NE(FacetExports().getFacet, nullptr) << "Facet.so did not load";
    UseEngineExportsForTesting(&FacetExports());
    WriteFile(m_module.Folder() + "/config/defaultskin/facet.xml", FacetXml(m_startColor));

    // Start-up as the program does it, with the module standing in for the executable.
    CoInitialize(nullptr);
    RegisterMediaClasses();
    g_module.Init(m_module.Handle());
    g_module.AddMessageLoop(&m_loop);
    INITCOMMONCONTROLSEX controls {sizeof(INITCOMMONCONTROLSEX), kProgramControlClasses};
    InitCommonControlsEx(&controls);
    CSkinSelector skins;
    skins.Create(m_module.Handle(), 0, TRUE);
    ASSERT_EQ(skins.LoadSkin(), S_OK);
    WNDCLASSEXW dialogClass {};
    dialogClass.cbSize = sizeof dialogClass;
    ASSERT_TRUE(GetClassInfoExW(nullptr, WC_DIALOG, &dialogClass));
    dialogClass.lpszClassName = kMainWindowClass;
    RegisterClassExW(&dialogClass);
    GetEngineMain()->RegisterClassAlias(WC_DIALOG, kMainWindowClass);
}

void MainWindowTest::TearDown()
{
    if (m_dialog.IsWindow()) {
        // As the closing command does it, without the quit message that would end the next test's loops.
        m_dialog.GetCaptureEngine().Shutdown();
        m_dialog.DestroyWindow();
    }
    PumpPending();
    if (EngineMain* engine = GetEngineMain())
        engine->Terminate();
    g_module.RemoveMessageLoop();
    g_module.Term();
    UseEngineExportsForTesting(nullptr);
    CoUninitialize();
    SetSharedFolderDepth(0);
    ModalScript::Reset();
    UiTest::TearDown();
}

void MainWindowTest::OpenMainWindow(const char* devices)
{
    setenv("LUMO_VIRTUAL_DEVICES", devices, 1); // m_devices restores the variable
    ASSERT_NE(m_dialog.Create(nullptr), nullptr);
    m_dialog.ShowWindow(SW_SHOWNORMAL);
    PumpFiltered();
}

void MainWindowTest::RunStartCheck()
{
    ModalScript::OnShown([this](ModalKind, HWND window) {
        WCHAR name[64] = {};
        GetClassNameW(window, name, 64);
        m_boxClasses.push_back(name);
    });
    ModalWatchdog watchdog;
    HWND deviceLine = m_dialog.GetDlgItem(1042);
    TestClock::Advance(kStartCheckMs);
    PumpFilteredUntil([deviceLine] { return GetWindowTextLengthW(deviceLine) > 0; });
    PumpFiltered();
}

int MainWindowTest::PumpFiltered()
{
    int count = 0;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        ++count;
        if (m_loop.PreTranslateMessage(&msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return count;
}

bool MainWindowTest::PumpFilteredUntil(const std::function<bool()>& done, DWORD watchdogMs)
{
    // Real time: the test clock stands still while the media streams.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(watchdogMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "watchdog: the condition did not hold within " << watchdogMs << " ms";
            return false;
        }
        if (PumpFiltered() == 0)
            Sleep(1);
    }
    return true;
}

void MainWindowTest::AdvanceClock(DWORD milliseconds)
{
    TestClock::Advance(milliseconds);
    PumpFiltered();
}

std::vector<WString> MainWindowTest::MessageTexts()
{
    std::vector<WString> texts;
    for (const RecordedMessageBox& box : ModalScript::MessageBoxes())
        texts.push_back(box.text);
    return texts;
}

WString MainWindowTest::ControlText(int id) const
{
    WCHAR text[512] = {};
    GetDlgItemTextW(m_dialog.m_hWnd, id, text, 512);
    return text;
}

long MainWindowTest::PixelOf(HWND hwnd, POINT client)
{
    POINT origin = OffsetInTopLevel(hwnd);
    return Presenter().PixelAt(GetAncestor(hwnd, GA_ROOT), origin.x + client.x, origin.y + client.y);
}

int MainWindowTest::CountNear(HWND hwnd, COLORREF color)
{
    RECT r {};
    GetClientRect(hwnd, &r);
    POINT origin = OffsetInTopLevel(hwnd);
    HWND top = GetAncestor(hwnd, GA_ROOT);
    int count = 0;
    for (LONG y = 0; y < r.bottom; ++y) {
        for (LONG x = 0; x < r.right; ++x)
            count += IsNear(Presenter().PixelAt(top, origin.x + x, origin.y + y), color);
    }
    return count;
}

std::string MainWindowTest::FacetXml(COLORREF statusText)
{
    return "<?xml version='1.0'?><Facet.Config><DYNAMICSTATUSBAR TextColor='" + std::to_string(statusText)
        + "'/></Facet.Config>";
}

void MainWindowTest::WriteFile(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}
