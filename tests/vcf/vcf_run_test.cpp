// The VCF/BCF command line end to end, read back with bcftools.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>

#include "family_generator.h"
#include "test_support.h"

using test_support::exampleText;
using test_support::readFile;
using test_support::runHaplotor;
using test_support::writeFile;

namespace {

// Exit status and output (stderr included) of a shell command.
std::pair<int, std::string> shell(const std::string& command) {
  std::string output;
  std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  char buffer[4096];
  for (std::size_t n = 0; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

// A folder holding the bundled example as x.vcf.gz (or `vcf` instead) and x.ped.
std::string exampleFolder(const std::string& vcf = exampleText("vcf_example.vcf")) {
  const std::string dir =
      test_support::folderWith({{"x.ped", exampleText("vcf_example.ped")}, {"x.vcf", vcf}});
  shell("bcftools view -Oz -o " + dir + "/x.vcf.gz " + dir + "/x.vcf");
  return dir;
}

// Sample -> its calls, space separated; unphased calls sorted.
std::map<std::string, std::string> calls(const std::string& file) {
  std::map<std::string, std::string> calls;
  std::istringstream fields(shell("bcftools query -f '[%SAMPLE %GT\\n]' " + file).second);
  for (std::string sample, call; fields >> sample >> call;) {
    if (call.size() == 3 && call[1] == '/' && call[0] > call[2]) std::swap(call[0], call[2]);
    calls[sample] += call + " ";
  }
  return calls;
}

// A call of alleles counted from 1 (0: missing); a missing call is never
// written phased.
std::string vcfCall(int a, int b, char separator) {
  if (a == 0 && b == 0) return "./.";
  const auto allele = [](int code) { return code == 0 ? std::string(".") : std::to_string(code - 1); };
  return allele(a) + separator + allele(b);
}

// The trio and nBad columns of bcftools +mendelian -m c.
std::string badTrios(const std::string& report) {
  std::istringstream lines(report);
  std::string counts;
  for (std::string line, ok, bad, skipped, trio; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream(line) >> ok >> bad >> skipped >> trio;
    counts += trio + "=" + bad + " ";
  }
  return counts;
}

TEST(VcfRun, EveryMethodWritesAnIndexedVcfThatKeepsWhatItDoesNotPhase) {
  const std::string dir = exampleFolder(), out = dir + "/x.phased.vcf.gz";
  const std::string kept = "bcftools view -H -I -s outsider ";
  const std::string sites = "bcftools query -f '%CHROM %POS %ID %REF %ALT %QUAL %FILTER %INFO\\n' ";
  const std::string mendel = "bcftools +mendelian -p " + dir + "/x.ped -m c ";
  const auto keptIn = shell(kept + dir + "/x.vcf.gz"), mendelIn = shell(mendel + dir + "/x.vcf.gz");
  ASSERT_EQ(keptIn.first + mendelIn.first, 0) << keptIn.second << mendelIn.second;
  for (const char* option : {"-b", "-c", "-l", "-m", "-i"}) {
    for (const std::string impute : {"0", "1"}) {
      SCOPED_TRACE(option + (" impute " + impute));
      std::filesystem::remove(out);
      const auto run = runHaplotor({option, "x.vcf.gz", "x.ped"}, dir, {{"HAPLOTOR_IMPUTE", impute}});
      ASSERT_EQ(run.exitStatus, 0) << run.standardError;
      EXPECT_EQ(shell("bcftools view " + out + " > /dev/null").first, 0);
      EXPECT_EQ(shell("bcftools index -n " + out).second, "7\n");
      EXPECT_EQ(shell("bcftools annotate -x FORMAT/PS,FORMAT/PP " + out + " | " + kept + "-"), keptIn);
      EXPECT_EQ(shell(sites + out), shell(sites + dir + "/x.vcf.gz"));
      // A filled-in call may turn a skipped trio site into a checked one, never into an error.
      const auto mendelOut = shell(mendel + out);
      EXPECT_EQ(badTrios(mendelOut.second), badTrios(mendelIn.second));
      if (impute == "0") {
        EXPECT_EQ(mendelOut, mendelIn);
      }
      EXPECT_NE(shell("bcftools view -h " + out).second.find("##FORMAT=<ID=PS,"), std::string::npos);
    }
  }
}

// Each sample's calls with their alleles sorted and without phase.
std::map<std::string, std::string> alleleSets(const std::map<std::string, std::string>& calls) {
  std::map<std::string, std::string> sets;
  for (const auto& [sample, text] : calls) {
    std::istringstream each(text);
    for (std::string call; each >> call;) {
      if (call.size() == 3 && call[1] == '|') call[1] = '/';
      if (call.size() == 3 && call[0] > call[2]) std::swap(call[0], call[2]);
      sets[sample] += call + " ";
    }
  }
  return sets;
}

// Option i writes the probability of every heterozygous call's order as PP
// (declared in the header); with HAPLOTOR_MIN_PP a call below it is written
// unphased, and no setting changes a typed allele.
TEST(VcfRun, PhaseProbabilitiesAreWrittenAndBelowTheThresholdCallsStayUnphased) {
  const std::string dir = exampleFolder(), out = dir + "/x.phased.vcf.gz";
  const auto input = calls(dir + "/x.vcf.gz");
  for (const char* threshold : {"0", "0.99999", "1"}) {
    SCOPED_TRACE(threshold);
    const auto run = runHaplotor({"-i", "x.vcf.gz", "x.ped"}, dir,
                                 {{"HAPLOTOR_MIN_PP", threshold}, {"HAPLOTOR_ERROR", "0.01"}});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    EXPECT_NE(shell("bcftools view -h " + out).second.find("##FORMAT=<ID=PP,Number=1,Type=Float,"),
              std::string::npos);
    int below = 0, phasedWithPp = 0;
    std::istringstream fields(shell("bcftools query -f '[%GT %PP\\n]' " + out).second);
    for (std::string call, pp; fields >> call >> pp;) {
      if (pp == ".") continue;
      const bool phased = call.find('|') != std::string::npos;
      if (std::stod(pp) < std::stod(threshold)) {
        ++below;
        EXPECT_FALSE(phased) << call << " " << pp;
      } else {
        phasedWithPp += phased;
      }
    }
    if (std::string(threshold) == "0") {
      EXPECT_EQ(below, 0);
      EXPECT_GT(phasedWithPp, 0);
    } else {
      EXPECT_GT(below, 0);
    }
    // The alleles of every call are those read, in whatever order.
    EXPECT_EQ(alleleSets(calls(out)), alleleSets(input));
  }
}

// The example is drawn from known haplotypes; kid3 recombines on its
// father's side between the third and fourth site.
TEST(VcfRun, BlockExtensionRecoversTheExampleHaplotypesAndBcfInAndOut) {
  const std::string dir = exampleFolder();
  const auto run = runHaplotor({"-b", "x.vcf.gz", "x.ped"}, dir, {{"HAPLOTOR_OUT", "sub.bcf"}});
  ASSERT_EQ(run.exitStatus, 0) << run.standardError;
  // Option b has no model of X: chromosome X is written as read.
  EXPECT_NE(run.standardError.find("chromosome X: option b has no model of X-linked inheritance"),
            std::string::npos);
  auto phased = calls(dir + "/sub.bcf");
  EXPECT_EQ(phased["kid1"], "0|0 0|1 1|1 ./. 0|1 1 0 ");
  EXPECT_EQ(phased["kid2"], "1|0 1|0 2|0 0|0 1|1 0/1 0/0 ");
  EXPECT_EQ(phased["kid3"], "0|0 0|0 1|0 0|0 1|1 1/1 0/1 ");
  const std::string dad = phased["dad"].substr(0, 20);
  EXPECT_TRUE(dad == "0|1 0|1 1|2 1|0 0|1 " || dad == "1|0 1|0 2|1 0|1 1|0 ") << dad;
  // A founder's block starts at its first phased heterozygous call; a
  // homozygous call carries no PS.
  EXPECT_EQ(shell("bcftools query -s dad,mum,kid1 -f '[%PS ]\\n' -r 1:1000-2000 " + dir + "/sub.bcf").second,
            "1000 . . \n1000 2000 . \n");
  EXPECT_NE(test_support::maskTimes(readFile(dir + "/x.res")).find("Chromosome\t1\t5 sites\n1\t 1\t T\n"),
            std::string::npos);
  // A BCF input is recognised by content whatever its name; output to stdout.
  ASSERT_EQ(shell("cp " + dir + "/sub.bcf " + dir + "/renamed.txt").first, 0);
  const auto piped = runHaplotor({"-b", "renamed.txt", "x.ped"}, dir, {{"HAPLOTOR_OUT", "-"}});
  ASSERT_EQ(piped.exitStatus, 0) << piped.standardError;
  writeFile(dir + "/piped.vcf", piped.standardOutput);
  EXPECT_EQ(calls(dir + "/piped.vcf")["kid3"], phased["kid3"]);
}

TEST(VcfRun, InputProblemsAreFatalNameTheFileAndWipeNothing) {
  const std::string vcf = exampleText("vcf_example.vcf");
  std::string big = vcf.substr(0, vcf.find("1\t1000"));
  std::mt19937 rng(5);
  for (int pos = 10; pos <= 200000; pos += 10) {
    big += "1\t" + std::to_string(pos) + "\t.\tA\tG\t50\tPASS\tDP=" + std::to_string(rng() % 90) + "\tGT:DP";
    for (int s = 0; s < 6; ++s) big += std::string("\t") + "01"[rng() % 2] + "/" + "01"[rng() % 2] + ":9";
    big += "\n";
  }
  const std::size_t third = vcf.find("1\t3000"), fourth = vcf.find("1\t4000"), fifth = vcf.find("1\t5000");
  const std::string unsorted = vcf.substr(0, third) + vcf.substr(fourth, fifth - fourth) +
                               vcf.substr(third, fourth - third) + vcf.substr(fifth);
  std::string twice = vcf;
  twice.replace(twice.find("\toutsider"), 9, "\tdad");
  const struct {
    std::string vcf;  // written to x.vcf and x.vcf.gz
    int damage;       // 1: x.vcf.gz cut in half, 2: bytes overwritten in its middle
    std::string input, ped, message;
  } cases[] = {
      {vcf, 0, "x.ped", "x.ped", "Haplotor: genotype file 'x.ped' is not VCF, bgzipped VCF or BCF\n"},
      {vcf, 0, "x.vcf.gz", "none.ped", "cannot open pedigree file 'none.ped': No such file or directory"},
      {unsorted, 0, "x.vcf.gz", "x.ped", "x.vcf.gz: the file is not sorted: 1:3000 comes after 1:4000"},
      {twice, 0, "x.vcf", "x.ped", "'x.vcf'"},
      {big, 1, "x.vcf.gz", "x.ped", "'x.vcf.gz' is truncated"},
      {big, 2, "x.vcf.gz", "x.ped", "x.vcf.gz: the file is damaged or cut short after 1:"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const std::string dir = exampleFolder(c.vcf);
    std::string compressed = readFile(dir + "/x.vcf.gz");
    if (c.damage == 1) compressed.resize(compressed.size() / 2);
    for (std::size_t i = compressed.size() / 2; c.damage == 2 && i < compressed.size() / 2 + 64; ++i) {
      compressed[i] = static_cast<char>(i);
    }
    writeFile(dir + "/x.vcf.gz", compressed);
    writeFile(dir + "/x.phased.vcf.gz", "earlier result");
    writeFile(dir + "/x.res", "earlier report");
    const auto run = runHaplotor({"-b", c.input, c.ped}, dir);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.standardError.find(c.message), std::string::npos) << run.standardError;
    EXPECT_EQ(readFile(dir + "/x.phased.vcf.gz"), "earlier result");
    EXPECT_EQ(readFile(dir + "/x.res"), "earlier report");
    // Writing to a fresh name removes the partial output.
    EXPECT_EQ(runHaplotor({"-b", c.input, c.ped}, dir, {{"HAPLOTOR_OUT", "fresh.vcf.gz"}}).exitStatus, 1);
    EXPECT_FALSE(test_support::fileExists(dir + "/fresh.vcf.gz") ||
                 test_support::fileExists(dir + "/fresh.vcf.gz.csi"));
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      EXPECT_EQ(entry.path().string().find(".haplotor-"), std::string::npos) << entry.path();
    }
  }
}

// Generated families as seven-column text and as VCF + PED, with missing and
// half-missing calls: each method phases and fills them alike with the same
// seed.
// Also: a VCF run's output, index and report do not depend on the number of
// solving threads.
TEST(VcfRun, SevenColumnAndVcfRunsOfAMethodAgree) {
  std::mt19937 rng(2024);
  std::string text, ped, header = "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";
  for (int f = 1; f <= 9; ++f) {
    // Option c writes only families without recombinants and typed children;
    // option m none with a half-missing call (families 7 to 9).
    text += test_support::generateFamilyText({.familyId = f,
                                              .generations = f % 2 == 0 ? 3 : 2,
                                              .children = 2 + f % 3,
                                              .loci = 12,
                                              .alleles = 2 + f % 2,
                                              .recombinationRate = f <= 3 || f == 9 ? 0.08 : 0.0,
                                              .missingRate = f >= 7 ? 0.06 : 0.0,
                                              .missingGenotypeRate = f % 3 == 0 ? 0.04 : 0.0},
                                             rng);
  }
  std::vector<std::string> rows(12);
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string f, member, father, mother, sex, skip;
    fields >> f >> member >> father >> mother >> sex >> skip >> skip;
    auto name = [&f](const std::string& id) { return id == "0" ? id : f + "m" + id; };
    ped += f + " " + name(member) + " " + name(father) + " " + name(mother) + " " + sex + " 0\n";
    header.append("\t").append(name(member));
    for (int a = 0, b = 0, l = 0; fields >> a >> b; ++l) {
      rows[static_cast<std::size_t>(l)].append("\t").append(vcfCall(a, b, '/'));
    }
  }
  std::string vcf = "##fileformat=VCFv4.2\n##contig=<ID=7>\n" +
                    ("##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n" + header) + "\n";
  for (int l = 0; l < 12; ++l)
    vcf += "7\t" + std::to_string(1000 * (l + 1)) + "\t.\tA\tC,T\t.\t.\t.\tGT" + rows[l] + "\n";
  const std::string dir = test_support::makeTempDir();
  writeFile(dir + "/fam.txt", text);
  writeFile(dir + "/fam.ped", ped);
  writeFile(dir + "/fam.vcf", vcf);
  // One fixed fraction: option i weighs a VCF's intervals by distance.
  std::map<std::string, std::string> env = {{"HAPLOTOR_SEED", "11"},
                                            {"HAPLOTOR_IMPUTE", "1"},
                                            {"HAPLOTOR_THETA", "0.05"},
                                            {"HAPLOTOR_THREADS", "3"}};
  for (const char* option : {"-b", "-c", "-l", "-m", "-i"}) {
    SCOPED_TRACE(option);
    ASSERT_EQ(runHaplotor({option, "fam.txt"}, dir, env).exitStatus, 0);
    const auto threaded = runHaplotor({option, "fam.vcf", "fam.ped"}, dir, env);
    ASSERT_EQ(threaded.exitStatus, 0) << threaded.standardError;
    const std::string files[] = {readFile(dir + "/fam.phased.vcf.gz"),
                                 readFile(dir + "/fam.phased.vcf.gz.csi"),
                                 test_support::maskTimes(readFile(dir + "/fam.res"))};
    env["HAPLOTOR_THREADS"] = "1";
    const auto run = runHaplotor({option, "fam.vcf", "fam.ped"}, dir, env);
    env["HAPLOTOR_THREADS"] = "3";
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    EXPECT_EQ(run.standardError, threaded.standardError);
    EXPECT_EQ(readFile(dir + "/fam.phased.vcf.gz"), files[0]);
    EXPECT_EQ(readFile(dir + "/fam.phased.vcf.gz.csi"), files[1]);
    EXPECT_EQ(test_support::maskTimes(readFile(dir + "/fam.res")), files[2]);
    // The first configuration of every member in the text run's report.
    std::map<std::string, std::string> expected;
    std::istringstream report(readFile(dir + "/fam.dat"));
    for (std::string label, skip; std::getline(report, label);) {
      if (label.empty()) continue;
      std::getline(std::getline(report, skip), skip);  // sex, parents
      label[label.find('-')] = 'm';
      std::string phase;
      for (int l = 0; l < 12 && std::getline(report, skip); ++l) {
        int a = 0, b = 0;
        const bool phased = skip.find('|') != std::string::npos;
        std::sscanf(skip.c_str(), phased ? "%d|%d" : "%d %d", &a, &b);
        if (!phased && a > b) std::swap(a, b);
        phase.append(vcfCall(a, b, phased ? '|' : '/')).append(" ");
      }
      expected.emplace(label, phase);
    }
    ASSERT_FALSE(expected.empty());
    auto written = calls(dir + "/fam.phased.vcf.gz");
    for (const auto& [sample, phase] : expected) EXPECT_EQ(written[sample], phase) << sample;
  }
}

}  // namespace

