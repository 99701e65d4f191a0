#include "formulas/datasheet.hpp"

namespace orbalin::formulas {

jsontext::Object datasheet_object(const ConstantRecord& record) {
    jsontext::Object object;
    object.emplace("name", record.name);
    object.emplace("value", jsontext::finite_or_null(record.value));
    object.emplace("units", record.units);
    object.emplace("uncertainty",
                   record.uncertainty ? jsontext::finite_or_null(*record.uncertainty) : jsontext::Value{});
    object.emplace("status", std::string(display_text(record.status)));
    return object;
}

std::optional<jsontext::WriteError> write_datasheet(const jsontext::Object& object, std::string& out) {
    out.clear();
    out.reserve(datasheet_reserve);
    return jsontext::append_object(out, object);
}

}  // namespace orbalin::formulas
