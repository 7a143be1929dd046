// GStreamer set-up shared by the media layer.
#pragma once

namespace lumo::media {

// Initialises GStreamer once per process (thread-safe).
void EnsureGstInitialized();

} // namespace lumo::media
