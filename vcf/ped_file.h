// Reads a PED pedigree (the six leading columns of a PLINK .ped or .fam
// file: family, member, father, mother, sex, phenotype; anything after the
// sixth column is ignored). Members of one family may be spread over the
// file; families keep the order of their first line.
#pragma once

#include <string>
#include <vector>

struct PedMember {
  std::string id;
  std::string fatherId;  // empty when the column holds 0
  std::string motherId;
  int sex = 0;  // 1 male, 2 female, 0 unknown
  int line = 0;
};

struct PedFamily {
  std::string id;
  int firstLine = 0;
  std::vector<PedMember> members;
  // Set when a line of the family could not be taken; the family is then
  // left out of the run (its samples are written as read).
  bool damaged = false;
};

struct PedFile {
  std::string fileName;
  std::vector<PedFamily> families;
};

// Reads the whole file (a pedigree is small next to the genotypes). Lines
// that are empty or begin with '#' are skipped. Problems are reported through
// diagnostics with the file and line: a line with fewer than six columns and
// a member id given twice damage their family. Returns false, with the
// reason in `problem`, when the file cannot be opened or read, is a folder,
// or holds no family.
bool readPedFile(const std::string& fileName, PedFile& ped, std::string& problem);
