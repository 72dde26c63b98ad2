// The output of a command that reads a database: checked before the
// command reads anything, written whole once it is complete.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "qmxml/Error.h"
#include "qmxml/Output.h"
#include "transfer/OutputFolders.h"
#include "xml/Files.h"

namespace qmxml {
namespace {

constexpr const char* kSource = "OutputFolders";

bool IsStandardOutput(const std::string& out) { return out.empty() || out == "-"; }

void WriteStandardOutput(const std::string& bytes) {
  const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
  if (!written || std::fflush(stdout) != 0 || std::ferror(stdout))
    throw Error(eErr_OutputFailed, kSource,
                std::string("Cannot write to standard output: ") + std::strerror(errno) + ".");
}

}  // namespace

void CheckOutputFile(const DatabaseLocator& db, const std::string& out) {
  if (IsStandardOutput(out)) return;
  transfer::CheckNotSourceFiles(out, db, false);
  xml::CheckReplaceable(out);
}

void WriteCommandOutput(const DatabaseLocator& db, const std::string& out,
                        const std::function<std::string()>& build) {
  CheckOutputFile(db, out);
  const std::string bytes = build();
  if (IsStandardOutput(out))
    WriteStandardOutput(bytes);
  else
    xml::WriteFileBytes(out, bytes);
}

}  // namespace qmxml
