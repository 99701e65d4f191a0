// The registry's storage against a std::map model, driven by fuzzer input:
// the first byte picks the shard count, then each operation is one byte of
// kind and one of length, followed by that many bytes of name.
//
// Kinds: even inserts, odd looks up. Of the inserts, some store a record
// with every optional field set, derived from the name; some make their name
// from the last name's first 8 bytes plus the given bytes, so that names
// sharing 8-byte prefixes (which the listing's sort must order by their later
// bytes) and long names (the length byte allows up to 127) occur often.
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

ConstantRecord record_for(const std::string& name, double counter, bool full) {
    if (!full) {
        return ConstantRecord::direct(name, counter, name);
    }
    const std::vector<std::string_view> dependencies{name, "", std::string_view(name).substr(0, name.size() / 2)};
    const std::string_view units = std::string_view(name).substr(name.empty() ? 0 : 1);
    ConstantRecord record = ConstantRecord::derived(name, name + name, units, dependencies);
    record.value = counter;
    record.uncertainty = -counter;
    return record;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    FormulasRegistry registry(std::size_t{1} << (data[0] % 11));  // 1 to 1024 shards
    std::map<std::string, ConstantRecord> model;
    std::size_t at = 1;
    double counter = 0.0;
    std::string last;
    while (at + 2 <= size) {
        const std::uint8_t kind = data[at];
        const std::size_t length = data[at + 1] % 128;
        at += 2;
        const std::size_t taken = length < size - at ? length : size - at;
        std::string name(reinterpret_cast<const char*>(data + at), taken);
        at += taken;
        if (kind % 4 == 2) {
            name.insert(0, last.substr(0, 8));
        }
        last = name;
        if (kind % 2 == 0) {
            counter += 1.0;
            ConstantRecord record = record_for(name, counter, kind % 8 >= 4);
            const auto previous = registry.insert(record);
            const auto modelled = model.find(name);
            require(previous.has_value() == (modelled != model.end()));
            require(!previous || *previous == modelled->second);
            model.insert_or_assign(name, std::move(record));
        } else {
            const auto found = registry.get(name);
            const auto expected = model.find(name);
            require(found.has_value() == (expected != model.end()));
            require(!found || found.value() == expected->second);
            require(found || found.error().subject() == name);
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
