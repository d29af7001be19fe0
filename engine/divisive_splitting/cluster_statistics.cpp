#include "engine/divisive_splitting/cluster_statistics.h"

#include <cmath>

namespace genshoku {

namespace {

Matrix3 Identity() {
  Matrix3 identity;
  for (int i = 0; i < 3; ++i) identity.m[i][i] = 1.0;
  return identity;
}

}  // namespace

Triple MeanOfSums(const Triple& sums, int64_t count) {
  const double n = static_cast<double>(count);
  return {sums.x / n, sums.y / n, sums.z / n};
}

void CovarianceFromSums(const CovarianceSums& sums, int64_t m, Matrix3& out) {
  const double count = static_cast<double>(m);
  out.m[0][0] = sums.s11 / count;
  out.m[1][1] = sums.s22 / count;
  out.m[2][2] = sums.s33 / count;
  out.m[0][1] = out.m[1][0] = sums.s12 / count;
  out.m[0][2] = out.m[2][0] = sums.s13 / count;
  out.m[1][2] = out.m[2][1] = sums.s23 / count;
}

int JacobiEigen(int maxIterations, double tolerance, const Matrix3& in, Matrix3& diag,
                Matrix3& scratch1, Matrix3& vectors, Matrix3& scratch2) {
  diag = in;
  vectors = Identity();
  for (int iteration = 0; iteration < maxIterations; ++iteration) {
    // The largest off-diagonal magnitude; a tie keeps the first entry in row-major order.
    // A NaN entry never compares greater, so a NaN matrix counts as converged.
    double largest = 0.0;
    int p = 0, q = 1;
    for (int row = 0; row < 3; ++row) {
      for (int col = 0; col < 3; ++col) {
        if (col == row) continue;
        if (std::fabs(diag.m[row][col]) > largest) {
          largest = std::fabs(diag.m[row][col]);
          p = row;
          q = col;
        }
      }
    }
    // Tested before rotating: the rotation of the last pass is never checked.
    if (tolerance > largest) return 0;

    const int k = 3 - p - q;
    const double alpha = (diag.m[p][p] - diag.m[q][q]) * 0.5;
    const double beta = -diag.m[p][q];
    const double gamma = std::fabs(alpha) / std::sqrt(alpha * alpha + beta * beta);
    double s = std::sqrt((1.0 - gamma) * 0.5);
    if (alpha * beta < 0.0) s = -s;
    const double c = std::sqrt(1.0 - s * s);

    // Every right-hand side reads the matrix as it was before this rotation.
    Matrix3& rotated = scratch1;
    rotated.m[p][p] = c * c * diag.m[p][p] + s * s * diag.m[q][q] - 2.0 * s * c * diag.m[p][q];
    rotated.m[q][q] = s * s * diag.m[p][p] + c * c * diag.m[q][q] + 2.0 * s * c * diag.m[p][q];
    rotated.m[p][q] = rotated.m[q][p] = 0.0;
    rotated.m[p][k] = rotated.m[k][p] = c * diag.m[p][k] - s * diag.m[q][k];
    rotated.m[q][k] = rotated.m[k][q] = s * diag.m[p][k] + c * diag.m[q][k];
    rotated.m[k][k] = diag.m[k][k];

    Matrix3& turned = scratch2;
    for (int row = 0; row < 3; ++row) {
      turned.m[row][p] = c * vectors.m[row][p] - s * vectors.m[row][q];
      turned.m[row][q] = s * vectors.m[row][p] + c * vectors.m[row][q];
      turned.m[row][k] = vectors.m[row][k];
    }
    diag = rotated;
    vectors = turned;
  }
  return 1;
}

PrincipalAxisChoice PrincipalAxis(const Matrix3& diag, const Matrix3& vectors, int previousIndex) {
  PrincipalAxisChoice choice;
  choice.index = previousIndex;
  double best = -1e18;
  for (int j = 0; j < 3; ++j) {
    if (diag.m[j][j] > best) {
      best = diag.m[j][j];
      choice.index = j;
    }
  }
  const int j = choice.index;
  choice.axis = {vectors.m[0][j], vectors.m[1][j], vectors.m[2][j]};
  return choice;
}

void DiagonaliseCovariance(const Matrix3& covariance, Matrix3& diag, Matrix3& vectors,
                           EngineRun& run, int maxIterations) {
  Matrix3 scratch1, scratch2;
  if (JacobiEigen(maxIterations, JACOBI_TOLERANCE, covariance, diag, scratch1, vectors, scratch2) !=
      0) {
    run.diagnostics().Err("Jacobi syuusoku simasen!!\n");
    throw EigenNotConverged{};
  }
}

}  // namespace genshoku
