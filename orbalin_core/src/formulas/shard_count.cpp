#include "formulas/shard_count.hpp"

#include <sched.h>

#include <bit>
#include <cerrno>

namespace orbalin::formulas {

std::size_t shard_count_for(std::size_t processors) noexcept {
    const std::size_t p = processors == 0 ? 1 : processors;
    return std::bit_ceil(4 * p);
}

std::size_t available_processors() noexcept {
    // Start with the kernel's usual set size and grow it while the kernel says
    // the mask does not fit (machines with more than 1024 CPUs).
    for (int capacity = 1024; capacity <= (1 << 20); capacity *= 2) {
        cpu_set_t* set = CPU_ALLOC(static_cast<std::size_t>(capacity));
        if (set == nullptr) {
            return 0;
        }
        const std::size_t bytes = CPU_ALLOC_SIZE(static_cast<std::size_t>(capacity));
        CPU_ZERO_S(bytes, set);
        const int rc = sched_getaffinity(0, bytes, set);
        const int error = errno;
        const int count = rc == 0 ? CPU_COUNT_S(bytes, set) : 0;
        CPU_FREE(set);
        if (rc == 0) {
            return static_cast<std::size_t>(count);
        }
        if (error != EINVAL) {
            return 0;
        }
    }
    return 0;
}

std::size_t process_shard_count() noexcept {
    static const std::size_t count = shard_count_for(available_processors());
    return count;
}

}  // namespace orbalin::formulas
