// Checks of the archive's Find and attribute-number rules on inputs made from arbitrary bytes, shared
// by the GoogleTest run over generated inputs and the libFuzzer target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Builds a document and paths from `data` (or, with the first byte's high bit set, takes the rest
// as the XML file itself), reads them through CXMLArchive over the fake engine and compares the
// results with a model of the rules. Returns what differed, or an empty text.
std::string CheckXmlArchiveOnInput(const std::uint8_t* data, std::size_t size);
