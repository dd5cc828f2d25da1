"""Identifiers that all share one value of the C++ standard library's string
hash (libstdc++'s, on 64-bit machines), the worst case for any table keyed by
that hash: a hostile caller can build as many as it likes.

That hash mixes each 8-byte block into its state invertibly, so for any two
first blocks a second block can be solved for that brings both to the same
state. Each of `bits` such pairs of 16-byte segments doubles the number of
colliding identifiers.
"""

import random

MASK = 2**64 - 1
MUL = (0xC6A4A793 << 32) + 0x5BD1E995
MUL_INVERSE = pow(MUL, -1, 2**64)
SEED = 0xC70F6907


def _shift_mix(value):
    return value ^ (value >> 47)


def _mixed(block):
    return (_shift_mix((block * MUL) & MASK) * MUL) & MASK


def _unmixed(mixed):
    # Undoing _mixed: a shift of 47 or more is its own inverse.
    return (_shift_mix((mixed * MUL_INVERSE) & MASK) * MUL_INVERSE) & MASK


def _step(state, block):
    return ((state ^ _mixed(block)) * MUL) & MASK


def std_hash(data):
    """libstdc++'s std::hash of a string with these bytes."""
    state = SEED ^ ((len(data) * MUL) & MASK)
    whole = len(data) - len(data) % 8
    for i in range(0, whole, 8):
        state = _step(state, int.from_bytes(data[i:i + 8], "little"))
    if len(data) % 8:
        state = ((state ^ int.from_bytes(data[whole:], "little")) * MUL) & MASK
    return _shift_mix((_shift_mix(state) * MUL) & MASK)


def colliding_ids(bits, seed=0):
    """2**bits distinct byte strings of 16 * bits bytes with one std::hash."""
    rng = random.Random(seed)
    length = 16 * bits
    state = SEED ^ ((length * MUL) & MASK)
    choices = []
    for _ in range(bits):
        first_a, first_b, second_a = (rng.getrandbits(64) for _ in range(3))
        after_a = _step(state, first_a)
        after_b = _step(state, first_b)
        # Both pairs of blocks must leave the same state behind.
        second_b = _unmixed(_mixed(second_a) ^ after_a ^ after_b)
        segment_a = first_a.to_bytes(8, "little") + second_a.to_bytes(8, "little")
        segment_b = first_b.to_bytes(8, "little") + second_b.to_bytes(8, "little")
        choices.append((segment_a, segment_b))
        state = _step(after_a, second_a)
    ids = [b""]
    for segment_a, segment_b in choices:
        ids = [prefix + segment for prefix in ids for segment in (segment_a, segment_b)]
    return ids
