// The registry's storage checked against a std::map model, one operation at
// a time. The model test drives it with random names and the registry fuzzer
// with libFuzzer's input; each step returns the first disagreement as text
// (empty when the two agree), and the caller turns that into a failed
// expectation or an abort.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formulas/formulas_registry.hpp"
#include "registry_views.hpp"

namespace orbalin::model_check {

class RegistryModel {
public:
    explicit RegistryModel(std::size_t shards) : registry_(shards) {}

    // Stores `record` in both; a replacement must hand back the record the
    // model held, field for field, and a new name nothing.
    std::string insert(formulas::ConstantRecord record) {
        const auto previous = registry_.insert(record);
        const auto modelled = model_.find(record.name);
        const bool agrees = modelled == model_.end() ? !previous.has_value() : previous == modelled->second;
        model_.insert_or_assign(record.name, std::move(record));
        return agrees ? "" : "insert: the displaced record differs from the model's";
    }

    // A hit must copy out the stored record; a miss must name `name`
    // verbatim and leave the copy holding what the last hit put there.
    std::string look_up(std::string_view name) {
        const auto error = registry_.get(name, copy_);
        const auto expected = model_.find(std::string(name));
        if (expected != model_.end()) {
            held_ = expected->second;
            return !error && copy_.record().to_record() == held_ ? "" : "lookup: the record differs from the model's";
        }
        const bool named = error && error->subject() == name &&
                           error->message() == "constant `" + std::string(name) + "` not found in registry";
        if (!named) {
            return "lookup: a miss did not name the name verbatim";
        }
        return !held_ || copy_.record().to_record() == held_ ? "" : "lookup: a miss changed the copy";
    }

    // Everything at once: the count, every stored record, and the listing,
    // which std::map orders as the registry must (bytewise, a prefix first).
    std::string whole() const {
        if (registry_.len() != model_.size()) {
            return "the count differs from the model's";
        }
        std::vector<std::string> names;
        names.reserve(model_.size());
        for (const auto& [name, record] : model_) {
            if (test_support::lookup(registry_, name) != record) {
                return "stored record of `" + name + "` differs from the model's";
            }
            names.push_back(name);
        }
        if (test_support::sorted_names(registry_) != names) {
            return "the listing differs from the model's order";
        }
        return {};
    }

private:
    formulas::FormulasRegistry registry_;
    std::map<std::string, formulas::ConstantRecord> model_;
    formulas::RecordCopy copy_;                     // reused by every lookup
    std::optional<formulas::ConstantRecord> held_;  // what `copy_` holds: the last hit's record
};

}  // namespace orbalin::model_check
