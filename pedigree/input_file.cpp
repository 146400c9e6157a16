#include "pedigree/input_file.h"

#include <cerrno>
#include <cstring>

InputFile openInputFile(const std::string& name, const std::string& what) {
  InputFile input;
  std::FILE* file = std::fopen(name.c_str(), "r");
  if (file == nullptr) {
    input.problem = "cannot open " + what + " '" + name + "': " + std::strerror(errno);
    return input;
  }
  // A directory opens for reading on some systems and reads as empty, which
  // would pass for an empty pedigree and wipe earlier results.
  if (::fstat(fileno(file), &input.status) != 0) {
    input.problem = "cannot examine " + what + " '" + name + "': " + std::strerror(errno);
  } else if (!S_ISREG(input.status.st_mode) && !S_ISFIFO(input.status.st_mode)) {
    input.problem = what + " '" + name + "' is not a regular file or a pipe";
  }
  if (!input.problem.empty()) {
    std::fclose(file);
    return input;
  }
  input.file = file;
  return input;
}

bool namesFile(const std::string& name, const struct stat& file) {
  struct stat named {};
  return ::stat(name.c_str(), &named) == 0 && named.st_dev == file.st_dev && named.st_ino == file.st_ino;
}