// X-linked families drawn at random: a couple with two daughters and two
// sons, and a daughter's family with a man from outside and two children of
// each sex. Two sites sit in GRCh37's first pseudo-autosomal region, the
// rest in the X-linked part; males are coded haploid or diploid.
struct XFamilies {
  std::string vcf, ped;
  std::map<std::string, std::string> father, mother;
  std::map<std::string, bool> male;
};

XFamilies xFamilies(bool haploidMales, unsigned seed) {
  XFamilies x;
  const std::vector<std::string> names = {"gf", "gm", "d1", "d2", "s1", "s2", "hb", "g1", "g2", "g3", "g4"};
  const auto member = [&x](const std::string& name, const std::string& f, const std::string& m, bool male) {
    x.father[name] = f;
    x.mother[name] = m;
    x.male[name] = male;
    x.ped += "fx " + name + " " + (f.empty() ? "0" : f) + " " + (m.empty() ? "0" : m) + (male ? " 1" : " 2") +
             " 0\n";
  };
  member("gf", "", "", true);
  member("gm", "", "", false);
  member("d1", "gf", "gm", false);
  member("d2", "gf", "gm", false);
  member("s1", "gf", "gm", true);
  member("s2", "gf", "gm", true);
  member("hb", "", "", true);
  member("g1", "hb", "d1", false);
  member("g2", "hb", "d1", true);
  member("g3", "hb", "d1", false);
  member("g4", "hb", "d1", true);
  x.vcf =
      "##fileformat=VCFv4.2\n##contig=<ID=X,length=155270560>\n"
      "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
      "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT";
  for (const std::string& name : names) x.vcf += "\t" + name;
  x.vcf += "\n";
  std::mt19937 random(seed);
  const auto coin = [&random] { return static_cast<int>(random() % 2); };
  // Which maternal haplotype each child copies; it changes now and then.
  std::map<std::string, int> copied;
  for (const std::string& name : names) copied[name] = coin();
  for (int site = 0; site < 40; ++site) {
    const bool linked = site >= 2;
    const long position = linked ? 3000000 + 1000L * site : 100000 + 1000L * site;
    std::map<std::string, std::pair<int, int>> alleles;  // paternal, maternal
    for (const std::string& name : names) {
      if (random() % 10 == 0) copied[name] ^= 1;
      if (x.father[name].empty()) {
        const int a = coin(), b = coin();
        alleles[name] = {a, x.male[name] && linked ? a : b};
        continue;
      }
      const auto& mum = alleles[x.mother[name]];
      const int maternal = copied[name] != 0 ? mum.second : mum.first;
      const auto& dad = alleles[x.father[name]];
      const int paternal =
          linked ? (x.male[name] ? maternal : dad.second) : (coin() != 0 ? dad.first : dad.second);
      alleles[name] = {paternal, maternal};
    }
    x.vcf += "X\t" + std::to_string(position) + "\t.\tA\tG\t.\t.\t.\tGT";
    for (const std::string& name : names) {
      const auto [a, b] = alleles[name];
      std::string call = std::to_string(std::min(a, b)) + "/" + std::to_string(std::max(a, b));
      if (linked && x.male[name] && haploidMales) call = std::to_string(a);
      if (random() % 25 == 0) call = linked && x.male[name] && haploidMales ? "." : "./.";
      x.vcf += "\t" + call;
    }
    x.vcf += "\n";
  }
  return x;
}

