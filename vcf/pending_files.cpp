#include "vcf/pending_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

mode_t userFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

PendingFiles::~PendingFiles() {
  for (const File& file : files_) std::remove(file.temporary.c_str());
}

std::string PendingFiles::add(const std::string& finalName, const std::string& folderOf, bool renameLast) {
  std::string pattern = folderOf + ".haplotor-XXXXXX";
  const int descriptor = mkstemp(pattern.data());
  if (descriptor < 0) return {};
  // mkstemp makes the file 0600; a result is read by the user's group as
  // any other file the user makes.
  const bool moded = fchmod(descriptor, userFileMode()) == 0;
  const int savedErrno = errno;
  close(descriptor);
  if (!moded) {
    std::remove(pattern.c_str());
    errno = savedErrno;
    return {};
  }
  files_.push_back({pattern, finalName, renameLast});
  return pattern;
}

void PendingFiles::addExisting(const std::string& temporary, const std::string& finalName) {
  files_.push_back({temporary, finalName, false});
}

void PendingFiles::discard(const std::string& temporary) {
  std::remove(temporary.c_str());
  std::erase_if(files_, [&](const File& file) { return file.temporary == temporary; });
}

std::string PendingFiles::checkFinalNames() const {
  for (const File& file : files_) {
    std::error_code ignored;
    if (!file.finalName.empty() && std::filesystem::is_directory(file.finalName, ignored)) {
      return "cannot create '" + file.finalName + "': " + std::strerror(EISDIR);
    }
  }
  return {};
}

bool PendingFiles::commit(std::string& problem) {
  problem = checkFinalNames();
  if (!problem.empty()) return false;
  for (const bool last : {false, true}) {
    for (File& file : files_) {
      if (file.finalName.empty() || file.renameLast != last) continue;
      if (std::rename(file.temporary.c_str(), file.finalName.c_str()) != 0) {
        problem = "cannot create '" + file.finalName + "': " + std::strerror(errno);
        return false;
      }
      file.temporary.clear();  // renamed: nothing left to remove
    }
  }
  std::erase_if(files_, [](const File& file) { return file.temporary.empty(); });
  return true;
}
