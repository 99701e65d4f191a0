"""tessellarch: natural constants, the quarks and their mixing.

The public names of the native core, tessellarch._orbalin_core, are the
package's own: ``from tessellarch import py_get_constant`` works, and type
checkers see them through the core's stubs.
"""

from tessellarch import _orbalin_core
from tessellarch._orbalin_core import *  # noqa: F403  (the core's __all__, re-exported)

# The core's names in the core's order. Written as `+=` of the core's list,
# the form type checkers follow, so the two lists can never drift apart.
__all__: list[str] = []
__all__ += _orbalin_core.__all__
