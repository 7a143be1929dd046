// The engine's XML documents: read-only trees over pugixml, loaded from files in UTF-8 or UTF-16
// (with a byte-order mark), with limits on size, markup and nesting so that no file can exhaust memory.
#pragma once

#include "platform/base/Strings.h"
#include "ui/Engine.h"

#include <pugixml.hpp>

#include <vector>

inline constexpr size_t kMaxXmlFileSize = 16 * 1024 * 1024;
inline constexpr size_t kMaxXmlMarkup = 1024 * 1024; // '<' and '=' bytes each, bounds of elements and attributes
inline constexpr int kMaxXmlDepth = 256;

// A new, empty document with one reference.
HRESULT CreateEngineXmlDocument(EngineXmlDocument** document);

// The bytes of an XML file; false when it is missing, not a regular file or over the size limit.
bool ReadXmlFile(WStringView path, std::vector<BYTE>& bytes);
// Parses with the limits above; false leaves `document` empty.
bool ParseXml(const std::vector<BYTE>& bytes, pugi::xml_document& document);
