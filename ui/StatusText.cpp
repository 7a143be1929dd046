#include "ui/StatusText.h"

#include "ui/EngineAccess.h"
#include "app/XmlArchive.h"
#include "platform/base/Format.h"
#include "platform/sys/Path.h"
#include "platform/sys/Resources.h"

namespace {

constexpr int kTextCapacity = 1024;
constexpr BYTE kWhite = 255;

WString Format(LPCWSTR format, auto... args)
{
    WCHAR buffer[kTextCapacity];
    StringCchPrintfW(buffer, kTextCapacity, format, args...);
    return buffer;
}

} // namespace

WString LoadStringText(HINSTANCE instance, UINT id)
{
    WCHAR buffer[kTextCapacity];
    int length = LoadStringW(instance, id, buffer, kTextCapacity);
    return length > 0 ? WString(buffer, static_cast<size_t>(length)) : WString();
}

COLORREF ReadStatusTextColor()
{
    EngineMain4* engine = GetEngineMain4();
    if (!engine)
        return 0;
    WCHAR folder[MAX_PATH] = {};
    if (FAILED(engine->GetSkinFolder(folder, MAX_PATH)) || !folder[0])
        return 0;
    WCHAR path[MAX_PATH];
    if (!PathCombineW(path, folder, u"facet.xml"))
        return 0;
    CXMLArchive archive;
    if (!archive.Open(nullptr, path, CXMLArchive::kModeRead))
        return 0;
    CXMLArchiveItem item = CXMLArchive::Item(archive.Find(u"Facet.Config/DYNAMICSTATUSBAR"), 0);
    return static_cast<COLORREF>(CXMLArchive::GetAttributeNumber(item, u"TextColor", 0));
}

WString FormatDeviceLine(HINSTANCE instance, COLORREF textColor, int videoCount, LPCWSTR deviceName)
{
    WString name = deviceName && *deviceName ? WString(deviceName) : LoadStringText(instance, 136);
    WString format = LoadStringText(instance, videoCount < 2 ? 134 : 170);
    BYTE r = GetRValue(textColor), g = GetGValue(textColor), b = GetBValue(textColor);
    return Format(format.c_str(), r, g, b, r, g, b, name.c_str());
}

WString FormatHdLink(HINSTANCE instance, COLORREF textColor, bool hdActive)
{
    WString format = LoadStringText(instance, hdActive ? 145 : 144);
    return Format(format.c_str(), kWhite, kWhite, kWhite, GetRValue(textColor), GetGValue(textColor), GetBValue(textColor));
}

WString FormatDelayCheckBox(HINSTANCE instance)
{
    WString format = LoadStringText(instance, 146);
    return Format(format.c_str(), kWhite, kWhite, kWhite);
}

WString FormatCountdown(HINSTANCE instance, int secondsLeft)
{
    WString format = LoadStringText(instance, 148);
    return Format(format.c_str(), kWhite, kWhite, kWhite, secondsLeft);
}

WString FormatElapsed(int seconds)
{
    if (seconds <= 0)
        return {};
    if (seconds >= 3600)
        return Format(u"%02d:%02d:%02d ", seconds / 3600, seconds / 60 % 60, seconds % 60);
    if (seconds >= 60)
        return Format(u"%02d:%02d:%02d ", 0, seconds / 60, seconds % 60);
    return Format(u"%02d:%02d:%02d ", 0, 0, seconds);
}

WString FormatRecordingClock(HINSTANCE instance, COLORREF textColor, int seconds)
{
    if (seconds <= 0)
        return {};
    WString format = LoadStringText(instance, 138);
    return Format(format.c_str(), kWhite, kWhite, kWhite, GetRValue(textColor), GetGValue(textColor), GetBValue(textColor),
        FormatElapsed(seconds).c_str());
}
