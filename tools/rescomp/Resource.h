// What the resource compiler produces: typed, numbered blobs, and the errors that stop it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace rescomp {

struct CompiledResource {
    std::uint16_t typeId = 0; // the type's ordinal, or 0 for a named type
    std::string typeName; // e.g. "PNG"
    std::uint16_t id = 0;
    std::vector<std::uint8_t> bytes; // for a text, its UTF-16LE units
    bool isText = false; // emitted as a char16_t array with a terminating NUL
    int line = 0; // where the script declares it
};

// A fault in the script or in a file it names; line 0 means the whole script.
class ScriptError : public std::runtime_error {
public:
    ScriptError(int line, const std::string& message)
        : std::runtime_error(message)
        , m_line(line)
    {
    }

    int Line() const { return m_line; }

private:
    int m_line;
};

} // namespace rescomp
