"""Ctrl-C ends a long call of the module itself: a signal that arrives while
the arguments are converted is answered at the rule's first poll, long
before the call would end, and the module stays usable."""

import signal
import time

import pytest

import quorinbindings
from quorin.pabulib import read_election

# A completion that takes far longer than the alarm below.
LONG = "Poland_Warszawa_2026.pb"


def interrupted_after(args, seconds):
    """How long the call ran before a SIGALRM, due after `seconds`, ended it."""
    def interrupt(signum, frame):
        raise KeyboardInterrupt

    previous = signal.signal(signal.SIGALRM, interrupt)
    start = time.monotonic()
    try:
        signal.setitimer(signal.ITIMER_REAL, seconds)
        with pytest.raises(KeyboardInterrupt):
            quorinbindings.equal_shares_add1(*args)
        return time.monotonic() - start
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)


@pytest.mark.timeout(120)
def test_a_signal_ends_a_long_completion_of_the_module(pabulib_dir):
    args = read_election(pabulib_dir / LONG).arguments()
    start = time.monotonic()
    outcome = quorinbindings.equal_shares_add1(*args)
    whole = time.monotonic() - start
    assert interrupted_after(args, 0.001) < min(0.5, whole / 2)
    # Nothing is left behind that a later call could trip over.
    assert quorinbindings.equal_shares_add1(*args) == outcome
