// End-to-end runs of the VCF/BCF command line, checked with bcftools: the
// output is valid and indexed, keeps everything outside the families, adds
// no Mendelian error, and phases as the seven-column run of the same method.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>

#include "family_generator.h"
#include "test_support.h"

using test_support::fileExists;
using test_support::makeTempDir;
using test_support::readFile;
using test_support::runHaplotor;
using test_support::writeFile;

namespace {

struct Shell {
  int status = -1;
  std::string output;
};

Shell shell(const std::string& command) {
  Shell result;
  std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// A folder holding the bundled example as x.vcf.gz and x.ped.
std::string exampleFolder() {
  std::string dir = makeTempDir();
  const std::string examples = std::string(HAPLOTOR_SOURCE_DIR) + "/examples/";
  writeFile(dir + "/x.ped", readFile(examples + "vcf_example.ped"));
  EXPECT_EQ(shell("bcftools view -Oz -o " + dir + "/x.vcf.gz " + examples + "vcf_example.vcf").status, 0);
  return dir;
}

std::map<std::string, std::string> genotypesBySample(const std::string& file) {
  std::map<std::string, std::string> calls;
  Shell query = shell("bcftools query -f '[%SAMPLE=%GT\\t]\\n' " + file);
  std::istringstream lines(query.output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string field;
    while (std::getline(fields, field, '\t')) {
      const std::size_t eq = field.find('=');
      if (eq != std::string::npos) calls[field.substr(0, eq)] += field.substr(eq + 1) + " ";
    }
  }
  return calls;
}

// The nBad column of each trio line of bcftools +mendelian -m c.
std::string badTrioCounts(const std::string& report) {
  std::istringstream lines(report);
  std::string line, counts;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string ok, bad, skipped, trio;
    fields >> ok >> bad >> skipped >> trio;
    counts += trio + "=" + bad + " ";
  }
  return counts;
}

}  // namespace

TEST(VcfRun, EveryMethodWritesAnIndexedVcfThatKeepsWhatItDoesNotPhase) {
  const std::string dir = exampleFolder();
  const std::string kept = "bcftools view -H -I -s outsider ";
  const std::string sites = "bcftools query -f '%CHROM %POS %ID %REF %ALT %QUAL %FILTER %INFO\\n' ";
  const std::string mendel = "bcftools +mendelian -p " + dir + "/x.ped -m c ";
  const Shell keptIn = shell(kept + dir + "/x.vcf.gz");
  const Shell sitesIn = shell(sites + dir + "/x.vcf.gz");
  const Shell mendelIn = shell(mendel + dir + "/x.vcf.gz");
  ASSERT_EQ(keptIn.status, 0) << keptIn.output;
  ASSERT_EQ(mendelIn.status, 0) << mendelIn.output;
  for (const char* option : {"-b", "-c", "-l", "-m", "-i"}) {
    for (const char* impute : {"0", "1"}) {
      std::filesystem::remove(dir + "/x.phased.vcf.gz");
      auto run = runHaplotor({option, "x.vcf.gz", "x.ped"}, dir, {{"HAPLOTOR_IMPUTE", impute}});
      ASSERT_EQ(run.exitStatus, 0) << option << run.standardError;
      const std::string out = dir + "/x.phased.vcf.gz";
      EXPECT_EQ(shell("bcftools view " + out + " > /dev/null").status, 0) << option;
      EXPECT_EQ(shell("bcftools index -n " + out).output, "7\n") << option;
      EXPECT_EQ(shell("bcftools annotate -x FORMAT/PS " + out + " | " + kept + "-").output, keptIn.output)
          << option;
      EXPECT_EQ(shell(sites + out).output, sitesIn.output) << option;
      // A filled-in call may turn a skipped trio site into a checked one, but
      // never into an error.
      EXPECT_EQ(badTrioCounts(shell(mendel + out).output), badTrioCounts(mendelIn.output)) << option;
      if (impute[0] == '0') {
        EXPECT_EQ(shell(mendel + out).output, mendelIn.output) << option;
      }
      const std::string header = shell("bcftools view -h " + out).output;
      EXPECT_NE(header.find("##source=Haplotor "), std::string::npos);
      EXPECT_NE(
          header.find(std::string("##Haplotor_command=") + HAPLOTOR_EXE + " " + option + " x.vcf.gz x.ped"),
          std::string::npos);
      EXPECT_NE(header.find("##FORMAT=<ID=PS,"), std::string::npos);
      EXPECT_EQ(
          readFile(dir + "/x.res").rfind("Family\t # of Rec\t Time used(Sec)\nChromosome\t1\t5 sites\n", 0),
          0u);
    }
  }
}

