// Result files written under temporary names beside their final ones and
// renamed only when the run completes; on any other way out they are
// removed, so a failed run leaves no partial result and never replaces an
// earlier one.
#pragma once

#include <string>
#include <vector>

class PendingFiles {
 public:
  PendingFiles() = default;
  PendingFiles(const PendingFiles&) = delete;
  PendingFiles& operator=(const PendingFiles&) = delete;
  ~PendingFiles();

  // Creates a fresh temporary file named after `folderOf` in its folder and
  // returns its name ("" with errno set when none can be made). It is renamed
  // to `finalName` on commit ("" = scratch, removed at the end); a file added
  // with `renameLast` is renamed after all others. The file gets the mode a
  // new file of the user gets (0666 less the umask), which the rename keeps.
  std::string add(const std::string& finalName, const std::string& folderOf, bool renameLast = false);
  // A file another writer created (an index beside its data file).
  void addExisting(const std::string& temporary, const std::string& finalName);
  // Removes a temporary file and forgets it.
  void discard(const std::string& temporary);

  // Empty when every file can take its final name as far as can be told
  // before renaming (no final name is a folder); otherwise why not.
  std::string checkFinalNames() const;
  // Checks, then renames every file with a final name, those added with
  // `renameLast` last, so a failure leaves the earlier results as they were
  // as far as possible. False, with the reason, on failure.
  bool commit(std::string& problem);

 private:
  struct File {
    std::string temporary;
    std::string finalName;  // "" = scratch
    bool renameLast = false;
  };
  std::vector<File> files_;
};
