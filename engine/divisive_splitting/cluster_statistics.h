#pragma once
// Statistics of one cluster of pixels: component sums, covariance, the eigen-decomposition
// of the covariance and the direction of largest spread.
//
// The sums themselves are made by the splitting, which holds each cluster's pixels.

#include <cstdint>

#include "engine/engine_run.h"

namespace genshoku {

// Three doubles. Component sums and means are kept in reversed plane order (x for planeV,
// y for planeU, z for planeY); axes in plane order (x for planeY, y for planeU, z for
// planeV). Mixing the two up silently swaps luminance and second chrominance.
struct Triple {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

// A 3 x 3 matrix, rows and columns in plane order (0 planeY, 1 planeU, 2 planeV).
struct Matrix3 {
  double m[3][3] = {};
};

// The same limits serve every diagonalisation of the engine.
inline constexpr int JACOBI_MAX_ITERATIONS = 1000;
inline constexpr double JACOBI_TOLERANCE = 1e-10;

// sums / count in each component. A count of 0 gives quotients 0/0; callers that can meet
// an empty cluster live with the resulting NaNs.
Triple MeanOfSums(const Triple& sums, int64_t count);

// Running sums of the products of the centred components (d1 = planeY - mean, d2 = planeU -
// mean, d3 = planeV - mean) over a cluster's pixels, added in pixel order.
struct CovarianceSums {
  double s11 = 0.0, s22 = 0.0, s33 = 0.0, s12 = 0.0, s13 = 0.0, s23 = 0.0;

  void Add(double d1, double d2, double d3) {
    s11 += d1 * d1;
    s22 += d2 * d2;
    s33 += d3 * d3;
    s12 += d1 * d2;
    s13 += d3 * d1;
    s23 += d3 * d2;
  }
};

// The population covariance (divided by the pixel count m) from those sums. An empty set
// gives NaN entries.
void CovarianceFromSums(const CovarianceSums& sums, int64_t m, Matrix3& out);

// Cyclic Jacobi diagonalisation of the symmetric matrix `in`, always rotating away the
// largest off-diagonal entry. On return `diag` holds the rotated matrix (eigenvalues on its
// diagonal) and column j of `vectors` the unit eigenvector of diag.m[j][j]; the scratch
// matrices are work space. Returns 0 when every off-diagonal magnitude fell below
// `tolerance` within `maxIterations` passes, 1 otherwise.
int JacobiEigen(int maxIterations, double tolerance, const Matrix3& in, Matrix3& diag,
                Matrix3& scratch1, Matrix3& vectors, Matrix3& scratch2);

struct PrincipalAxisChoice {
  int index = 0;  // column of the largest eigenvalue
  Triple axis;    // that column, in plane order
};

// The eigenvector of the largest diagonal entry of `diag`; equal eigenvalues go to the
// lower index. When no entry exceeds -1e18 (only possible with NaN entries, i.e. an empty
// cluster) `previousIndex` stays the choice.
PrincipalAxisChoice PrincipalAxis(const Matrix3& diag, const Matrix3& vectors,
                                  int previousIndex = 0);

// JacobiEigen with the engine's limits. When it does not converge the reduction cannot go
// on: prints "Jacobi syuusoku simasen!!\n" on standard error and throws
// EigenNotConverged, which ReduceColors turns into its result.
void DiagonaliseCovariance(const Matrix3& covariance, Matrix3& diag, Matrix3& vectors,
                           EngineRun& run, int maxIterations = JACOBI_MAX_ITERATIONS);

}  // namespace genshoku
