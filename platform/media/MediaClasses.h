// Registers the media layer's classes (the device enumerator, the filter graph, the capture graph
// builder, the sample grabber, the default renderer and the ASF writer) with CoCreateInstance and
// starts GStreamer and the device-change broadcasts (sent on the calling thread). Called once at
// start-up on the window thread; later calls do nothing.
#pragma once

void RegisterMediaClasses();
