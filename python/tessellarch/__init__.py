"""tessellarch: natural constants, the quarks and their mixing.

The accelerated core lives in the native submodule ``tessellarch._orbalin_core``.
"""

from tessellarch._orbalin_core import __version__

__all__ = ["__version__"]
