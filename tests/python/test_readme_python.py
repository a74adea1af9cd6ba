"""The README's Python section runs as written, from a folder beside
examples/, and the numbers its comments give are the ones it computes."""

import ast
import math
import os
import re
from pathlib import Path

import pytest

from periodscan.periodogram import engine

ROOT = Path(__file__).resolve().parents[2]
# `expression  # 1.3e-220` or `# 1: why`: a number opening the comment.
NUMBER_COMMENT = re.compile(r"#\s*([-+]?\d+(?:\.\d+)?(?:e[-+]?\d+)?)(?::|\s|$)")


def python_blocks():
    text = (ROOT / "README.md").read_text()
    section = text.split("\n## Python\n", 1)[1].split("\n## ", 1)[0]
    return re.findall(r"```python\n(.*?)```", section, re.S)


def significant_digits(number):
    mantissa = number.lower().split("e")[0].lstrip("+-").replace(".", "").lstrip("0")
    return max(len(mantissa), 1)


def claims(block):
    """(line, expression, number) for each expression line whose comment
    opens with a number."""
    for line in block.splitlines():
        found = NUMBER_COMMENT.search(line)
        if not found:
            continue
        code = line[:found.start()].strip()
        try:
            tree = ast.parse(code)
        except SyntaxError:
            continue
        if len(tree.body) == 1 and isinstance(tree.body[0], ast.Expr):
            yield line, code, found.group(1)


def test_readme_python_section_runs_as_written(tmp_path, monkeypatch):
    try:
        engine()
    except ImportError:
        pytest.skip("periodscan._engine is not built")
    (tmp_path / "examples").symlink_to(ROOT / "examples")
    (tmp_path / "scratch").mkdir()
    monkeypatch.chdir(tmp_path / "scratch")
    monkeypatch.setitem(os.environ, "MPLBACKEND", "Agg")
    namespace = {}
    blocks = python_blocks()
    assert len(blocks) >= 5
    checked = 0
    for block in blocks:
        exec(compile(block, "README.md", "exec"), namespace)
        for line, code, number in claims(block):
            value = float(eval(code, namespace))
            shown = "%.*g" % (significant_digits(number), value)
            assert math.isclose(float(shown), float(number), rel_tol=1e-12), line
            checked += 1
    assert checked >= 8
    written = sorted(p.name for p in Path(".").iterdir())
    assert written == ["blasts-python.png", "blasts.spectrum.tsv"]
