#include "app/settings.h"

#include <cmath>
#include <cstdlib>
#include <thread>

namespace {

// The value of a variable that is set and not empty.
const char* valueOf(const char* name) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? text : nullptr;
}

std::string invalid(const char* name, const char* text, const std::string& expected) {
  return std::string(name) + "='" + text + "' is not " + expected;
}

// An optionally signed decimal integer, reduced modulo 2^32.
bool parseSeed(const char* text, std::uint32_t& value) {
  const char* p = text;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  if (*p < '0' || *p > '9') return false;
  std::uint32_t v = 0;
  for (; *p >= '0' && *p <= '9'; ++p) v = v * 10u + static_cast<std::uint32_t>(*p - '0');
  if (*p != '\0') return false;
  value = negative ? 0u - v : v;
  return true;
}

bool parseUnsigned(const char* text, std::uint64_t& value) {
  value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9' || value > (UINT64_MAX - 9) / 10) return false;
    value = value * 10 + static_cast<std::uint64_t>(*p - '0');
  }
  return true;
}

bool parseInt(const char* text, long low, long high, int& value) {
  char* end = nullptr;
  const long parsed = std::strtol(text, &end, 10);
  if (*end != '\0' || parsed < low || parsed > high) return false;
  value = static_cast<int>(parsed);
  return true;
}

bool parseDouble(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(value);
}

bool parseSwitch(const char* text, bool& value) {
  const std::string word(text);
  if (word != "0" && word != "1") return false;
  value = word == "1";
  return true;
}

// "chr", "chr:from-to" or "chr:from-" (to the chromosome's end). A name
// whose part after its last colon is not a span is a chromosome name as a
// whole.
bool parseRegion(const char* text, GenomeRegion& region) {
  region.text = text;
  const std::string word(text);
  const std::size_t colon = word.rfind(':');
  if (colon == std::string::npos || colon + 1 >= word.size() || word[colon + 1] < '0' ||
      word[colon + 1] > '9') {
    region.chromosome = word;
    return true;
  }
  const std::string span = word.substr(colon + 1);
  const std::size_t dash = span.find('-');
  if (dash == std::string::npos) {
    region.chromosome = word;  // a name such as HLA-A*01:01:01:01
    return true;
  }
  if (colon == 0) return false;
  const auto limit = static_cast<std::uint64_t>(kRegionEnd);
  const bool toEnd = dash + 1 == span.size();
  std::uint64_t from = 0;
  std::uint64_t to = limit;
  if (!parseUnsigned(span.substr(0, dash).c_str(), from) || from < 1 || from > limit) return false;
  if (!toEnd && (!parseUnsigned(span.substr(dash + 1).c_str(), to) || to < from || to > limit)) return false;
  region.chromosome = word.substr(0, colon);
  region.from = static_cast<std::int64_t>(from);
  region.to = static_cast<std::int64_t>(to);
  return true;
}

}  // namespace

bool readSettings(Settings& settings, std::string& problem) {
  const unsigned cores = std::thread::hardware_concurrency();
  settings.threads = cores == 0 ? 1 : static_cast<int>(cores);
  if (const char* text = valueOf("HAPLOTOR_SEED")) {
    std::uint32_t seed = 0;
    if (!parseSeed(text, seed)) {
      problem = invalid("HAPLOTOR_SEED", text, "a decimal integer");
      return false;
    }
    settings.seed = seed;
  }
  if (const char* text = valueOf("HAPLOTOR_MAX_SOLUTIONS")) {
    if (!parseUnsigned(text, settings.maxSolutions)) {
      problem = invalid("HAPLOTOR_MAX_SOLUTIONS", text, "a non-negative decimal integer (0 = no limit)");
      return false;
    }
  }
  if (const char* text = valueOf("HAPLOTOR_THREADS")) {
    if (!parseInt(text, 1, 1024, settings.threads)) {
      problem = invalid("HAPLOTOR_THREADS", text, "a whole number from 1 to 1024");
      return false;
    }
  }
  if (const char* text = valueOf("HAPLOTOR_THETA")) {
    double theta = 0;
    if (!parseDouble(text, theta) || !(theta > 0.0 && theta <= 0.5)) {
      problem = invalid("HAPLOTOR_THETA", text, "a number in (0, 0.5]");
      return false;
    }
    settings.theta = theta;
  }
  if (const char* text = valueOf("HAPLOTOR_ERROR")) {
    if (!parseDouble(text, settings.genotypeError) ||
        !(settings.genotypeError >= 0.0 && settings.genotypeError < 0.5)) {
      problem = invalid("HAPLOTOR_ERROR", text, "a number in [0, 0.5)");
      return false;
    }
  }
  if (const char* text = valueOf("HAPLOTOR_MIN_PP")) {
    if (!parseDouble(text, settings.minPhaseProbability) ||
        !(settings.minPhaseProbability >= 0.0 && settings.minPhaseProbability <= 1.0)) {
      problem = invalid("HAPLOTOR_MIN_PP", text, "a number in [0, 1]");
      return false;
    }
  }
  if (const char* text = valueOf("HAPLOTOR_MAX_BITS")) {
    if (!parseInt(text, 0, kLargestMaxBits, settings.maxBits)) {
      problem =
          invalid("HAPLOTOR_MAX_BITS", text, "a whole number from 0 to " + std::to_string(kLargestMaxBits));
      return false;
    }
  }
  if (const char* text = valueOf("HAPLOTOR_OUT")) settings.out = text;
  if (const char* text = valueOf("HAPLOTOR_RES")) settings.res = text;
  if (const char* text = valueOf("HAPLOTOR_REGION")) {
    if (!parseRegion(text, settings.region)) {
      problem = invalid("HAPLOTOR_REGION", text,
                        "a chromosome, chromosome:from-to or chromosome:from- (1-based, from <= to)");
      return false;
    }
  }
  if (const char* text = valueOf("HAPLOTOR_IMPUTE")) {
    if (!parseSwitch(text, settings.impute)) {
      problem = invalid("HAPLOTOR_IMPUTE", text, "0 or 1");
      return false;
    }
  }
  if (const char* text = valueOf("HAPLOTOR_CM_PER_MB")) {
    if (!parseDouble(text, settings.cmPerMb) || !(settings.cmPerMb > 0)) {
      problem = invalid("HAPLOTOR_CM_PER_MB", text, "a positive number");
      return false;
    }
  }
  if (const char* text = valueOf("HAPLOTOR_MAP")) settings.mapFile = text;
  if (const char* text = valueOf("HAPLOTOR_CHRX")) settings.chrX = text;
  if (const char* text = valueOf("HAPLOTOR_BUILD")) {
    const std::string word(text);
    if (word != "37" && word != "38") {
      problem = invalid("HAPLOTOR_BUILD", text, "37 or 38");
      return false;
    }
    settings.build = word == "37" ? 37 : 38;
  }
  if (const char* text = valueOf("HAPLOTOR_TIMES")) {
    if (!parseSwitch(text, settings.reportTimes)) {
      problem = invalid("HAPLOTOR_TIMES", text, "0 or 1");
      return false;
    }
  }
  return true;
}
