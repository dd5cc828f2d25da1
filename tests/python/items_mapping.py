"""A mapping that is not a dict, for tests of how a call reads mappings."""

import collections.abc


class ItemsMapping(collections.abc.Mapping):
    """Empty to every other reader; `items` decides what its entries are."""

    def __init__(self, items):
        self._items = items

    def __getitem__(self, key):
        raise KeyError(key)

    def __iter__(self):
        return iter(())

    def __len__(self):
        return 0

    def items(self):
        return self._items()
