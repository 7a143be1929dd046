#include "suite/SuiteServices.h"

// FIXME: the statistics sender, the camera item and the sibling program come with the suite issue.
// Until then nothing is reported, the caption offers no camera-item link, and the command line is
// not acted upon.

void ReportStart()
{
}

void ReportRecordingFailure()
{
}

bool IsCameraItemPresent()
{
    return true;
}

void AddCameraItem()
{
}

void ApplyCommandLine()
{
}
