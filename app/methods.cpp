#include "app/methods.h"

#include <algorithm>

#include "block_extension/block_extension.h"
#include "constraint/constraint_finding.h"
#include "inheritance/inheritance_vector.h"
#include "locus_dp/locus_dp.h"
#include "member_dp/member_dp.h"
#include "pedigree/diagnostics.h"
#include "pedigree/forced_phases.h"
#include "simulate/simulation_tool.h"

namespace {

// Block extension draws missing founder alleles from the counts of the
// families read so far; the family is prepared and counted by the loop.
class BlockExtensionRun final : public MethodRun {
 public:
  explicit BlockExtensionRun(const MethodInputs& inputs) : stats_(inputs.stats) {}
  void solve(Family& family, ConfigurationSink& sink) override {
    // A family that breaks Mendel's rules is written as read.
    solveByBlockExtension(family, stats_);
    sink.configuration(family);
  }

 private:
  const AlleleStats& stats_;
};

// The methods that need nothing but the settings and the input's name.
template <SolveResult (*Solve)(Family&, const Settings&, std::string_view, ConfigurationSink&),
          bool kForcedPhasesFirst = false>
class PlainRun final : public MethodRun {
 public:
  explicit PlainRun(const MethodInputs& inputs) : settings_(inputs.settings), inputName_(inputs.inputName) {}
  void solve(Family& family, ConfigurationSink& sink) override {
    if (family.memberOrder.empty()) family.prepare();
    if constexpr (kForcedPhasesFirst) resolveForcedPhases(family);
    Solve(family, settings_, inputName_, sink);
  }

 private:
  const Settings& settings_;
  std::string inputName_;
};

// The inheritance-vector method learns the allele frequencies and the
// recombination fraction of the segment from its first reading.
class InheritanceRun final : public MethodRun {
 public:
  explicit InheritanceRun(const MethodInputs& inputs)
      : model_(inputs.settings, inputs.phaseProbabilities), inputName_(inputs.inputName) {
    if (inputs.intervalFractions != nullptr) model_.expectIntervalFractions(inputs.intervalFractions->size());
  }
  void learn(Family& family) override {
    family.prepare();
    model_.addFamily(family);
  }
  void learned(const std::vector<double>* intervalFractions) override {
    model_.finish();
    if (intervalFractions != nullptr) model_.setIntervalFractions(*intervalFractions);
  }
  void solve(Family& family, ConfigurationSink& sink) override {
    family.prepare();
    inheritance::solveFamily(family, model_, inputName_, sink);
  }

 private:
  inheritance::FileModel model_;
  std::string inputName_;
};

template <typename Run>
std::unique_ptr<MethodRun> start(const MethodInputs& inputs) {
  return std::make_unique<Run>(inputs);
}

constexpr MethodNeeds kBlockNeeds{3, false, true, false, false, true, true, true};
constexpr MethodNeeds kConstraintNeeds{3, false, false, false, false, false, true};
constexpr MethodNeeds kLocusNeeds{1, false, false, false, false, false, true};
constexpr MethodNeeds kMemberNeeds{1, true, true, true, false, false, false};
constexpr MethodNeeds kInheritanceNeeds{1, false, false, false, true, false, false, false, true, true};

const Method kMethods[] = {
    {'b', "block-extension algorithm", kBlockNeeds, start<BlockExtensionRun>, nullptr},
    {'c', "constraint-finding algorithm", kConstraintNeeds, start<PlainRun<solveByConstraintFinding>>,
     nullptr},
    {'l', "locus-based DP algorithm", kLocusNeeds, start<PlainRun<solveByLocusDp, true>>, nullptr},
    {'m', "member-based DP algorithm", kMemberNeeds, start<PlainRun<solveByMemberDp>>, nullptr},
    {'i', "inheritance-vector algorithm", kInheritanceNeeds, start<InheritanceRun>, nullptr},
    {'s', nullptr, MethodNeeds{}, nullptr, runSimulationTool},
};

}  // namespace

std::span<const Method> methods() { return kMethods; }

const Method* findMethod(char letter) {
  const auto found = std::find_if(std::begin(kMethods), std::end(kMethods),
                                  [letter](const Method& method) { return method.letter == letter; });
  return found == std::end(kMethods) ? nullptr : found;
}

void printUsage() {
  std::string text = "USAGE: Haplotor.exe -option infile\n\noptions:\n";
  for (const Method& method : kMethods) {
    if (method.usageLine == nullptr) continue;
    text.push_back(method.letter);
    text.append(":\t").append(method.usageLine).push_back('\n');
  }
  diagnostics::console(text);
}
