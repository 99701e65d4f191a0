// The CKM matrix and its unitarity test.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "ckm/ckm_matrix.hpp"

namespace orbalin::ckm {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

CKMMatrix with_elements(std::array<double, 9> elements) {
    CKMMatrix matrix = CKMMatrix::from_topology();
    matrix.elements = elements;
    return matrix;
}

TEST(CKMMatrix, FromTopologyIsTheIdentityWithPositiveZeros) {
    const CKMMatrix m = CKMMatrix::from_topology();
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const double expected = r == c ? 1.0 : 0.0;
            EXPECT_EQ(std::bit_cast<std::uint64_t>(m.element(r, c)), std::bit_cast<std::uint64_t>(expected));
        }
    }
    EXPECT_EQ(std::bit_cast<std::uint64_t>(m.jarlskog()), 0U);
    EXPECT_EQ(m.revision, 0U);
    EXPECT_EQ(m, CKMMatrix::from_topology());
}

TEST(CKMMatrix, IdentityIsUnitaryExactlyForNonNegativeTolerance) {
    const CKMMatrix m = CKMMatrix::from_topology();
    EXPECT_EQ(m.unitarity_deviation(), 0.0);
    for (const double tol : {0.0, -0.0, 1e-12, 5.0, inf}) {
        EXPECT_TRUE(m.is_unitary(tol)) << tol;
    }
    for (const double tol : {-1e-300, -1.0, nan, -inf}) {
        EXPECT_FALSE(m.is_unitary(tol)) << tol;
    }
}

TEST(CKMMatrix, UnitRowsThatAreNotOrthogonalAreNotUnitary) {
    // Every row has length 1; rows 0 and 1 are the same vector, so their dot
    // product, 1, is the deviation.
    const CKMMatrix same = with_elements({1.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 1.0});
    EXPECT_EQ(same.unitarity_deviation(), 1.0);
    EXPECT_FALSE(same.is_unitary(0.0));
    EXPECT_FALSE(same.is_unitary(0.999));
    EXPECT_TRUE(same.is_unitary(1.0));

    const double h = std::sqrt(0.5);
    const CKMMatrix tilted = with_elements({1.0, 0.0, 0.0, h, h, 0.0, 0.0, 0.0, 1.0});
    EXPECT_NEAR(tilted.unitarity_deviation(), h, 1e-15);
    EXPECT_FALSE(tilted.is_unitary(1e-12));
}

TEST(CKMMatrix, OrthogonalUnitRowsInAnyOrderAreUnitary) {
    const CKMMatrix permutation = with_elements({0.0, 1.0, 0.0, 0.0, 0.0, -1.0, 1.0, 0.0, 0.0});
    EXPECT_TRUE(permutation.is_unitary(0.0));
    const double c = 0.6;
    const double s = 0.8;
    const CKMMatrix rotation = with_elements({c, s, 0.0, -s, c, 0.0, 0.0, 0.0, 1.0});
    EXPECT_TRUE(rotation.is_unitary(1e-15));
}

TEST(CKMMatrix, RowOfSquaredLengthOneAndAHalfPassesFromHalf) {
    const CKMMatrix m = with_elements({1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, std::sqrt(1.5)});
    EXPECT_NEAR(m.unitarity_deviation(), 0.5, 1e-15);
    EXPECT_FALSE(m.is_unitary(0.49));
    EXPECT_TRUE(m.is_unitary(0.5 + 1e-15));
    // Exactly 1.5 in the grouping used: (1.0 + 0.25) + 0.25.
    const CKMMatrix exact = with_elements({1.0, 0.5, 0.5, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0});
    EXPECT_EQ(exact.element(0, 0) * exact.element(0, 0) + exact.element(0, 1) * exact.element(0, 1) +
                  exact.element(0, 2) * exact.element(0, 2),
              1.5);
}

TEST(CKMMatrix, NotANumberAnywhereIsNeverUnitary) {
    for (std::size_t at = 0; at < 9; ++at) {
        auto elements = CKMMatrix::from_topology().elements;
        elements[at] = nan;
        const CKMMatrix m = with_elements(elements);
        EXPECT_TRUE(std::isnan(m.unitarity_deviation())) << at;
        EXPECT_FALSE(m.is_unitary(inf)) << at;
    }
    // Infinite entries make inf - inf somewhere: also not a number.
    EXPECT_FALSE(with_elements({inf, 0, 0, 0, 1, 0, 0, 0, 1}).is_unitary(inf));
}

TEST(CKMMatrix, JarlskogIsStoredNotComputed) {
    CKMMatrix m = CKMMatrix::from_topology();
    m.jarlskog_j = 3.0e-5;
    EXPECT_EQ(m.jarlskog(), 3.0e-5);
}

}  // namespace
}  // namespace orbalin::ckm
