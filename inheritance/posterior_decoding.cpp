// Forward-backward over the loci with per-locus normalisation, and the
// choice of one vector per locus from the posteriors.
//
// The backward vectors are computed first, from the last locus down, and
// only those at the ends of segments are kept; the forward pass then walks
// the segments in order, recomputing each segment's backward vectors from
// its checkpoint. So the choice at a locus can depend on the choice at the
// locus before it, and a large family over many loci holds about
// 3 x sqrt(loci) vectors instead of one per locus.
#include <algorithm>
#include <cmath>

#include "inheritance/inheritance_solver.h"

namespace inheritance {

namespace {

// Below this, every vector of the family is kept (one segment).
constexpr double kStoredVectorBytes = 256.0 * 1024.0 * 1024.0;
// Posteriors within this relative distance of the largest are tied.
constexpr double kTieTolerance = 1e-9;

void normalise(std::vector<double>& v) {
  double sum = 0.0;
  for (double x : v) sum += x;
  if (sum <= 0.0) return;
  const double scale = 1.0 / sum;
  for (double& x : v) x *= scale;
}

// v <- T (emission (.) next), normalised.
void stepBack(const Hypercube& cube, double theta, const std::vector<double>& emission,
              const std::vector<double>& next, std::vector<double>& v) {
  v.resize(next.size());
  for (std::size_t r = 0; r < next.size(); ++r) v[r] = emission[r] * next[r];
  cube.spread(v.data(), theta);
  normalise(v);
}

}  // namespace

std::uint32_t InheritanceSolver::chooseState(const std::vector<double>& posterior, std::uint32_t previous,
                                             bool first) const {
  const double largest = *std::max_element(posterior.begin(), posterior.end());
  const double threshold = largest - kTieTolerance * largest;
  std::uint32_t best = 0;
  int bestChanges = -1;
  for (std::size_t r = 0; r < posterior.size(); ++r) {
    if (posterior[r] < threshold) continue;
    const int changes = first ? 0 : __builtin_popcount(static_cast<std::uint32_t>(r) ^ previous);
    if (bestChanges < 0 || changes < bestChanges) {
      best = static_cast<std::uint32_t>(r);
      bestChanges = changes;
    }
  }
  return best;
}

void InheritanceSolver::decode(const PosteriorObserver& observer) {
  const auto loci = static_cast<std::size_t>(locusCount_);
  chosen_.assign(loci, 0);
  consistent_.assign(loci, 1);
  inconsistentLoci_.clear();
  if (loci == 0) return;
  std::vector<std::uint32_t> masks;
  for (const FounderGroup& group : groups_) masks.push_back(group.mask);
  const Hypercube cube(reducedBits_, masks);
  const double theta = model_.theta();

  const double vectorBytes = static_cast<double>(stateCount_) * sizeof(double);
  std::size_t segment = loci;
  if (2.0 * static_cast<double>(loci) * vectorBytes > kStoredVectorBytes) {
    segment = std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(std::sqrt(loci / 2.0))));
  }
  const std::size_t segments = (loci + segment - 1) / segment;

  // Backward checkpoints: the backward vector at the last locus of each segment.
  std::vector<std::vector<double>> checkpoints(segments);
  std::vector<double> beta(stateCount_, 1.0);
  std::vector<double> emission;
  std::vector<double> scratch;
  checkpoints[segments - 1] = beta;
  for (std::size_t l = loci - 1; l-- > segment - 1;) {
    computeEmission(static_cast<int>(l + 1), false, emission);
    stepBack(cube, theta, emission, beta, scratch);
    beta.swap(scratch);
    if ((l + 1) % segment == 0) checkpoints[l / segment] = beta;
  }

  std::vector<std::vector<double>> betas(segment);
  std::vector<std::vector<double>> emissions(segment);
  std::vector<double> alpha(stateCount_, 0.0);
  std::vector<double> posterior(stateCount_, 0.0);
  std::uint32_t previous = 0;
  for (std::size_t j = 0; j < segments; ++j) {
    const std::size_t start = j * segment;
    const std::size_t end = std::min(loci, start + segment);
    for (std::size_t l = start; l < end; ++l) {
      if (!computeEmission(static_cast<int>(l), false, emissions[l - start])) {
        consistent_[l] = 0;
        inconsistentLoci_.push_back(static_cast<int>(l));
      }
    }
    betas[end - 1 - start].swap(checkpoints[j]);
    for (std::size_t l = end - 1; l-- > start;) {
      stepBack(cube, theta, emissions[l + 1 - start], betas[l + 1 - start], betas[l - start]);
    }
    for (std::size_t l = start; l < end; ++l) {
      const std::vector<double>& e = emissions[l - start];
      if (l == 0) {
        alpha = e;
      } else {
        cube.spread(alpha.data(), theta);
        for (std::size_t r = 0; r < stateCount_; ++r) alpha[r] *= e[r];
      }
      normalise(alpha);
      const std::vector<double>& b = betas[l - start];
      for (std::size_t r = 0; r < stateCount_; ++r) posterior[r] = alpha[r] * b[r];
      if (observer) {
        normalise(posterior);
        observer(static_cast<int>(l), posterior);
      }
      previous = chooseState(posterior, previous, l == 0);
      chosen_[l] = previous;
    }
  }
}

}  // namespace inheritance
