"""tessellarch: natural constants, the quarks and their mixing.

The accelerated core lives in the native submodule ``tessellarch._orbalin_core``.
"""

__version__ = "2.3.0"
