#include "pyfacade/name_list.hpp"

#include <cstdint>
#include <cstring>

#include "pyfacade/owned_ref.hpp"

namespace orbalin::pyfacade {

namespace {

// Copies `text` to `to` and tells whether every byte was ASCII, in one pass,
// eight bytes at a time: names are short, so a loop the compiler inlines beats
// a scan followed by a call to memcpy.
bool copy_if_ascii(std::string_view text, char* to) noexcept {
    std::uint64_t seen = 0;
    std::size_t at = 0;
    for (; at + 8 <= text.size(); at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + at, sizeof word);
        std::memcpy(to + at, &word, sizeof word);
        seen |= word;
    }
    for (; at < text.size(); ++at) {
        to[at] = text[at];
        seen |= static_cast<unsigned char>(text[at]);
    }
    return (seen & 0x8080808080808080ULL) == 0;
}

}  // namespace

PyObject* new_str(std::string_view text) {
    const auto size = static_cast<Py_ssize_t>(text.size());
    // The empty text and single characters come from the interpreter's own
    // shared objects, which only PyUnicode_FromStringAndSize hands out.
    if (size < 2) {
        return PyUnicode_FromStringAndSize(text.data(), size);
    }
    // Assume ASCII, which every registry name is in practice: a compact str
    // is filled in place (its terminator is already there). Anything else is
    // decoded as UTF-8 instead.
    OwnedRef str = OwnedRef::steal(PyUnicode_New(size, 0x7f));
    if (!str || copy_if_ascii(text, static_cast<char*>(PyUnicode_DATA(str.get())))) {
        return str.release();
    }
    return PyUnicode_FromStringAndSize(text.data(), size);  // `str`, never shared, goes
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
