#include "simulate/simulation_tool.h"

#include <gtest/gtest.h>

#include "pedigree/random_source.h"
#include "pedigree/text_input.h"
#include "test_support.h"

using test_support::folderWith;
using test_support::readFile;
using test_support::runHaplotor;
using test_support::writeFile;

namespace {

std::string structureOf(std::string_view text, Family& family) {
  LineSource source(text);
  return readStructure(source, "s.txt", family);
}

}  // namespace

TEST(Simulation, ChildrenCarryOneWholeHaplotypeOfEachParent) {
  Family family;
  ASSERT_EQ(structureOf("1 0 0 1\n2 0 0 2\n3 1 2 2\n4 1 2 1\n5 4 3 1\n", family), "");
  random_source::seed(11);
  for (int replicate = 1; replicate <= 20; ++replicate) {
    Family copy = family;
    TextSink table;
    simulateFamily(copy, table, replicate, 10, 0, 2);
    for (int child : {3, 4, 5}) {
      const Member& c = copy.member(child);
      const Member& father = copy.member(c.fatherId);
      const Member& mother = copy.member(c.motherId);
      for (std::size_t l = 0; l < 10; ++l) {
        ASSERT_EQ(c.genotypes[l].allele1, father.genotypes[l].alleleNumber(c.genotypes[l].paternalSource));
        ASSERT_EQ(c.genotypes[l].allele2, mother.genotypes[l].alleleNumber(c.genotypes[l].maternalSource));
        ASSERT_EQ(c.genotypes[l].paternalSource, c.genotypes[0].paternalSource);
      }
    }
    for (const auto& [id, m] : copy.members) {
      ASSERT_EQ(m.familyId, replicate);
      for (const auto& g : m.genotypes) {
        ASSERT_TRUE(g.allele1 == 1 || g.allele1 == 2);
        ASSERT_FALSE(g.resolved);
      }
    }
  }
}

TEST(Simulation, ParentListedAfterItsChildIsNotLinkedButStillTransmits) {
  Family family;
  ASSERT_EQ(structureOf("3 1 2 1\n1 0 0 1\n2 0 0 2\n", family), "");
  EXPECT_TRUE(family.member(1).childIds.empty());
  EXPECT_EQ(family.member(1).mateId, 0);
  EXPECT_EQ(family.founderCount, 2);
  TextSink table;
  simulateFamily(family, table, 1, 10, 0, 2);
  EXPECT_EQ(family.member(3).genotypes.size(), 10u);
}

TEST(Simulation, StructureProblemsAreFatal) {
  Family a, b, c, d;
  EXPECT_NE(structureOf("1 0 0\n", a).find("s.txt: line 1: fewer than four fields"), std::string::npos);
  EXPECT_NE(structureOf("1 0 0 1\n2 1 9 1\n", b).find("names parent 9"), std::string::npos);
  EXPECT_NE(structureOf("1 0 0 1\n2 1 0 1\n", c).find("only one known parent"), std::string::npos);
  EXPECT_NE(structureOf("1 2 3 1\n2 1 3 1\n3 0 0 2\n", d).find("own ancestor"), std::string::npos);
}

TEST(Simulation, CommandErrorsWriteNothing) {
  std::string dir = folderWith({{"bad.txt", "1 0 0 1\n2 1 0 1\n"}});
  auto bad = runHaplotor({"-s", "bad.txt"}, dir);
  EXPECT_EQ(bad.exitStatus, 1);
  EXPECT_NE(bad.standardError.find("only one known parent; nothing simulated"), std::string::npos);
  EXPECT_FALSE(test_support::fileExists(dir + "/bad-10-2-0.txt"));
  auto shortName = runHaplotor({"-s", "abc"}, dir);
  EXPECT_EQ(shortName.exitStatus, 1);
  auto missing = runHaplotor({"-s", "none.txt"}, dir);
  EXPECT_EQ(missing.exitStatus, 1);
  EXPECT_EQ(missing.standardError,
            "Haplotor: cannot open structure file 'none.txt': No such file or directory\n");
  writeFile(dir + "/empty.txt", "\n1 0 0 1\n");
  EXPECT_EQ(runHaplotor({"-s", "empty.txt"}, dir).exitStatus, 0);
  EXPECT_EQ(readFile(dir + "/empty-10-2-0.txt"), "");
}

TEST(Simulation, StructureLinkedToItsOwnOutputIsRefusedAndKept) {
  const std::string structure = "1 0 0 1\n2 0 0 2\n3 1 2 1\n";
  const std::string dir = folderWith({{"y-10-2-0.txt", structure}, {"z-10-2-0.txt", structure}});
  const auto symbolic = test_support::runShell("ln -s y-10-2-0.txt y.txt && $HAPLOTOR -s y.txt", dir);
  EXPECT_EQ(symbolic.exitStatus, 1);
  EXPECT_EQ(symbolic.standardError,
            "Haplotor: structure file 'y.txt' would be overwritten by its own output file 'y-10-2-0.txt'; "
            "nothing simulated\n");
  const auto hard = test_support::runShell("ln z-10-2-0.txt z.txt && $HAPLOTOR -s z.txt", dir);
  EXPECT_EQ(hard.exitStatus, 1);
  EXPECT_NE(hard.standardError.find("'z.txt' would be overwritten"), std::string::npos);
  EXPECT_EQ(readFile(dir + "/y-10-2-0.txt"), structure);
  EXPECT_EQ(readFile(dir + "/z-10-2-0.txt"), structure);
}
