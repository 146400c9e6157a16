// What becomes of single calls in a VCF/BCF run: half-missing calls, allele
// values a record has no allele for, and the values written in place.
#include <gtest/gtest.h>
#include <htslib/vcf.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>

#include "test_support.h"
#include "vcf/genotype_cells.h"
#include "vcf/record_calls.h"

using test_support::runHaplotor;

namespace {

const char* const kOptions[] = {"-b", "-c", "-l", "-m", "-i"};

// Per site, the calls of every sample of dir/file as bcftools prints them.
std::vector<std::vector<std::string>> siteCalls(const std::string& dir, const std::string& file) {
  std::vector<std::vector<std::string>> sites;
  std::istringstream lines(
      test_support::runShell("bcftools query -f '[%GT ]\\n' " + file, dir).standardOutput);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    sites.emplace_back();
    for (std::string call; fields >> call;) sites.back().push_back(call);
  }
  return sites;
}

// The typed alleles of a call, sorted ("1/." -> {"1"}).
std::vector<std::string> typedAlleles(const std::string& call) {
  std::vector<std::string> alleles;
  std::string allele;
  for (const char c : call + "/") {
    if (c != '/' && c != '|') {
      allele += c;
      continue;
    }
    if (allele != ".") alleles.push_back(allele);
    allele.clear();
  }
  std::sort(alleles.begin(), alleles.end());
  return alleles;
}

// One three-generation family at twelve sites with half-missing calls.
std::string halfMissingFolder() {
  const char* rows[] = {
      "0/2 1/2 0/1 1/0 0/1 0/0 1/0", "1/0 1/2 1/1 2/0 0/1 1/2 ./0", "2/1 2/2 2/1 2/1 1/2 1/1 1/2",
      "0/2 2/0 0/2 0/0 0/2 0/2 0/0", "2/2 0/1 2/1 2/1 1/2 2/. 1/1", "0/2 2/0 2/0 1/1 2/1 1/2 1/0",
      "0/2 1/1 ./1 1/1 0/1 0/1 1/1", "1/1 2/2 1/2 1/. 0/1 1/1 2/0", "2/0 0/1 1/0 1/2 0/2 0/1 2/1",
      "0/1 1/0 0/1 1/2 0/2 1/1 0/2", "1/1 1/1 1/1 1/1 1/. 1/. 1/1", "2/0 0/. 1/2 1/0 1/0 1/1 2/0"};
  std::string vcf =
      "##fileformat=VCFv4.2\n##contig=<ID=20>\n"
      "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">\n"
      "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT\tF2_1\tF2_2\tF2_3\tF2_4\tF2_5\tF2_6\tF2_7\n";
  for (int l = 0; l < 12; ++l) {
    std::string calls = rows[l];
    std::replace(calls.begin(), calls.end(), ' ', '\t');
    vcf += "20\t" + std::to_string(1000 * (l + 1)) + "\t.\tA\tC,G\t.\t.\t.\tGT\t" + calls + "\n";
  }
  return test_support::folderWith(
      {{"h.vcf", vcf},
       {"h.ped",
        "2 F2_1 0 0 1 -9\n2 F2_2 0 0 2 -9\n2 F2_3 F2_1 F2_2 1 -9\n2 F2_4 0 0 2 -9\n"
        "2 F2_5 F2_3 F2_4 2 -9\n2 F2_6 F2_3 F2_4 2 -9\n2 F2_7 F2_3 F2_4 1 -9\n"}});
}

