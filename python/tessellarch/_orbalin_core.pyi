"""Type information for the native core ``tessellarch._orbalin_core``."""

from typing import Final, SupportsFloat, SupportsIndex, final

from tessellarch.datasheet import ConstantDatasheet

__all__ = [
    "PyFormulasRegistry",
    "PyQuarkRegistry",
    "PyCKMMatrix",
    "py_list_constants",
    "py_list_quarks",
    "py_get_constant",
    "__version__",
]

__version__: Final[str]

@final
class PyFormulasRegistry:
    """Python wrapper for [`FormulasRegistry`]."""

    def __new__(cls) -> PyFormulasRegistry: ...
    def get(self, name: str) -> float:
        """Retrieve the numeric value for `name`.

        Raises KeyError when the registry holds no constant of that name.
        """
    @staticmethod
    def version() -> str:
        """Library-version round-trip helper."""
    def __len__(self) -> int: ...

@final
class PyQuarkRegistry:
    """Python wrapper for [`QuarkRegistry`]."""

    def __new__(cls) -> PyQuarkRegistry: ...
    def __len__(self) -> int: ...

@final
class PyCKMMatrix:
    """Python wrapper for [`CKMMatrix`].

    Has no constructor: calling the class raises TypeError; matrices come
    from ``from_topology()``.
    """

    @staticmethod
    def from_topology() -> PyCKMMatrix:
        """Build the CKM matrix from the underlying topology."""
    def is_unitary(self, tol: SupportsFloat | SupportsIndex) -> bool:
        """`True` when the matrix is unitary within `tol`."""
    def jarlskog(self) -> float:
        """CP-violation Jarlskog invariant J."""

def py_list_constants() -> list[str]:
    """The names of all constants, ascending by their UTF-8 bytes."""

def py_list_quarks() -> list[str]:
    """The names of the six quarks, ascending by their UTF-8 bytes."""

def py_get_constant(name: str) -> ConstantDatasheet:
    """The datasheet of one constant.

    Raises KeyError when ``name`` is not a constant.
    """
