// The system device enumerator: the capture devices of a category as monikers, each bound to a
// property bag with its friendly name or to its capture filter.
#pragma once

#include "platform/media/DirectShow.h"

namespace lumo::media {

HRESULT CreateSystemDeviceEnum(REFIID iid, void** object);

} // namespace lumo::media
