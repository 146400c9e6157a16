// libFuzzer entry: the first byte of an input picks the row (a letter of the
// table of methods as itself for the pedigree form, its capital for the
// VCF/PED form of a method of families; any other byte by its value modulo
// the number of rows). For the pedigree form the rest is the input file; for
// the VCF form the rest is split at its first NUL byte into a small VCF and
// a PED. The files are written to a private folder and handed to the
// command line exactly as main does (one thread, seed 1), so the harness
// follows whatever the run does inside; afterwards every file the run left in
// the folder is removed.
//
// HAPLOTOR_FUZZ_OPTION=<letter> restricts a fuzzing session to one row:
// inputs that pick another row are skipped, so a saved crash input still
// names its own row when it is replayed without the variable.
//
// Inputs with more than kMaxLines lines or with a line of more than
// kMaxLineFields fields are skipped: the methods legitimately take time
// exponential in the members and loci of a family (every optimal
// configuration, every zero-recombinant solution), and a fuzzer time-out
// there would report the method's contract, not a fault.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/methods.h"

namespace {

constexpr int kMaxLines = 8;
constexpr int kMaxLineFields = 7 + 2 * 10;  // seven leading fields and ten loci

std::string& privateFolder() {
  static std::string folder;
  return folder;
}

// Every row of the table of methods, the simulator included, and the VCF
// form (a capital letter) of every method of families.
std::string rowLetters() {
  std::string letters;
  for (const Method& method : methods()) letters.push_back(method.letter);
  for (const Method& method : methods()) {
    if (method.start != nullptr) letters.push_back(static_cast<char>(std::toupper(method.letter)));
  }
  return letters;
}

char rowOf(std::uint8_t first) {
  static const std::string letters = rowLetters();
  if (letters.find(static_cast<char>(first)) != std::string::npos) return static_cast<char>(first);
  return letters[first % letters.size()];
}

void writeInput(const std::string& name, std::string_view text) {
  std::FILE* file = std::fopen(name.c_str(), "wb");
  if (file == nullptr) std::abort();  // the folder vanished: nothing below would mean anything
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0 || !written) std::abort();
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
  // Runs are reproducible and stay on the harness's thread.
  setenv("HAPLOTOR_SEED", "1", 1);
  setenv("HAPLOTOR_THREADS", "1", 1);
  for (const char* name :
       {"HAPLOTOR_OUT", "HAPLOTOR_MAX_SOLUTIONS", "HAPLOTOR_THETA", "HAPLOTOR_MAX_BITS", "HAPLOTOR_IMPUTE",
        "HAPLOTOR_CM_PER_MB", "HAPLOTOR_MAP", "HAPLOTOR_TIMES", "HAPLOTOR_REGION", "HAPLOTOR_RES"})
    unsetenv(name);
  std::atexit(removePrivateFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const char row = rowOf(data[0]);
  static const char* const onlyRow = std::getenv("HAPLOTOR_FUZZ_OPTION");
  if (onlyRow != nullptr && *onlyRow != '\0' && *onlyRow != row) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  if (!withinSizeBounds(text)) return 0;

  const std::string option = std::string("-") + static_cast<char>(std::tolower(row));
  std::vector<std::string> arguments{"Haplotor.exe", option};
  if (std::isupper(static_cast<unsigned char>(row))) {
    const std::size_t split = std::min(text.find('\0'), text.size());
    arguments.push_back(privateFolder() + "/in.vcf");
    arguments.push_back(privateFolder() + "/in.ped");
    writeInput(arguments[2], text.substr(0, split));
    writeInput(arguments[3], split < text.size() ? text.substr(split + 1) : std::string_view());
  } else {
    arguments.push_back(privateFolder() + "/in.txt");
    writeInput(arguments[2], text);
  }
  runCommandLine(arguments);
  std::fflush(stdout);
  removeFolderContents(privateFolder());
  return 0;
}
