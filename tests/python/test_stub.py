"""The installed type stub of quorinbindings: it matches the module's own
signature lines, and mypy uses it to accept right calls and reject wrong ones."""

import ast
import copy
import os
import re
import subprocess
import sys
from importlib.metadata import files
from pathlib import Path

import pytest

import quorinbindings

CALL = (
    'quorinbindings.{function}(["v1", "v2"], ["p"], {{"p": 10.0}}, '
    '{{"p": [("v1", 1), ("v2", 2)]}}, {{"p": 3}}, 20.0)'
)

ACCEPTED = {
    "lists_and_dicts": f"""
winners = {CALL.format(function="equal_shares_utils")}
assert_type(winners, list[str])
assert_type({CALL.format(function="equal_shares_add1")}, list[str])
""",
    "other_sequences_and_numbers": """
winners: list[str] = quorinbindings.equal_shares_add1(
    ("v1",), ("p",), {"p": 10}, {"p": (("v1", True),)}, {"p": 1}, 20
)
""",
    "a_read_election": """
from quorin import read_election

election = read_election("riverside.pb")
winners: list[str] = quorinbindings.equal_shares_add1(*election.arguments())
""",
}

REJECTED = {
    "by_keyword": (
        "quorinbindings.equal_shares_utils(voters=[], projects=[], cost={}, "
        "approvers_utilities={}, total_utility={}, total_budget=1.0)",
        "call-arg",
    ),
    "five_arguments": ('quorinbindings.equal_shares_add1([], [], {}, {}, {})', "call-arg"),
    "seven_arguments": ('quorinbindings.equal_shares_add1([], [], {}, {}, {}, 1.0, 2.0)', "call-arg"),
    "voter_ids_as_numbers": ('quorinbindings.equal_shares_utils([1], [], {}, {}, {}, 1.0)', "list-item"),
    "cost_as_text": ('quorinbindings.equal_shares_utils([], ["p"], {"p": "10"}, {}, {}, 1.0)', "dict-item"),
    "utility_as_text": (
        'quorinbindings.equal_shares_utils(["v"], ["p"], {}, {"p": [("v", "1")]}, {}, 1.0)',
        "list-item",
    ),
    "budget_as_text": ('quorinbindings.equal_shares_add1([], [], {}, {}, {}, "1")', "arg-type"),
    "result_as_numbers": (
        'winners: list[int] = quorinbindings.equal_shares_add1([], [], {}, {}, {}, 1.0)',
        "assignment",
    ),
    "no_third_function": ("quorinbindings.break_ties({}, {}, [])", "attr-defined"),
}

HEADER = "import quorinbindings\nfrom typing import assert_type\n"
DIAGNOSTIC = re.compile(r"^(?P<file>[^:]+):\d+: error: .*\[(?P<code>[a-z-]+)\]$")


def installed_stub() -> Path:
    [stub] = [entry for entry in files("quorinbindings") if entry.name == "__init__.pyi"]
    assert stub.parent.name == "quorinbindings-stubs"
    return Path(stub.locate())


def mypy(folder: Path, *targets: str) -> dict[str, list[str]]:
    """Error codes that mypy --strict reports, by file name without suffix.
    Runs from `folder`, so the checkout's sources are never seen: only what
    is installed, the stub included."""
    result = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-error-summary",
         "--cache-dir", os.devnull, *targets],
        cwd=folder,
        capture_output=True,
        text=True,
    )
    # 0: no errors, 1: errors found; anything else means mypy did not check.
    assert result.returncode in (0, 1) and not result.stderr, result.stdout + result.stderr
    errors: dict[str, list[str]] = {}
    for line in result.stdout.splitlines():
        if ": note: " in line:
            continue
        match = DIAGNOSTIC.match(line)
        assert match, f"unexpected mypy output: {line}"
        errors.setdefault(Path(match["file"]).stem, []).append(match["code"])
    return errors


@pytest.fixture(scope="module")
def snippet_errors(tmp_path_factory) -> dict[str, list[str]]:
    """mypy's error codes for every snippet, checked in one run."""
    folder = tmp_path_factory.mktemp("snippets")
    snippets = {**ACCEPTED, **{name: code for name, (code, _) in REJECTED.items()}}
    for name, code in snippets.items():
        (folder / f"{name}.py").write_text(HEADER + code + "\n")
    return mypy(folder, *(f"{name}.py" for name in snippets))


@pytest.mark.parametrize("snippet", ACCEPTED)
def test_mypy_accepts_right_calls(snippet_errors, snippet):
    assert snippet_errors.get(snippet, []) == []


@pytest.mark.parametrize("snippet", REJECTED)
def test_mypy_rejects_wrong_calls(snippet_errors, snippet):
    assert set(snippet_errors.get(snippet, [])) == {REJECTED[snippet][1]}


def test_the_quorin_package_type_checks_against_the_stub(tmp_path):
    assert mypy(tmp_path, "-p", "quorin") == {}


def written_out(annotation: ast.expr, aliases: dict[str, ast.expr]) -> str:
    """The annotation with the stub's type aliases replaced by what they
    stand for, as the module's signature lines show the types."""

    class WriteOut(ast.NodeTransformer):
        def visit_Name(self, node: ast.Name) -> ast.AST:
            return self.visit(copy.deepcopy(aliases[node.id])) if node.id in aliases else node

    return ast.unparse(WriteOut().visit(copy.deepcopy(annotation)))


def test_stub_matches_the_signature_lines_the_module_shows():
    stub = ast.parse(installed_stub().read_text())
    aliases = {
        node.target.id: node.value
        for node in stub.body
        if isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name) and node.value
    }
    functions = [node for node in stub.body if isinstance(node, ast.FunctionDef)]
    assert {function.name for function in functions} == {
        name for name in dir(quorinbindings) if not name.startswith("_")
    }
    for function in functions:
        parameters = function.args
        assert parameters.args == [] and parameters.kwonlyargs == [], "positional-only"
        assert parameters.vararg is None and parameters.kwarg is None
        shown = ", ".join(
            f"arg{index}: {written_out(parameter.annotation, aliases)}"
            for index, parameter in enumerate(parameters.posonlyargs)
        )
        line = f"{function.name}({shown}) -> {ast.unparse(function.returns)}"
        assert line == getattr(quorinbindings, function.name).__doc__.splitlines()[0]
