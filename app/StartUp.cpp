#include "app/StartUp.h"

#include "ui/EngineAccess.h"
#include "app/Language.h"
#include "app/MainDlg.h"
#include "app/SkinSelector.h"
#include "platform/media/MediaClasses.h"
#include "platform/sys/Com.h"
#include "platform/sys/Module.h"
#include "platform/sys/Mutex.h"
#include "platform/sys/Path.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/ForeignWindows.h"
#include "platform/ui/Input.h"
#include "platform/ui/Window.h"
#include "platform/ui/WindowClass.h"
#include "suite/SuiteServices.h"
#include "suite/Trust.h"

CAppModuleEx g_module;

namespace {

constexpr int kLanguagePathCapacity = 1024;
constexpr DWORD kBarAndRebarClasses = 0x404;

// Held for the whole life of the process and never closed: its existence is the running instance.
HANDLE g_instanceMutex = nullptr;

struct LanguageStartUp {
    HMODULE library = nullptr;
    I18NLanguage* language = nullptr;
    WCHAR programPath[MAX_PATH] = {};
};

// Asks the suite's language library for the language resource library and loads it if it verifies.
// Everything that is missing is passed over silently; the program's own resources are used anyway.
void LoadLanguage(LanguageStartUp& start)
{
    WCHAR suiteFolder[MAX_PATH] = {};
    if (!GetModuleFileNameW(nullptr, suiteFolder, MAX_PATH))
        return;
    PathRemoveFileSpecW(suiteFolder);
    PathRemoveFileSpecW(suiteFolder);
    WCHAR languagePath[MAX_PATH];
    if (!PathCombineW(languagePath, suiteFolder, u"I18N.so"))
        return;
    start.library = LoadLibraryW(languagePath);
    if (!start.library)
        return;
    auto create = reinterpret_cast<CreateI18NFunction>(GetProcAddress(start.library, "CreateI18N"));
    if (!create) {
        FreeLibrary(start.library);
        start.library = nullptr;
        return;
    }
    create(&start.language);
    if (!start.language)
        return;
    start.language->SetSuiteFolder(suiteFolder);
    GetModuleFileNameW(nullptr, start.programPath, MAX_PATH);
    int selector = start.language->GetLanguage();
    WCHAR resourcePath[kLanguagePathCapacity] = {};
    if (start.language->GetResourceLibraryPath(start.programPath, selector, 0, resourcePath, kLanguagePathCapacity))
        SetResourceModule(LoadSignedLibrary(resourcePath));
}

// The main dialog names two classes of the UI engine. Without the engine they would be missing and
// the dialog could not be made at all, so stand-ins take their place: an empty toolbar, and links
// that are plain texts.
void RegisterStandInControlClasses(HINSTANCE instance)
{
    WNDCLASSEXW existing {};
    existing.cbSize = sizeof existing;
    if (!GetClassInfoExW(instance, u"DynamicToolBar", &existing)) {
        WNDCLASSEXW toolbar {};
        toolbar.cbSize = sizeof toolbar;
        toolbar.lpfnWndProc = DefWindowProcW;
        toolbar.hInstance = instance;
        toolbar.lpszClassName = u"DynamicToolBar";
        RegisterClassExW(&toolbar);
    }
    WNDCLASSEXW link {};
    link.cbSize = sizeof link;
    if (!GetClassInfoExW(instance, u"HyperLink", &existing) && GetClassInfoExW(instance, u"Static", &link)) {
        link.lpszClassName = u"HyperLink";
        RegisterClassExW(&link);
    }
}

void RegisterMainWindowClass(HINSTANCE instance)
{
    WNDCLASSEXW dialogClass {};
    dialogClass.cbSize = sizeof dialogClass;
    if (!GetClassInfoExW(instance, WC_DIALOG, &dialogClass))
        return;
    dialogClass.lpszClassName = kMainWindowClass;
    RegisterClassExW(&dialogClass);
    if (EngineMain* engine = GetEngineMain())
        engine->RegisterClassAlias(WC_DIALOG, kMainWindowClass);
}

// Brings the running instance's window forward; the second start then ends.
void ActivateRunningInstance()
{
    HWND running = FindWindowW(kMainWindowClass, nullptr);
    if (running && IsWindowVisible(running))
        ShowWindow(running, SW_RESTORE);
    SetForegroundWindow(running);
}

int RunMainDialog(int showCommand)
{
    g_instanceMutex = CreateMutexW(nullptr, TRUE, kSingleInstanceMutex);
    bool existed = g_instanceMutex && GetLastError() == ERROR_ALREADY_EXISTS;
    // A lock that cannot be had (its folder opened up or replaced by someone) tells nothing
    // about another instance; its window still does.
    if (existed || (!g_instanceMutex && FindWindowW(kMainWindowClass, nullptr))) {
        ActivateRunningInstance();
        return 0;
    }
    CMessageLoop loop;
    g_module.AddMessageLoop(&loop);
    int result = 0;
    {
        CMainDlg dialog;
        if (dialog.Create(nullptr)) {
            dialog.ShowWindow(showCommand);
            result = loop.Run();
        }
    }
    g_module.RemoveMessageLoop();
    return result;
}

} // namespace

int RunProgram(HINSTANCE instance, int showCommand)
{
    CoInitialize(nullptr);
    // The capture classes of the system live in this process: they are registered, not found.
    RegisterMediaClasses();
    DefWindowProcW(nullptr, 0, 0, 0);
    INITCOMMONCONTROLSEX controls {sizeof(INITCOMMONCONTROLSEX), kBarAndRebarClasses};
    InitCommonControlsEx(&controls);

    LanguageStartUp language;
    LoadLanguage(language);

    g_module.Init(instance);
    CSkinSelector skins;
    skins.Create(instance, 0, TRUE);
    skins.LoadSkin();
    RegisterMainWindowClass(instance);
    RegisterStandInControlClasses(instance);

    int result = RunMainDialog(showCommand);

    if (EngineMain* engine = GetEngineMain())
        engine->Terminate();
    g_module.Term();
    CoUninitialize();
    return result;
}
