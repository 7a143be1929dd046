// Caps from their text form, for the caps target. GStreamer's own parser keeps what it allocated for
// a list or array whose parse fails, and it keeps every name it meets for the life of the process:
// random inputs fill the memory of a long run though nothing in Lumo leaks, and Lumo itself never
// parses caps text (device providers hand over caps). This reader takes the same text: structures
// with features, typed or untyped fields, lists, arrays and ranges, quoted strings. It builds the
// caps with GStreamer's calls, and only names that device providers use are accepted.
#pragma once

#include <gst/gst.h>

#include <string_view>

namespace fuzz {

// The caps the text describes (the caller unrefs them), or nullptr when the text is not caps this
// reader knows: a syntax error, an unknown name or type, a value out of range, a range that is empty.
GstCaps* CapsFromText(std::string_view text);

} // namespace fuzz
