# The quorin command's explanations, computed by the rule itself, of the
# fixed budget or of the add-one completion.
import typing

from quorinbindings import _Arguments

def explain(arguments: _Arguments, completion: bool, /) -> dict[str, typing.Any]: ...
