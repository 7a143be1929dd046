// The recording end of a capture pipeline: raw video and sound in, a Windows Media file (WMV video,
// WMA sound in ASF) out.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

typedef struct _GstElement GstElement;

namespace lumo::media {

struct RecordingSettings {
    std::string path;          // UTF-8 path of the .wmv file to write
    int width = 640;           // encoded picture size; the input is scaled to it
    int height = 480;
    int videoBitRate = 480000; // bit/s the video stream aims at
    bool withAudio = true;     // false: no "audio" pad, and the file has no sound
    int audioBitRate = 64000;  // bit/s of the WMA stream, kept within 24000..320000
};

// The free space a recording keeps on the disk of its file, enough to complete the file. When less is
// left, the bin posts a RESOURCE/NO_SPACE_LEFT error (once) and goes on writing until it is finished.
std::uint64_t RecordingReserve(const RecordingSettings& settings);

// True when every element the recording bin is made of is installed.
bool RecordingElementsAvailable();

// A bin with the sink pads "video" (any raw video) and, with `withAudio`, "audio" (any raw audio)
// that writes the file. The file starts with the first frame that reaches the bin; sound from before
// it is left out. While the file grows, its header tells the length of what it holds, so that a file
// the program could not finish (killed, crashed) shows its length to within a fifth of a second.
// nullptr when an element is missing or the settings cannot make a file. The reference is floating,
// as from gst_element_factory_make.
GstElement* CreateRecordingBin(const RecordingSettings& settings);

// Completes the file while the pipeline that holds the bin is still PLAYING or PAUSED, even when the
// sources have stopped with an error or are gone: every sink pad of the bin that has not had an
// end-of-stream gets one, then this waits (at most `timeout`) until the muxer has handed the whole
// file to the file sink. True when the file is complete; false at once when no frame ever came.
// Calling it again is harmless. Not for the pipeline's streaming threads.
bool FinishRecording(GstElement* bin, std::chrono::milliseconds timeout);

} // namespace lumo::media
