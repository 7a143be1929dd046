// The usage events handed to the suite's statistics sender. Reporting is fire-and-forget: nothing is
// read back, retried or shown.
#include "platform/base/Clock.h"
#include "platform/base/Format.h"
#include "suite/SuiteServices.h"

namespace {

constexpr WCHAR kStartTemplate[] = u"http://stat.ternshield.example/tern/?stype=lensward_camlet&type=camlet_run&m=%s&zt=%d";
constexpr WCHAR kCameraItemTemplate[] =
    u"http://stat.ternshield.example/tern/?stype=lensward_camlet&type=camlet_shortcut&m=%s&zt=%d";
constexpr WCHAR kRecordingFailureTemplate[] =
    u"http://stat.ternshield.example/tern/?stype=lensward_camlet&type=camlet_recfail&m=%s&zt=%d";

// The tick count goes into the URL as a signed 32-bit number, negative after 24.8 days of uptime.
WString EventUrl(LPCWSTR format)
{
    return FormatW(format, GetMachineId(), static_cast<int>(GetTickCount()));
}

void ReportWithFreshSender(TernStatSender*& kept, LPCWSTR format)
{
    GetMachineId();
    kept = GetStatSender();
    WString url = EventUrl(format);
    SendStat(kept, url.c_str());
}

} // namespace

void ReportStart(TernStatSender*& kept)
{
    ReportWithFreshSender(kept, kStartTemplate);
}

void ReportRecordingFailure(TernStatSender*& kept)
{
    ReportWithFreshSender(kept, kRecordingFailureTemplate);
}

void ReportCameraItem(TernStatSender* kept)
{
    WString url = EventUrl(kCameraItemTemplate);
    SendStat(kept, url.c_str());
}
