#include "pyfacade/name_list.hpp"

#include <cstdint>
#include <cstring>

#include "pyfacade/owned_ref.hpp"

namespace orbalin::pyfacade {

namespace {

// Copies `text` to `to` and tells whether every byte was ASCII, in one pass
// of a few word moves: names are short, so overlapping loads of the first
// and last words cover them without a byte loop or a call to memcpy.
template <class Word>
Word move_word(const char* from, char* to) noexcept {
    Word word = 0;
    std::memcpy(&word, from, sizeof word);
    std::memcpy(to, &word, sizeof word);
    return word;
}

bool copy_if_ascii(std::string_view text, char* to) noexcept {
    const char* from = text.data();
    const std::size_t size = text.size();
    if (size >= 8) {
        std::uint64_t seen = 0;
        for (std::size_t at = 0; at + 8 < size; at += 8) {
            seen |= move_word<std::uint64_t>(from + at, to + at);
        }
        seen |= move_word<std::uint64_t>(from + size - 8, to + size - 8);  // the last word, overlapping
        return (seen & 0x8080808080808080ULL) == 0;
    }
    if (size >= 4) {
        const std::uint32_t seen =
            move_word<std::uint32_t>(from, to) | move_word<std::uint32_t>(from + size - 4, to + size - 4);
        return (seen & 0x80808080U) == 0;
    }
    if (size >= 2) {
        const auto seen = static_cast<std::uint16_t>(move_word<std::uint16_t>(from, to) |
                                                     move_word<std::uint16_t>(from + size - 2, to + size - 2));
        return (seen & 0x8080U) == 0;
    }
    if (size == 1) {
        to[0] = from[0];
        return static_cast<unsigned char>(from[0]) < 0x80;
    }
    return true;
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
            // The list still has empty slots, which no Python code may ever
            // see, and reporting the failure runs some (sys.excepthook,
            // sys.stderr): the list, with the items stored so far, goes first.
            list = OwnedRef();
            return fail_python_api_call();
        }
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);  // the list takes the reference
    }
    return list.release();
}

}  // namespace orbalin::pyfacade