TEST(VcfCalls, HalfMissingCallsKeepTheTypedAlleleAndGetTheSideItCameFrom) {
  const std::string dir = halfMissingFolder();
  const auto input = siteCalls(dir, "h.vcf");
  ASSERT_EQ(input.size(), 12u);
  for (const char* option : kOptions) {
    for (const std::string impute : {"0", "1"}) {
      SCOPED_TRACE(option + (" impute " + impute));
      const auto run = runHaplotor({option, "h.vcf", "h.ped"}, dir,
                                   {{"HAPLOTOR_IMPUTE", impute}, {"HAPLOTOR_THETA", "0.02"}});
      ASSERT_EQ(run.exitStatus, 0) << run.standardError;
      const auto output = siteCalls(dir, "h.phased.vcf.gz");
      ASSERT_EQ(output.size(), input.size());
      int phasedHalves = 0;
      for (std::size_t l = 0; l < input.size(); ++l) {
        for (std::size_t s = 0; s < input[l].size(); ++s) {
          SCOPED_TRACE(input[l][s] + " became " + output[l][s]);
          const auto before = typedAlleles(input[l][s]), after = typedAlleles(output[l][s]);
          // Every typed allele is kept; only a fill-in adds alleles.
          EXPECT_TRUE(std::includes(after.begin(), after.end(), before.begin(), before.end()));
          if (impute == "0") {
            EXPECT_EQ(after, before);
          }
          if (before.size() == 1 && after.size() == 1 && output[l][s].find('|') != std::string::npos) {
            ++phasedHalves;
          }
        }
      }
      if (std::string(option) == "-i") {
        // F2_7 at 2000 (`./0`): its father is 1/1 there, so the typed 0 came
        // from the mother.
        EXPECT_EQ(output[1][6], impute == "1" ? "1|0" : ".|0");
        if (impute == "0") {
          EXPECT_GE(phasedHalves, 2);
        }
      }
    }
  }
}

// A BCF whose first record holds damaged allele values for kid1 (negative)
// and kid2 (an index beyond the ALT alleles); the GT values of a file's
// first record.
std::vector<std::int32_t> firstGenotypes(const std::string& file) {
  htsFile* in = hts_open(file.c_str(), "r");
  bcf_hdr_t* header = in == nullptr ? nullptr : bcf_hdr_read(in);
  bcf1_t* record = bcf_init();
  std::vector<std::int32_t> values;
  if (header != nullptr && bcf_read(in, header, record) == 0) {
    std::int32_t* gt = nullptr;
    int capacity = 0;
    const int n = bcf_get_genotypes(header, record, &gt, &capacity);
    values.assign(gt, gt + std::max(n, 0));
    std::free(gt);
  }
  bcf_destroy(record);
  if (header != nullptr) bcf_hdr_destroy(header);
  if (in != nullptr) hts_close(in);
  return values;
}

TEST(VcfCalls, AlleleValuesNamingNoAlleleAreWrittenBackAsRead) {
  const std::string dir = test_support::folderWith({{"x.ped", test_support::exampleText("vcf_example.ped")}});
  htsFile* in = hts_open((std::string(HAPLOTOR_SOURCE_DIR) + "/examples/vcf_example.vcf").c_str(), "r");
  htsFile* bcf = hts_open((dir + "/x.bcf").c_str(), "wb");
  ASSERT_TRUE(in != nullptr && bcf != nullptr);
  bcf_hdr_t* header = bcf_hdr_read(in);
  ASSERT_EQ(bcf_hdr_write(bcf, header), 0);
  bcf1_t* record = bcf_init();
  std::int32_t* gt = nullptr;
  int capacity = 0;
  for (bool first = true; bcf_read(in, header, record) == 0; first = false) {
    if (first) {
      ASSERT_EQ(bcf_get_genotypes(header, record, &gt, &capacity), 12);
      gt[5] = -49;                 // kid1 (0/0 read): 0/-49
      gt[7] = bcf_gt_unphased(5);  // kid2 (0/1 read): 0/5 at a site with one ALT
      ASSERT_EQ(bcf_update_genotypes(header, record, gt, 12), 0);
    }
    ASSERT_EQ(bcf_write(bcf, header, record), 0);
  }
  std::free(gt);
  bcf_destroy(record);
  bcf_hdr_destroy(header);
  hts_close(in);
  hts_close(bcf);
  const std::vector<std::int32_t> read = firstGenotypes(dir + "/x.bcf");
  ASSERT_EQ(read.size(), 12u);
  ASSERT_EQ(read[5], -49);
  for (const char* option : kOptions) {
    for (const std::string impute : {"0", "1"}) {
      SCOPED_TRACE(option + (" impute " + impute));
      const auto run = runHaplotor({option, "x.bcf", "x.ped"}, dir,
                                   {{"HAPLOTOR_OUT", "out.bcf"}, {"HAPLOTOR_IMPUTE", impute}});
      ASSERT_EQ(run.exitStatus, 0) << run.standardError;
      const std::vector<std::int32_t> written = firstGenotypes(dir + "/out.bcf");
      ASSERT_EQ(written.size(), 12u);
      EXPECT_EQ(std::vector<std::int32_t>(written.begin() + 4, written.begin() + 8),
                std::vector<std::int32_t>(read.begin() + 4, read.begin() + 8));
    }
  }
}

}  // namespace

