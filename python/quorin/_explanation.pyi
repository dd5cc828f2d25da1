# The quorin command's explanations, computed by the rule itself, of the
# fixed budget or of the add-one completion.
import typing

from quorin.pabulib import Arguments

def explain(arguments: Arguments, completion: bool, /) -> dict[str, typing.Any]: ...
