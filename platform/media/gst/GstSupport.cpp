#include "platform/media/gst/GstSupport.h"

#include <gst/gst.h>

#include <mutex>

namespace lumo::media {

void EnsureGstInitialized()
{
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

} // namespace lumo::media
