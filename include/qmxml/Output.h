// Output: what a command that reads a project database writes for its
// user (a report, a query listing), to a file or to standard output, under
// the rules every file the tool writes follows: never over the database
// it reads or its key file, only onto a regular file or a new name, and
// replaced whole or not at all.
#pragma once

#include <functional>
#include <string>

#include "qmxml/DatabaseLocator.h"

namespace qmxml {

// Throws Error before anything is read when |out| may not be written by a
// command that reads |db|: eErr_NotRegularFile for a link, folder, device
// or FIFO at |out|, eErr_OwnDatabase when |out| is the database file of
// |db| or its key file ("<db>.key", and the file QMXML_KEY_FILE names).
// "" and "-" (standard output) always pass.
void CheckOutputFile(const DatabaseLocator& db, const std::string& out);

// Writes the text |build| returns to the file |out|, or to standard output
// when |out| is "" or "-". |out| is checked (CheckOutputFile) before
// |build| runs; the file is replaced whole, through a new temporary file,
// once the text is complete, and a failed write leaves it as it was. A
// failed write of standard output (a full disk, a closed pipe) throws
// eErr_OutputFailed. Errors of |build| pass through; nothing is written
// then.
void WriteCommandOutput(const DatabaseLocator& db, const std::string& out,
                        const std::function<std::string()>& build);

}  // namespace qmxml
