#include "platform/media/MediaClasses.h"

#include "platform/media/DeviceBroadcast.h"
#include "platform/media/devices/DeviceEnumerator.h"
#include "platform/media/filters/AsfWriter.h"
#include "platform/media/filters/SampleGrabber.h"
#include "platform/media/filters/VideoRenderer.h"
#include "platform/media/graph/CaptureGraphBuilder.h"
#include "platform/media/graph/FilterGraph.h"
#include "platform/media/gst/GstSupport.h"
#include "platform/media/gst/RecordingBin.h"

#include <mutex>

using namespace lumo::media;

void RegisterMediaClasses()
{
    static std::once_flag once;
    std::call_once(once, [] {
        EnsureGstInitialized();
        StartDeviceChangeBroadcasts();
        RegisterComClass(CLSID_SystemDeviceEnum, &CreateSystemDeviceEnum);
        RegisterComClass(CLSID_FilterGraph, [](REFIID iid, void** object) { return CreateAndQuery<FilterGraph>(iid, object); });
        RegisterComClass(CLSID_CaptureGraphBuilder2,
                         [](REFIID iid, void** object) { return CreateAndQuery<CaptureGraphBuilder>(iid, object); });
        RegisterComClass(CLSID_SampleGrabber, [](REFIID iid, void** object) { return CreateAndQuery<SampleGrabber>(iid, object); });
        RegisterComClass(CLSID_VideoRenderer, [](REFIID iid, void** object) { return CreateAndQuery<VideoRenderer>(iid, object); });
        RegisterComClass(CLSID_WMAsfWriter, [](REFIID iid, void** object) -> HRESULT {
            if (!RecordingElementsAvailable()) {
                if (object)
                    *object = nullptr;
                return REGDB_E_CLASSNOTREG;
            }
            return CreateAndQuery<AsfWriter>(iid, object);
        });
    });
}