// The example family is drawn from known haplotypes: father 0 0 1 1 0 /
// 1 1 2 0 1, mother 0 0 0 0 1 / 0 1 1 0 1; kid3 recombines on its father's
// side between the third and fourth site.
TEST(VcfRun, BlockExtensionRecoversTheExampleHaplotypes) {
  const std::string dir = exampleFolder();
  auto run = runHaplotor({"-b", "x.vcf.gz", "x.ped"}, dir);
  ASSERT_EQ(run.exitStatus, 0) << run.standardError;
  EXPECT_NE(run.standardError.find("chromosome X: 4 haploid calls of family members"), std::string::npos);
  auto calls = genotypesBySample(dir + "/x.phased.vcf.gz");
  EXPECT_EQ(calls["kid1"], "0|0 0|1 1|1 ./. 0|1 1 0 ");
  EXPECT_EQ(calls["kid2"], "1|0 1|0 2|0 0|0 1|1 0/1 0|0 ");
  EXPECT_EQ(calls["kid3"], "0|0 0|0 1|0 0|0 1|1 1|1 0/1 ");
  EXPECT_EQ(calls["mum"].substr(0, 20), "0|0 0|1 0|1 0|0 1|1 ");
  const std::string dad = calls["dad"].substr(0, 20);
  EXPECT_TRUE(dad == "0|1 0|1 1|2 1|0 0|1 " || dad == "1|0 1|0 2|1 0|1 1|0 ") << dad;
  EXPECT_EQ(calls["outsider"], "0|1 1|1 0|2 0/0 ./. 0 1 ");
  EXPECT_EQ(
      shell("bcftools query -s dad,mum,kid1 -f '[%PS ]\\n' -r 1:1000 " + dir + "/x.phased.vcf.gz").output,
      "1000 1000 . \n");
  const std::string res = test_support::maskTimes(readFile(dir + "/x.res"));
  EXPECT_NE(res.find("Chromosome\t1\t5 sites\n1\t 1\t T\n"), std::string::npos) << res;

  auto imputed = runHaplotor({"-b", "x.vcf.gz", "x.ped"}, dir, {{"HAPLOTOR_IMPUTE", "1"}});
  ASSERT_EQ(imputed.exitStatus, 0);
  EXPECT_EQ(genotypesBySample(dir + "/x.phased.vcf.gz")["kid1"], "0|0 0|1 1|1 1|0 0|1 1 0 ");
}

TEST(VcfRun, OutputGoesWhereHaplotorOutSays) {
  const std::string dir = exampleFolder();
  auto toStdout = runHaplotor({"-l", "x.vcf.gz", "x.ped"}, dir, {{"HAPLOTOR_OUT", "-"}});
  ASSERT_EQ(toStdout.exitStatus, 0) << toStdout.standardError;
  EXPECT_EQ(toStdout.standardOutput.rfind("##fileformat=VCFv4.2\n", 0), 0u);
  EXPECT_FALSE(fileExists(dir + "/x.phased.vcf.gz"));
  writeFile(dir + "/piped.vcf", toStdout.standardOutput);
  EXPECT_EQ(shell("bcftools view -H " + dir + "/piped.vcf | wc -l").output, "7\n");

  auto toBcf = runHaplotor({"-b", "x.vcf.gz", "x.ped"}, dir, {{"HAPLOTOR_OUT", "sub.bcf"}});
  ASSERT_EQ(toBcf.exitStatus, 0) << toBcf.standardError;
  EXPECT_EQ(shell("bcftools view --no-version -h " + dir + "/sub.bcf | head -1").output,
            "##fileformat=VCFv4.2\n");
  EXPECT_EQ(readFile(dir + "/sub.bcf").substr(0, 4), std::string("\x1f\x8b\x08\x04", 4));
  EXPECT_TRUE(fileExists(dir + "/sub.bcf.csi"));
  // A BCF input is recognised by content whatever its name.
  ASSERT_EQ(shell("cp " + dir + "/sub.bcf " + dir + "/renamed.txt").status, 0);
  auto fromBcf = runHaplotor({"-b", "renamed.txt", "x.ped"}, dir);
  EXPECT_EQ(fromBcf.exitStatus, 0) << fromBcf.standardError;
  EXPECT_TRUE(fileExists(dir + "/renamed.txt.phased.vcf.gz"));
  std::vector<std::string> leftovers;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().string().find(".haplotor-") != std::string::npos) leftovers.push_back(entry.path());
  }
  EXPECT_TRUE(leftovers.empty());
}

