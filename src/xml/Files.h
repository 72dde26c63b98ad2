// File helpers: a file written whole or not at all, and the checks that keep
// every name built from data inside its folder.
#pragma once

#include <string>
#include <string_view>

namespace qmxml::xml {

// Creates or replaces |path| with |bytes|, written to a new temporary file
// beside it (CreateTempFile) and renamed over |path| when complete, so
// |path| is never half-written. Throws Error eErr_NotRegularFile when
// |path| names something other than a regular file (a link, a folder, a
// device), and eErr_FileNotFound naming the file and the reason when it
// cannot be written (the temporary file is removed again).
void WriteFileBytes(const std::string& path, std::string_view bytes);
// Creates or replaces |path| with |bytes|, written straight to it: for a
// folder the run made for itself and publishes whole once every file is
// written (an export's hidden folder), where no one sees a half-written
// file and a temporary file per file would only cost a rename. A link at
// |path| is refused, not followed. Throws Error eErr_FileNotFound naming
// the file and the reason; a file that could not be completed is removed.
void WriteFileInPlace(const std::string& path, std::string_view bytes);
// Creates a new file ".<name>.<16 random hex digits>.part" beside |path|
// for writing, exclusively and without following links; its name goes to
// |temp|. Returns the descriptor, or -1 with errno set.
int CreateTempFile(const std::string& path, std::string* temp);
// Throws Error eErr_NotRegularFile unless |path| is missing or a regular
// file (a link is refused, whatever it points to).
void CheckReplaceable(const std::string& path);
// The path up to and including its last "/", or "".
std::string FolderOfPath(std::string_view path);
// True when a file of that name exists; false also when the lookup fails.
bool FileExists(const std::string& path);
// True when |path|, with every link in it followed, lies inside |folder|
// (also followed). A folder is a trust boundary: a link in it that points
// elsewhere must not make a reader open a file outside it.
bool InsideFolder(const std::string& path, const std::string& folder);
// True when |stem| can name a file inside a folder and nothing else: not
// empty, no path separator, drive colon or NUL, and not "." or "..".
// Whole-project transfers go further and name files by GUIDs only.
bool IsPlainFileStem(std::string_view stem);

}  // namespace qmxml::xml
