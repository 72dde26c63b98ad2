// The well-formedness check a folder's documents pass before anything of
// them reaches a database.
//
// The XML parser the readers use is lenient where the readers must not be:
// it takes an element with two attributes of one name, bytes that are not
// UTF-8, and a DOCTYPE with entity declarations. An exported document never
// holds any of these, so a document that does was not written by an export
// and is refused, with the line and column of the first fault.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "qmxml/Scheduler.h"

namespace qmxml::xml {

// The largest document an import reads (1.5 GiB). An export writes none
// larger: a resource file holds one value, which the database keeps in at
// most 1,000,000,000 bytes and Base64 makes 1.33 GB, and a package file
// holds one package's requirements.
inline constexpr uintmax_t kMaxDocumentBytes = uintmax_t{1536} << 20;

// Checks the raw bytes of a document: UTF-8 throughout (an optional byte
// order mark first), no NUL and no other control character that XML 1.0
// cannot carry. Throws Error eErr_NotWellFormed naming |path|, the line,
// the column and the fault.
void CheckDocumentBytes(std::string_view bytes, const std::string& path);

// Reads |path| and checks it whole: first its size (a file larger than
// kMaxDocumentBytes is refused with eErr_TooLarge before a byte is read),
// then the bytes as above, chunk by chunk as they are read (a fault near
// the start is found without reading the rest), then that it parses
// (the parser's status and reason go into the text, not the error number),
// holds no DOCTYPE, and no element carries one attribute name twice.
// Returns the parsed document for a caller that wants to look inside.
// Throws Error eErr_FileNotFound when the file cannot be read and
// eErr_NotWellFormed for everything else.
XmlDocumentPtr CheckWellFormed(const std::string& path);

}  // namespace qmxml::xml
