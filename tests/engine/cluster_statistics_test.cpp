#include "tests/engine/reference/cluster_statistics.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/engine/clustering_test_support.h"

namespace genshoku::reference {
namespace {

Matrix3 MatrixOf(std::initializer_list<std::initializer_list<double>> rows) {
  Matrix3 matrix;
  int r = 0;
  for (const auto& row : rows) {
    int c = 0;
    for (double value : row) matrix.m[r][c++] = value;
    ++r;
  }
  return matrix;
}

int Diagonalise(const Matrix3& in, Matrix3& diag, Matrix3& vectors,
                int maxIterations = JACOBI_MAX_ITERATIONS) {
  Matrix3 scratch1, scratch2;
  return JacobiEigen(maxIterations, JACOBI_TOLERANCE, in, diag, scratch1, vectors, scratch2);
}

TEST(JacobiEigen, OneRotationExample) {
  const Matrix3 in = MatrixOf({{2, 1, 0}, {1, 2, 0}, {0, 0, 1}});
  Matrix3 diag, vectors;
  ASSERT_EQ(Diagonalise(in, diag, vectors), 0);
  const double h = std::sqrt(0.5);
  EXPECT_NEAR(diag.m[0][0], 1.0, 1e-15);
  EXPECT_NEAR(diag.m[1][1], 3.0, 1e-15);
  EXPECT_EQ(diag.m[2][2], 1.0);
  EXPECT_EQ(diag.m[0][1], 0.0);
  EXPECT_EQ(diag.m[1][0], 0.0);
  const double expected[3][3] = {{h, h, 0}, {-h, h, 0}, {0, 0, 1}};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) EXPECT_DOUBLE_EQ(vectors.m[r][c], expected[r][c]);
  }
  const PrincipalAxisChoice principal = PrincipalAxis(diag, vectors);
  EXPECT_EQ(principal.index, 1);
  EXPECT_DOUBLE_EQ(principal.axis.x, h);
  EXPECT_DOUBLE_EQ(principal.axis.y, h);
  EXPECT_EQ(principal.axis.z, 0.0);

  // The convergence test comes before the rotation: with a single pass the rotation is
  // made but its success is not seen.
  Matrix3 once, onceVectors;
  EXPECT_EQ(Diagonalise(in, once, onceVectors, 1), 1);
  EXPECT_EQ(once.m[0][1], 0.0);
}

TEST(JacobiEigen, TiesInTheSearchTakeTheFirstEntryInRowOrder) {
  // |m01| == |m12|: the first rotation must clear (0, 1), not (1, 2).
  const Matrix3 in = MatrixOf({{1, 1, 0}, {1, 1, 1}, {0, 1, 1}});
  Matrix3 diag, vectors;
  EXPECT_EQ(Diagonalise(in, diag, vectors, 1), 1);
  EXPECT_EQ(diag.m[0][1], 0.0);
  EXPECT_NE(diag.m[1][2], 0.0);
}

TEST(JacobiEigen, DiagonalAndZeroMatricesConvergeAtOnce) {
  Matrix3 diag, vectors;
  ASSERT_EQ(Diagonalise(Matrix3{}, diag, vectors), 0);
  PrincipalAxisChoice principal = PrincipalAxis(diag, vectors);
  EXPECT_EQ(principal.index, 0);
  EXPECT_EQ(principal.axis.x, 1.0);
  EXPECT_EQ(principal.axis.y, 0.0);
  EXPECT_EQ(principal.axis.z, 0.0);

  ASSERT_EQ(Diagonalise(MatrixOf({{1, 0, 0}, {0, 4, 0}, {0, 0, 2}}), diag, vectors), 0);
  principal = PrincipalAxis(diag, vectors);
  EXPECT_EQ(principal.index, 1);
  EXPECT_EQ(principal.axis.y, 1.0);

  // Equal eigenvalues go to the lower index.
  ASSERT_EQ(Diagonalise(MatrixOf({{4, 0, 0}, {0, 4, 0}, {0, 0, 1}}), diag, vectors), 0);
  EXPECT_EQ(PrincipalAxis(diag, vectors).index, 0);
  ASSERT_EQ(Diagonalise(MatrixOf({{1, 0, 0}, {0, 4, 0}, {0, 0, 4}}), diag, vectors), 0);
  EXPECT_EQ(PrincipalAxis(diag, vectors).index, 1);
}

TEST(JacobiEigen, EmptyClusterQuotientsConvergeAndKeepThePreviousAxisIndex) {
  const double plane[] = {1.0};
  const int16_t labels[] = {3};
  Matrix3 covariance;
  const Triple mean = MeanOfSums(SumComponentsWithLabel(1, labels, 9, plane, plane, plane), 0);
  CovarianceWithLabel(1, labels, 9, plane, plane, plane, mean, covariance);
  EXPECT_TRUE(std::isnan(covariance.m[0][0]));
  Matrix3 diag, vectors;
  ASSERT_EQ(Diagonalise(covariance, diag, vectors), 0);
  EXPECT_EQ(vectors.m[2][2], 1.0);
  const PrincipalAxisChoice principal = PrincipalAxis(diag, vectors, 2);
  EXPECT_EQ(principal.index, 2);
  EXPECT_EQ(principal.axis.z, 1.0);
}

TEST(DiagonaliseCovariance, FailureIsReportedAndStopsTheReduction) {
  test_support::TestRun test;
  Matrix3 diag, vectors;
  const Matrix3 in = MatrixOf({{2, 1, 0}, {1, 2, 0}, {0, 0, 1}});
  EXPECT_THROW(DiagonaliseCovariance(in, diag, vectors, test.run, 1), EigenNotConverged);
  EXPECT_EQ(test.Err(), "Jacobi syuusoku simasen!!\n");
  EXPECT_EQ(test.Out(), "");

  test_support::TestRun quiet;
  EXPECT_NO_THROW(DiagonaliseCovariance(in, diag, vectors, quiet.run));
  EXPECT_EQ(quiet.diagnostics.AllText(), "");
}

}  // namespace
}  // namespace genshoku::reference
