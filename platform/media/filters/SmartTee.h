// The smart tee: splits a capture pin into a capture output and a preview output, for devices that
// have no preview pin of their own. The preview branch drops frames rather than hold up capture.
#pragma once

#include "platform/media/graph/Filter.h"

namespace lumo::media {

class SmartTee final : public Filter {
public:
    SmartTee();

    Pin& Input() const { return *Pins()[0]; }
    Pin& CaptureOutput() const { return *Pins()[1]; }
    Pin& PreviewOutput() const { return *Pins()[2]; }

    GstElement* CreateElement(const RunContext& context) override;
};

} // namespace lumo::media
