#include "pyfacade/name_list.hpp"

#include <cstdint>
#include <cstring>

#include "pyfacade/owned_ref.hpp"

namespace orbalin::pyfacade {

namespace {

// True when no byte has its top bit set; eight bytes at a time.
bool is_ascii(std::string_view text) noexcept {
    std::uint64_t seen = 0;
    std::size_t at = 0;
    for (; at + 8 <= text.size(); at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + at, sizeof word);
        seen |= word;
    }
    for (; at < text.size(); ++at) {
        seen |= static_cast<unsigned char>(text[at]);
    }
    return (seen & 0x8080808080808080ULL) == 0;
}

}  // namespace

PyObject* new_str(std::string_view text) {
    const auto size = static_cast<Py_ssize_t>(text.size());
    if (!is_ascii(text)) {
        return PyUnicode_FromStringAndSize(text.data(), size);
    }
    PyObject* str = PyUnicode_New(size, 0x7f);
    if (str != nullptr && size != 0) {
        std::memcpy(PyUnicode_DATA(str), text.data(), text.size());  // the terminator is already in place
    }
    return str;
}

PyObject* names_to_list(std::span<const std::string_view> names) {
    OwnedRef list = OwnedRef::steal(PyList_New(static_cast<Py_ssize_t>(names.size())));
    if (!list) {
        return fail_python_api_call();
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        PyObject* item = new_str(names[i]);
        if (item == nullptr) {
            return fail_python_api_call();  // `list` drops the items stored so far
        }
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);  // the list takes the reference
    }
    return list.release();
}

}  // namespace orbalin::pyfacade
