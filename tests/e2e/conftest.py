"""Shared helpers of the end-to-end tests: running quenly-batch and comparing cells."""
import hashlib
import os
import shutil
import subprocess

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE_DIR = os.environ.get("QUENLY_SOURCE_DIR", os.path.dirname(os.path.dirname(HERE)))
BATCH = os.environ.get("QUENLY_BATCH", os.path.join(SOURCE_DIR, "build", "bin", "quenly-batch"))


@pytest.fixture(scope="session")
def batch():
    if not os.path.exists(BATCH):
        pytest.fail("quenly-batch not found at %s (set QUENLY_BATCH)" % BATCH)
    return BATCH


def run_batch(batch, *args, cwd=None):
    """Runs quenly-batch with `args`; returns the finished process (text output)."""
    return subprocess.run([batch, *map(str, args)], capture_output=True, text=True, cwd=cwd,
                          timeout=300)


def private_batch(batch, directory, ini_text=None):
    """A copy of quenly-batch in `directory`, so that its sys.ini is the test's own."""
    copy = os.path.join(directory, "quenly-batch")
    shutil.copy2(batch, copy)
    if ini_text is not None:
        with open(os.path.join(directory, "sys.ini"), "wb") as f:
            f.write(ini_text.replace("\n", "\r\n").encode("utf-8"))
    return copy


def file_state(path):
    """The bytes' hash and the modification time of a file."""
    with open(path, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    return digest, os.stat(path).st_mtime_ns


def color_of(color):
    """An openpyxl colour as comparable text, or None for theme, indexed or missing colours."""
    if color is None or color.type != "rgb" or not isinstance(color.rgb, str):
        return None
    return color.rgb.upper()


def look(cell):
    """Everything a slip must keep of a cell: value and format."""
    font, fill, border, align = cell.font, cell.fill, cell.border, cell.alignment
    return {
        "value": cell.value,
        "font": (font.name, float(font.sz or 11), bool(font.b), bool(font.i),
                 font.u or None, bool(font.strike), color_of(font.color)),
        "fill": (fill.patternType or None,
                 color_of(fill.fgColor) if fill.patternType else None),
        "border": tuple((side.style or None, color_of(side.color) if side.style else None)
                        for side in (border.left, border.right, border.top, border.bottom)),
        "alignment": (align.horizontal or None, align.vertical or None, bool(align.wrap_text)),
        "number_format": cell.number_format,
    }


def assert_same_look(src, dst, where):
    a, b = look(src), look(dst)
    for key in a:
        if key == "font" and a[key][-1] is None:
            # A theme colour becomes RGB in the result; the rest of the font must match.
            assert a[key][:-1] == b[key][:-1], "%s %s: %r != %r" % (where, key, a[key], b[key])
            continue
        assert a[key] == b[key], "%s %s: source %r, result %r" % (where, key, a[key], b[key])
