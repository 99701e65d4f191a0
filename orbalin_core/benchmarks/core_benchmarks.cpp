// Micro-benchmarks of the plain C++ core: what one Python call pays for
// before and after the interpreter's share.
#include <benchmark/benchmark.h>

#include <string>

#include "ckm/ckm_matrix.hpp"
#include "formulas/datasheet.hpp"
#include "formulas/formulas_registry.hpp"
#include "jsontext/json_writer.hpp"
#include "quarks/quark_registry.hpp"

// Each `for (auto _ : state)` loop variable only counts iterations, which the
// static analyser takes for a dead store.
// NOLINTBEGIN(clang-analyzer-deadcode.DeadStores)
namespace {

using orbalin::formulas::FormulasRegistry;
using orbalin::formulas::RecordCopy;

void registry_build(benchmark::State& state) {
    for (auto _ : state) {
        auto registry = FormulasRegistry::new_seeded();
        benchmark::DoNotOptimize(registry);
    }
}
BENCHMARK(registry_build);

// Cost against the shard count: a 256-processor host has 1024 shards.
void registry_build_at_shards(benchmark::State& state) {
    const auto shards = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        auto registry = FormulasRegistry::seeded(shards);
        benchmark::DoNotOptimize(registry);
    }
}
BENCHMARK(registry_build_at_shards)->Arg(8)->Arg(64)->Arg(1024);

void registry_len_at_shards(benchmark::State& state) {
    const auto registry = FormulasRegistry::seeded(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        auto count = registry.len();
        benchmark::DoNotOptimize(count);
    }
}
BENCHMARK(registry_len_at_shards)->Arg(8)->Arg(64)->Arg(1024);

void registry_sorted_names_at_shards(benchmark::State& state) {
    const auto registry = FormulasRegistry::seeded(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        auto names = registry.sorted_name_views();
        benchmark::DoNotOptimize(names);
    }
}
BENCHMARK(registry_sorted_names_at_shards)->Arg(8)->Arg(64)->Arg(1024);

void registry_lookup(benchmark::State& state) {
    const auto registry = FormulasRegistry::new_seeded();
    for (auto _ : state) {
        RecordCopy copy;
        auto error = registry.get("n_gen", copy);
        benchmark::DoNotOptimize(error);
        benchmark::DoNotOptimize(copy.record().value);
    }
}
BENCHMARK(registry_lookup);

void registry_lookup_miss(benchmark::State& state) {
    const auto registry = FormulasRegistry::new_seeded();
    for (auto _ : state) {
        RecordCopy copy;
        auto error = registry.get("no_such_constant", copy);
        benchmark::DoNotOptimize(error);
    }
}
BENCHMARK(registry_lookup_miss);

void registry_sorted_names(benchmark::State& state) {
    const auto registry = FormulasRegistry::new_seeded();
    for (auto _ : state) {
        auto names = registry.sorted_name_views();
        benchmark::DoNotOptimize(names);
    }
}
BENCHMARK(registry_sorted_names);

void datasheet_text(benchmark::State& state) {
    RecordCopy record;
    if (FormulasRegistry::new_seeded().get("phi", record)) {
        state.SkipWithError("no phi");
        return;
    }
    orbalin::jsontext::TextBuffer text;
    for (auto _ : state) {
        auto error = orbalin::formulas::write_datasheet(record.record(), text);
        benchmark::DoNotOptimize(error);
        benchmark::DoNotOptimize(text.view().data());
    }
}
BENCHMARK(datasheet_text);

void json_number(benchmark::State& state) {
    orbalin::jsontext::TextBuffer text;
    for (auto _ : state) {
        text.clear();
        auto error = orbalin::jsontext::append_number(text, 1.618033988749895);
        benchmark::DoNotOptimize(error);
        benchmark::DoNotOptimize(text.view().data());
    }
}
BENCHMARK(json_number);

void py_get_constant_native_share(benchmark::State& state) {
    // Everything py_get_constant does outside the interpreter.
    orbalin::jsontext::TextBuffer text;
    for (auto _ : state) {
        RecordCopy copy;
        auto missing = FormulasRegistry::new_seeded().get("n_gen", copy);
        benchmark::DoNotOptimize(missing);
        auto error = orbalin::formulas::write_datasheet(copy.record(), text);
        benchmark::DoNotOptimize(error);
    }
}
BENCHMARK(py_get_constant_native_share);

void quarks_sorted_names(benchmark::State& state) {
    for (auto _ : state) {
        auto names = orbalin::quarks::QuarkRegistry::standard_model().sorted_name_views();
        benchmark::DoNotOptimize(names);
    }
}
BENCHMARK(quarks_sorted_names);

void ckm_is_unitary(benchmark::State& state) {
    const auto matrix = orbalin::ckm::CKMMatrix::from_topology();
    double tol = 1e-12;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tol);
        bool unitary = matrix.is_unitary(tol);
        benchmark::DoNotOptimize(unitary);
    }
}
BENCHMARK(ckm_is_unitary);

}  // namespace
// NOLINTEND(clang-analyzer-deadcode.DeadStores)
