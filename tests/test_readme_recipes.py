"""Every recipe in the README runs verbatim and prints what the README shows.

A recipe is a ```python block right after the line <!-- recipe -->; a ```text
block right after it is its exact output. It runs as a script would, with
__name__ set to "__main__". A recipe whose imports are missing (numpy, pandas,
scipy, networkx and dask are optional) is skipped.
"""

import ast
import contextlib
import io
import re
from pathlib import Path

import pytest

README = Path(__file__).resolve().parent.parent / "README.md"
RECIPE = re.compile(r"<!-- recipe -->\n```python\n(.*?)```\n(?:```text\n(.*?)```\n)?", re.DOTALL)


def recipes():
    text = README.read_text(encoding="utf-8")
    found = []
    for match in RECIPE.finditer(text):
        line = text.count("\n", 0, match.start()) + 2
        found.append(pytest.param(match.group(1), match.group(2), id=f"README.md:{line}"))
    return found


def imported_modules(code):
    """The full names of the modules the code imports: dask.distributed is a package of its own
    (distributed), so dask alone does not make it importable."""
    names = set()
    for node in ast.walk(ast.parse(code)):
        if isinstance(node, ast.Import):
            names.update(alias.name for alias in node.names)
        elif isinstance(node, ast.ImportFrom):
            names.add(node.module)
    return names


def test_the_readme_has_recipes():
    assert len(recipes()) >= 6


@pytest.mark.parametrize("code, expected", recipes())
def test_recipe_runs_and_prints_what_the_readme_shows(code, expected):
    for name in imported_modules(code):
        pytest.importorskip(name)
    output = io.StringIO()
    with contextlib.redirect_stdout(output):
        exec(compile(code, str(README), "exec"), {"__name__": "__main__"})
    if expected is not None:
        assert output.getvalue() == expected
