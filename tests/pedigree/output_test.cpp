// The text sink, and the per-member writers against plain formatting where
// the end-to-end results do not reach (many loci, extreme values).
#include <gtest/gtest.h>

#include <cstdio>

#include "pedigree/family.h"
#include "test_support.h"

TEST(TextSink, FloatsInDefaultStreamNotationAndBackUpAfterAFlush) {
  TextSink sink;
  sink.putFloat(2.5).put(' ').putFloat(0).put(' ').putFloat(0.016).put(' ').putFloat(1234567.0).put(' ');
  sink.putFloat(0.375, 5).put(' ').putFloat(1.0 / 3, 5);
  EXPECT_EQ(sink.text(), "2.5 0 0.016 1.23457e+06 0.375 0.33333");

  const std::string path = test_support::makeTempDir() + "/sink.txt";
  std::FILE* file = std::fopen(path.c_str(), "w");
  {
    TextSink toFile(file);
    toFile.put("abc\t");
    toFile.flush();  // the tab is already in the file
    toFile.backUpOne();
    toFile.put('\n');
  }
  std::fclose(file);
  EXPECT_EQ(test_support::readFile(path), "abc\n");
}

TEST(Writers, ManyLociAndExtremeValuesMatchPlainFormatting) {
  // More loci than one batch of formatting holds, with values of every width.
  const int values[] = {0, 7, -1, 10, -9, 2147483647, -2147483647 - 1, 123456};
  Member m;
  m.familyId = -2147483647 - 1;
  m.memberId = 2147483647;
  m.sex = 1;
  const auto text = [](int v) { return std::to_string(v); };
  std::string dat = text(m.familyId) + "-2147483647\nM\n  ,  \n";
  std::string pairs, paternal, maternal, table;
  for (int k = 0; k < 3000; ++k) {
    const LocusGenotype g{values[k % 8], values[(k / 8) % 8], values[(k + 3) % 8], values[(k / 3) % 8],
                          k % 5 != 0};
    m.genotypes.push_back(g);
    dat += g.resolved ? text(g.allele1) + "|" + text(g.allele2) + "(" + text(g.paternalSource) + "," +
                            text(g.maternalSource) + ")\n"
                      : text(g.allele1) + " " + text(g.allele2) + "\n";
    pairs += text(g.allele1) + "/" + text(g.allele2) + "\t";
    paternal += text(g.paternalSource);
    maternal += text(g.maternalSource);
    table.append(" ").append(text(g.allele1)).append("\t").append(text(g.allele2)).append("\t");
  }
  table.back() = '\n';
  const std::string head = text(m.familyId) + "\t2147483647\t0\t0\t1\t0\t0\t";
  TextSink datSink, outSink, tableSink;
  m.writeGenotypeReport(datSink);
  m.writePhasedTable(outSink);
  m.writeLinkageTable(tableSink);
  EXPECT_EQ(datSink.text(), dat);
  EXPECT_EQ(outSink.text(), head + pairs + paternal + "\t" + maternal + "\n");
  EXPECT_EQ(tableSink.text(), head + table);
}