TEST(VcfRun, InputProblemsAreFatalNameTheFileAndWipeNothing) {
  const std::string dir = exampleFolder();
  writeFile(dir + "/x.phased.vcf.gz", "earlier result");
  writeFile(dir + "/x.res", "earlier report");
  auto expectUntouched = [&](const char* what) {
    EXPECT_EQ(readFile(dir + "/x.phased.vcf.gz"), "earlier result") << what;
    EXPECT_EQ(readFile(dir + "/x.res"), "earlier report") << what;
  };
  // Not a VCF at all.
  auto text = runHaplotor({"-b", "x.ped", "x.ped"}, dir);
  EXPECT_EQ(text.exitStatus, 1);
  EXPECT_EQ(text.standardError, "Haplotor: genotype file 'x.ped' is not VCF, bgzipped VCF or BCF\n");
  auto missingPed = runHaplotor({"-b", "x.vcf.gz", "none.ped"}, dir);
  EXPECT_EQ(missingPed.exitStatus, 1);
  EXPECT_EQ(missingPed.standardError,
            "Haplotor: cannot open pedigree file 'none.ped': No such file or directory\n");
  expectUntouched("no input");

  // Unsorted: the fourth and third sites exchanged.
  const std::string examples = std::string(HAPLOTOR_SOURCE_DIR) + "/examples/";
  std::string vcf = readFile(examples + "vcf_example.vcf");
  const std::size_t third = vcf.find("1\t3000");
  const std::size_t fourth = vcf.find("1\t4000");
  const std::size_t fifth = vcf.find("1\t5000");
  std::string swapped = vcf.substr(0, third) + vcf.substr(fourth, fifth - fourth) +
                        vcf.substr(third, fourth - third) + vcf.substr(fifth);
  writeFile(dir + "/x.vcf", swapped);
  ASSERT_EQ(shell("bcftools view -Oz -o " + dir + "/x.vcf.gz " + dir + "/x.vcf").status, 0);
  auto unsorted = runHaplotor({"-b", "x.vcf.gz", "x.ped"}, dir);
  EXPECT_EQ(unsorted.exitStatus, 1);
  EXPECT_NE(unsorted.standardError.find("x.vcf.gz: the file is not sorted: 1:3000 comes after 1:4000"),
            std::string::npos)
      << unsorted.standardError;
  expectUntouched("unsorted");

  // A sample named twice in the header.
  std::string twice = vcf;
  twice.replace(twice.find("\toutsider"), 9, "\tdad");
  writeFile(dir + "/twice.vcf", twice);
  auto duplicated = runHaplotor({"-b", "twice.vcf", "x.ped"}, dir);
  EXPECT_EQ(duplicated.exitStatus, 1);
  EXPECT_NE(duplicated.standardError.find("'twice.vcf'"), std::string::npos);

  // A larger file, cut short and damaged inside a bgzip block.
  std::string big = vcf.substr(0, vcf.find("1\t1000"));
  std::mt19937 rng(5);
  for (int pos = 1; pos <= 20000; ++pos) {
    big += "1\t" + std::to_string(pos * 10) + "\t.\tA\tG\t50\tPASS\tDP=" + std::to_string(rng() % 90) +
           "\tGT:DP";
    for (int s = 0; s < 6; ++s)
      big.append("\t")
          .append(std::to_string(rng() % 2))
          .append("/")
          .append(std::to_string(rng() % 2))
          .append(":9");
    big += "\n";
  }
  writeFile(dir + "/big.vcf", big);
  ASSERT_EQ(shell("bcftools view -Oz -o " + dir + "/x.vcf.gz " + dir + "/big.vcf").status, 0);
  std::string compressed = readFile(dir + "/x.vcf.gz");
  ASSERT_GT(compressed.size(), 100000u);
  writeFile(dir + "/x.vcf.gz", compressed.substr(0, compressed.size() / 2));
  auto cut = runHaplotor({"-b", "x.vcf.gz", "x.ped"}, dir);
  EXPECT_EQ(cut.exitStatus, 1);
  EXPECT_NE(cut.standardError.find("'x.vcf.gz' is truncated"), std::string::npos) << cut.standardError;
  expectUntouched("cut short");
  std::string damaged = compressed;
  for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 64; ++i)
    damaged[i] = static_cast<char>(i);
  writeFile(dir + "/x.vcf.gz", damaged);
  auto corrupt = runHaplotor({"-b", "x.vcf.gz", "x.ped"}, dir);
  EXPECT_EQ(corrupt.exitStatus, 1);
  EXPECT_NE(corrupt.standardError.find("x.vcf.gz: the file is damaged or cut short after 1:"),
            std::string::npos)
      << corrupt.standardError;
  expectUntouched("damaged block");
  // Writing to a fresh name removes the partial output.
  auto partial = runHaplotor({"-b", "x.vcf.gz", "x.ped"}, dir, {{"HAPLOTOR_OUT", "fresh.vcf.gz"}});
  EXPECT_EQ(partial.exitStatus, 1);
  EXPECT_FALSE(fileExists(dir + "/fresh.vcf.gz"));
  EXPECT_FALSE(fileExists(dir + "/fresh.vcf.gz.csi"));
}

