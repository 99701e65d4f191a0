#include "ckm/ckm_matrix.hpp"

#include <cmath>
#include <limits>

namespace orbalin::ckm {

CKMMatrix CKMMatrix::from_topology() noexcept {
    CKMMatrix matrix;
    matrix.elements = {1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0};
    matrix.jarlskog_j = 0.0;
    matrix.revision = 0;
    return matrix;
}

double CKMMatrix::unitarity_deviation() const noexcept {
    // Entries are real, so M Mᵀ holds every row's squared length on the
    // diagonal and the dot products of distinct rows off it. Each sum keeps
    // the grouping (a0·b0 + a1·b1) + a2·b2.
    double largest = 0.0;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const double product =
                (element(i, 0) * element(j, 0) + element(i, 1) * element(j, 1)) + element(i, 2) * element(j, 2);
            const double deviation = i == j ? std::fabs(product + (-1.0)) : std::fabs(product);
            if (std::isnan(deviation)) {
                return std::numeric_limits<double>::quiet_NaN();
            }
            if (deviation > largest) {
                largest = deviation;
            }
        }
    }
    return largest;
}

bool CKMMatrix::is_unitary(double tol) const noexcept {
    // Any comparison with NaN is false: a NaN deviation or tolerance never passes.
    return tol >= unitarity_deviation();
}

}  // namespace orbalin::ckm
