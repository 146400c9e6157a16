#include "vcf/ped_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string_view>

#include "pedigree/diagnostics.h"
#include "pedigree/text_input.h"

namespace {

constexpr std::size_t kPedColumns = 6;

std::vector<std::string_view> splitColumns(std::string_view line) {
  std::vector<std::string_view> columns;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) columns.push_back(line.substr(start, i - start));
  }
  return columns;
}

std::string parentColumn(std::string_view column) {
  return column == "0" ? std::string() : std::string(column);
}

}  // namespace

bool readPedFile(const std::string& fileName, PedFile& ped, std::string& problem) {
  std::error_code ignored;
  if (std::filesystem::is_directory(fileName, ignored)) {
    problem = "pedigree file '" + fileName + "' is a folder, not a file";
    return false;
  }
  std::FILE* input = std::fopen(fileName.c_str(), "r");
  if (input == nullptr) {
    problem = "cannot open pedigree file '" + fileName + "': " + std::strerror(errno);
    return false;
  }
  ped.fileName = fileName;
  ped.families.clear();
  std::map<std::string, std::size_t> familyIndex;
  std::map<std::string, int> lineOfMember;
  LineSource source(input);
  std::string line;
  int lineNumber = 0;
  while (source.next(line)) {
    ++lineNumber;
    const std::vector<std::string_view> columns = splitColumns(line);
    if (columns.empty() || columns[0][0] == '#') continue;
    auto [found, added] = familyIndex.try_emplace(std::string(columns[0]), ped.families.size());
    if (added) {
      ped.families.emplace_back();
      ped.families.back().id = std::string(columns[0]);
      ped.families.back().firstLine = lineNumber;
    }
    PedFamily& family = ped.families[found->second];
    const std::string where = fileName + ": line " + std::to_string(lineNumber) + ": ";
    if (columns.size() < kPedColumns) {
      diagnostics::error(where + "has " + std::to_string(columns.size()) +
                         " columns, a PED line needs six (family, member, father, mother, sex, phenotype); "
                         "family " +
                         family.id + " is skipped");
      family.damaged = true;
      continue;
    }
    PedMember member;
    member.id = std::string(columns[1]);
    member.fatherId = parentColumn(columns[2]);
    member.motherId = parentColumn(columns[3]);
    member.sex = columns[4] == "1" ? 1 : columns[4] == "2" ? 2 : 0;
    member.line = lineNumber;
    // A VCF sample is found by its member id, so an id may stand for one
    // member of the whole file only.
    auto [earlier, isNew] = lineOfMember.try_emplace(member.id, lineNumber);
    if (!isNew) {
      diagnostics::error(where + "sample id '" + member.id + "' is given again (first on line " +
                         std::to_string(earlier->second) + "); family " + family.id + " is skipped");
      family.damaged = true;
      continue;
    }
    family.members.push_back(std::move(member));
  }
  const int readError = std::ferror(input) != 0 ? (errno != 0 ? errno : EIO) : 0;
  std::fclose(input);
  if (readError != 0) {
    problem = "error while reading pedigree file '" + fileName + "': " + std::strerror(readError);
    return false;
  }
  if (ped.families.empty()) {
    problem = "pedigree file '" + fileName + "' holds no family";
    return false;
  }
  return true;
}
