#include "pedigree_file/pedigree_reader.h"

#include "pedigree/diagnostics.h"

void PedigreeReader::warnField(int lineNumber, int fieldNumber, std::string_view field,
                               std::string_view what) {
  std::string message = fileName_ + ": line " + std::to_string(lineNumber) + ": field " +
                        std::to_string(fieldNumber) + " '" + std::string(field) + "' " + std::string(what);
  diagnostics::warning(message);
}

ReadFamily PedigreeReader::nextFamily() {
  ReadFamily current;
  if (ended_) return current;
  if (pendingLine_) {
    pendingLine_ = false;
    current.family = std::make_unique<Family>();
    current.family->familyId = pendingFamilyId_;
    current.firstLine = lineNumber_;
    addMember(current, line_, lineNumber_);
  }
  while (true) {
    if (!source_.next(line_) || line_.empty()) {
      ended_ = true;
      return current;
    }
    ++lineNumber_;
    int familyId = hasCurrentFamily_ ? currentFamilyId_ : 0;
    FieldCursor cursor(line_);
    std::string_view field;
    if (cursor.next(field) && !parseLeadingInt(field, familyId)) {
      warnField(lineNumber_, 1, field,
                hasCurrentFamily_ ? "is not a number; the line joins the current family" : "is not a number");
      if (!hasCurrentFamily_) current.badFamilyIdLine = lineNumber_;
    }
    if (!hasCurrentFamily_ || familyId != currentFamilyId_) {
      bool closesFamily = current.family != nullptr;
      hasCurrentFamily_ = true;
      currentFamilyId_ = familyId;
      if (closesFamily) {
        // The new family is created once the caller is done with this one.
        pendingLine_ = true;
        pendingFamilyId_ = familyId;
        return current;
      }
      current.family = std::make_unique<Family>();
      current.family->familyId = familyId;
      current.firstLine = lineNumber_;
    }
    addMember(current, line_, lineNumber_);
  }
}

void PedigreeReader::addMember(ReadFamily& current, std::string_view line, int lineNumber) {
  Family& family = *current.family;
  Member member;
  member.seqIndex = current.createdMembers++;
  member.memberId = member.seqIndex + 1;
  member.familyId = family.familyId;
  // A marker takes at least four characters ("1 2 "), so this is enough room.
  member.genotypes.reserve(line.size() / 4 + 1);
  FieldCursor cursor(line);
  std::string_view field;
  int fieldNumber = 0;
  int* const leading[] = {nullptr,     &member.memberId, &member.fatherId, &member.motherId,
                          &member.sex, nullptr,          nullptr};
  for (; fieldNumber < 7 && cursor.next(field); ++fieldNumber) {
    int* destination = leading[fieldNumber];
    if (destination != nullptr && !parseLeadingInt(field, *destination)) {
      warnField(lineNumber, fieldNumber + 1, field, "is not a number; the value is left as it was");
    }
  }
  // The alleles go alternately into one scratch pair, which is not reset
  // between pairs: an unreadable allele keeps the previous pair's value.
  // (The pair lives in plain locals so that it stays in registers.)
  int allele1 = 0;
  int allele2 = 0;
  const int source = member.isFounder() ? 0 : kSourceUnknown;
  bool converted = false;
  while (true) {
    if (!cursor.nextInt(field, allele1, converted)) break;
    ++fieldNumber;
    if (!converted) warnField(lineNumber, fieldNumber, field, "is not a number; the value is left as it was");
    if (!cursor.nextInt(field, allele2, converted)) break;
    ++fieldNumber;
    if (!converted) warnField(lineNumber, fieldNumber, field, "is not a number; the value is left as it was");
    member.genotypes.push_back(LocusGenotype{allele1, allele2, source, source, false});
  }
  if (fieldNumber < 7 && current.shortLine == 0) current.shortLine = lineNumber;
  family.locusCount = static_cast<int>(member.genotypes.size());
  const int id = member.memberId;
  auto [it, inserted] = family.members.try_emplace(id);
  if (!inserted) {
    diagnostics::warning(fileName_ + ": line " + std::to_string(lineNumber) + ": family " +
                         std::to_string(family.familyId) + ": member " + std::to_string(id) +
                         " appears again (line " + std::to_string(current.lineOfMember[id]) +
                         "); the later line replaces the earlier one");
  }
  it->second = std::move(member);
  current.lineOfMember[id] = lineNumber;
}
