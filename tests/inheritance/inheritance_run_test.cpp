// Option i end to end: the built program on generated and hand-made files.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>

#include "family_generator.h"
#include "test_support.h"

namespace {

struct RunFiles {
  test_support::RunResult run;
  std::string out;
  std::string res;  // times masked
};

RunFiles runInheritance(const std::string& input,
                        const std::map<std::string, std::string>& environment = {}) {
  const std::string dir = test_support::makeTempDir();
  test_support::writeFile(dir + "/fam.txt", input);
  RunFiles files;
  files.run = test_support::runHaplotor({"-i", "fam.txt"}, dir, environment);
  files.out = test_support::readFile(dir + "/fam.out");
  files.res = test_support::maskTimes(test_support::readFile(dir + "/fam.res"));
  return files;
}

std::vector<std::string> splitOn(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, separator)) parts.push_back(part);
  return parts;
}

struct WrittenMember {
  int father = 0;
  int mother = 0;
  std::vector<std::pair<int, int>> alleles;
  std::string paternalSources;
  std::string maternalSources;
};

// family -> member -> what the "out" file holds.
std::map<int, std::map<int, WrittenMember>> parseOut(const std::string& out) {
  std::map<int, std::map<int, WrittenMember>> families;
  for (const std::string& line : splitOn(out, '\n')) {
    const std::vector<std::string> fields = splitOn(line, '\t');
    WrittenMember member;
    member.father = std::stoi(fields[2]);
    member.mother = std::stoi(fields[3]);
    for (std::size_t k = 7; k + 2 < fields.size(); ++k) {
      const std::size_t slash = fields[k].find('/');
      member.alleles.push_back(
          {std::stoi(fields[k].substr(0, slash)), std::stoi(fields[k].substr(slash + 1))});
    }
    member.paternalSources = fields[fields.size() - 2];
    member.maternalSources = fields[fields.size() - 1];
    families[std::stoi(fields[0])][std::stoi(fields[1])] = member;
  }
  return families;
}

int countChanges(const std::string& sources) {
  int changes = 0;
  for (std::size_t k = 1; k < sources.size(); ++k) changes += sources[k] != sources[k - 1] ? 1 : 0;
  return changes;
}

TEST(InheritanceRun, GeneratedFamiliesAreAllWrittenConsistentWithEveryTypedAllele) {
  std::mt19937 rng(99);
  std::string input;
  std::map<int, std::map<int, std::vector<int>>> typed;  // family -> member -> alleles as read
  int familyId = 0;
  for (int round = 0; round < 40; ++round) {
    test_support::GeneratedFamilyOptions options;
    options.familyId = ++familyId;
    switch (round % 4) {
      case 0: options.children = 1 + round % 7; break;
      case 1:
        options.generations = 3;
        options.children = 2 + round % 3;
        options.marriedChildren = 1 + round % 2;
        options.grandchildren = 1 + round % 3;
        break;
      case 2:
        options.halfSiblings = true;
        options.children = 1 + round % 3;
        break;
      default:
        options.generations = 3;
        options.children = 4;
        options.marriedChildren = 2;
        options.grandchildren = 3;
        break;
    }
    options.loci = 30;
    options.alleles = 2 + round % 3;
    options.recombinationRate = 0.05;
    options.missingRate = 0.2 * (round % 5) / 4.0;
    options.missingGenotypeRate = round % 3 == 0 ? 0.1 : 0.0;
    options.shuffled = round % 2 == 1;
    const std::string text = test_support::generateFamilyText(options, rng);
    input += text;
    for (const std::string& line : splitOn(text, '\n')) {
      std::stringstream fields(line);
      int value = 0;
      std::vector<int> numbers;
      while (fields >> value) numbers.push_back(value);
      typed[familyId][numbers[1]] = std::vector<int>(numbers.begin() + 7, numbers.end());
    }
  }
  const RunFiles files = runInheritance(input);
  EXPECT_EQ(files.run.exitStatus, 0);
  EXPECT_EQ(files.run.standardError, "");
  const auto written = parseOut(files.out);
  ASSERT_EQ(written.size(), typed.size());
  std::map<int, int> resCount;
  for (const std::string& line : splitOn(files.res, '\n')) {
    if (line.empty() || line[0] == 'F') continue;
    resCount[std::stoi(line)] = std::stoi(line.substr(line.find('\t') + 1));
  }
  for (const auto& [family, members] : written) {
    SCOPED_TRACE("family " + std::to_string(family));
    ASSERT_EQ(members.size(), typed[family].size());
    int recombinants = 0;
    for (const auto& [id, member] : members) {
      const std::vector<int>& read = typed[family][id];
      for (std::size_t l = 0; l < member.alleles.size(); ++l) {
        const auto [x, y] = member.alleles[l];
        const int a = read[2 * l];
        const int b = read[2 * l + 1];
        const bool kept = a != 0 && b != 0   ? (x == a && y == b) || (x == b && y == a)
                          : a != 0 || b != 0 ? x == a + b || y == a + b
                                             : true;
        EXPECT_TRUE(kept) << "member " << id << " locus " << l;
        if (member.father == 0) continue;
        const WrittenMember& father = members.at(member.father);
        const WrittenMember& mother = members.at(member.mother);
        const int s = member.paternalSources[l] - '0';
        const int t = member.maternalSources[l] - '0';
        ASSERT_TRUE((s == 0 || s == 1) && (t == 0 || t == 1));
        const int fromFather = s == 0 ? father.alleles[l].first : father.alleles[l].second;
        const int fromMother = t == 0 ? mother.alleles[l].first : mother.alleles[l].second;
        EXPECT_TRUE(x == 0 || fromFather == 0 || x == fromFather) << "member " << id << " locus " << l;
        EXPECT_TRUE(y == 0 || fromMother == 0 || y == fromMother) << "member " << id << " locus " << l;
      }
      if (member.father != 0) {
        recombinants += countChanges(member.paternalSources) + countChanges(member.maternalSources);
      }
    }
    EXPECT_EQ(resCount[family], recombinants);
  }
}

