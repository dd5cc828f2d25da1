"""Participatory-budgeting elections from .pb files, and their outcomes by
the Method of Equal Shares computed by the native module quorinbindings."""

from quorin.pabulib import Election, PabulibError, PabulibWarning, read_election

__all__ = ["Election", "PabulibError", "PabulibWarning", "read_election"]
