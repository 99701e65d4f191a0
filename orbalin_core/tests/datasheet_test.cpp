// Datasheet text of every seeded constant, byte for byte.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <string_view>

#include "formulas/datasheet.hpp"
#include "formulas/formulas_registry.hpp"

namespace orbalin::formulas {
namespace {

// The datasheet of the record `registry` holds under `name`, written from
// the copy a lookup hands out, as py_get_constant writes it.
std::string sheet(const FormulasRegistry& registry, std::string_view name) {
    RecordCopy copy;
    EXPECT_FALSE(registry.get(name, copy).has_value()) << name;
    jsontext::TextBuffer text;
    EXPECT_FALSE(write_datasheet(copy.record(), text).has_value());
    EXPECT_FALSE(text.on_heap()) << "a datasheet outgrew the inline bytes";
    return std::string(text.view());
}

std::string sheet(const ConstantRecord& record) {
    FormulasRegistry registry(1);
    registry.insert(record);
    return sheet(registry, record.name);
}

std::string expected(const char* name, const char* status, const char* units, const char* value) {
    return std::string(R"({"name":")") + name + R"(","status":")" + status + R"(","uncertainty":null,"units":")" +
           units + R"(","value":)" + value + "}";
}

TEST(Datasheet, EverySeededConstant) {
    const struct {
        const char* name;
        const char* status;
        const char* units;
        const char* value;
    } rows[] = {
        {"b3", "Seed", "dimensionless", "24.0"},
        {"chi_eff", "Seed", "dimensionless", "72.0"},
        {"gamma_em", "Seed", "dimensionless", "0.5772156649015329"},
        {"h0_central", "Pending", "km/s/Mpc", "0.0"},
        {"jc_constant", "Seed", "count", "153.0"},
        {"logic_closure", "Seed", "count", "288.0"},
        {"m_tau_mev", "Pending", "MeV", "0.0"},
        {"n_gen", "Seed", "count", "3.0"},
        {"n_gen_sq", "Pending", "count", "0.0"},
        {"phi", "Seed", "dimensionless", "1.618033988749895"},
        {"roots_total", "Seed", "count", "288.0"},
        {"sterile_check", "Pending", "count", "0.0"},
        {"sterile_sector", "Seed", "count", "163.0"},
        {"topo_gen_check", "Pending", "count", "0.0"},
        {"v_higgs_mev", "Pending", "MeV", "0.0"},
        {"visible_sector", "Seed", "count", "125.0"},
        {"w0_central", "Pending", "dimensionless", "0.0"},
    };
    const auto registry = FormulasRegistry::new_seeded();
    std::size_t longest = 0;
    for (const auto& row : rows) {
        const std::string text = sheet(registry, row.name);
        EXPECT_EQ(text, expected(row.name, row.status, row.units, row.value));
        longest = std::max(longest, text.size());
    }
    EXPECT_EQ(sheet(registry, "n_gen").size(), 79U);
    EXPECT_EQ(longest, 105U);
    EXPECT_LE(longest, jsontext::TextBuffer::inline_capacity);
}

TEST(Datasheet, UncertaintyAndValueBecomeNullWhenNotFinite) {
    auto record = ConstantRecord::direct("x", std::numeric_limits<double>::infinity(), "u");
    record.uncertainty = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(sheet(record), R"({"name":"x","status":"Seed","uncertainty":null,"units":"u","value":null})");

    record.value = -0.0;
    record.uncertainty = 0.25;
    EXPECT_EQ(sheet(record), R"({"name":"x","status":"Seed","uncertainty":0.25,"units":"u","value":-0.0})");
}

TEST(Datasheet, NamesAndUnitsAreEscaped) {
    const auto record = ConstantRecord::direct("a\"b\\c\n", 1.0, "\x01/");
    EXPECT_EQ(sheet(record),
              R"({"name":"a\"b\\c\n","status":"Seed","uncertainty":null,"units":"\u0001/","value":1.0})");
}

TEST(Datasheet, StatusTextsOfEveryKind) {
    auto record = ConstantRecord::direct("x", 1.0, "");
    for (const auto& [status, text] :
         {std::pair{ConstantStatus::Cached, "Cached"}, std::pair{ConstantStatus::External, "External"}}) {
        record.status = status;
        EXPECT_NE(sheet(record).find(std::string("\"status\":\"") + text + "\""), std::string::npos);
    }
}

}  // namespace
}  // namespace orbalin::formulas
