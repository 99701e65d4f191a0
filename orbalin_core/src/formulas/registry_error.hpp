// The error kinds of the constants registry and their messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

namespace orbalin::formulas {

// Every message has the shape: fixed text, `subject`, fixed text, and for the
// kinds that carry a second item, that item's text. Carried texts are inserted
// verbatim. Only NotFound is produced by an operation of the registry; the
// other kinds complete the vocabulary shared with the pure-Python side.
class RegistryError {
public:
    enum class Kind : std::uint8_t {
        NotFound = 0,
        DerivationNotImplemented = 1,
        LoadFailed = 2,
        InvalidSchema = 3,
        CyclicDerivation = 4,
        ExpressionParse = 5,
    };

    [[nodiscard]] static RegistryError not_found(std::string_view name);
    [[nodiscard]] static RegistryError derivation_not_implemented(std::string_view name);
    [[nodiscard]] static RegistryError load_failed(std::string_view source, std::error_code io_error);
    [[nodiscard]] static RegistryError invalid_schema(std::string_view source);
    [[nodiscard]] static RegistryError cyclic_derivation(std::string_view name);
    [[nodiscard]] static RegistryError expression_parse(std::string_view name, std::string_view detail);

    [[nodiscard]] Kind kind() const noexcept { return kind_; }
    [[nodiscard]] const std::string& subject() const noexcept { return subject_; }

    // The full message text; this is what reaches Python, unchanged.
    [[nodiscard]] std::string message() const;

private:
    RegistryError(Kind kind, std::string_view subject) : kind_(kind), subject_(subject) {}

    Kind kind_;
    std::string subject_;
    std::string detail_;        // ExpressionParse: the parser's own text
    std::error_code io_error_;  // LoadFailed: rendered through its category on demand
};

}  // namespace orbalin::formulas
