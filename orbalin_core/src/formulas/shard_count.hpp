// How many shards a FormulasRegistry is split into.
#pragma once

#include <cstddef>

namespace orbalin::formulas {

// The smallest power of two that is at least 4 x P, where P is the number of
// processors this process may run on (P = 1 when that cannot be told).
[[nodiscard]] std::size_t shard_count_for(std::size_t processors) noexcept;

// Processors in this process's CPU affinity mask, or 0 when unknown.
[[nodiscard]] std::size_t available_processors() noexcept;

// shard_count_for(available_processors()), worked out once per process on
// first use (thread-safely) and the same for every registry afterwards.
[[nodiscard]] std::size_t process_shard_count() noexcept;

}  // namespace orbalin::formulas
