// Opening an input file for a run: only regular files and pipes are read.
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <string>

struct InputFile {
  std::FILE* file = nullptr;  // null when the input cannot be used
  struct stat status {};
  std::string problem;  // why it cannot be used; empty otherwise
};

// The name reaches the file whose status is `file` (the same file under
// this or another name: a symbolic or hard link). An output of that name
// would empty an input before it is read.
bool namesFile(const std::string& name, const struct stat& file);

// Opens `name` for reading. `what` names the kind of file in messages
// ("input file", "structure file").
InputFile openInputFile(const std::string& name, const std::string& what);
