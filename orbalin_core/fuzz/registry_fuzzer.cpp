// The registry's storage against a std::map model, driven by fuzzer input:
// the first byte picks the shard count, then each operation is one byte of
// kind and one of length, followed by that many bytes of name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "formulas/formulas_registry.hpp"

namespace {

using orbalin::formulas::ConstantRecord;
using orbalin::formulas::FormulasRegistry;

void require(bool holds) {
    if (!holds) {
        std::abort();  // the fuzzer reports the input that got here
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    FormulasRegistry registry(std::size_t{1} << (data[0] % 11));  // 1 to 1024 shards
    std::map<std::string, double> model;
    std::size_t at = 1;
    double counter = 0.0;
    while (at + 2 <= size) {
        const std::uint8_t kind = data[at];
        const std::size_t length = data[at + 1] % 40;
        at += 2;
        const std::size_t taken = length < size - at ? length : size - at;
        const std::string name(reinterpret_cast<const char*>(data + at), taken);
        at += taken;
        if (kind % 2 == 0) {
            counter += 1.0;
            const auto previous = registry.insert(ConstantRecord::direct(name, counter, name));
            const auto modelled = model.find(name);
            require(previous.has_value() == (modelled != model.end()));
            require(!previous || (previous->value == modelled->second && previous->name == name));
            model[name] = counter;
        } else {
            const auto found = registry.get(name);
            const auto expected = model.find(name);
            require(found.has_value() == (expected != model.end()));
            require(!found || (found.value().value == expected->second && found.value().units == name));
        }
    }
    require(registry.len() == model.size());
    std::vector<std::string> names;
    names.reserve(model.size());
    for (const auto& entry : model) {
        names.push_back(entry.first);
    }
    require(registry.sorted_names() == names);
    return 0;
}
