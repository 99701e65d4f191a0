"""Checked by mypy --strict against the installed stubs (nox -s stubs),
never run: each line says what a type checker must accept or infer."""

from typing import TYPE_CHECKING

from tessellarch import _orbalin_core as core

if TYPE_CHECKING:
    from typing_extensions import assert_type

    from tessellarch.datasheet import ConstantDatasheet

    sheet = core.py_get_constant("n_gen")
    assert_type(sheet, ConstantDatasheet)
    assert_type(sheet["value"], float | None)
    assert_type(sheet["uncertainty"], float | None)
    assert_type(sheet["name"], str)

    registry = core.PyFormulasRegistry()
    assert_type(registry.get("phi"), float)
    assert_type(registry.get(name="phi"), float)
    assert_type(len(registry), int)
    assert_type(core.PyFormulasRegistry.version(), str)

    matrix = core.PyCKMMatrix.from_topology()
    assert_type(matrix.is_unitary(1e-12), bool)
    assert_type(matrix.is_unitary(tol=1), bool)
    assert_type(matrix.jarlskog(), float)

    assert_type(core.py_list_constants(), list[str])
    assert_type(core.py_list_quarks(), list[str])
    assert_type(len(core.PyQuarkRegistry()), int)
    assert_type(core.__version__, str)

    # The same names through the package itself.
    import tessellarch
    from tessellarch import PyCKMMatrix, py_get_constant

    assert_type(py_get_constant("phi"), ConstantDatasheet)
    assert_type(PyCKMMatrix.from_topology().jarlskog(), float)
    assert_type(tessellarch.py_list_quarks(), list[str])
    assert_type(tessellarch.__version__, str)
