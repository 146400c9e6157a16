// The files of a VCF run: what is read, which result names are taken, how
// results replace earlier ones, and with which mode.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <sstream>

#include "test_support.h"

using test_support::exampleText;
using test_support::readFile;
using test_support::runShell;
using test_support::writeFile;

namespace {

// A folder with the example pedigree as x.ped and `vcf` as x.vcf.
std::string folderWith(const std::string& vcf) {
  return test_support::folderWith({{"x.ped", exampleText("vcf_example.ped")}, {"x.vcf", vcf}});
}

// The example's header over 20,000 random sites of chromosome 1 (about 1 MB parked).
std::string bigVcf() {
  const std::string vcf = exampleText("vcf_example.vcf");
  std::string big = vcf.substr(0, vcf.find("1\t1000"));
  std::mt19937 rng(7);
  for (int pos = 10; pos <= 200000; pos += 10) {
    big += "1\t" + std::to_string(pos) + "\t.\tA\tG\t50\tPASS\tDP=9\tGT:DP";
    for (int s = 0; s < 6; ++s) big += std::string("\t") + "01"[rng() % 2] + "/" + "01"[rng() % 2] + ":9";
    big += "\n";
  }
  return big;
}

bool hasTemporaryFiles(const std::string& dir) {
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().string().find(".haplotor-") != std::string::npos) return true;
  }
  return false;
}

TEST(VcfFiles, AFailedRunLeavesEveryEarlierResultAndSaysWhy) {
  const struct {
    std::string script, message;
  } cases[] = {
      {"mkdir adir; HAPLOTOR_OUT=adir $HAPLOTOR -b x.vcf x.ped",
       "cannot create result file 'adir': Is a directory"},
      {"HAPLOTOR_OUT=x.res $HAPLOTOR -b x.vcf x.ped",
       "output file 'x.res' would replace another result of the same run ('x.res')"},
      {"mkdir sub; HAPLOTOR_OUT=sub/../x.res $HAPLOTOR -b x.vcf x.ped", "another result of the same run"},
      // The output's index would replace the pedigree.
      {"HAPLOTOR_OUT=x.ped $HAPLOTOR -b x.vcf x.ped.csi",
       "result file 'x.ped.csi' would replace the pedigree file"},
      // A full disk: the result and the cause are named.
      {"ulimit -f 64; $HAPLOTOR -b x.vcf x.ped",
       "cannot write output file 'x.phased.vcf.gz': File too large"},
  };
  const std::string vcf = bigVcf();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    const std::string dir = folderWith(vcf);
    std::filesystem::copy_file(dir + "/x.ped", dir + "/x.ped.csi");
    writeFile(dir + "/x.phased.vcf.gz", "earlier result");
    writeFile(dir + "/x.res", "earlier report");
    const auto run = runShell(c.script, dir);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.standardError.find(c.message), std::string::npos) << run.standardError;
    EXPECT_EQ(readFile(dir + "/x.phased.vcf.gz"), "earlier result");
    EXPECT_EQ(readFile(dir + "/x.res"), "earlier report");
    EXPECT_EQ(readFile(dir + "/x.ped.csi"), readFile(dir + "/x.ped"));
    EXPECT_FALSE(hasTemporaryFiles(dir));
  }
}

TEST(VcfFiles, ResultsFollowTheUmask) {
  const std::string dir = folderWith(exampleText("vcf_example.vcf"));
  for (const mode_t umask : {022, 002, 077}) {
    SCOPED_TRACE("umask " + std::to_string(umask / 8) + std::to_string(umask % 8));
    const auto run = runShell("umask 0" + std::to_string(umask / 8) + std::to_string(umask % 8) +
                                  "; $HAPLOTOR -b x.vcf x.ped && HAPLOTOR_OUT=y.bcf $HAPLOTOR -b x.vcf x.ped",
                              dir);
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    for (const char* result : {"x.res", "x.phased.vcf.gz", "x.phased.vcf.gz.csi", "y.bcf", "y.bcf.csi"}) {
      struct stat status {};
      ASSERT_EQ(stat((dir + "/" + result).c_str(), &status), 0) << result;
      EXPECT_EQ(status.st_mode & 0777, 0666 & ~umask) << result;
    }
  }
}

