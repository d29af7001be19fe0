#include "engine/divisive_splitting/split_priority.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/divisive_splitting/colour_coordinates.h"
#include "engine/divisive_splitting/split_threshold.h"
#include "engine/parallel.h"
#include "engine/progress_points.h"

namespace genshoku {

namespace {

// A cluster holding more than this share of the picture's colours is measured reading the
// colour table where it lies (as cluster_split.cpp splits it): a copy of the working
// colours of the first clusters would be as large as the table itself.
constexpr size_t kLargeClusterShare = 16;

// The working colours of a cluster by place in its table: a copy of its own, or the colour
// table read through the cluster's colour numbers.
struct CopiedWorking {
  const ColourTable::Working* working;
  const ColourTable::Working& operator[](uint32_t place) const { return working[place]; }
};
struct TableWorking {
  const ColourTable::Working* working;
  const uint32_t* numbers;
  const ColourTable::Working& operator[](uint32_t place) const { return working[numbers[place]]; }
};

// Either of the two, chosen per cluster.
struct PlacedWorking {
  const ColourTable::Working* working = nullptr;
  const uint32_t* numbers = nullptr;  // null for a copy
  size_t count = 0;
  const ColourTable::Working& operator[](size_t place) const {
    return numbers ? working[numbers[place]] : working[place];
  }
};

// The products about the mean and the sum of the split priority terms of one cluster, over
// its pixels in pixel order, for the settings that weigh the distances (powers of them,
// edge strengths) or use no terms at all.
template <typename Working>
CovarianceSums WeightedProducts(const SplitContext& context, const MemberList& pixels,
                                const Working& working, const Triple& mean, bool sumsTerms,
                                EngineRun* run, double& termSum) {
  const ReductionParams& params = context.params;
  const bool edgeWeighted = params.edgeOperator == 4;
  const double power = params.distanceExponent * 0.5;
  // pow(d2, 1.0) is d2 itself: the power function is accurate to well within one unit of
  // the last place, and d2 is a double.
  const bool plainSquares = params.distancePowerOn == 0 || power == 1.0;
  CovarianceSums products;
  int64_t visited = 0;
  for (const Member& member : pixels) {
    if (run && AtProgressPoint(++visited)) run->Pump();
    const ColourTable::Working& w = working[member.colour];
    const double dY = w.y - mean.z;
    const double dU = w.u - mean.y;
    const double dV = w.v - mean.x;
    products.Add(dY, dU, dV);
    if (!sumsTerms) continue;
    const double d2 = dY * dY + dU * dU + dV * dV;
    if (!edgeWeighted) {
      termSum += plainSquares ? d2 : std::pow(d2, power);
    } else {
      const double strength = context.edgeStrength[member.pixel];
      if (params.distancePowerOn == 0) {
        termSum += d2 * (255.0 - strength) / 255.0;
      } else {
        const double damped = 255.0 - std::min(255.0, strength * params.edgeStrengthGain);
        termSum += std::pow(d2, power) * std::pow(damped / 255.0, params.edgeWeightExponent);
      }
    }
  }
  return products;
}

// The products about the mean of one cluster, stored in it, and the sum of its split
// priority terms.
template <typename Working>
CovarianceSums SquaredDistanceProductsOf(const MemberList& pixels, const Working& working,
                                         const Triple& mean, EngineRun* run,
                                         double& squaredDistanceSum);

template <typename Working>
double AddProducts(const SplitContext& context, ClusterMembers& cluster, const Working& working,
                   const Triple& mean, EngineRun* run) {
  const ReductionParams& params = context.params;
  const bool sumsTerms =
      params.spreadMode == 1 && (params.distancePowerOn == 0 || params.distancePowerOn == 1);
  const bool plainSquares = params.distancePowerOn == 0 || params.distanceExponent * 0.5 == 1.0;
  double termSum = 0.0;
  if (sumsTerms && params.edgeOperator != 4 && plainSquares) {
    // The usual settings: the split priority is the sum of the squared distances.
    cluster.products = SquaredDistanceProductsOf(cluster.pixels, working, mean, run, termSum);
  } else {
    cluster.products =
        WeightedProducts(context, cluster.pixels, working, mean, sumsTerms, run, termSum);
  }
  cluster.termSum = termSum;
  return termSum;
}

// Extent (largest minus smallest coordinate) of a cluster's colours along `axis`.
double ExtentAlongAxis(const PlacedWorking& working, const Triple& mean, const Triple& axis) {
  const AxisRotation rotation(axis);
  double largest = -9.99e65, smallest = 9.99e65;
  for (size_t place = 0; place < working.count; ++place) {
    const ColourTable::Working& w = working[place];
    double along, across1, across2;
    rotation.Apply(w.y - mean.z, w.u - mean.y, w.v - mean.x, along, across1, across2);
    if (along > largest) largest = along;
    if (along < smallest) smallest = along;
  }
  return largest - smallest;
}

// SPREAD of a cluster of m pixels (at least one) from its products, its colours and the
// sum of its terms. Rules outside 0..5 give 0.
double SpreadOf(const SplitContext& context, const ClusterMembers& cluster, int64_t m,
                const PlacedWorking& working, const Triple& mean, double termSum,
                int previousAxisIndex) {
  const int spreadMode = context.params.spreadMode;
  if (spreadMode == 0) {
    double largest = 0.0;
    for (size_t place = 0; place < working.count; ++place) {
      const ColourTable::Working& w = working[place];
      const double dY = w.y - mean.z;
      const double dU = w.u - mean.y;
      const double dV = w.v - mean.x;
      const double d2 = dY * dY + dU * dU + dV * dV;
      if (d2 > largest) largest = d2;
    }
    return largest;
  }
  if (spreadMode == 1) return termSum;
  if (spreadMode < 2 || spreadMode > 5) return 0.0;
  Matrix3 covariance, diag, vectors;
  CovarianceFromSums(cluster.products, m, covariance);
  DiagonaliseCovariance(covariance, diag, vectors, context.run);
  const PrincipalAxisChoice principal = PrincipalAxis(diag, vectors, previousAxisIndex);
  const double lambda = diag.m[principal.index][principal.index];
  switch (spreadMode) {
    case 2: return static_cast<double>(m) * lambda;
    case 3: return lambda;
    case 4: return ExtentAlongAxis(working, mean, principal.axis);
    default: return static_cast<double>(m) * ExtentAlongAxis(working, mean, principal.axis);
  }
}

// The working colours of `cluster` by place: copied into `copy` unless the cluster is large.
PlacedWorking WorkingOfCluster(const SplitContext& context, const ClusterMembers& cluster,
                               WorkingColours& copy) {
  const size_t count = cluster.colours.size();
  if (count * kLargeClusterShare > static_cast<size_t>(context.colours.colourCount)) {
    return {context.colours.working.data(), cluster.colours.data(), count};
  }
  copy = WorkingOf(context.colours, cluster.colours);
  return {copy.data(), nullptr, count};
}

}  // namespace

void SpreadsOfTwoClusters(const SplitContext& context, ClusterMembers& first,
                          ClusterMembers& second, int previousAxisIndex, int threads,
                          double (&spread)[2]) {
  ClusterMembers* clusters[2] = {&first, &second};
  WorkingColours copies[2];
  PlacedWorking working[2];
  double termSums[2] = {0.0, 0.0};
  Triple means[2];
  const int64_t larger = static_cast<int64_t>(std::max(first.pixels.size(), second.pixels.size()));
  const int passThreads = ThreadsForPass(larger, threads);
  RunInTwoParts(passThreads, [&](int part) {
    ClusterMembers& cluster = *clusters[part];
    const int64_t count = static_cast<int64_t>(cluster.pixels.size());
    if (count == 0) return;
    means[part] = MeanOfSums(cluster.sums, count);
    working[part] = WorkingOfCluster(context, cluster, copies[part]);
    // Only the calling thread may pass progress points.
    EngineRun* run = part == 0 || passThreads < 2 ? &context.run : nullptr;
    const PlacedWorking& placed = working[part];
    termSums[part] =
        placed.numbers
            ? AddProducts(context, cluster, TableWorking{placed.working, placed.numbers},
                          means[part], run)
            : AddProducts(context, cluster, CopiedWorking{placed.working}, means[part], run);
  });
  for (int part = 0; part < 2; ++part) {
    const int64_t count = static_cast<int64_t>(clusters[part]->pixels.size());
    spread[part] = count == 0 ? 0.0
                              : SpreadOf(context, *clusters[part], count, working[part],
                                         means[part], termSums[part], previousAxisIndex);
  }
}

double SpreadOfMeasuredCluster(const SplitContext& context, const ClusterMembers& cluster,
                               int previousAxisIndex) {
  const int64_t count = static_cast<int64_t>(cluster.pixels.size());
  if (count == 0) return 0.0;
  const Triple mean = MeanOfSums(cluster.sums, count);
  WorkingColours copy;
  const PlacedWorking working = WorkingOfCluster(context, cluster, copy);
  return SpreadOf(context, cluster, count, working, mean, cluster.termSum, previousAxisIndex);
}

CovarianceSums SquaredDistanceProducts(const MemberList& pixels,
                                       const ColourTable::Working* working, const Triple& mean,
                                       EngineRun* run, double& squaredDistanceSum) {
  return SquaredDistanceProductsOf(pixels, CopiedWorking{working}, mean, run, squaredDistanceSum);
}

namespace {

template <typename Working>
CovarianceSums SquaredDistanceProductsOf(const MemberList& pixels, const Working& working,
                                         const Triple& mean, EngineRun* run,
                                         double& squaredDistanceSum) {
  const Member* members = pixels.data();
  const size_t count = pixels.size();
  CovarianceSums products;
  int64_t visited = 0;
#if defined(__SSE2__)
  // Pairs of the seven sums side by side in vector lanes; each lane is still its own sum
  // in pixel order, with the same products as below.
  const __m128d meanYU = _mm_set_pd(mean.y, mean.z);
  const __m128d meanV = _mm_set_sd(mean.x);
  __m128d s11s22 = _mm_setzero_pd(), s13s23 = _mm_setzero_pd();
  __m128d s33 = _mm_setzero_pd(), s12 = _mm_setzero_pd(), terms = _mm_setzero_pd();
  for (size_t i = 0; i < count; ++i) {
    if (run && AtProgressPoint(++visited)) run->Pump();
    if (i + kFetchAhead < count) __builtin_prefetch(&working[members[i + kFetchAhead].colour]);
    const ColourTable::Working& w = working[members[i].colour];
    const __m128d dYU = _mm_sub_pd(_mm_loadu_pd(&w.y), meanYU);  // dY, dU
    const __m128d dV = _mm_sub_sd(_mm_load_sd(&w.v), meanV);     // dV, 0
    const __m128d squares = _mm_mul_pd(dYU, dYU);                // dY*dY, dU*dU
    const __m128d dVdV = _mm_mul_sd(dV, dV);
    s11s22 = _mm_add_pd(s11s22, squares);
    s33 = _mm_add_sd(s33, dVdV);
    s12 = _mm_add_sd(s12, _mm_mul_sd(dYU, _mm_unpackhi_pd(dYU, dYU)));      // dY*dU
    s13s23 = _mm_add_pd(s13s23, _mm_mul_pd(_mm_unpacklo_pd(dV, dV), dYU));  // dV*dY, dV*dU
    const __m128d term = _mm_add_sd(_mm_add_sd(squares, _mm_unpackhi_pd(squares, squares)), dVdV);
    terms = _mm_add_sd(terms, term);
  }
  double pair[2];
  _mm_storeu_pd(pair, s11s22);
  products.s11 = pair[0];
  products.s22 = pair[1];
  _mm_storeu_pd(pair, s13s23);
  products.s13 = pair[0];
  products.s23 = pair[1];
  products.s33 = _mm_cvtsd_f64(s33);
  products.s12 = _mm_cvtsd_f64(s12);
  squaredDistanceSum = _mm_cvtsd_f64(terms);
#else
  double termSum = 0.0;
  for (size_t i = 0; i < count; ++i) {
    if (run && AtProgressPoint(++visited)) run->Pump();
    if (i + kFetchAhead < count) __builtin_prefetch(&working[members[i + kFetchAhead].colour]);
    const ColourTable::Working& w = working[members[i].colour];
    const double dY = w.y - mean.z;
    const double dU = w.u - mean.y;
    const double dV = w.v - mean.x;
    products.Add(dY, dU, dV);
    termSum += dY * dY + dU * dU + dV * dV;
  }
  squaredDistanceSum = termSum;
#endif
  return products;
}

}  // namespace

}  // namespace genshoku
