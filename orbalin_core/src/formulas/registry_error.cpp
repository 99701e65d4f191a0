#include "formulas/registry_error.hpp"

namespace orbalin::formulas {
namespace {

std::string quoted_between(std::string_view before, std::string_view subject, std::string_view after) {
    std::string text;
    text.reserve(before.size() + subject.size() + after.size() + 2);
    text.append(before).append(1, '`').append(subject).append(1, '`').append(after);
    return text;
}

}  // namespace

RegistryError RegistryError::not_found(std::string_view name) {
    return {Kind::NotFound, name};
}

RegistryError RegistryError::derivation_not_implemented(std::string_view name) {
    return {Kind::DerivationNotImplemented, name};
}

RegistryError RegistryError::load_failed(std::string_view source, std::error_code io_error) {
    RegistryError error(Kind::LoadFailed, source);
    error.io_error_ = io_error;
    return error;
}

RegistryError RegistryError::invalid_schema(std::string_view source) {
    return {Kind::InvalidSchema, source};
}

RegistryError RegistryError::cyclic_derivation(std::string_view name) {
    return {Kind::CyclicDerivation, name};
}

RegistryError RegistryError::expression_parse(std::string_view name, std::string_view detail) {
    RegistryError error(Kind::ExpressionParse, name);
    error.detail_ = detail;
    return error;
}

std::string RegistryError::message() const {
    switch (kind_) {
        case Kind::NotFound:
            return quoted_between("constant ", subject_, " not found in registry");
        case Kind::DerivationNotImplemented:
            return quoted_between("derivation of ", subject_, " is not yet implemented in orbalin_core");
        case Kind::LoadFailed:
            return quoted_between("failed to load constants from ", subject_, ": ") + io_error_.message();
        case Kind::InvalidSchema:
            return quoted_between("invalid JSON schema in ", subject_, "");
        case Kind::CyclicDerivation:
            return quoted_between("cyclic derivation involving ", subject_, "");
        case Kind::ExpressionParse:
            return quoted_between("expression parse error in ", subject_, ": ") + detail_;
    }
    return quoted_between("constant ", subject_, " not found in registry");  // unreachable
}

}  // namespace orbalin::formulas
