// libFuzzer entry: the first byte of an input picks the option (a letter of
// the table of methods as itself, any other byte by its value modulo the
// number of rows), the rest
// is the input file. The rest is written to a file in a private folder and
// handed to the option's run entry exactly as main does, so the harness
// follows whatever the run modes do inside; afterwards every file the run
// left in the folder is removed.
//
// HAPLOTOR_FUZZ_OPTION=<letter> restricts a fuzzing session to one option:
// inputs that pick another option are skipped, so a saved crash input still
// names its own option when it is replayed without the variable.
//
// Inputs with more than kMaxLines lines or with a line of more than
// kMaxLineFields fields are skipped: the methods legitimately take time
// exponential in the members and loci of a family (every optimal
// configuration, every zero-recombinant solution), and a fuzzer time-out
// there would report the method's contract, not a fault.
#include <dirent.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/methods.h"
#include "pedigree/random_source.h"

namespace {

constexpr int kMaxLines = 8;
constexpr int kMaxLineFields = 7 + 2 * 10;  // seven leading fields and ten loci
constexpr std::uint32_t kSeed = 1;

std::string& privateFolder() {
  static std::string folder;
  return folder;
}

// Every row of the table of methods, the simulator included.
char optionOf(std::uint8_t first) {
  const auto table = methods();
  for (const Method& method : table) {
    if (first == static_cast<std::uint8_t>(method.letter)) return method.letter;
  }
  return table[first % table.size()].letter;
}

bool isDelimiter(char c) { return c == ' ' || c == ',' || c == '\t'; }

// Counts lines and fields the way the readers split them (only up to the
// first empty line is read, but counting further is harmless).
bool withinSizeBounds(std::string_view text) {
  int lines = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    if (++lines > kMaxLines) return false;
    int fields = 0;
    bool inField = false;
    for (std::size_t i = start; i < end; ++i) {
      const bool delimiter = isDelimiter(text[i]);
      if (!delimiter && !inField) ++fields;
      inField = !delimiter;
    }
    if (fields > kMaxLineFields) return false;
    start = end + 1;
  }
  return true;
}

void removeFolderContents(const std::string& folder) {
  DIR* directory = opendir(folder.c_str());
  if (directory == nullptr) return;
  while (dirent* entry = readdir(directory)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") std::remove((folder + "/" + name).c_str());
  }
  closedir(directory);
}

void removePrivateFolder() {
  removeFolderContents(privateFolder());
  rmdir(privateFolder().c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/haplotor-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("haplotor fuzz: cannot create a private temporary folder");
    std::abort();
  }
  privateFolder() = pattern;
  std::atexit(removePrivateFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const char option = optionOf(data[0]);
  static const char* const onlyOption = std::getenv("HAPLOTOR_FUZZ_OPTION");
  if (onlyOption != nullptr && *onlyOption != '\0' && *onlyOption != option) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  if (!withinSizeBounds(text)) return 0;

  const std::string inputName = privateFolder() + "/in.txt";
  std::FILE* file = std::fopen(inputName.c_str(), "wb");
  if (file == nullptr) std::abort();  // the folder vanished: nothing below would mean anything
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0 || !written) std::abort();

  random_source::seed(kSeed);
  findMethod(option)->run(inputName);
  std::fflush(stdout);
  removeFolderContents(privateFolder());
  return 0;
}
