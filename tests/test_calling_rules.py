"""The calling rules, for every Python-visible callable at once: argument
matching, conversion, the receiver check, the registry's error and the
refusal of arguments where none are taken. The rows are in calls.py, where
the leak tests repeat them too."""

import pytest
from calls import REFUSALS, REGISTRY
from seed import CONSTANT_COUNT


@pytest.mark.parametrize("refusal", REFUSALS, ids=[refusal.id for refusal in REFUSALS])
def test_every_refusal(refusal):
    with pytest.raises(refusal.error) as caught:
        refusal.call()
    if isinstance(refusal.message, str):
        assert caught.value.args == (refusal.message,)
    elif refusal.message is not None:
        assert refusal.message.match(str(caught.value)), str(caught.value)
    assert len(REGISTRY) == CONSTANT_COUNT  # no refusal changed the registry