TEST(VcfRun, PedigreeProblemsAreReportedPerFamily) {
  const std::string dir = exampleFolder();
  writeFile(dir + "/y.ped",
            "fam1 dad 0 0 1 0\nfam1 mum 0 0 2 0\nfam1 kid1 dad mum 1 0\nfam1 kid2 dad stranger 2 0\n"
            "fam1 kid3 dad mum 2\n"
            "fam2 mum2 0 0 2 0\nfam2 outsider mum2 mum2 1 0\n"
            "fam3 a 0 0 1 0\nfam3 b 0 0 2 0\nfam3 c a b 1 0\n");
  auto run = runHaplotor({"-l", "x.vcf.gz", "y.ped"}, dir);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_NE(run.standardError.find("y.ped: line 5: has 5 columns, a PED line needs six"), std::string::npos)
      << run.standardError;
  EXPECT_NE(run.standardError.find("y.ped: family fam2: member mum2 (line 6) is both a father and a mother"),
            std::string::npos);
  EXPECT_NE(run.standardError.find("y.ped: family fam3: no member is a sample of the VCF; family skipped"),
            std::string::npos);
  // Every family was skipped, so every sample is written as read.
  auto in = genotypesBySample(dir + "/x.vcf.gz");
  auto out = genotypesBySample(dir + "/x.phased.vcf.gz");
  EXPECT_EQ(in, out);
}

