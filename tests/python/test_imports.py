"""No module of the package imports, however indirectly, a module that imports
it back: imports inside functions count too, since they only put the circle
off until the call."""

import ast
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2] / "python"


def module_name(path, root):
    parts = list(path.relative_to(root).with_suffix("").parts)
    return ".".join(parts[:-1] if parts[-1] == "__init__" else parts)


def bound_names(tree):
    """The names that the top level of a module binds (what `from PKG import
    name` takes from a package's __init__ rather than from a module file)."""
    names = set()
    for node in tree.body:
        if isinstance(node, (ast.Import, ast.ImportFrom)):
            names.update((a.asname or a.name).split(".")[0] for a in node.names)
        elif isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            names.add(node.name)
        elif isinstance(node, ast.Assign):
            names.update(t.id for t in node.targets if isinstance(t, ast.Name))
    return names


def import_graph(root=ROOT, package="periodscan"):
    trees = {module_name(p, root): (p, ast.parse(p.read_text()))
             for p in (root / package).rglob("*.py")}
    graph = {}
    for name, (path, tree) in trees.items():
        here = name if path.name == "__init__.py" else name.rpartition(".")[0]
        targets = set()
        for node in ast.walk(tree):
            if isinstance(node, ast.Import):
                targets.update(a.name for a in node.names)
            elif isinstance(node, ast.ImportFrom):
                base = node.module or ""
                if node.level:
                    up = here.split(".")[:len(here.split(".")) - node.level + 1]
                    base = ".".join(up + ([node.module] if node.module else []))
                for a in node.names:
                    sub = base + "." + a.name
                    if sub in trees:
                        targets.add(sub)
                    elif base not in trees or a.name in bound_names(trees[base][1]):
                        targets.add(base)
                    # else a compiled module of the package (the engine)
        graph[name] = {t for t in targets if t in trees and t != name}
    return graph


def circles(graph):
    """One circle (a list of modules, the first repeated at the end) through
    every module that lies on one."""
    found, state = [], {}

    def visit(node, path):
        state[node] = "open"
        for nxt in sorted(graph[node]):
            if state.get(nxt) == "open":
                found.append(path[path.index(nxt):] + [nxt])
            elif nxt not in state:
                visit(nxt, path + [nxt])
        state[node] = "done"

    for node in sorted(graph):
        if node not in state:
            visit(node, [node])
    return found


@pytest.mark.parametrize("modules, expected", [
    ({"a": "import p.b", "b": "def f():\n    from . import a\n"}, [["p.a", "p.b", "p.a"]]),
    ({"__init__": "from .a import f", "a": "from p import _compiled\ndef f(): pass"}, []),
    ({"__init__": "x = 1\nfrom .a import f", "a": "from p import x\ndef f(): pass"},
     [["p", "p.a", "p"]]),
])
def test_the_checker_sees_circles(tmp_path, modules, expected):
    (tmp_path / "p").mkdir()
    (tmp_path / "p" / "__init__.py").write_text("")
    for name, text in modules.items():
        (tmp_path / "p" / (name + ".py")).write_text(text)
    assert circles(import_graph(tmp_path, "p")) == expected


def test_no_import_circle_in_the_package():
    assert circles(import_graph()) == []
