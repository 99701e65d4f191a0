"""The shape of a constant's datasheet, for type checkers and readers.

``tessellarch._orbalin_core.py_get_constant`` returns a plain ``dict`` (made by
``json.loads``); ``ConstantDatasheet`` names its keys and their value types.
Being a ``TypedDict``, it checks nothing at run time::

    from tessellarch.datasheet import ConstantDatasheet

    def describe(sheet: ConstantDatasheet) -> str:
        return f"{sheet['name']} = {sheet['value']} {sheet['units']}"
"""

from __future__ import annotations

from typing import Literal, TypedDict

__all__ = ["ConstantDatasheet", "ConstantStatus"]

ConstantStatus = Literal["Seed", "Cached", "Pending", "External"]


class ConstantDatasheet(TypedDict):
    """What ``py_get_constant`` returns; keys always in this order."""

    name: str
    status: ConstantStatus
    uncertainty: float | None
    units: str
    value: float | None
