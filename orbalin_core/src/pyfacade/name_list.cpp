#include "pyfacade/name_list.hpp"

#include <algorithm>
#include <cstring>

#include "pyfacade/owned_ref.hpp"

namespace orbalin::pyfacade {

PyObject* new_str(std::string_view text) noexcept {
    const auto size = static_cast<Py_ssize_t>(text.size());
    const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii) {
        return PyUnicode_FromStringAndSize(text.data(), size);
    }
    PyObject* str = PyUnicode_New(size, 0x7f);
    if (str != nullptr && size != 0) {
        std::memcpy(PyUnicode_DATA(str), text.data(), text.size());  // the terminator is already in place
    }
    return str;
}

PyObject* names_to_list(std::span<const std::string_view> names) noexcept {
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