// Files bcftools reads (with a warning) are phased as the declared file is;
// a record that cannot be read is named with its cause.
TEST(VcfFiles, UndeclaredContigsAndTagsAreDeclaredAndUnreadableInputsNamed) {
  const std::string vcf = exampleText("vcf_example.vcf");
  const auto without = [](std::string text, const std::string& line) {
    return text.erase(text.find(line), line.size());
  };
  const auto replaced = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  std::string noContigs =
      without(without(vcf, "##contig=<ID=1,length=10000000>\n"), "##contig=<ID=X,length=10000000>\n");
  // Undeclared tags in the middle of chromosome 1 and first on chromosome X.
  std::string tags = replaced(vcf, "DP=58\tGT:DP\t0/1:10", "DP=58;AA=x\tGT:DP:BB\t0/1:10:b1");
  tags = replaced(tags, "1500\trsx1\tA\tG\t50\tPASS\tDP=60", "1500\trsx1\tA\tG\t50\tPASS\tDP=60;CC=7");
  const std::string columns8 =
      replaced(vcf, "DP=61\tGT:DP\t2/1:10\t0/1:12\t1/1:11\t0/2:9\t0/1:10\t0|2:9", "DP=61");
  const std::string phasedCalls = "bcftools query -f '%CHROM:%POS [%GT ]\\n' ";
  const auto expected =
      runShell("$HAPLOTOR -b x.vcf x.ped && " + phasedCalls + "x.phased.vcf.gz", folderWith(vcf));
  ASSERT_EQ(expected.exitStatus, 0) << expected.standardError;
  const struct {
    std::string vcf, out, messages, header;  // messages and header lines: each line must appear
  } read[] = {
      {noContigs, "o.vcf.gz",
       "x.vcf: contig 1 is not declared in the header\nx.vcf: contig X is not declared",
       "##contig=<ID=1>\n##contig=<ID=X>\n"},
      {tags, "o.bcf",
       "x.vcf: INFO tag AA (first at 1:2000) is not declared in the header; read as Number=1,Type=String\n"
       "FORMAT tag BB (first at 1:2000)\nINFO tag CC (first at X:1500)",
       "##INFO=<ID=AA,Number=1,Type=String,Description=\"Dummy\">\n"
       "##FORMAT=<ID=BB,Number=1,Type=String,Description=\"Dummy\">\n##INFO=<ID=CC,Number=1,Type=String"},
      {tags, "o.vcf", "INFO tag CC", "##INFO=<ID=CC,"},
  };
  for (const auto& c : read) {
    SCOPED_TRACE(c.out + " " + c.messages);
    const std::string dir = folderWith(c.vcf);
    const std::string values = "bcftools query -f '%AA %CC [%BB]\\n' -i 'POS==2000 || POS==1500' " + c.out;
    const auto run = runShell("HAPLOTOR_OUT=" + c.out + " $HAPLOTOR -b x.vcf x.ped && " + phasedCalls +
                                  c.out + (c.vcf == tags ? " && " + values + " >&2" : "") +
                                  " && bcftools view -h " + c.out + " >&2",
                              dir);
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    EXPECT_EQ(run.standardOutput, expected.standardOutput);
    std::istringstream lines(c.messages + "\n" + c.header);
    for (std::string line; std::getline(lines, line);) {
      EXPECT_NE(run.standardError.find(line), std::string::npos) << line << "\n" << run.standardError;
    }
    EXPECT_EQ(run.standardError.find("[W::"), std::string::npos);  // bcftools reads it without a warning
    if (c.vcf == tags) {
      EXPECT_NE(run.standardError.find("x . b1.....\n. 7 ......\n"), std::string::npos);
    }
    EXPECT_FALSE(hasTemporaryFiles(dir));
  }

  const struct {
    std::string vcf, genotypes, ped, message;
  } refused[] = {
      {columns8, "x.vcf", "x.ped",
       "x.vcf: cannot read the record at 1:3000: its columns do not match the 6 samples"},
      {replaced(vcf, "2/1:10", "x/y:10"), "x.vcf", "x.ped",
       "x.vcf: cannot read the record at 1:3000: a field"},
      {vcf, "x.vcf", ".", "pedigree file '.' is a folder"},
      {vcf, "x.vcf", "/dev/null", "pedigree file '/dev/null' holds no family"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.message);
    const std::string dir = folderWith(c.vcf);
    const auto run = runShell("$HAPLOTOR -b " + c.genotypes + " " + c.ped, dir);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.standardError.find("Haplotor: " + c.message), std::string::npos) << run.standardError;
    EXPECT_FALSE(test_support::fileExists(dir + "/x.res"));
  }
}

}  // namespace
