"""The module's Python surface: what it offers, how it is called, what it raises."""

import pickle
import subprocess

import pytest

import quorinbindings

FUNCTIONS = ["equal_shares_utils", "equal_shares_add1"]

SIGNATURE_TAIL = (
    "(arg0: collections.abc.Sequence[str], arg1: collections.abc.Sequence[str], "
    "arg2: collections.abc.Mapping[str, typing.SupportsFloat], "
    "arg3: collections.abc.Mapping[str, collections.abc.Sequence[tuple[str, typing.SupportsInt]]], "
    "arg4: collections.abc.Mapping[str, typing.SupportsInt], arg5: typing.SupportsFloat) -> list[str]"
)

# Park wins alone: one voter, one project it can afford.
PARK = (["v"], ["Park"], {"Park": 10.0}, {"Park": [("v", 1)]}, {"Park": 1}, 10.0)


def test_module_holds_exactly_the_two_functions():
    assert quorinbindings.__doc__ is None
    public = {name for name in dir(quorinbindings) if not name.startswith("__")}
    assert public == set(FUNCTIONS)


@pytest.mark.parametrize("name", FUNCTIONS)
def test_signature_line_and_no_docstring(name):
    function = getattr(quorinbindings, name)
    assert function.__doc__ == name + SIGNATURE_TAIL + "\n"


@pytest.mark.parametrize("name", FUNCTIONS)
def test_pickled_by_reference(name):
    function = getattr(quorinbindings, name)
    assert pickle.loads(pickle.dumps(function)) is function


@pytest.mark.parametrize("name", FUNCTIONS)
def test_keywords_are_refused(name):
    function = getattr(quorinbindings, name)
    keywords = dict(zip(["voters", "projects", "cost", "approvers_utilities", "total_utility", "total_budget"], PARK))
    with pytest.raises(TypeError, match="incompatible function arguments"):
        function(**keywords)


@pytest.mark.parametrize("name", FUNCTIONS)
@pytest.mark.parametrize("arguments", [PARK[:5], PARK + (None,)], ids=["five", "seven"])
def test_wrong_argument_counts(name, arguments):
    with pytest.raises(TypeError) as raised:
        getattr(quorinbindings, name)(*arguments)
    message = str(raised.value)
    assert message.startswith(
        f"{name}(): incompatible function arguments. The following argument types are supported:\n"
        f"    1. {SIGNATURE_TAIL}\n\nInvoked with: "
    )


@pytest.mark.parametrize("name", FUNCTIONS)
def test_result_is_a_new_list_of_str(name):
    function = getattr(quorinbindings, name)
    first = function(*PARK)
    second = function(*PARK)
    assert first == ["Park"] and type(first) is list and type(first[0]) is str
    assert first is not second


@pytest.mark.parametrize("name", FUNCTIONS)
def test_missing_cost_key_raises_index_error(name):
    voters, projects, cost, approvers, totals, budget = PARK
    with pytest.raises(IndexError, match="^_Map_base::at$"):
        getattr(quorinbindings, name)(voters, projects + ["Ghost"], cost, approvers, totals, budget)


@pytest.mark.parametrize("name", FUNCTIONS)
def test_winner_that_is_not_utf8_raises_unicode_decode_error(name):
    project = b"\xff\xfe"
    arguments = (["v"], [project], {project: 10.0}, {project: [("v", 1)]}, {project: 1}, 10.0)
    with pytest.raises(UnicodeDecodeError):
        getattr(quorinbindings, name)(*arguments)


def test_native_functions_are_exported_beside_the_init_function():
    symbols = subprocess.run(
        ["nm", "-D", "--defined-only", "-C", quorinbindings.__file__],
        check=True, capture_output=True, text=True,
    ).stdout
    for name in ["PyInit_quorinbindings", "quorin::break_ties(", "quorin::equal_shares_utils(",
                 "quorin::equal_shares_add1("]:
        assert name in symbols
