// Forward-backward over the loci with per-locus normalisation, and the
// choice of one vector per locus from the posteriors.
//
// Every emission is computed once first. Most are sparse (at a typed locus
// few vectors fit) or the same for every state (nobody's genotype tells the
// vectors apart): a sparse one is kept as its states and values, a uniform
// one as its value; only the rest ("dense") are computed again when needed.
// The backward pass then keeps, at a sparse locus, its backward vector on
// the emission's states only (the posterior is zero elsewhere); a uniform
// locus needs no backward step of its own, as the transitions across it
// compose into one with the combined recombination fraction. At a uniform
// locus the forward pass spreads the next non-uniform locus's product of
// emission and backward vector over the combined fraction; a dense locus
// keeps its whole backward vector when every dense locus's fits in a budget,
// otherwise one in about sqrt(dense loci) is kept and the others are
// recomputed from the next kept one as the forward pass reaches them. So
// the choice at a locus can depend on the choice at the locus before it.
#include <algorithm>
#include <cmath>

#include "inheritance/inheritance_solver.h"

namespace inheritance {

namespace {

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

// What the passes keep of a locus.
enum class LocusKind : std::uint8_t { kSparse, kUniform, kDense };
struct StoredLocus {
  LocusKind kind = LocusKind::kDense;
  double constant = 0.0;              // kUniform: the emission of every state
  std::vector<std::uint32_t> states;  // kSparse: the states of nonzero emission, ascending
  std::vector<double> emission;       // their emissions
  std::vector<double> beta;           // their backward values
  double betaScale = 1.0;
};

// An emission is kept sparse when at most this share of the states is nonzero.
constexpr std::size_t kSparseShare = 4;

// Lane of state r in the four partial sums of the dense loops above (the
// tail past the last multiple of four goes to lane 0), so the sparse loops
// add the same numbers in the same order.
inline std::size_t laneOf(std::size_t r, std::size_t n) { return r < (n & ~std::size_t{3}) ? (r & 3u) : 0; }

// The sparse form of scaledProduct: out (zero elsewhere) = emission (.)
// beta x scale on the locus's states; returns the sum.
double sparseProduct(const StoredLocus& locus, const double* beta, double scale, double* out, std::size_t n) {
  double sums[4] = {0.0, 0.0, 0.0, 0.0};
  for (std::size_t k = 0; k < locus.states.size(); ++k) {
    const std::uint32_t r = locus.states[k];
    out[r] = locus.emission[k] * beta[k] * scale;
    sums[laneOf(r, n)] += out[r];
  }
  return (sums[0] + sums[1]) + (sums[2] + sums[3]);
}

// The sparse form of forwardStep: alpha and posterior are zero off the
// locus's states.
double sparseForwardStep(const StoredLocus& locus, double* alpha, double scale, double* posterior,
                         std::size_t n, std::vector<double>& kept, double& largest) {
  double sums[4] = {0.0, 0.0, 0.0, 0.0};
  double maxima[4] = {0.0, 0.0, 0.0, 0.0};
  const std::size_t size = locus.states.size();
  kept.resize(size);
  for (std::size_t k = 0; k < size; ++k) kept[k] = alpha[locus.states[k]];
  std::fill(alpha, alpha + n, 0.0);
  std::fill(posterior, posterior + n, 0.0);
  for (std::size_t k = 0; k < size; ++k) {
    const std::uint32_t r = locus.states[k];
    const std::size_t lane = laneOf(r, n);
    const double a = kept[k] * locus.emission[k] * scale;
    alpha[r] = a;
    sums[lane] += a;
    const double p = a * locus.beta[k];
    posterior[r] = p;
    maxima[lane] = maxima[lane] > p ? maxima[lane] : p;
  }
  largest = std::max(std::max(maxima[0], maxima[1]), std::max(maxima[2], maxima[3]));
  return (sums[0] + sums[1]) + (sums[2] + sums[3]);
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
  const std::size_t n = stateCount_;

  // The emissions, once.
  std::vector<StoredLocus> stored(loci);
  std::vector<double> emission;
  std::size_t denseLoci = 0;
  for (std::size_t l = 0; l < loci; ++l) {
    if (!computeEmission(static_cast<int>(l), false, emission)) {
      consistent_[l] = 0;
      inconsistentLoci_.push_back(static_cast<int>(l));
    }
    StoredLocus& locus = stored[l];
    std::size_t nonzero = 0;
    bool uniform = true;
    for (double e : emission) {
      nonzero += e != 0.0 ? 1 : 0;
      uniform = uniform && e == emission[0];
    }
    if (uniform) {
      locus.kind = LocusKind::kUniform;
      locus.constant = emission[0];
    } else if (kSparseShare * nonzero <= n) {
      locus.kind = LocusKind::kSparse;
      locus.states.reserve(nonzero);
      locus.emission.reserve(nonzero);
      for (std::size_t r = 0; r < n; ++r) {
        if (emission[r] == 0.0) continue;
        locus.states.push_back(static_cast<std::uint32_t>(r));
        locus.emission.push_back(emission[r]);
      }
    } else {
      locus.kind = LocusKind::kDense;
      ++denseLoci;
    }
  }
  // The next non-uniform locus after each (loci when none).
  std::vector<std::size_t> nextNonUniform(loci);
  for (std::size_t l = loci, next = loci; l-- > 0;) {
    nextNonUniform[l] = next;
    if (stored[l].kind != LocusKind::kUniform) next = l;
  }
  // The transition from locus i to locus j > i.
  auto spreadBetween = [&](double* v, std::size_t i, std::size_t j) {
    if (j == i + 1) {
      cube.spread(v, model_.thetaAfter(static_cast<int>(i)));
      return;
    }
    double logKept = 0.0;
    for (std::size_t k = i; k < j; ++k) logKept += std::log1p(-2.0 * model_.thetaAfter(static_cast<int>(k)));
    cube.spread(v, -0.5 * std::expm1(logKept));
  };
  // u = emission (.) beta at non-uniform locus j, with beta's scale; the
  // emission of a dense locus is computed again.
  std::vector<double> denseEmission;
  auto productAt = [&](std::size_t j, const ScaledVector& denseBeta, ScaledVector& u) {
    const StoredLocus& locus = stored[j];
    double sum = 0.0;
    if (locus.kind == LocusKind::kSparse) {
      u.values.assign(n, 0.0);
      sum = sparseProduct(locus, locus.beta.data(), locus.betaScale, u.values.data(), n);
    } else {
      computeEmission(static_cast<int>(j), false, denseEmission);
      u.values.resize(n);
      sum = scaledProduct(denseEmission.data(), denseBeta.values.data(), denseBeta.scale, u.values.data(), n);
    }
    u.scale = sum > 0.0 ? 1.0 / sum : 1.0;
  };
  // beta_i = T(i -> j) u_j, where j is the next non-uniform locus (loci:
  // the backward vector of the last locus, every state alike).
  auto betaFrom = [&](std::size_t i, std::size_t j, const ScaledVector& u, ScaledVector& beta) {
    if (j == loci) {
      beta.values.assign(n, 1.0);
      beta.scale = 1.0 / static_cast<double>(n);
      return;
    }
    beta.values = u.values;
    spreadBetween(beta.values.data(), i, j);
    beta.scale = u.scale;
  };

  // The backward pass over the non-uniform loci.
  const double vectorBytes = static_cast<double>(n) * sizeof(double);
  const bool keepAll = static_cast<double>(denseLoci) * vectorBytes <= storedVectorBytes_;
  const auto keepEvery = static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(denseLoci))));
  std::vector<ScaledVector> denseBetas(loci);
  {
    ScaledVector beta;
    ScaledVector u;
    std::size_t next = loci;
    std::size_t unkept = 0;
    for (std::size_t l = loci; l-- > 0;) {
      StoredLocus& locus = stored[l];
      if (locus.kind == LocusKind::kUniform) continue;
      betaFrom(l, next, u, beta);
      if (locus.kind == LocusKind::kSparse) {
        locus.beta.resize(locus.states.size());
        for (std::size_t k = 0; k < locus.states.size(); ++k) locus.beta[k] = beta.values[locus.states[k]];
        locus.betaScale = beta.scale;
        unkept = 0;
      } else if (keepAll || ++unkept >= keepEvery) {
        denseBetas[l] = beta;
        unkept = 0;
      }
      productAt(l, beta, u);
      next = l;
    }
  }
  // The backward vector of dense locus l once the forward pass reaches it:
  // recomputed with those of the unkept dense loci up to the next kept one.
  std::vector<std::uint8_t> recomputed(loci, 0);
  auto ensureDenseBeta = [&](std::size_t l) {
    if (!denseBetas[l].values.empty()) return;
    std::size_t anchor = nextNonUniform[l];
    while (anchor < loci && stored[anchor].kind == LocusKind::kDense && denseBetas[anchor].values.empty())
      anchor = nextNonUniform[anchor];
    ScaledVector u;
    if (anchor < loci) productAt(anchor, denseBetas[anchor], u);
    std::size_t next = anchor;
    for (std::size_t i = anchor; i-- > l;) {
      if (stored[i].kind == LocusKind::kUniform) continue;
      betaFrom(i, next, u, denseBetas[i]);
      recomputed[i] = 1;
      if (i > l) productAt(i, denseBetas[i], u);
      next = i;
    }
  };
  // The product at the next non-uniform locus, for the uniform loci before it.
  ScaledVector rightProduct;
  std::size_t rightLocus = loci;

  ScaledVector alpha;
  alpha.values.assign(n, 1.0);
  alpha.scale = 1.0;
  ScaledVector uniformBeta;
  std::vector<double> posterior(n, 0.0);
  std::vector<double> scratch;
  std::uint32_t previous = 0;
  for (std::size_t l = 0; l < loci; ++l) {
    const StoredLocus& locus = stored[l];
    const double* beta = nullptr;
    if (locus.kind == LocusKind::kDense) {
      ensureDenseBeta(l);
      beta = denseBetas[l].values.data();
    } else if (locus.kind == LocusKind::kUniform) {
      const std::size_t j = nextNonUniform[l];
      if (j < loci && rightLocus != j) {
        if (stored[j].kind == LocusKind::kDense) ensureDenseBeta(j);
        productAt(j, denseBetas[j], rightProduct);
        rightLocus = j;
      }
      betaFrom(l, j, rightProduct, uniformBeta);
      beta = uniformBeta.values.data();
    }
    // The emission of l, as a table for the calls' gather.
    if (locus.kind == LocusKind::kDense) {
      computeEmission(static_cast<int>(l), false, emission);
    } else {
      prepareEmission(static_cast<int>(l), false);
      emission.assign(n, locus.kind == LocusKind::kUniform ? locus.constant : 0.0);
      for (std::size_t k = 0; k < locus.states.size(); ++k) emission[locus.states[k]] = locus.emission[k];
    }
    if (l > 0) cube.spread(alpha.values.data(), model_.thetaAfter(static_cast<int>(l) - 1));
    double largest = 0.0;
    double sum = 0.0;
    if (locus.kind == LocusKind::kSparse) {
      sum = sparseForwardStep(locus, alpha.values.data(), alpha.scale, posterior.data(), n, scratch, largest);
    } else {
      sum =
          forwardStep(alpha.values.data(), emission.data(), beta, alpha.scale, posterior.data(), n, largest);
    }
    alpha.scale = sum > 0.0 ? 1.0 / sum : 1.0;
    if (recomputed[l] != 0) denseBetas[l] = ScaledVector();
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

}  // namespace inheritance
