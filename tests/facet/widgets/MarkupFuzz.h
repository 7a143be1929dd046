// The label markup parser on arbitrary input: shared by the fuzz-style test and the libFuzzer target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Reads the bytes as UTF-16 units, parses them, and checks what must hold for any input. Returns an
// empty text, or what did not hold.
std::string CheckLabelMarkup(const uint8_t* data, size_t size);
