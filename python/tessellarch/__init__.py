"""tessellarch: natural constants, the quarks and their mixing.

Two cores keep one contract: the native extension tessellarch._orbalin_core,
and the package's Python side, tessellarch._pyorbalin_core. The native core
runs wherever it is installed; the Python side runs where it is not (macOS,
Windows, PyPy, any platform without a native wheel), in an interpreter the
native core refuses (every interpreter but the first one of the process to
import it), and whenever TESSELLARCH_NO_EXTENSIONS is set to a non-empty
value. Any other failure to load the native core is raised, never hidden.

The running core's public names are the package's own (``from tessellarch
import py_get_constant``), and ``tessellarch.core`` is the module that runs.
"""

import os as _os
import types as _types

TYPE_CHECKING = False  # typing.TYPE_CHECKING, without importing typing at run time

_NATIVE = "tessellarch._orbalin_core"


def _refuses_this_interpreter(error: ImportError) -> bool:
    """Whether the native core's import failed only because this is not the
    interpreter it may live in: its own one-interpreter rule, or CPython's
    refusal to load a single-phase module into an isolated subinterpreter."""
    return "does not support" in str(error) and "subinterpreters" in str(error)


def _load_core() -> _types.ModuleType:
    if not _os.environ.get("TESSELLARCH_NO_EXTENSIONS"):
        try:
            import tessellarch._orbalin_core as native
        except ModuleNotFoundError as error:
            if error.name != _NATIVE:  # the core is there but something it needs is not
                raise
        except ImportError as error:
            if not _refuses_this_interpreter(error):
                raise
        else:
            return native
    import tessellarch._pyorbalin_core as python_side

    return python_side


if TYPE_CHECKING:
    # Type checkers see one contract, described by the native core's stubs.
    from tessellarch import _orbalin_core as core
    from tessellarch._orbalin_core import *  # noqa: F403
else:
    core = _load_core()
    globals().update({name: getattr(core, name) for name in core.__all__})

# The core's names in the core's order, as a list of the package's own.
__all__: list[str] = []
__all__ += core.__all__

del TYPE_CHECKING
