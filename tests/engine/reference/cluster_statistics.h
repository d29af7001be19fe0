#pragma once
// Statistics of one cluster of pixels: component sums, covariance, the eigen-decomposition
// of the covariance and the direction of largest spread.
//
// A cluster is never a list of pixels: it is every pixel whose label equals (or differs
// from) a key, so each statistic is one pass over the whole picture.

#include <cstdint>

#include "tests/engine/reference/engine_run.h"

namespace genshoku::reference {

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

// Sums of the three planes over the pixels whose label equals key, accumulated in pixel
// order; the result is in reversed order: x = sum of p3, y = sum of p2, z = sum of p1.
Triple SumComponentsWithLabel(int64_t pixelCount, const int16_t* labels, int16_t key,
                              const double* p1, const double* p2, const double* p3);
// The same over the pixels whose label differs from key.
Triple SumComponentsWithoutLabel(int64_t pixelCount, const int16_t* labels, int16_t key,
                                 const double* p1, const double* p2, const double* p3);

// sums / count in each component. A count of 0 gives quotients 0/0; callers that can meet
// an empty cluster live with the resulting NaNs.
Triple MeanOfSums(const Triple& sums, int64_t count);

// Population covariance (divided by the pixel count) of the pixels whose label equals key,
// about `mean` (reversed order, as the sums). An empty set gives NaN entries.
void CovarianceWithLabel(int64_t pixelCount, const int16_t* labels, int16_t key, const double* p1,
                         const double* p2, const double* p3, const Triple& mean, Matrix3& out);
// The same over the pixels whose label differs from key.
void CovarianceWithoutLabel(int64_t pixelCount, const int16_t* labels, int16_t key,
                            const double* p1, const double* p2, const double* p3,
                            const Triple& mean, Matrix3& out);

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

}  // namespace genshoku::reference
