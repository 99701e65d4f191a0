"""The calling rules, for every Python-visible callable of both cores at once:
argument matching, conversion, the receiver check, the registry's error and
the refusal of arguments where none are taken. The rows are in calls.py,
where the leak tests repeat them too."""

import pytest
from calls import Calls
from cores import CORES
from seed import CONSTANT_COUNT

TABLES = {name: Calls(core) for name, core in CORES.items() if core is not None}
ROWS = [pytest.param(table, refusal, id=f"{name}-{refusal.id}")
        for name, table in TABLES.items() for refusal in table.refusals]


@pytest.mark.parametrize("table, refusal", ROWS)
def test_every_refusal(table, refusal):
    with pytest.raises(refusal.error) as caught:
        refusal.call()
    if isinstance(refusal.message, str):
        assert caught.value.args == (refusal.message,)
    elif refusal.message is not None:
        assert refusal.message.match(str(caught.value)), str(caught.value)
    assert len(table.registry) == CONSTANT_COUNT  # no refusal changed the registry
