#include "simulate/simulation_tool.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

#include "pedigree/diagnostics.h"
#include "pedigree/input_file.h"
#include "pedigree/member_order.h"
#include "pedigree/random_source.h"
#include "pedigree/text_input.h"

namespace {

// One allele out of 1..alleles from one draw.
int drawAllele(int alleles) { return static_cast<int>(random_source::next() / 32768.0 * alleles + 1); }

// One coin per parent and child: 1 (the parent's allele2 haplotype) when the
// draw is below 16383.
int drawHaplotype() { return random_source::next() < 16383 ? 1 : 0; }

}  // namespace

std::string simulationOutputName(const std::string& inputName) {
  // Built from the loci, alleles and crossovers as "-%d-", "%d-", "%d.txt".
  std::string name = inputName.substr(0, inputName.size() - 4);
  name.append("-").append(std::to_string(kSimulatedLoci)).append("-");
  name.append(std::to_string(kSimulatedAlleles)).append("-");
  name.append(std::to_string(kSimulatedCrossovers)).append(".txt");
  return name;
}

std::string readStructure(LineSource& source, const std::string& fileName, Family& family) {
  std::string line;
  int lineNumber = 0;
  family.memberCount = 0;
  while (source.next(line) && !line.empty()) {
    ++lineNumber;
    ++family.memberCount;
    Member member;
    member.seqIndex = family.memberCount - 1;
    member.memberId = member.seqIndex + 1;
    int fieldNumber = 0;
    forEachField(line, [&](std::string_view field) {
      ++fieldNumber;
      int* destination = nullptr;
      switch (fieldNumber) {
        case 1: destination = &member.memberId; break;
        case 2: destination = &member.fatherId; break;
        case 3: destination = &member.motherId; break;
        case 4: destination = &member.sex; break;
        default: return;
      }
      if (!parseLeadingInt(field, *destination)) {
        diagnostics::error(fileName + ": line " + std::to_string(lineNumber) + ": field " +
                           std::to_string(fieldNumber) + " '" + std::string(field) +
                           "' is not a number; the value is left as it was");
      }
    });
    const std::string where = fileName + ": line " + std::to_string(lineNumber) + ": ";
    if (fieldNumber < 4) return where + "fewer than four fields (member, father, mother, sex)";
    if ((member.fatherId == 0) != (member.motherId == 0)) {
      return where + "member " + std::to_string(member.memberId) + " has only one known parent";
    }
    const int id = member.memberId;
    if (family.members.count(id) != 0) {
      diagnostics::error(where + "member " + std::to_string(id) +
                         " appears again; the later line replaces it");
    }
    family.members[id] = std::move(member);
    Member& stored = family.members[id];
    // A parent listed later than its child is not linked to it.
    auto father = stored.fatherId != 0 ? family.members.find(stored.fatherId) : family.members.end();
    auto mother = stored.motherId != 0 ? family.members.find(stored.motherId) : family.members.end();
    if (father != family.members.end()) father->second.childIds.push_back(id);
    if (mother != family.members.end()) mother->second.childIds.push_back(id);
    if (father != family.members.end() && mother != family.members.end()) {
      father->second.mateId = mother->second.memberId;
      mother->second.mateId = father->second.memberId;
    }
    if (stored.isFounder()) ++family.founderCount;
  }
  for (const auto& [id, member] : family.members) {
    for (int parent : {member.fatherId, member.motherId}) {
      if (parent != 0 && family.members.count(parent) == 0) {
        return fileName + ": member " + std::to_string(id) + " names parent " + std::to_string(parent) +
               ", who is not in the file";
      }
    }
  }
  std::vector<int> order = computeFoundersFirstOrder(family);
  if (order.size() != family.members.size()) {
    std::set<int> placed(order.begin(), order.end());
    for (const auto& [id, member] : family.members) {
      if (placed.count(id) == 0) {
        return fileName + ": member " + std::to_string(id) +
               " cannot be simulated after its parents (a member is its own ancestor, or a parent id is not "
               "positive)";
      }
    }
  }
  return {};
}

bool simulateFamily(Family& family, TextSink& output, int replicate, int loci, int /*crossovers*/,
                    int alleles) {
  family.familyId = replicate;
  family.locusCount = loci;
  const auto locusTotal = static_cast<std::size_t>(loci);
  // Founders in ascending id, then every non-founder once both its parents
  // have genotypes (ascending id whenever parents have the smaller ids).
  for (int id : computeFoundersFirstOrder(family)) {
    Member& member = family.members.at(id);
    member.familyId = replicate;
    member.genotypes.assign(locusTotal, LocusGenotype{});
    if (member.isFounder()) {
      for (LocusGenotype& g : member.genotypes) {
        g.allele1 = drawAllele(alleles);
        g.allele2 = drawAllele(alleles);
      }
      continue;
    }
    for (int side = kPaternal; side <= kMaternal; ++side) {
      const Member& parent = family.members.at(member.parentOnSide(side));
      const int haplotype = drawHaplotype();
      for (std::size_t l = 0; l < locusTotal; ++l) {
        member.genotypes[l].alleleOnSide(side) = parent.genotypes[l].alleleNumber(haplotype);
        member.genotypes[l].sourceOnSide(side) = haplotype;
      }
    }
  }
  family.writeLinkageTable(output);
  return true;
}

int runSimulationTool(const std::string& inputName) {
  if (inputName.size() < 4) {
    diagnostics::error("structure file name '" + inputName +
                       "' is too short: the output is named by replacing its last four characters");
    return 1;
  }
  InputFile input = openInputFile(inputName, "structure file");
  if (input.file == nullptr) {
    diagnostics::error(input.problem);
    return 1;
  }
  const std::string outputName = simulationOutputName(inputName);
  if (namesFile(outputName, input.status)) {
    std::fclose(input.file);
    diagnostics::error("structure file '" + inputName + "' would be overwritten by its own output file '" +
                       outputName + "'; nothing simulated");
    return 1;
  }
  // The structure is read and checked once; every replicate starts from a
  // fresh copy of it, as if the file were read again.
  Family structure;
  LineSource source(input.file);
  std::string problem = readStructure(source, inputName, structure);
  if (problem.empty() && std::ferror(input.file) != 0) {
    problem = "error while reading structure file '" + inputName + "': " + std::strerror(errno ? errno : EIO);
  }
  std::fclose(input.file);
  if (!problem.empty()) {
    diagnostics::error(problem + "; nothing simulated");
    return 1;
  }
  std::FILE* outputFile = std::fopen(outputName.c_str(), "w");
  if (outputFile == nullptr) {
    diagnostics::error("cannot create output file '" + outputName + "': " + std::strerror(errno));
    return 1;
  }
  {
    TextSink output(outputFile);
    for (int replicate = 1; replicate <= kSimulatedReplicates; ++replicate) {
      Family family = structure;
      simulateFamily(family, output, replicate, kSimulatedLoci, kSimulatedCrossovers, kSimulatedAlleles);
    }
    output.flush();
    if (output.failed() || std::ferror(outputFile) != 0) {
      std::fclose(outputFile);
      diagnostics::error("cannot write output file '" + outputName + "'");
      return 1;
    }
  }
  if (std::fclose(outputFile) != 0) {
    diagnostics::error("cannot write output file '" + outputName + "': " + std::strerror(errno));
    return 1;
  }
  return 0;
}
