// Checks of the engine's readers on one input, shared by the fuzz-style unit test and the libFuzzer
// targets: the input becomes a file that the engine reads through its interfaces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Each returns an empty text when the engine behaved, or what went wrong. A crash, a hang or a
// sanitizer report is a finding as well.
// `loaded`, when given, tells whether the document loaded.
std::string CheckXmlDocumentOnInput(const std::uint8_t* data, std::size_t size, bool* loaded = nullptr);
std::string CheckPackageOnInput(const std::uint8_t* data, std::size_t size);
