"""Writes generated files: formatted, deterministic, and rewritten only when their text changes."""

from __future__ import annotations

import shutil
import subprocess
import tempfile
from pathlib import Path

from templates import HEADER_LINE


def format_all(files: dict[str, str], clang_format: str | None, style: Path | None
               ) -> dict[str, str]:
    """The texts as clang-format lays them out with the given style file (unchanged without)."""
    if not clang_format or not files:
        return dict(files)
    with tempfile.TemporaryDirectory(prefix="zurav-codegen-") as tmp:
        root = Path(tmp)
        if style is not None:
            shutil.copyfile(style, root / ".clang-format")
        paths = []
        for rel, text in files.items():
            p = root / rel
            p.parent.mkdir(parents=True, exist_ok=True)
            p.write_text(text, encoding="utf-8")
            paths.append(str(p))
        subprocess.run([clang_format, "-i", "--style=file", *paths], check=True)
        return {rel: (root / rel).read_text(encoding="utf-8") for rel in files}


def write_changed(files: dict[str, str], out: Path) -> list[str]:
    """Writes each file whose text differs from what is on disk; returns the paths written.

    Generated files of the same folders that are no longer produced are removed, so that a
    class dropped from the description cannot linger in the build.
    """
    written = []
    for rel, text in sorted(files.items()):
        p = out / rel
        if p.exists() and p.read_text(encoding="utf-8") == text:
            continue
        p.parent.mkdir(parents=True, exist_ok=True)
        tmp = p.with_name(p.name + ".tmp")
        tmp.write_text(text, encoding="utf-8")
        tmp.replace(p)
        written.append(rel)
    for folder in sorted({Path(rel).parent for rel in files}):
        for p in sorted((out / folder).glob("*")):
            rel = str(p.relative_to(out))
            if rel not in files and p.is_file() and _generated(p):
                p.unlink()
    return written


def _generated(p: Path) -> bool:
    try:
        with open(p, encoding="utf-8") as f:
            return f.readline().rstrip("\n") == HEADER_LINE
    except (OSError, UnicodeDecodeError):
        return False
