// Option i end to end: the built program on generated and hand-made files.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>

#include "family_generator.h"
#include "test_support.h"

namespace {

struct Written {
  int father = 0, mother = 0;
  std::vector<std::pair<int, int>> alleles;
  std::string sources[2];  // paternal, maternal
};
using Families = std::map<int, std::map<int, Written>>;

struct Outcome {
  test_support::RunResult run;
  std::string out, res;  // res with times masked
  Families written;
};

Outcome runInheritance(const std::string& input, const std::map<std::string, std::string>& environment = {}) {
  const std::string dir = test_support::makeTempDir();
  test_support::writeFile(dir + "/fam.txt", input);
  Outcome r{test_support::runHaplotor({"-i", "fam.txt"}, dir, environment),
            test_support::readFile(dir + "/fam.out"),
            test_support::maskTimes(test_support::readFile(dir + "/fam.res")),
            {}};
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::vector<std::string> f;
    for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
    Written& member = r.written[std::stoi(f[0])][std::stoi(f[1])];
    member.father = std::stoi(f[2]);
    member.mother = std::stoi(f[3]);
    for (std::size_t k = 7; k + 2 < f.size(); ++k) {
      member.alleles.emplace_back(std::stoi(f[k]), std::stoi(f[k].substr(f[k].find('/') + 1)));
    }
    member.sources[0] = f[f.size() - 2];
    member.sources[1] = f[f.size() - 1];
  }
  return r;
}

using Typed = std::map<int, std::map<int, std::vector<int>>>;  // family -> member -> alleles as read

void addTyped(const std::string& text, int family, Typed& typed) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::vector<int> numbers;
    for (int value = 0; fields >> value;) numbers.push_back(value);
    typed[family][numbers[1]] = std::vector<int>(numbers.begin() + 7, numbers.end());
  }
}

// The written pair (x, y) keeps the typed alleles (a, b) as read.
bool keepsTyped(int x, int y, int a, int b) {
  return a != 0 && b != 0   ? (x == a && y == b) || (x == b && y == a)
         : a != 0 || b != 0 ? x == a + b || y == a + b
                            : true;
}

// Generated families of four shapes, or (with typing errors in the input)
// smaller ones; families and their typed alleles as read.
std::string generatedInput(Typed& typed, bool typingErrors) {
  std::mt19937 rng(typingErrors ? 7 : 99);
  using Options = test_support::GeneratedFamilyOptions;
  const Options shapes[] = {{.children = 1},
                            {.generations = 3, .children = 2, .grandchildren = 1},
                            {.children = 1, .halfSiblings = true},
                            {.generations = 3, .children = 4, .grandchildren = 3, .marriedChildren = 2}};
  std::string input;
  for (int family = 1; family <= (typingErrors ? 16 : 40); ++family) {
    Options options = shapes[family % 4];
    if (typingErrors) {
      options = {.generations = 2 + family % 2, .children = 2 + family % 3, .grandchildren = 1 + family % 2};
    } else {
      if (family % 4 < 3) options.children += family % (family % 4 == 0 ? 7 : 3);
      if (family % 4 == 1) options.grandchildren += family % 3;
      if (family % 4 == 1) options.marriedChildren += family % 2;
      options.missingGenotypeRate = family % 3 == 0 ? 0.1 : 0.0;
    }
    options.familyId = family;
    options.loci = typingErrors ? 20 : 30;
    options.alleles = 2 + family % 3;
    options.recombinationRate = 0.05;
    options.missingRate = 0.05 * (family % (typingErrors ? 3 : 5));
    options.typingErrorRate = typingErrors ? 0.04 : 0.0;
    options.shuffled = family % 2 == 1;
    const std::string text = test_support::generateFamilyText(options, rng);
    input += text;
    addTyped(text, family, typed);
  }
  return input;
}

// Every written call keeps the typed alleles; with `followsSources`, each
// child allele is the one its sources name and the "res" counts the changes.
void expectWrittenConsistently(const Outcome& r, Typed& typed, bool followsSources) {
  ASSERT_EQ(r.written.size(), typed.size());
  for (const auto& [family, members] : r.written) {
    SCOPED_TRACE("family " + std::to_string(family));
    ASSERT_EQ(members.size(), typed[family].size());
    int recombinants = 0;
    for (const auto& [id, member] : members) {
      const std::vector<int>& read = typed[family][id];
      for (std::size_t l = 0; l < member.alleles.size(); ++l) {
        const auto [x, y] = member.alleles[l];
        EXPECT_TRUE(keepsTyped(x, y, read[2 * l], read[2 * l + 1])) << "member " << id << " locus " << l;
        if (member.father == 0 || !followsSources) continue;
        int side = 0;
        for (const Written* parent : {&members.at(member.father), &members.at(member.mother)}) {
          const char s = member.sources[side][l];
          ASSERT_TRUE(s == '0' || s == '1');
          const int passed = s == '0' ? parent->alleles[l].first : parent->alleles[l].second;
          const int got = side++ == 0 ? x : y;
          EXPECT_TRUE(got == 0 || passed == 0 || got == passed) << "member " << id << " locus " << l;
        }
        for (int side = 0; side < 2 && l > 0; ++side)
          recombinants += member.sources[side][l] != member.sources[side][l - 1] ? 1 : 0;
      }
    }
    if (!followsSources) continue;
    std::ostringstream line;
    line << '\n' << family << "\t " << recombinants << "\t T\n";
    EXPECT_NE(r.res.find(line.str()), std::string::npos) << r.res;
  }
}