TEST(InheritanceRun, MissingAllelesAreFilledOnlyWhereTheVectorDeterminesThem) {
  // The mother is untyped at locus 0: the child's 2 must be on the haplotype
  // she passed on; her other allele stays unknown. Locus 1: the child's
  // missing allele comes from the homozygous father, and its 3 puts the
  // mother's 3 on the same haplotype as her 2 (a founder's phase is free).
  const RunFiles files = runInheritance(
      "1 1 0 0 1 0 0 1 1 1 1\n"
      "1 2 0 0 2 0 0 0 0 2 3\n"
      "1 3 1 2 1 0 0 1 2 0 3\n");
  EXPECT_EQ(files.run.exitStatus, 0);
  EXPECT_EQ(files.run.standardError, "");
  EXPECT_EQ(files.out,
            "1\t1\t0\t0\t1\t0\t0\t1/1\t1/1\t00\t00\n"
            "1\t2\t0\t0\t2\t0\t0\t2/0\t3/2\t00\t00\n"
            "1\t3\t1\t2\t1\t0\t0\t1/2\t1/3\t00\t00\n");
  EXPECT_EQ(files.res, "Family\t # of Rec\t Time used(Sec)\n1\t 0\t T\n");
}

TEST(InheritanceRun, InconsistentLociAreWrittenAsReadAndTooLargeFamiliesAreRefused) {
  std::string input =
      "1 1 0 0 1 0 0 1 2 1 2\n"
      "1 2 0 0 2 0 0 1 1 1 1\n"
      "1 3 1 2 1 0 0 1 2 3 3\n";
  // A couple with n children needs 2n - 2 bits: family 2 has 3 children
  // (4 bits), family 3 has 14 (26 bits).
  auto couple = [](int family, int children) {
    std::string text =
        std::to_string(family) + " 1 0 0 1 0 0 1 2 1 2\n" + std::to_string(family) + " 2 0 0 2 0 0 1 2 1 2\n";
    for (int child = 3; child < 3 + children; ++child) {
      text += std::to_string(family) + " " + std::to_string(child) + " 1 2 1 0 0 1 2 2 2\n";
    }
    return text;
  };
  input += couple(2, 3) + couple(3, 14);
  const RunFiles files = runInheritance(input);
  EXPECT_EQ(files.run.exitStatus, 0);
  EXPECT_EQ(
      files.run.standardError,
      "Haplotor: fam.txt: family 1: 1 locus fits no inheritance vector (Mendelian inconsistency; loci 1, "
      "counted from 0); written as read, unphased\n"
      "Haplotor: fam.txt: family 3 needs 26 inheritance bits, more than the limit of 24 "
      "(HAPLOTOR_MAX_BITS raises it); nothing is written for it\n");
  const auto written = parseOut(files.out);
  EXPECT_EQ(written.size(), 2u);
  EXPECT_EQ(written.at(1).at(3).alleles[1], std::make_pair(3, 3));
  EXPECT_EQ(written.at(1).at(3).paternalSources, "0-1");
  EXPECT_EQ(written.at(2).size(), 5u);

  const RunFiles lowered = runInheritance(couple(2, 3) + couple(4, 4), {{"HAPLOTOR_MAX_BITS", "4"}});
  EXPECT_EQ(lowered.run.standardError,
            "Haplotor: fam.txt: family 4 needs 6 inheritance bits, more than the limit of 4 "
            "(HAPLOTOR_MAX_BITS raises it); nothing is written for it\n");
  EXPECT_EQ(parseOut(lowered.out).size(), 1u);
  const RunFiles invalid =
      runInheritance(couple(2, 3), {{"HAPLOTOR_MAX_BITS", "x"}, {"HAPLOTOR_THETA", "2"}});
  EXPECT_NE(invalid.run.standardError.find("HAPLOTOR_MAX_BITS='x' is not a whole number"), std::string::npos);
  EXPECT_NE(invalid.run.standardError.find("HAPLOTOR_THETA='2' is not a number in (0, 0.5]"),
            std::string::npos);
  EXPECT_EQ(parseOut(invalid.out).size(), 1u);
}

}  // namespace
