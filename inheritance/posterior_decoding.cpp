// Forward-backward over the loci with per-locus normalisation, and the
// choice of one vector per locus from the posteriors.
//
// The backward vectors are computed first, from the last locus down, and
// only those at the ends of segments are kept; the forward pass then walks
// the segments in order, recomputing each segment's backward vectors from
// its checkpoint (every vector is kept instead when they fit in 512 MiB).
// So the choice at a locus can depend on the choice at the locus before it,
// and a large family over many loci holds about 2 x sqrt(loci) vectors
// instead of one per locus.
#include <algorithm>
#include <cmath>

#include "inheritance/inheritance_solver.h"

namespace inheritance {

namespace {

// Every backward vector of the family is kept when they fit in this.
constexpr double kStoredVectorBytes = 512.0 * 1024.0 * 1024.0;
// Posteriors within this relative distance of the largest are tied.
constexpr double kTieTolerance = 1e-9;

// out = a (.) b x scale; returns the sum of out. Four partial sums, so the
// loop vectorises without reordering being allowed by the compiler.
[[gnu::target_clones("avx2", "default")]] double scaledProduct(const double* a, const double* b, double scale,
                                                               double* out, std::size_t n) {
  double sums[4] = {0.0, 0.0, 0.0, 0.0};
  std::size_t r = 0;
  for (; r + 4 <= n; r += 4) {
    for (std::size_t k = 0; k < 4; ++k) {
      out[r + k] = a[r + k] * b[r + k] * scale;
      sums[k] += out[r + k];
    }
  }
  for (; r < n; ++r) {
    out[r] = a[r] * b[r] * scale;
    sums[0] += out[r];
  }
  return (sums[0] + sums[1]) + (sums[2] + sums[3]);
}

// alpha <- alpha (.) emission x scale and posterior = alpha (.) beta; returns
// the sum of alpha and sets the largest posterior.
[[gnu::target_clones("avx2", "default")]] double forwardStep(double* alpha, const double* emission,
                                                             const double* beta, double scale,
                                                             double* posterior, std::size_t n,
                                                             double& largest) {
  double sums[4] = {0.0, 0.0, 0.0, 0.0};
  double maxima[4] = {0.0, 0.0, 0.0, 0.0};
  std::size_t r = 0;
  for (; r + 4 <= n; r += 4) {
    for (std::size_t k = 0; k < 4; ++k) {
      const double a = alpha[r + k] * emission[r + k] * scale;
      alpha[r + k] = a;
      sums[k] += a;
      const double p = a * beta[r + k];
      posterior[r + k] = p;
      maxima[k] = maxima[k] > p ? maxima[k] : p;
    }
  }
  for (; r < n; ++r) {
    alpha[r] = alpha[r] * emission[r] * scale;
    sums[0] += alpha[r];
    posterior[r] = alpha[r] * beta[r];
    maxima[0] = std::max(maxima[0], posterior[r]);
  }
  largest = std::max(std::max(maxima[0], maxima[1]), std::max(maxima[2], maxima[3]));
  return (sums[0] + sums[1]) + (sums[2] + sums[3]);
}

// A vector known up to a factor: its entries times `scale` sum to 1. The
// factor is applied by the next step that reads the vector, so no pass over
// the states is spent on normalising.
struct ScaledVector {
  std::vector<double> values;
  double scale = 1.0;
};

// v <- T (emission (.) next), with v's scale. T keeps the sum of a vector,
// so the sum taken before spreading is the sum after it.
void stepBack(const Hypercube& cube, double theta, const std::vector<double>& emission,
              const ScaledVector& next, ScaledVector& v) {
  const std::size_t n = next.values.size();
  v.values.resize(n);
  const double sum = scaledProduct(emission.data(), next.values.data(), next.scale, v.values.data(), n);
  cube.spread(v.values.data(), theta);
  v.scale = sum > 0.0 ? 1.0 / sum : 1.0;
}

}  // namespace

std::uint32_t InheritanceSolver::chooseState(const std::vector<double>& posterior, double largest,
                                             std::uint32_t previous, bool first) const {
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
  forwardOrder_.assign(loci * nodes_.size(), -1.0F);
  likelyError_.assign(loci * nodes_.size(), 0);
  if (loci == 0) return;
  std::vector<std::uint32_t> masks;
  for (const FounderGroup& group : groups_) masks.push_back(group.mask);
  const Hypercube cube(reducedBits_, masks);

  // k backward vectors of a segment and loci / k checkpoints: k = sqrt(loci)
  // keeps fewest, one segment keeps every vector and saves a backward pass.
  const double vectorBytes = static_cast<double>(stateCount_) * sizeof(double);
  std::size_t segment = loci;
  if (static_cast<double>(loci) * vectorBytes > kStoredVectorBytes) {
    segment =
        std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(loci)))));
  }
  const std::size_t segments = (loci + segment - 1) / segment;

  // Backward checkpoints: the backward vector at the last locus of each segment.
  std::vector<ScaledVector> checkpoints(segments);
  ScaledVector beta;
  beta.values.assign(stateCount_, 1.0);
  beta.scale = 1.0 / static_cast<double>(stateCount_);
  ScaledVector scratch;
  std::vector<double> emission;
  checkpoints[segments - 1] = beta;
  for (std::size_t l = loci - 1; l-- > segment - 1;) {
    computeEmission(static_cast<int>(l + 1), false, emission);
    stepBack(cube, model_.thetaAfter(static_cast<int>(l)), emission, beta, scratch);
    std::swap(beta, scratch);
    if ((l + 1) % segment == 0) checkpoints[l / segment] = beta;
  }

  std::vector<ScaledVector> betas(segment);
  ScaledVector alpha;
  alpha.values.assign(stateCount_, 1.0);
  alpha.scale = 1.0;
  std::vector<double> posterior(stateCount_, 0.0);
  std::uint32_t previous = 0;
  for (std::size_t j = 0; j < segments; ++j) {
    const std::size_t start = j * segment;
    const std::size_t end = std::min(loci, start + segment);
    std::swap(betas[end - 1 - start], checkpoints[j]);
    for (std::size_t l = end - 1; l-- > start;) {
      computeEmission(static_cast<int>(l + 1), false, emission);
      stepBack(cube, model_.thetaAfter(static_cast<int>(l)), emission, betas[l + 1 - start],
               betas[l - start]);
    }
    for (std::size_t l = start; l < end; ++l) {
      if (!computeEmission(static_cast<int>(l), false, emission)) {
        consistent_[l] = 0;
        inconsistentLoci_.push_back(static_cast<int>(l));
      }
      if (l > 0) cube.spread(alpha.values.data(), model_.thetaAfter(static_cast<int>(l) - 1));
      double largest = 0.0;
      const double sum = forwardStep(alpha.values.data(), emission.data(), betas[l - start].values.data(),
                                     alpha.scale, posterior.data(), stateCount_, largest);
      alpha.scale = sum > 0.0 ? 1.0 / sum : 1.0;
      if (consistent_[l] != 0) gatherCalls(static_cast<int>(l), posterior, emission);
      if (observer) {
        double total = 0.0;
        for (double p : posterior) total += p;
        for (double& p : posterior) p /= total;
        largest /= total;
        observer(static_cast<int>(l), posterior);
      }
      previous = chooseState(posterior, largest, previous, l == 0);
      chosen_[l] = previous;
    }
  }
}

}  // namespace inheritance
