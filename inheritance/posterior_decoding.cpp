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
#include <type_traits>

#include "inheritance/inheritance_solver.h"

namespace inheritance {

namespace {

// Posteriors within this relative distance of the largest are tied.
constexpr double kTieTolerance = 1e-9;

// Posteriors within this relative distance of the largest are tied when
// the state vectors are single precision: their sums carry relative errors
// of about 1e-6, so true ties differ by far more than kTieTolerance.
constexpr double kSingleTieTolerance = 1e-5;

// out = a (.) b x scale; returns the sum of out. Four partial sums, so the
// loop vectorises without reordering being allowed by the compiler. T is
// the type of the state vectors; products and sums are in double.
template <typename T>
[[gnu::always_inline]] inline double scaledProductBody(const double* a, const T* b, double scale, T* out,
                                                       std::size_t n) {
  double sums[4] = {0.0, 0.0, 0.0, 0.0};
  std::size_t r = 0;
  for (; r + 4 <= n; r += 4) {
    for (std::size_t k = 0; k < 4; ++k) {
      out[r + k] = static_cast<T>(a[r + k] * b[r + k] * scale);
      sums[k] += out[r + k];
    }
  }
  for (; r < n; ++r) {
    out[r] = static_cast<T>(a[r] * b[r] * scale);
    sums[0] += out[r];
  }
  return (sums[0] + sums[1]) + (sums[2] + sums[3]);
}

[[gnu::target_clones("avx2", "default")]] double scaledProduct(const double* a, const double* b, double scale,
                                                               double* out, std::size_t n) {
  return scaledProductBody(a, b, scale, out, n);
}
[[gnu::target_clones("avx2", "default")]] double scaledProduct(const double* a, const float* b, double scale,
                                                               float* out, std::size_t n) {
  return scaledProductBody(a, b, scale, out, n);
}

// alpha <- alpha (.) emission x scale and posterior = alpha (.) beta; returns
// the sum of alpha and sets the largest posterior. A null emission is the
// same `constant` for every state.
template <typename T>
[[gnu::always_inline]] inline double forwardStepBody(T* alpha, const double* emission, double constant,
                                                     const T* beta, double scale, double* posterior,
                                                     std::size_t n, double& largest) {
  double sums[4] = {0.0, 0.0, 0.0, 0.0};
  double maxima[4] = {0.0, 0.0, 0.0, 0.0};
  std::size_t r = 0;
  for (; r + 4 <= n; r += 4) {
    for (std::size_t k = 0; k < 4; ++k) {
      const T a = static_cast<T>(alpha[r + k] * (emission != nullptr ? emission[r + k] : constant) * scale);
      alpha[r + k] = a;
      sums[k] += a;
      const double p = static_cast<double>(a) * beta[r + k];
      posterior[r + k] = p;
      maxima[k] = maxima[k] > p ? maxima[k] : p;
    }
  }
  for (; r < n; ++r) {
    alpha[r] = static_cast<T>(alpha[r] * (emission != nullptr ? emission[r] : constant) * scale);
    sums[0] += alpha[r];
    posterior[r] = static_cast<double>(alpha[r]) * beta[r];
    maxima[0] = std::max(maxima[0], posterior[r]);
  }
  largest = std::max(std::max(maxima[0], maxima[1]), std::max(maxima[2], maxima[3]));
  return (sums[0] + sums[1]) + (sums[2] + sums[3]);
}

[[gnu::target_clones("avx2", "default")]] double forwardStep(double* alpha, const double* emission,
                                                             const double* beta, double scale,
                                                             double* posterior, std::size_t n,
                                                             double& largest) {
  return forwardStepBody(alpha, emission, 0.0, beta, scale, posterior, n, largest);
}
[[gnu::target_clones("avx2", "default")]] double forwardStep(float* alpha, const double* emission,
                                                             const float* beta, double scale,
                                                             double* posterior, std::size_t n,
                                                             double& largest) {
  return forwardStepBody(alpha, emission, 0.0, beta, scale, posterior, n, largest);
}
[[gnu::target_clones("avx2", "default")]] double uniformForwardStep(double* alpha, double constant,
                                                                    const double* beta, double scale,
                                                                    double* posterior, std::size_t n,
                                                                    double& largest) {
  return forwardStepBody<double>(alpha, nullptr, constant, beta, scale, posterior, n, largest);
}
[[gnu::target_clones("avx2", "default")]] double uniformForwardStep(float* alpha, double constant,
                                                                    const float* beta, double scale,
                                                                    double* posterior, std::size_t n,
                                                                    double& largest) {
  return forwardStepBody<float>(alpha, nullptr, constant, beta, scale, posterior, n, largest);
}

// A vector known up to a factor: its entries times `scale` sum to 1. The
// factor is applied by the next step that reads the vector, so no pass over
// the states is spent on normalising.
template <typename T>
struct ScaledVector {
  std::vector<T> values;
  double scale = 1.0;
};

// What the passes keep of a locus.
enum class LocusKind : std::uint8_t { kSparse, kUniform, kDense };
template <typename T>
struct StoredLocus {
  LocusKind kind = LocusKind::kDense;
  double constant = 0.0;              // kUniform: the emission of every state
  std::vector<std::uint32_t> states;  // kSparse: the states of nonzero emission, ascending
  // Their emissions; in single precision over the locus's largest, a factor
  // that no posterior or call probability depends on.
  std::vector<T> emission;
  std::vector<T> beta;  // their backward values
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
template <typename T>
double sparseProduct(const StoredLocus<T>& locus, const T* beta, double scale, T* out, std::size_t n) {
  double sums[4] = {0.0, 0.0, 0.0, 0.0};
  for (std::size_t k = 0; k < locus.states.size(); ++k) {
    const std::uint32_t r = locus.states[k];
    out[r] = static_cast<T>(static_cast<double>(locus.emission[k]) * beta[k] * scale);
    sums[laneOf(r, n)] += out[r];
  }
  return (sums[0] + sums[1]) + (sums[2] + sums[3]);
}

// The sparse form of forwardStep: alpha and posterior are zero off the
// locus's states.
template <typename T>
double sparseForwardStep(const StoredLocus<T>& locus, T* alpha, double scale, double* posterior,
                         std::size_t n, std::vector<T>& kept, double& largest) {
  double sums[4] = {0.0, 0.0, 0.0, 0.0};
  double maxima[4] = {0.0, 0.0, 0.0, 0.0};
  const std::size_t size = locus.states.size();
  kept.resize(size);
  for (std::size_t k = 0; k < size; ++k) kept[k] = alpha[locus.states[k]];
  std::fill(alpha, alpha + n, T{0});
  for (std::size_t k = 0; k < size; ++k) {
    const std::uint32_t r = locus.states[k];
    const std::size_t lane = laneOf(r, n);
    const T a = static_cast<T>(static_cast<double>(kept[k]) * locus.emission[k] * scale);
    alpha[r] = a;
    sums[lane] += a;
    const double p = static_cast<double>(a) * locus.beta[k];
    posterior[r] = p;
    maxima[lane] = maxima[lane] > p ? maxima[lane] : p;
  }
  largest = std::max(std::max(maxima[0], maxima[1]), std::max(maxima[2], maxima[3]));
  return (sums[0] + sums[1]) + (sums[2] + sums[3]);
}

}  // namespace

std::uint32_t InheritanceSolver::chooseState(const std::vector<double>& posterior, double largest,
                                             std::uint32_t previous, bool first, double tolerance,
                                             const std::vector<std::uint32_t>* states) const {
  const double threshold = largest - tolerance * largest;
  // At a sparse locus every other state has posterior 0, below the
  // threshold unless nothing is above 0.
  if (states != nullptr && largest > 0.0) {
    std::uint32_t best = 0;
    int bestChanges = -1;
    for (std::uint32_t r : *states) {
      if (posterior[r] < threshold) continue;
      const int changes = first ? 0 : __builtin_popcount(r ^ previous);
      if (bestChanges < 0 || changes < bestChanges) {
        best = r;
        bestChanges = changes;
      }
    }
    return best;
  }
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
  if (reducedBits_ >= singlePrecisionBits_) {
    decodeStates<float>(observer);
  } else {
    decodeStates<double>(observer);
  }
}

template <typename T>
void InheritanceSolver::decodeStates(const PosteriorObserver& observer) {
  const auto loci = static_cast<std::size_t>(locusCount_);
  const double tolerance = std::is_same_v<T, float> ? kSingleTieTolerance : kTieTolerance;
  std::vector<std::uint32_t> masks;
  for (const FounderGroup& group : groups_) masks.push_back(group.mask);
  const Hypercube cube(reducedBits_, masks);
  const std::size_t n = stateCount_;

  // The emissions, once.
  std::vector<StoredLocus<T>> stored(loci);
  std::vector<double> emission;
  std::size_t denseLoci = 0;
  for (std::size_t l = 0; l < loci; ++l) {
    if (!computeEmission(static_cast<int>(l), false, emission)) {
      consistent_[l] = 0;
      inconsistentLoci_.push_back(static_cast<int>(l));
    }
    StoredLocus<T>& locus = stored[l];
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
      const double unit =
          std::is_same_v<T, double> ? 1.0 : 1.0 / *std::max_element(emission.begin(), emission.end());
      for (std::size_t r = 0; r < n; ++r) {
        if (emission[r] == 0.0) continue;
        locus.states.push_back(static_cast<std::uint32_t>(r));
        locus.emission.push_back(static_cast<T>(emission[r] * unit));
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
  auto spreadBetween = [&](T* v, std::size_t i, std::size_t j) {
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
  auto productAt = [&](std::size_t j, const ScaledVector<T>& denseBeta, ScaledVector<T>& u) {
    const StoredLocus<T>& locus = stored[j];
    double sum = 0.0;
    if (locus.kind == LocusKind::kSparse) {
      u.values.assign(n, T{0});
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
  auto betaFrom = [&](std::size_t i, std::size_t j, const ScaledVector<T>& u, ScaledVector<T>& beta) {
    if (j == loci) {
      beta.values.assign(n, T{1});
      beta.scale = 1.0 / static_cast<double>(n);
      return;
    }
    beta.values = u.values;
    spreadBetween(beta.values.data(), i, j);
    beta.scale = u.scale;
  };

  // The backward pass over the non-uniform loci.
  const double vectorBytes = static_cast<double>(n) * sizeof(T);
  const bool keepAll = static_cast<double>(denseLoci) * vectorBytes <= storedVectorBytes_;
  const auto keepEvery = static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(denseLoci))));
  std::vector<ScaledVector<T>> denseBetas(loci);
  {
    ScaledVector<T> beta;
    ScaledVector<T> u;
    std::size_t next = loci;
    std::size_t unkept = 0;
    for (std::size_t l = loci; l-- > 0;) {
      StoredLocus<T>& locus = stored[l];
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
    ScaledVector<T> u;
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
  ScaledVector<T> rightProduct;
  std::size_t rightLocus = loci;

  ScaledVector<T> alpha;
  alpha.values.assign(n, T{1});
  alpha.scale = 1.0;
  ScaledVector<T> uniformBeta;
  std::vector<double> posterior(n, 0.0);
  std::vector<T> scratch;
  // The sparse locus whose states alone are nonzero in the table or the
  // posterior; null when they may be nonzero anywhere.
  const std::vector<std::uint32_t>* emissionWritten = nullptr;
  const std::vector<std::uint32_t>* posteriorWritten = nullptr;
  auto clearTable = [n](std::vector<double>& table, const std::vector<std::uint32_t>* written) {
    if (written == nullptr) {
      table.assign(n, 0.0);
    } else {
      for (std::uint32_t r : *written) table[r] = 0.0;
    }
  };
  std::uint32_t previous = 0;
  for (std::size_t l = 0; l < loci; ++l) {
    const StoredLocus<T>& locus = stored[l];
    const T* beta = nullptr;
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
    // The emission of l, as a table for the calls' gather (only when it
    // reads one). The table and the posterior are zero off a sparse locus's
    // states: what the last locus wrote is cleared first.
    if (locus.kind == LocusKind::kDense) {
      computeEmission(static_cast<int>(l), false, emission);
    } else {
      prepareEmission(static_cast<int>(l), false);
    }
    const bool gather = consistent_[l] != 0 && gatherReads();
    if (gather && locus.kind != LocusKind::kDense) {
      clearTable(emission, emissionWritten);
      if (locus.kind == LocusKind::kUniform) {
        std::fill(emission.begin(), emission.end(), locus.constant);
      } else {
        for (std::size_t k = 0; k < locus.states.size(); ++k) emission[locus.states[k]] = locus.emission[k];
      }
    }
    if (gather || locus.kind == LocusKind::kDense)
      emissionWritten = locus.kind == LocusKind::kSparse ? &locus.states : nullptr;
    if (l > 0) cube.spread(alpha.values.data(), model_.thetaAfter(static_cast<int>(l) - 1));
    double largest = 0.0;
    double sum = 0.0;
    if (locus.kind == LocusKind::kSparse) {
      clearTable(posterior, posteriorWritten);
      sum = sparseForwardStep(locus, alpha.values.data(), alpha.scale, posterior.data(), n, scratch, largest);
    } else if (locus.kind == LocusKind::kUniform) {
      sum = uniformForwardStep(alpha.values.data(), locus.constant, beta, alpha.scale, posterior.data(), n,
                               largest);
    } else {
      sum =
          forwardStep(alpha.values.data(), emission.data(), beta, alpha.scale, posterior.data(), n, largest);
    }
    posteriorWritten = locus.kind == LocusKind::kSparse ? &locus.states : nullptr;
    alpha.scale = sum > 0.0 ? 1.0 / sum : 1.0;
    if (recomputed[l] != 0) denseBetas[l] = ScaledVector<T>();
    if (gather) gatherCalls(static_cast<int>(l), posterior, emission);
    if (observer) {
      double total = 0.0;
      for (double p : posterior) total += p;
      for (double& p : posterior) p /= total;
      largest /= total;
      observer(static_cast<int>(l), posterior);
    }
    previous = chooseState(posterior, largest, previous, l == 0, tolerance,
                           locus.kind == LocusKind::kSparse ? &locus.states : nullptr);
    chosen_[l] = previous;
  }
}

}  // namespace inheritance