// Option i phases X with the X model: males keep their calls as read, a
// daughter's paternal allele is her father's, a son's allele his mother's,
// bcftools' X rules find no new Mendelian error, and the pseudo-autosomal
// sites are phased apart. The other methods leave the X-linked sites as read.
TEST(VcfRun, OptionIPhasesXLinkedSitesAndTheOtherMethodsLeaveThemAsRead) {
  for (const bool haploid : {true, false}) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
      SCOPED_TRACE((haploid ? "haploid males, seed " : "diploid males, seed ") + std::to_string(seed));
      const XFamilies x = xFamilies(haploid, seed);
      const std::string dir = test_support::makeTempDir(), out = dir + "/x.phased.vcf.gz";
      writeFile(dir + "/x.vcf", x.vcf);
      writeFile(dir + "/x.ped", x.ped);
      const auto run = runHaplotor({"-i", "x.vcf", "x.ped"}, dir);
      ASSERT_EQ(run.exitStatus, 0) << run.standardError;
      EXPECT_EQ(run.standardError.find("haploid calls"), std::string::npos) << run.standardError;
      EXPECT_NE(readFile(dir + "/x.res").find("Chromosome\tX\t2 sites\n"), std::string::npos);
      EXPECT_NE(readFile(dir + "/x.res").find("Chromosome\tX\t38 sites, X-linked\n"), std::string::npos);
      const std::string mendel = "bcftools +mendelian -p " + dir + "/x.ped -m c ";
      EXPECT_EQ(badTrios(shell(mendel + out).second), badTrios(shell(mendel + dir + "/x.vcf").second));
      std::map<std::string, std::vector<std::string>> read, written;
      const std::string query = "bcftools query -i 'POS>2699520' -f '[%SAMPLE %GT\\n]' ";
      for (auto [file, table] : {std::pair{dir + "/x.vcf", &read}, std::pair{out, &written}}) {
        std::istringstream fields(shell(query + file).second);
        for (std::string sample, call; fields >> sample >> call;) (*table)[sample].push_back(call);
      }
      int phasedDaughterCalls = 0;
      for (const auto& [name, calls] : written) {
        ASSERT_EQ(calls.size(), 38u);
        for (std::size_t site = 0; site < calls.size(); ++site) {
          const std::string& call = calls[site];
          if (x.male.at(name)) {
            EXPECT_EQ(call, read[name][site]) << name;
            const std::string& mother = x.father.at(name).empty() ? "./." : read[x.mother.at(name)][site];
            if (call[0] != '.' && mother[0] != '.') {
              EXPECT_NE(mother.find(call[0]), std::string::npos) << name;
            }
            continue;
          }
          if (x.father.at(name).empty() || call.size() != 3 || call[1] != '|') continue;
          ++phasedDaughterCalls;
          const std::string& father = read[x.father.at(name)][site];
          const std::string& mother = written[x.mother.at(name)][site];
          if (father[0] != '.' && call[0] != '.') {
            EXPECT_EQ(call[0], father[0]) << name << " " << site;
          }
          if (mother[0] != '.' && call[2] != '.') {
            EXPECT_NE(mother.find(call[2]), std::string::npos) << name;
          }
        }
      }
      EXPECT_GT(phasedDaughterCalls, 50);
      for (const std::string option : {"-b", "-c", "-l", "-m"}) {
        if (seed > 1) break;
        const auto other = runHaplotor({option, "x.vcf", "x.ped"}, dir);
        ASSERT_EQ(other.exitStatus, 0) << other.standardError;
        EXPECT_NE(other.standardError.find("chromosome X: option " + option.substr(1) +
                                           " has no model of X-linked inheritance"),
                  std::string::npos);
        std::map<std::string, std::vector<std::string>> left;
        std::istringstream fields(shell(query + out).second);
        for (std::string sample, call; fields >> sample >> call;) left[sample].push_back(call);
        EXPECT_EQ(left, read) << option;
      }
    }
  }
}

