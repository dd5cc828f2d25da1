"""Participatory-budgeting elections from .pb files, and their outcomes by
the Method of Equal Shares computed by the native module quorinbindings."""

from quorin.pabulib import Election, PabulibError, read_election

__all__ = ["Election", "PabulibError", "read_election"]