// The writer on records made in memory: GT values are changed in the
// record's own width where they fit, and through a re-encoding where a
// filled-in allele needs a wider one; PS goes to phased heterozygous calls of
// founders only.
TEST(VcfCalls, WriterChangesGtInPlaceOrWidensItAndSetsPsOnHeterozygousFounders) {
  bcf_hdr_t* header = bcf_hdr_init("w");
  for (const char* line :
       {"##contig=<ID=1>", "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">",
        "##FORMAT=<ID=PS,Number=1,Type=Integer,Description=\"Phase set\">"}) {
    ASSERT_EQ(bcf_hdr_append(header, line), 0);
  }
  for (const char* sample : {"dad", "mum", "kid", "other"}) ASSERT_EQ(bcf_hdr_add_sample(header, sample), 0);
  ASSERT_EQ(bcf_hdr_sync(header), 0);
  std::string alts = "C";
  for (int a = 1; a < 120; ++a) alts += ",C" + std::string(static_cast<std::size_t>(a), 'A');
  const std::vector<int> slotSamples = {0, 1, 2};
  const std::vector<char> solved = {1, 1, 1}, founder = {1, 1, 0};
  const std::vector<std::int64_t> blocks = {1000, 1000, 0};
  CallWriter writer;
  writer.slotSamples = &slotSamples;
  writer.slotSolved = &solved;
  writer.slotIsFounder = &founder;
  writer.slotPhaseSet = &blocks;
  const struct {
    std::string calls;  // dad mum kid other, as read
    GenotypeCell dad, mum, kid;
    std::string written;  // GT and PS as bcftools would print them
  } cases[] = {
      // dad reordered, mum homozygous, kid's missing call filled in.
      {"1/0\t0/0\t./.\t0/1",
       {1 | kPhasedFlag, 2},
       {1 | kPhasedFlag, 1},
       {2 | kPhasedFlag, 1 | kReplaceFlag},
       "0|1:1000 0|0:. 1|0:. 0/1:. "},
      // kid's fill-in (allele 100) does not fit the record's 8-bit values.
      {"0/1\t1/0\t./.\t0/1",
       {1, 2},
       {2 | kPhasedFlag, 1},
       {101 | kPhasedFlag, 1 | kReplaceFlag},
       "0/1:. 1|0:1000 100|0:. 0/1:. "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.calls);
    std::string line = "1\t1000\t.\tA\t" + alts + "\t.\t.\t.\tGT\t" + c.calls;
    kstring_t text = {line.size(), line.size() + 1, line.data()};
    bcf1_t* record = bcf_init();
    ASSERT_EQ(vcf_parse(&text, header, record), 0);
    GenotypeCell cells[3] = {c.dad, c.mum, c.kid};
    ASSERT_TRUE(writer.apply(header, record, CellRow(cells, 1)));
    kstring_t out = {0, 0, nullptr};
    ASSERT_EQ(vcf_format(header, record, &out), 0);
    std::string formatted(out.s, out.l);
    std::free(out.s);
    std::string samples;
    std::istringstream fields(formatted.substr(formatted.find("GT:PS\t") + 6));
    for (std::string field; fields >> field;) samples += field + " ";
    EXPECT_EQ(samples, c.written);
    bcf_destroy(record);
  }
  bcf_hdr_destroy(header);
}
