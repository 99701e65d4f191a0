// The quark-mixing (CKM) matrix with its stored Jarlskog invariant.
#pragma once

#include <array>
#include <cstdint>

namespace orbalin::ckm {

// A plain value: copying it copies its numbers.
struct CKMMatrix {
    std::array<double, 9> elements{};  // row r, column c at 3r + c
    double jarlskog_j = 0.0;           // stored when made; never derived from elements
    std::uint64_t revision = 0;        // reserved for versioning the topology; zero, unread

    // The 3x3 identity with J = 0.0: what the underlying topology gives.
    [[nodiscard]] static CKMMatrix from_topology() noexcept;

    [[nodiscard]] double element(int row, int column) const noexcept {
        return elements[(3 * static_cast<std::size_t>(row)) + static_cast<std::size_t>(column)];
    }

    // The largest |(M Mᵀ)[i][j] - δ[i][j]| over all nine entries, or NaN when
    // any entry of M Mᵀ is not a number.
    [[nodiscard]] double unitarity_deviation() const noexcept;

    // True exactly when tol >= unitarity_deviation(); false for NaN on either side.
    [[nodiscard]] bool is_unitary(double tol) const noexcept;

    [[nodiscard]] double jarlskog() const noexcept { return jarlskog_j; }

    friend bool operator==(const CKMMatrix&, const CKMMatrix&) = default;
};

}  // namespace orbalin::ckm
