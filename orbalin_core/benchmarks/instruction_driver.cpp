// Runs one core operation a given number of times, for instruction counts
// under `valgrind --tool=callgrind`: unlike time, they do not depend on what
// else the machine is doing. The cost of one operation is
// (count at N runs - count at 0 runs) / N.
//
//   instruction_driver <build|get|len|sorted_name_views|datasheet|quarks> <runs> [shards]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "formulas/datasheet.hpp"
#include "formulas/formulas_registry.hpp"
#include "quarks/quark_registry.hpp"

namespace {

using orbalin::formulas::FormulasRegistry;

// Keeps the optimiser from dropping work whose result is unused.
template <class T>
void keep(const T& value) {
    asm volatile("" : : "g"(&value) : "memory");
}

FormulasRegistry build(std::size_t shards) {
    return shards == 0 ? FormulasRegistry::new_seeded() : FormulasRegistry::seeded(shards);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs(
            "usage: instruction_driver <build|get|len|sorted_name_views|datasheet|quarks> <runs> "
            "[shards]\n",
            stderr);
        return 2;
    }
    const std::string_view operation = argv[1];
    const long runs = std::strtol(argv[2], nullptr, 10);
    const auto shards = argc > 3 ? static_cast<std::size_t>(std::strtoul(argv[3], nullptr, 10)) : std::size_t{0};
    const FormulasRegistry shared = build(shards);
    for (long i = 0; i < runs; ++i) {
        if (operation == "build") {
            keep(build(shards));
        } else if (operation == "get") {
            orbalin::formulas::RecordCopy copy;
            keep(shared.get("n_gen", copy));
            keep(copy.record().value);
        } else if (operation == "len") {
            keep(shared.len());
        } else if (operation == "sorted_name_views") {
            keep(shared.sorted_name_views());
        } else if (operation == "datasheet") {
            orbalin::formulas::RecordCopy copy;
            keep(build(shards).get("n_gen", copy));
            orbalin::jsontext::TextBuffer text;
            keep(orbalin::formulas::write_datasheet(copy.record(), text));
            keep(text.view());
        } else if (operation == "quarks") {
            keep(orbalin::quarks::QuarkRegistry::standard_model().sorted_name_views());
        } else {
            std::fprintf(stderr, "unknown operation: %s\n", argv[1]);
            return 2;
        }
    }
    return 0;
}
