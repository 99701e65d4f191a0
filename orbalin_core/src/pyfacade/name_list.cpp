#include "pyfacade/name_list.hpp"

#include "pyfacade/failure.hpp"
#include "pyfacade/owned_ref.hpp"

namespace orbalin::pyfacade {

PyObject* names_to_list(std::vector<std::string> names) noexcept {
    OwnedRef list = OwnedRef::steal(PyList_New(static_cast<Py_ssize_t>(names.size())));
    if (!list) {
        return fail_python_api_call();
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string name = std::move(names[i]);
        PyObject* item = PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
        if (item == nullptr) {
            return fail_python_api_call();  // `list` drops the items stored so far
        }
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);  // the list takes the reference
    }
    return list.release();
}

}  // namespace orbalin::pyfacade
