// A value or an error: how native operations report failure without throwing.
#pragma once

#include <utility>
#include <variant>

namespace orbalin::common {

template <class T, class E>
class Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT(google-explicit-constructor)
    Result(E error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT(google-explicit-constructor)

    [[nodiscard]] bool has_value() const noexcept { return state_.index() == 0; }
    explicit operator bool() const noexcept { return has_value(); }

    // Precondition: has_value() (resp. !has_value()); std::get checks it.
    [[nodiscard]] T& value() & { return std::get<0>(state_); }
    [[nodiscard]] const T& value() const& { return std::get<0>(state_); }
    [[nodiscard]] E& error() & { return std::get<1>(state_); }
    [[nodiscard]] const E& error() const& { return std::get<1>(state_); }

private:
    std::variant<T, E> state_;
};

}  // namespace orbalin::common