// HAPLOTOR_REGION reads a chromosome or a span of one through the input's
// index: a record belongs to the span its position lies in (a deletion
// reaching into the span from before it does not), a whole chromosome is
// phased as in a run over the whole file, and an input without an index is
// refused with the command that makes one.
TEST(VcfRun, RegionsReadOnlyTheirRecordsThroughTheIndex) {
  std::string vcf = exampleText("vcf_example.vcf");
  vcf.insert(
      vcf.find("1\t2000"),
      "1\t1990\t.\tACGTACGTACGTACGT\tA\t50\tPASS\tDP=9\tGT:DP\t0/1:9\t0/0:9\t0/1:9\t0/0:9\t0/0:9\t0/0:9\n");
  // A contig whose name holds a colon.
  vcf.insert(vcf.find("#CHROM"), "##contig=<ID=HLA-A*01:01,length=1000>\n");
  vcf += "HLA-A*01:01\t100\t.\tA\tG\t50\tPASS\tDP=9\tGT:DP\t0/1:9\t0/0:9\t0/1:9\t0/0:9\t0/1:9\t0/0:9\n";
  const std::string dir = exampleFolder(vcf);
  ASSERT_EQ(
      shell("cd " + dir +
            " && bcftools index x.vcf.gz && bcftools view -Ob -o x.bcf x.vcf.gz && bcftools index x.bcf")
          .first,
      0);
  const auto whole = runHaplotor({"-i", "x.vcf.gz", "x.ped"}, dir);
  ASSERT_EQ(whole.exitStatus, 0) << whole.standardError;
  const std::string records = "bcftools view -H ";
  const std::string wholeOne = shell(records + dir + "/x.phased.vcf.gz -r 1").second;
  const struct {
    std::string input, region, records;  // records: bcftools view -H of the output
  } cases[] = {
      {"x.vcf.gz", "1", wholeOne},
      {"x.bcf", "1", wholeOne},
      {"x.vcf.gz", "X", shell(records + dir + "/x.phased.vcf.gz -r X").second},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input + " " + c.region);
    const auto run =
        runHaplotor({"-i", c.input, "x.ped"}, dir,
                    {{"HAPLOTOR_REGION", c.region}, {"HAPLOTOR_OUT", "r.vcf.gz"}, {"HAPLOTOR_RES", "r.res"}});
    ASSERT_EQ(run.exitStatus, 0) << run.standardError;
    EXPECT_EQ(shell(records + dir + "/r.vcf.gz").second, c.records);
    EXPECT_NE(readFile(dir + "/r.res").find("Chromosome\t" + c.region), std::string::npos);
  }
  const std::string positions = "bcftools query -f '%CHROM:%POS ' ";
  for (const std::string input : {"x.vcf.gz", "x.bcf"}) {
    for (const auto& [region, expected] :
         {std::pair{"1:2000-4000", "1:2000 1:3000 1:4000 "}, std::pair{"1:3000-", "1:3000 1:4000 1:5000 "},
          std::pair{"HLA-A*01:01", "HLA-A*01:01:100 "},
          std::pair{"HLA-A*01:01:50-150", "HLA-A*01:01:100 "}}) {
      const auto span =
          runHaplotor({"-b", input, "x.ped"}, dir, {{"HAPLOTOR_REGION", region}, {"HAPLOTOR_OUT", "s.bcf"}});
      ASSERT_EQ(span.exitStatus, 0) << span.standardError;
      EXPECT_EQ(shell(positions + dir + "/s.bcf").second, expected);
    }
    const auto empty = runHaplotor({"-b", input, "x.ped"}, dir,
                                   {{"HAPLOTOR_REGION", "1:6000-9000"}, {"HAPLOTOR_OUT", "e.vcf.gz"}});
    ASSERT_EQ(empty.exitStatus, 0) << empty.standardError;
    EXPECT_NE(empty.standardError.find("HAPLOTOR_REGION='1:6000-9000' holds no records"), std::string::npos);
    EXPECT_EQ(shell(positions + dir + "/e.vcf.gz").second, "");
  }

  const struct {
    std::string input, region, message;
  } refused[] = {
      {"x.vcf", "1", "genotype file 'x.vcf' is not bgzipped"},
      {"x.vcf.gz", "2", "chromosome 2 is neither in the header nor in the index of 'x.vcf.gz'"},
      {"x.vcf.gz", "1:5-2", "HAPLOTOR_REGION='1:5-2' is not a chromosome, chromosome:from-to"},
      {"y.vcf.gz", "1", "none was found (.csi or .tbi beside it); make one with: bcftools index y.vcf.gz"},
      {"x.txt", "1", "HAPLOTOR_REGION='1' applies to VCF/BCF input only"},
  };
  ASSERT_EQ(shell("cp " + dir + "/x.vcf.gz " + dir + "/y.vcf.gz").first, 0);
  writeFile(dir + "/x.txt", exampleText("block_example.txt"));
  for (const auto& c : refused) {
    SCOPED_TRACE(c.message);
    std::vector<std::string> arguments{"-b", c.input, "x.ped"};
    if (c.input == "x.txt") arguments.pop_back();
    const auto run =
        runHaplotor(arguments, dir, {{"HAPLOTOR_REGION", c.region}, {"HAPLOTOR_OUT", "f.vcf.gz"}});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.standardError.find(c.message), std::string::npos) << run.standardError;
    EXPECT_FALSE(test_support::fileExists(dir + "/f.vcf.gz"));
  }
}
