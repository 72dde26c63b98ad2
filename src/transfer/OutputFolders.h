// Where the commands put what they write, and how a run that fails leaves
// nothing behind: hidden work folders beside or inside the target, the
// exchange of a finished export with the folder it replaces, the baseline's
// staged files moved into place at the end, and the checks that keep a run
// from writing over its own database, through a planted link or onto
// anything but a regular file.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "qmxml/DatabaseLocator.h"

namespace qmxml::transfer {

// Removes the work folders "<prefix><pid>..." directly under |parent| whose
// process is gone (an export or baseline that was killed), and returns
// their paths. Folders of live processes, and names whose pid cannot be
// read, are left alone.
std::vector<std::filesystem::path> RemoveStaleWorkFolders(const std::filesystem::path& parent,
                                                          const std::string& prefix);

// Gives |staged| the name |dir| in one step: with |dir| missing a plain
// rename, otherwise the two are exchanged (so a name |dir| exists at every
// moment) and the old content, now under |staged|, is removed. Throws
// Error eErr_FileNotFound when the rename fails; nothing has moved then.
void ExchangeFolders(const std::filesystem::path& staged, const std::filesystem::path& dir);

// Throws Error eErr_OwnDatabase when |target| (a folder to replace, or a
// file to write) is or holds the database file of |db| or its key file
// ("<db>.key", and the key file named by QMXML_KEY_FILE). A database on a
// server has no file.
void CheckNotSourceFiles(const std::filesystem::path& target, const DatabaseLocator& db,
                         bool target_is_folder);

// The files of one baseline run, staged in a hidden folder inside the
// baseline folder and moved into place only when the whole run succeeded.
// A run that fails (or a process that is killed) changes nothing a reader
// of the folder sees: the staged files go away, and a replaced file comes
// back as it was.
class StagedFolder {
 public:
  // Creates |dir| when it is missing (removed again unless the run is
  // committed) and the work folder ".baseline.partial-<pid>-XXXXXX" inside
  // it, removing the work folders of baselines that were killed. Throws
  // eErr_FileNotFound when |dir| cannot be made a folder, and
  // eErr_OutsideFolder when its "Resources" is a link that leads out of it
  // or not a folder.
  explicit StagedFolder(const std::filesystem::path& dir);
  // Removes the work folder (and |dir| when this run created it and did
  // not commit).
  ~StagedFolder();
  StagedFolder(const StagedFolder&) = delete;
  StagedFolder& operator=(const StagedFolder&) = delete;

  // The folder the run writes its files into.
  const std::filesystem::path& Work() const { return work_; }
  // Folders whose stale work folders were removed (for the progress line).
  const std::vector<std::filesystem::path>& Removed() const { return removed_; }

  // Moves every staged file to the same place under |dir|, |last| (a name
  // relative to the work folder) after all others. Before anything moves,
  // every target is checked to be a regular file or missing
  // (eErr_NotRegularFile otherwise). When a move fails half-way, the files
  // moved so far are put back as they were and the error is thrown.
  void Commit(const std::string& last);

  // |text| with the work folder's paths turned into the paths the files
  // have once committed, so messages name the files a user knows.
  std::string Published(std::string text) const;

 private:
  std::filesystem::path dir_;
  std::filesystem::path work_;
  bool created_dir_ = false;
  bool committed_ = false;
  std::vector<std::filesystem::path> removed_;
};

}  // namespace qmxml::transfer
