#include <gtest/gtest.h>

#include "pedigree/family.h"
#include "test_support.h"

namespace {

// Member 3 of family 1 (father 1, mother 2, male): locus 0 resolved 1|2 with
// sources 0 and 1, locus 1 unresolved 3 3 with undetermined sources.
Member workedExampleMember() {
  Member m;
  m.familyId = 1;
  m.memberId = 3;
  m.fatherId = 1;
  m.motherId = 2;
  m.sex = 1;
  m.genotypes = {{1, 2, 0, 1, true}, {3, 3, -1, -1, false}};
  return m;
}

}  // namespace

TEST(Writers, WorkedExampleInAllFormats) {
  Member m = workedExampleMember();
  TextSink dat, out, table;
  m.writeGenotypeReport(dat);
  m.writePhasedTable(out);
  m.writeLinkageTable(table);
  EXPECT_EQ(dat.text(), "1-3\nM\n1-1 , 1-2\n1|2(0,1)\n3 3\n" + std::string(8, '\n'));
  EXPECT_EQ(out.text(), "1\t3\t1\t2\t1\t0\t0\t1/2\t3/3\t0-1\t1-1\n");
  EXPECT_EQ(table.text(), "1\t3\t1\t2\t1\t0\t0\t 1\t2\t 3\t3\n");
}

TEST(Writers, MemberWithoutLociAndFounderParentLine) {
  Member m;
  m.familyId = 9;
  m.memberId = 4;
  m.sex = 2;
  TextSink dat, out, table;
  m.writeGenotypeReport(dat);
  m.writePhasedTable(out);
  m.writeLinkageTable(table);
  EXPECT_EQ(dat.text(), "9-4\nF\n  ,  \n" + std::string(10, '\n'));
  EXPECT_EQ(out.text(), "9\t4\t0\t0\t2\t0\t0\t\t\n");
  EXPECT_EQ(table.text(), "9\t4\t0\t0\t2\t0\t0\n");
}

TEST(Writers, ParentLineWithOneParentSexLettersAndLongGenotypes) {
  Member m;
  m.familyId = 9;
  m.memberId = 5;
  m.fatherId = 3;
  m.sex = 0;
  m.genotypes.assign(12, LocusGenotype{-2, 4, -1, 0, true});
  TextSink dat;
  m.writeGenotypeReport(dat);
  std::string expected = "9-5\nF\n9-3 ,  \n";
  for (int i = 0; i < 12; ++i) expected += "-2|4(-1,0)\n";
  EXPECT_EQ(dat.text(), expected);  // no padding beyond 10 loci
  m.sex = 7;
  TextSink other;
  m.writeGenotypeReport(other);
  EXPECT_EQ(other.text().substr(4, 2), "F\n");
}

TEST(Writers, ResultLineUsesTabSpaceSeparatorsAndElapsedSeconds) {
  Family family;
  family.familyId = 4;
  family.recombinantCount = 2;
  family.startClock = processClockMs() - 250;  // a quarter second ago, as far as this clock goes
  TextSink res;
  family.writeResultLine(res);
  EXPECT_EQ(res.text().substr(0, 6), "4\t 2\t ");
  EXPECT_GE(family.endClock - family.startClock, 250);
  family.startClock = family.endClock = 0;
}

TEST(Writers, FamilyWritersWalkMembersInAscendingId) {
  auto family = test_support::preparedFamily("3 7 0 0 1 0 0 1 1\n3 2 0 0 2 0 0 2 2\n");
  TextSink out;
  family->writePhasedTable(out);
  EXPECT_EQ(out.text(), "3\t2\t0\t0\t2\t0\t0\t2/2\t0\t0\n3\t7\t0\t0\t1\t0\t0\t1/1\t0\t0\n");
}

TEST(Writers, ManyLociAndExtremeValuesMatchPlainFormatting) {
  // More loci than one batch of formatting holds, with values of every width.
  const int values[] = {0, 7, -1, 10, -9, 2147483647, -2147483647 - 1, 123456};
  Member m;
  m.familyId = -2147483647 - 1;
  m.memberId = 2147483647;
  m.sex = 1;
  std::string dat = std::to_string(m.familyId) + "-2147483647\nM\n  ,  \n";
  std::string pairs, paternal, maternal, table;
  for (int k = 0; k < 3000; ++k) {
    LocusGenotype g{values[k % 8], values[(k / 8) % 8], values[(k + 3) % 8], values[(k / 3) % 8], k % 5 != 0};
    m.genotypes.push_back(g);
    auto text = [](int v) { return std::to_string(v); };
    if (g.resolved) {
      dat.append(text(g.allele1)).append("|").append(text(g.allele2)).append("(");
      dat.append(text(g.paternalSource)).append(",").append(text(g.maternalSource)).append(")\n");
    } else {
      dat.append(text(g.allele1)).append(" ").append(text(g.allele2)).append("\n");
    }
    pairs.append(text(g.allele1)).append("/").append(text(g.allele2)).append("\t");
    paternal.append(text(g.paternalSource));
    maternal.append(text(g.maternalSource));
    table.append(" ").append(text(g.allele1)).append("\t").append(text(g.allele2)).append("\t");
  }
  table.back() = '\n';
  const std::string head = std::to_string(m.familyId) + "\t2147483647\t0\t0\t1\t0\t0\t";
  TextSink datSink, outSink, tableSink;
  m.writeGenotypeReport(datSink);
  m.writePhasedTable(outSink);
  m.writeLinkageTable(tableSink);
  EXPECT_EQ(datSink.text(), dat);
  EXPECT_EQ(outSink.text(), head + pairs + paternal + "\t" + maternal + "\n");
  EXPECT_EQ(tableSink.text(), head + table);
}

TEST(TextSink, FloatsUseDefaultStreamNotation) {
  TextSink sink;
  sink.putFloat(2.5).put(' ').putFloat(0).put(' ').putFloat(0.016).put(' ').putFloat(1234567.0).put(' ');
  sink.putFloat(0.375, 5).put(' ').putFloat(1.0 / 3, 5);
  EXPECT_EQ(sink.text(), "2.5 0 0.016 1.23457e+06 0.375 0.33333");
}

TEST(TextSink, BackUpReplacesLastCharacterAlsoAfterAFlush) {
  std::string dir = test_support::makeTempDir();
  std::string path = dir + "/sink.txt";
  std::FILE* file = std::fopen(path.c_str(), "w");
  {
    TextSink sink(file);
    sink.put("abc\t");
    sink.flush();  // the tab is already in the file
    sink.backUpOne();
    sink.put('\n');
  }
  std::fclose(file);
  EXPECT_EQ(test_support::readFile(path), "abc\n");
}
