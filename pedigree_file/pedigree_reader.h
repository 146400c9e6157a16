// Reads a pedigree file: one member per line (family, member, father, mother,
// sex, two ignored fields, then allele pairs), consecutive lines with the same
// family id forming one family. An empty line or the end of the file ends
// the input.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "pedigree/family.h"
#include "pedigree/text_input.h"

// One family as read, with what the reader noticed about its lines.
struct ReadFamily {
  std::unique_ptr<Family> family;
  int firstLine = 0;                // 1-based line number of its first line
  int shortLine = 0;                // first line with fewer than 7 fields, 0 if none
  int badFamilyIdLine = 0;          // a first line whose family id is not a number
  int createdMembers = 0;           // member records created so far (next seqIndex)
  std::map<int, int> lineOfMember;  // member id -> line number of its record
};

class PedigreeReader {
 public:
  // `fileName` names the input in messages.
  PedigreeReader(LineSource& source, std::string fileName)
      : source_(source), fileName_(std::move(fileName)) {}

  // The next complete family, or an empty family pointer at the end of the
  // input. The family is created (its clock started) when this call reads
  // its first line, that is after the caller has finished with the previous.
  ReadFamily nextFamily();

 private:
  void addMember(ReadFamily& current, std::string_view line, int lineNumber);
  void warnField(int lineNumber, int fieldNumber, std::string_view field, std::string_view what);

  LineSource& source_;
  std::string fileName_;
  std::string_view line_;  // the source's current line
  int lineNumber_ = 0;
  bool hasCurrentFamily_ = false;  // "no current family" is its own state
  int currentFamilyId_ = 0;
  bool pendingLine_ = false;  // line_ starts the next family
  int pendingFamilyId_ = 0;
  bool ended_ = false;
};
