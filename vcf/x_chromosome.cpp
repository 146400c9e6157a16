#include "vcf/x_chromosome.h"

#include <cstdlib>

#include "pedigree/diagnostics.h"

namespace {

struct Build {
  int number;
  std::int64_t lengthOfX;
  std::int64_t par[2][2];
};

constexpr Build kBuilds[] = {
    {37, 155270560, {{60001, 2699520}, {154931044, 155260560}}},
    {38, 156040895, {{10001, 2781479}, {155701383, 156030895}}},
};

// The length= of the chromosome's contig line, 0 when it has none.
std::int64_t contigLength(const bcf_hdr_t* header, const std::string& name) {
  bcf_hrec_t* line = bcf_hdr_get_hrec(header, BCF_HL_CTG, "ID", name.c_str(), nullptr);
  if (line == nullptr) return 0;
  const int key = bcf_hrec_find_key(line, "length");
  if (key < 0 || line->vals[key] == nullptr) return 0;
  char* end = nullptr;
  const long long length = std::strtoll(line->vals[key], &end, 10);
  return *end == '\0' && length > 0 ? length : 0;
}

}  // namespace

XChromosome::XChromosome(const Settings& settings, std::string fileName)
    : extraName_(settings.chrX), build_(settings.build), fileName_(std::move(fileName)) {}

void XChromosome::startChromosome(const bcf_hdr_t* header, const std::string& name) {
  pseudoautosomal_.clear();
  isX_ = name == "X" || name == "chrX" || name == "23" || (!extraName_.empty() && name == extraName_);
  if (!isX_) return;
  const std::int64_t length = contigLength(header, name);
  const Build* build = nullptr;
  for (const Build& known : kBuilds) {
    if (known.lengthOfX == length) build = &known;
  }
  for (const Build& known : kBuilds) {
    if (build == nullptr && known.number == build_) build = &known;
  }
  if (build == nullptr) {
    if (!buildNoted_) {
      diagnostics::note(fileName_ + ": chromosome " + name +
                        ": neither the header's length of it nor HAPLOTOR_BUILD (37 or 38) names a genome "
                        "build; no pseudo-autosomal region is taken, every site of it is X-linked");
    }
    buildNoted_ = true;
    return;
  }
  for (const auto& [from, to] : build->par) pseudoautosomal_.emplace_back(from, to);
}
