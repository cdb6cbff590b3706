import copy
import pickle

import numpy as np
import pytest

import convergence_suite as suite


def test_values_are_the_historic_stream_widened():
    g = suite.Generator(0)
    first = [5790094, 1344571, 2990437]
    assert g.random(3).tolist() == [u * 2.0**-24 for u in first]
    assert g.units(2).tolist() == [11091400, 5494037]
    # Bulk and one at a time: the same stream.
    a, b = suite.Generator(42), suite.Generator(42)
    assert np.array_equal(a.units(100003), np.concatenate([b.units(1) for _ in range(3)] + [b.units(100000)]))
    assert a.random(0).dtype == np.float64 and a.units(0).dtype == np.uint32


def test_discard_copy_equality_and_pickling():
    a = suite.Generator(7)
    b = a.copy()
    assert a == b and copy.deepcopy(a) == a
    a.discard(12345)
    assert a != b
    b.units(12345)
    assert a == b
    restored = pickle.loads(pickle.dumps(a))
    assert restored == a and np.array_equal(restored.units(500), a.units(500))


def test_bad_arguments():
    suite.Generator(900000000)  # the top seed
    with pytest.raises(ValueError):
        suite.Generator(900000001)
    with pytest.raises(ValueError):
        suite.Generator(0).random(-1)
    state = suite.Generator(0).state()
    damaged = pickle.dumps(suite.Generator(0)).replace(state.encode(), b"x" * len(state))
    with pytest.raises(ValueError):
        pickle.loads(damaged)
