#include "tests/engine/reference/cluster_statistics.h"

#include <cmath>

namespace genshoku::reference {

namespace {

// Sums over the pixels for which labelMatches(label) holds; every component is added in
// pixel order so that the doubles do not depend on how the loop is arranged.
template <typename LabelTest>
Triple SumComponents(int64_t pixelCount, const int16_t* labels, LabelTest labelMatches,
                     const double* p1, const double* p2, const double* p3) {
  Triple sums;
  for (int64_t i = 0; i < pixelCount; ++i) {
    if (!labelMatches(labels[i])) continue;
    sums.x += p3[i];
    sums.y += p2[i];
    sums.z += p1[i];
  }
  return sums;
}

template <typename LabelTest>
void Covariance(int64_t pixelCount, const int16_t* labels, LabelTest labelMatches, const double* p1,
                const double* p2, const double* p3, const Triple& mean, Matrix3& out) {
  double s11 = 0.0, s22 = 0.0, s33 = 0.0, s12 = 0.0, s13 = 0.0, s23 = 0.0;
  int64_t nonMatching = 0;
  for (int64_t i = 0; i < pixelCount; ++i) {
    if (!labelMatches(labels[i])) {
      ++nonMatching;
      continue;
    }
    const double d1 = p1[i] - mean.z;
    const double d2 = p2[i] - mean.y;
    const double d3 = p3[i] - mean.x;
    s11 += d1 * d1;
    s22 += d2 * d2;
    s33 += d3 * d3;
    s12 += d1 * d2;
    s13 += d3 * d1;
    s23 += d3 * d2;
  }
  const double m = static_cast<double>(pixelCount - nonMatching);
  out.m[0][0] = s11 / m;
  out.m[1][1] = s22 / m;
  out.m[2][2] = s33 / m;
  out.m[0][1] = out.m[1][0] = s12 / m;
  out.m[0][2] = out.m[2][0] = s13 / m;
  out.m[1][2] = out.m[2][1] = s23 / m;
}

Matrix3 Identity() {
  Matrix3 identity;
  for (int i = 0; i < 3; ++i) identity.m[i][i] = 1.0;
  return identity;
}

}  // namespace

Triple SumComponentsWithLabel(int64_t pixelCount, const int16_t* labels, int16_t key,
                              const double* p1, const double* p2, const double* p3) {
  return SumComponents(
      pixelCount, labels, [key](int16_t label) { return label == key; }, p1, p2, p3);
}

Triple SumComponentsWithoutLabel(int64_t pixelCount, const int16_t* labels, int16_t key,
                                 const double* p1, const double* p2, const double* p3) {
  return SumComponents(
      pixelCount, labels, [key](int16_t label) { return label != key; }, p1, p2, p3);
}

Triple MeanOfSums(const Triple& sums, int64_t count) {
  const double n = static_cast<double>(count);
  return {sums.x / n, sums.y / n, sums.z / n};
}

void CovarianceWithLabel(int64_t pixelCount, const int16_t* labels, int16_t key, const double* p1,
                         const double* p2, const double* p3, const Triple& mean, Matrix3& out) {
  Covariance(
      pixelCount, labels, [key](int16_t label) { return label == key; }, p1, p2, p3, mean, out);
}

void CovarianceWithoutLabel(int64_t pixelCount, const int16_t* labels, int16_t key,
                            const double* p1, const double* p2, const double* p3,
                            const Triple& mean, Matrix3& out) {
  Covariance(
      pixelCount, labels, [key](int16_t label) { return label != key; }, p1, p2, p3, mean, out);
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

}  // namespace genshoku::reference
