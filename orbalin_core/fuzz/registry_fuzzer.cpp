// The registry's storage against a std::map model, the check the model test
// runs on random names, here driven by fuzzer input: the first byte picks the
// shard count, then each operation is one byte of kind and one of length,
// followed by that many bytes of name.
//
// Kinds: even inserts, odd looks up. Of the inserts, some store a record
// with every optional field set, derived from the name; some make their name
// from the last name's first 8 bytes plus the given bytes, so that names
// sharing 8-byte prefixes (which the listing's sort must order by their later
// bytes) and long names (the length byte allows up to 127) occur often.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "../tests/support/registry_model.hpp"
#include "formulas/constant_record.hpp"

namespace {

using orbalin::formulas::ConstantRecord;
using orbalin::model_check::RegistryModel;

void require_agreement(const std::string& disagreement) {
    if (!disagreement.empty()) {
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
    RegistryModel model(std::size_t{1} << (data[0] % 11));  // 1 to 1024 shards
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
            require_agreement(model.insert(record_for(name, counter, kind % 8 >= 4)));
        } else {
            require_agreement(model.look_up(name));
        }
    }
    require_agreement(model.whole());
    return 0;
}