TEST(InheritanceRun, GeneratedFamiliesAreAllWrittenConsistentWithEveryTypedAllele) {
  Typed typed;
  const Outcome r = runInheritance(generatedInput(typed, false));
  EXPECT_EQ(r.run.exitStatus, 0);
  EXPECT_EQ(r.run.standardError, "");
  expectWrittenConsistently(r, typed, true);
}

TEST(InheritanceRun, MissingAllelesAreFilledOnlyWhereTheVectorDeterminesThem) {
  // Locus 0: the untyped mother passed the child's 2; her other allele stays
  // unknown. Locus 1: the child's missing allele comes from the homozygous
  // father, and its 3 puts the mother's 3 on her passed haplotype.
  const Outcome r = runInheritance("1 1 0 0 1 0 0 1 1 1 1\n1 2 0 0 2 0 0 0 0 2 3\n1 3 1 2 1 0 0 1 2 0 3\n");
  EXPECT_EQ(r.run.standardError, "");
  EXPECT_EQ(r.out,
            "1\t1\t0\t0\t1\t0\t0\t1/1\t1/1\t00\t00\n"
            "1\t2\t0\t0\t2\t0\t0\t2/0\t3/2\t00\t00\n"
            "1\t3\t1\t2\t1\t0\t0\t1/2\t1/3\t00\t00\n");
  EXPECT_EQ(r.res, "Family\t # of Rec\t Time used(Sec)\n1\t 0\t T\n");
}

TEST(InheritanceRun, InconsistentLociAreWrittenAsReadAndLargeFamiliesArePhasedInPieces) {
  // A couple with n children needs 2n - 2 bits.
  auto couple = [](int family, int children) {
    const std::string f = std::to_string(family);
    std::string text = f + " 1 0 0 1 0 0 1 2 1 2\n" + f + " 2 0 0 2 0 0 1 2 1 2\n";
    for (int child = 3; child < 3 + children; ++child)
      text += f + " " + std::to_string(child) + " 1 2 1 0 0 1 2 2 2\n";
    return text;
  };
  const Outcome r =
      runInheritance("1 1 0 0 1 0 0 1 2 1 2\n1 2 0 0 2 0 0 1 1 1 1\n1 3 1 2 1 0 0 1 2 3 3\n" + couple(2, 3));
  EXPECT_EQ(r.run.exitStatus, 0);
  EXPECT_EQ(
      r.run.standardError,
      "Haplotor: fam.txt: family 1: 1 locus fits no inheritance vector (Mendelian inconsistency; loci 1, "
      "counted from 0); written as read, unphased\n");
  ASSERT_EQ(r.written.size(), 2u);
  EXPECT_EQ(r.written.at(1).at(3).alleles[1], std::make_pair(3, 3));
  EXPECT_EQ(r.written.at(1).at(3).sources[0], "0-1");
  EXPECT_EQ(r.written.at(2).size(), 5u);

  // Family 4 takes the couple and three children, then the last child with
  // its parents as written.
  Typed typed;
  addTyped(couple(2, 3), 2, typed);
  addTyped(couple(4, 4), 4, typed);
  const Outcome lowered = runInheritance(couple(2, 3) + couple(4, 4), {{"HAPLOTOR_MAX_BITS", "4"}});
  EXPECT_EQ(
      lowered.run.standardError,
      "Haplotor: fam.txt: family 4: 6 inheritance bits are more than HAPLOTOR_MAX_BITS (4); phased in 2 "
      "pieces of at most 4 bits, not exactly\n");
  expectWrittenConsistently(lowered, typed, true);
}

// Genotype errors in the input and in the model: a call is ordered or left
// as read, never changed; without errors in the model the wrong calls make
// loci inconsistent, with them they are taken as errors instead.
TEST(InheritanceRun, TypedAllelesAreNeverChangedWithGenotypeErrors) {
  Typed typed;
  const std::string input = generatedInput(typed, true);
  const std::map<std::string, std::string> settings[] = {
      {},
      {{"HAPLOTOR_ERROR", "0.01"}},
      {{"HAPLOTOR_ERROR", "0.3"}},
      {{"HAPLOTOR_ERROR", "0.05"}, {"HAPLOTOR_THETA", "0.4"}}};
  for (const auto& environment : settings) {
    const Outcome r = runInheritance(input, environment);
    SCOPED_TRACE(environment.empty() ? "no errors" : environment.begin()->second);
    EXPECT_EQ(r.run.exitStatus, 0);
    EXPECT_EQ(r.run.standardError.find("taken as genotype error") == std::string::npos, environment.empty());
    EXPECT_EQ(r.run.standardError.find("Mendelian inconsistency") == std::string::npos, !environment.empty());
    expectWrittenConsistently(r, typed, false);
  }
  // The child's 3/3 at locus 1 is in neither parent: taken as an error and
  // written as read, its other loci phased.
  const Outcome r =
      runInheritance("1 1 0 0 1 0 0 1 2 1 2 1 2\n1 2 0 0 2 0 0 1 1 1 1 2 2\n1 3 1 2 1 0 0 1 1 3 3 1 2\n",
                     {{"HAPLOTOR_ERROR", "0.01"}});
  EXPECT_EQ(
      r.run.standardError,
      "Haplotor: fam.txt: family 1: 1 call is taken as a genotype error (member 3 locus 1, loci counted "
      "from 0); written as read, unphased\n");
  EXPECT_EQ(r.written.at(1).at(3).alleles[1], std::make_pair(3, 3));
  EXPECT_EQ(r.written.at(1).at(3).sources[0][1], '-');
}

}  // namespace
