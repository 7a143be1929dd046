#include "suite/Trust.h"

#include "platform/base/Format.h"
#include "platform/sys/Process.h"
#include "platform/ui/Input.h"
#include "platform/ui/Menu.h"

namespace {

constexpr size_t kPromptCapacity = 2048;
constexpr WCHAR kSuiteName[] = u"Ternshield";
constexpr WCHAR kDownloadUrl[] = u"http://download.ternshield.example/setup.exe";

} // namespace

void ShowDamagedFilePrompt(LPCWSTR path)
{
    WCHAR text[kPromptCapacity] = {};
    // An overlong path is cut at the end of the buffer, taking the closing question with it.
    StringCchPrintfW(text, kPromptCapacity, u"%s%s%s%s%s%s%s", u"发现", kSuiteName,
        u"的文件已被破坏，不是原版文件。\n请重新安装", kSuiteName, u"并进行木马扫描。\n\n被破坏的文件：",
        ToView(path), u"\n\n是否立即下载最新版？");
    if (MessageBoxW(GetActiveWindow(), text, kSuiteName, MB_YESNO | MB_ICONHAND) != IDYES)
        return;
    ShellExecuteW(nullptr, u"open", kDownloadUrl, nullptr, nullptr, SW_SHOWNORMAL);
}
