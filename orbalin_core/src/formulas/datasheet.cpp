#include "formulas/datasheet.hpp"

#include <array>
#include <string_view>

namespace orbalin::formulas {
namespace {

constexpr std::array<std::string_view, 5> member_keys{"name", "status", "uncertainty", "units", "value"};

constexpr bool in_byte_order(const std::array<std::string_view, 5>& keys) {
    for (std::size_t i = 1; i < keys.size(); ++i) {
        if (!(keys[i - 1] < keys[i])) {
            return false;
        }
    }
    return true;
}
static_assert(in_byte_order(member_keys), "an object's members are written in the byte order of their keys");

}  // namespace

std::optional<jsontext::WriteError> write_datasheet(const StoredRecord& record, jsontext::TextBuffer& out) {
    out.clear();
    jsontext::ObjectWriter writer(out);
    writer.text_member(member_keys[0], record.text(record.name));
    writer.text_member(member_keys[1], display_text(record.status));
    if (auto error = writer.member(
            member_keys[2], record.has_uncertainty ? jsontext::finite_or_null(record.uncertainty) : std::nullopt)) {
        return error;
    }
    writer.text_member(member_keys[3], record.text(record.units));
    if (auto error = writer.member(member_keys[4], jsontext::finite_or_null(record.value))) {
        return error;
    }
    writer.close();
    return std::nullopt;
}

}  // namespace orbalin::formulas
