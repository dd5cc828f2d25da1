"""Ctrl-C ends a long completion promptly.

The rule polls a caller's check between runs and inside them; the test-only
extension's interruptible completions make that check raise whatever a
pending signal's handler raises, as a binding that honours Ctrl-C would.
The call holds the interpreter lock, so no thread of this process could
send the signal: a child process does, and says when.
"""

import os
import signal
import subprocess
import sys
import time

import pytest
import quorin_stepping

# Generous: a poll comes every run and every few thousand supporters, each
# far below a millisecond here.
MOST_DELAY_SECONDS = 0.5
INTERRUPT_AFTER_SECONDS = 0.3

SENDER = """
import os, signal, sys, time
time.sleep(float(sys.argv[2]))
sent = time.monotonic()
os.kill(int(sys.argv[1]), signal.SIGINT)
print(sent)
"""


def one_voter_and_big(big_cost, big_supporters=(("v1", 1),)):
    """T1 and T2 are bought at once; Big is not affordable before the voter's
    share reaches its cost, so stepping reruns about that many times."""
    approvers = {"T1": [("v1", 1)], "T2": [("v1", 1)], "Big": list(big_supporters)}
    return (["v1"], ["T1", "T2", "Big", "Free"],
            {"T1": 10.0, "T2": 10.0, "Big": big_cost, "Free": 0.0},
            approvers, {"T1": 1, "T2": 1, "Big": 1}, 20.0)


def delay_of_interrupted_call(args, stepping):
    """Seconds from SIGINT reaching this process to the call giving up with
    KeyboardInterrupt."""
    assert signal.getsignal(signal.SIGINT) is signal.default_int_handler
    sender = subprocess.Popen(
        [sys.executable, "-c", SENDER, str(os.getpid()), str(INTERRUPT_AFTER_SECONDS)],
        stdout=subprocess.PIPE, text=True)
    try:
        with pytest.raises(KeyboardInterrupt):
            quorin_stepping.equal_shares_add1_interruptible(*args, stepping)
        ended = time.monotonic()
    finally:
        sent = float(sender.communicate(timeout=10)[0])
    return ended - sent


@pytest.mark.timeout(30)
def test_ctrl_c_ends_a_completion_that_steps_for_hours():
    assert delay_of_interrupted_call(one_voter_and_big(1e12), stepping=True) < MOST_DELAY_SECONDS


# A zero utility is outside what range proofs accept, so the completion
# that skips steps reruns at every step here too.
@pytest.mark.timeout(30)
def test_ctrl_c_ends_a_skipping_completion_that_must_step_for_hours():
    args = one_voter_and_big(1e12, big_supporters=(("v1", 1), ("stranger", 0)))
    assert delay_of_interrupted_call(args, stepping=False) < MOST_DELAY_SECONDS


@pytest.mark.timeout(30)
def test_interrupted_completions_leave_the_module_usable():
    args = one_voter_and_big(1e12)
    delay_of_interrupted_call(args, stepping=True)
    assert quorin_stepping.equal_shares_add1_interruptible(*args, False) == ["T1", "T2"]