// Families written as seven-column text and as VCF + PED give the same phase
// with the same method and seed.
TEST(VcfRun, SevenColumnAndVcfRunsOfAMethodAgree) {
  std::mt19937 rng(2024);
  std::string text;
  for (int f = 1; f <= 6; ++f) {
    test_support::GeneratedFamilyOptions options;
    options.familyId = f;
    options.generations = f % 2 == 0 ? 3 : 2;
    options.children = 2 + f % 3;
    options.loci = 12;
    options.alleles = 2 + f % 2;
    // Option c writes only families without recombinants and typed children.
    options.recombinationRate = f <= 3 ? 0.08 : 0.0;
    options.missingGenotypeRate = f % 3 == 0 ? 0.04 : 0.0;
    text += test_support::generateFamilyText(options, rng);
  }
  std::string ped;
  std::vector<std::string> samples;
  std::vector<std::vector<int>> alleles;  // per sample: a1 b1 a2 b2 ...
  int largest = 1;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    int family = 0, member = 0, father = 0, mother = 0, sex = 0, skip = 0;
    fields >> family >> member >> father >> mother >> sex >> skip >> skip;
    auto name = [&](int id) {
      return id == 0 ? std::string("0") : std::to_string(family) + "m" + std::to_string(id);
    };
    ped += std::to_string(family) + " " + name(member) + " " + name(father) + " " + name(mother) + " " +
           std::to_string(sex) + " 0\n";
    samples.push_back(name(member));
    alleles.emplace_back();
    int allele = 0;
    while (fields >> allele) {
      alleles.back().push_back(allele);
      largest = std::max(largest, allele);
    }
  }
  std::string vcf = "##fileformat=VCFv4.2\n##contig=<ID=7>\n";
  vcf += "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n";
  vcf += "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";
  for (const std::string& sample : samples) vcf += "\t" + sample;
  vcf += "\n";
  std::string alt = "C";
  for (int a = 3; a <= largest; ++a) alt += ",T";
  for (int l = 0; l < 12; ++l) {
    vcf += "7\t" + std::to_string(1000 * (l + 1)) + "\t.\tA\t" + alt + "\t.\t.\t.\tGT";
    for (const auto& pair : alleles) {
      const int a = pair[2 * l];
      const int b = pair[2 * l + 1];
      if (a == 0 || b == 0) {
        vcf += "\t./.";
      } else {
        vcf.append("\t").append(std::to_string(a - 1)).append("/").append(std::to_string(b - 1));
      }
    }
    vcf += "\n";
  }
  const std::string dir = makeTempDir();
  writeFile(dir + "/fam.txt", text);
  writeFile(dir + "/fam.ped", ped);
  writeFile(dir + "/fam.vcf", vcf);
  for (const char* option : {"-b", "-c", "-l", "-m", "-i"}) {
    // Option i weighs intervals by distance in a VCF; one fixed fraction
    // makes its two runs comparable.
    const std::map<std::string, std::string> env = {
        {"HAPLOTOR_SEED", "11"}, {"HAPLOTOR_IMPUTE", "1"}, {"HAPLOTOR_THETA", "0.05"}};
    ASSERT_EQ(runHaplotor({option, "fam.txt"}, dir, env).exitStatus, 0);
    auto run = runHaplotor({option, "fam.vcf", "fam.ped"}, dir, env);
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    // The first configuration of every member in the text run's report.
    std::map<std::string, std::string> expected;
    std::istringstream report(readFile(dir + "/fam.dat"));
    std::string label;
    while (std::getline(report, label)) {
      if (label.empty()) continue;
      std::string sex, parents;
      std::getline(report, sex);
      std::getline(report, parents);
      const std::string sample = label.substr(0, label.find('-')) + "m" + label.substr(label.find('-') + 1);
      std::string calls;
      for (int l = 0; l < 12; ++l) {
        std::string locus;
        std::getline(report, locus);
        int a = 0, b = 0;
        const bool phased = locus.find('|') != std::string::npos;
        std::sscanf(locus.c_str(), phased ? "%d|%d" : "%d %d", &a, &b);
        if (a == 0 || b == 0) {
          calls += "./. ";
        } else if (phased) {
          calls += std::to_string(a - 1) + "|" + std::to_string(b - 1) + " ";
        } else {
          calls += std::to_string(std::min(a, b) - 1) + "/" + std::to_string(std::max(a, b) - 1) + " ";
        }
      }
      expected.emplace(sample, calls);  // the first configuration wins
    }
    ASSERT_FALSE(expected.empty()) << option;
    auto written = genotypesBySample(dir + "/fam.phased.vcf.gz");
    for (auto& [sample, calls] : written) {
      // Unphased calls keep the order they were read in; compare them sorted.
      std::istringstream each(calls);
      std::string call, sorted;
      while (each >> call) {
        if (call.size() == 3 && call[1] == '/' && call[0] != '.' && call[0] > call[2])
          std::swap(call[0], call[2]);
        sorted += call + " ";
      }
      calls = sorted;
    }
    for (const auto& [sample, calls] : expected) EXPECT_EQ(written[sample], calls) << option << " " << sample;
  }
}
