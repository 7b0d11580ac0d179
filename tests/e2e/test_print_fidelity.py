"""Quenly's own PDF of a result against LibreOffice printing the very same result workbook, on
the tables of make_print_cases.py: the same texts on every page, "###" only where both show it,
every slip whole on one page in both, words at the same places (so rows grown alike), no text
outside its row; and the .xls formats and default widths arriving in the result."""
import collections
import html
import os
import re
import shutil
import subprocess

import openpyxl
import pytest

from conftest import run_batch
from make_print_cases import make_all

TOOLS = ("soffice", "pdftotext", "pdfinfo")
pytestmark = pytest.mark.skipif(any(shutil.which(t) is None for t in TOOLS),
                                reason="LibreOffice or poppler-utils is not installed")

POINTS_PER_INCH = 72
# Where words of the two PDFs may differ, in points on paper: faces stand in for each other.
NEAR_X = 4.0
NEAR_Y = 3.0
# A LibreOffice profile set to Chinese (China), as a clerk's LibreOffice runs.
LOCALE = """<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry">
<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooSetupSystemLocale" oor:op="fuse">
<value>zh-CN</value></prop></item>
</oor:items>
"""
WORD = re.compile(r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">'
                  r'([^<]*)</word>')
HASHES = re.compile(r"#{2,}")
# Words that show numbers rather than a cell's text as written.
NUMBERLIKE = re.compile(r"^[-+()$￥¥#0-9.,:/%E ]+$")


def words_by_page(pdf, bottom_margin=None):
    """Every page's words as (xMin, yMin, xMax, yMax, text), adjacent words of one line (less
    than a point apart, as faces switch inside a text) joined; with `bottom_margin` (inches),
    the words below it (Quenly's page numbers) left out."""
    out = subprocess.run(["pdftotext", "-bbox", str(pdf), "-"], capture_output=True, text=True,
                         check=True, timeout=120).stdout
    pages = []
    for page in out.split("<page ")[1:]:
        height = float(re.search(r'height="([\d.]+)"', page).group(1))
        end = height - (bottom_margin or 0) * POINTS_PER_INCH if bottom_margin else height
        words = [(float(a), float(b), float(c), float(d), html.unescape(t))
                 for a, b, c, d, t in WORD.findall(page) if float(d) <= end]
        joined = []
        for w in words:
            if joined:
                last = joined[-1]
                middle = (w[1] + w[3]) / 2
                if last[1] < middle < last[3] and -0.5 <= w[0] - last[2] < 1:
                    joined[-1] = (last[0], min(last[1], w[1]), w[2], max(last[3], w[3]),
                                  last[4] + w[4])
                    continue
            joined.append(w)
        pages.append(joined)
    return pages


def across(a, b):
    """How far apart two words are down the page: their tops, middles or bottoms, whichever are
    nearest (the PDFs give a face's height as their fonts say, which differ between faces)."""
    return min(abs(a[1] - b[1]), abs(a[3] - b[3]), abs(a[1] + a[3] - b[1] - b[3]) / 2)


def characters(words):
    """The characters a page shows, a run of '#' counting as one "###"."""
    text = "".join(HASHES.sub("\x01", w[4]) for w in words)
    return collections.Counter(c for c in text if not c.isspace())


@pytest.fixture(scope="module")
def printed(batch, tmp_path_factory):
    """Every case exported as a result workbook and as Quenly's PDF, and the result workbook and
    the .xlsx/.xls sources printed by LibreOffice: {name: (case, source, result, quenly pdf,
    libreoffice pdf)}."""
    folder = tmp_path_factory.mktemp("fidelity")
    made = {}
    for source, case in make_all(folder / "sources").items():
        name = case.name
        result = folder / ("slips-" + name + ".xlsx")
        own = folder / ("slips-" + name + ".quenly.pdf")
        for target in (result, own):
            done = run_batch(batch, source, target, *case.batch_args())
            assert done.returncode == 0, (name, done.stderr)
        made[name] = (case, source, result, own, folder / ("slips-" + name + ".pdf"))
    profile = folder / "profile"
    os.makedirs(profile / "user")
    (profile / "user" / "registrymodifications.xcu").write_text(LOCALE)
    printed_sources = [str(made[n][1]) for n in ("no_widths", "no_widths_xls")]
    subprocess.run(["soffice", "--headless", "-env:UserInstallation=file://%s" % profile,
                    "--convert-to", "pdf", "--outdir", str(folder / "lo"),
                    *[str(m[2]) for m in made.values()], *printed_sources],
                   capture_output=True, timeout=600, check=True)
    for m in made.values():
        os.replace(folder / "lo" / m[4].name, m[4])
    return made, folder / "lo"


def page_setup(result):
    """The result's sheet, its print scale (a part of 1), top margin and page breaks."""
    ws = openpyxl.load_workbook(result).active
    breaks = [0] + sorted(b.id for b in ws.row_breaks.brk)
    return ws, int(ws.page_setup.scale) / 100, ws.page_margins, breaks


def row_bands(ws, scale, top_margin, breaks, pages):
    """Each printed row's band on its page, (page, top, bottom) in points, as the result's
    heights and breaks place it."""
    default = ws.sheet_format.defaultRowHeight or 15
    bands = {}
    starts = breaks + [ws.max_row]
    for page in range(pages):
        y = top_margin * POINTS_PER_INCH
        for r in range(starts[page] + 1, starts[page + 1] + 1 if page + 1 < len(starts) else
                       ws.max_row + 1):
            dim = ws.row_dimensions[r]
            height = 0 if dim.hidden else (dim.height if dim.height is not None else default)
            bands[r] = (page, y, y + height * scale)
            y += height * scale
    return bands


def row_texts(ws):
    """The texts each row shows as written, merges giving theirs to all the rows they span."""
    texts = collections.defaultdict(list)
    for row in ws.iter_rows():
        for c in row:
            if isinstance(c.value, str):
                texts[c.row].append(c.value.replace("\n", "").replace(" ", ""))
    for m in ws.merged_cells.ranges:
        value = ws.cell(m.min_row, m.min_col).value
        if isinstance(value, str):
            for r in range(m.min_row, m.max_row + 1):
                texts[r].append(value.replace("\n", "").replace(" ", ""))
    return texts


CASES = ["wrapped_header", "narrow_values", "accounting", "missing_fonts", "hidden_persons",
         "no_widths", "no_widths_xls", "cleared_flags"]


@pytest.mark.parametrize("name", CASES)
def test_quenly_prints_what_libreoffice_prints(printed, name):
    made, _ = printed
    case, _, result, own, theirs = made[name]
    ws, scale, margins, breaks = page_setup(result)
    ours_pages = words_by_page(own, margins.bottom)
    their_pages = words_by_page(theirs, margins.bottom)
    assert len(ours_pages) == len(their_pages) == len(breaks), name
    seen = []
    for number, (ours, their) in enumerate(zip(ours_pages, their_pages), 1):
        where = "%s, page %d" % (name, number)
        # The same texts, and "###" only where the other shows it too.
        assert characters(ours) == characters(their), where
        # Every slip whole on the page: as many header markers as persons, in order.
        for words in (ours, their):
            names = [p for p in case.persons if any(w[4].startswith(p) for w in words)]
            markers = sum(w[4].count(case.marker) for w in words)
            assert names and markers == len(names), (where, names, markers)
        seen += [p for p in case.persons if any(w[4].startswith(p) for w in ours)]
        # Each word where LibreOffice puts it: rows grown alike, texts aligned, filled and
        # spaced alike. Lines of wrapped texts may break at other characters (LibreOffice ends a
        # line with an opening bracket, pango does not), so some words have no twin.
        twins = 0
        for w in ours:
            same = [t for t in their if t[4] == w[4]]
            if not same:
                continue
            twins += 1
            best = min(same, key=lambda t: across(t, w) + min(abs(t[0] - w[0]), abs(t[2] - w[2])))
            assert across(best, w) <= NEAR_Y, (where, w, best)
            assert abs(best[0] - w[0]) <= NEAR_X or abs(best[2] - w[2]) <= NEAR_X, (where, w, best)
        assert twins >= 0.8 * len(ours), (where, twins, len(ours))
    assert seen == case.persons, name


@pytest.mark.parametrize("name", CASES)
def test_no_text_leaves_its_row(printed, name):
    """A word of a text lies in the band of the row that holds the text, in both PDFs: a row too
    low for its lines would push them into the row above."""
    made, _ = printed
    _, _, result, own, theirs = made[name]
    ws, scale, margins, breaks = page_setup(result)
    texts = row_texts(ws)
    for pdf in (own, theirs):
        pages = words_by_page(pdf, margins.bottom)
        bands = row_bands(ws, scale, margins.top, breaks, len(pages))
        for r, (page, top, bottom) in bands.items():
            for w in pages[page]:
                middle = (w[1] + w[3]) / 2
                if not top <= middle < bottom or NUMBERLIKE.match(w[4]):
                    continue
                assert any(w[4] in t for t in texts[r]), (pdf.name, r, w, texts[r])


def test_default_widths_print_as_wide_as_the_source(printed):
    """A sheet without column widths: the slips' columns as wide as the source's columns, as
    LibreOffice prints both (the distance from the first column's text to the fourth's)."""
    made, lo = printed
    for name, expected in (("no_widths", 10 + 5 / 8), ("no_widths_xls", 10 + 232.04 / 256)):
        _, source, result, _, theirs = made[name]
        ws = openpyxl.load_workbook(result).active
        for column in range(1, 5):
            dim = next(d for d in ws.column_dimensions.values() if d.min <= column <= d.max)
            assert dim.width == pytest.approx(expected, abs=0.01), (name, column)
        source_pdf = lo / (os.path.splitext(os.path.basename(source))[0] + ".pdf")

        def span(words):
            first = next(w for w in words if w[4] == "姓名")
            fourth = next(w for w in words if w[4] == "实发")
            return fourth[0] - first[0]

        source_span = span(words_by_page(source_pdf)[0])
        result_span = span(words_by_page(theirs)[0]) / (int(ws.page_setup.scale) / 100)
        assert result_span == pytest.approx(source_span, rel=0.02), name


def test_xls_formats_with_cleared_flags_arrive_in_the_result(printed):
    made, _ = printed
    ws = openpyxl.load_workbook(made["cleared_flags"][2]).active
    head = ws["A1"]
    assert head.font.b and head.font.name == "Tahoma"
    assert head.font.color.rgb == "FFFFFFFF"
    assert head.fill.patternType == "solid" and head.fill.fgColor.rgb == "FF000080"
    assert head.border.left.style == "thin" and head.border.left.color.rgb == "FF808080"
    assert head.alignment.horizontal == "center"
    assert ws["B2"].number_format == "#,##0.00"


def test_hidden_persons_show_and_a_hidden_header_row_stays_hidden(printed):
    made, _ = printed
    case, _, result, _, _ = made["hidden_persons"]
    ws = openpyxl.load_workbook(result).active
    period = case.header_rows + 2
    for k, person in enumerate(case.persons):
        top = k * period + 1
        assert ws.row_dimensions[top + 1].hidden, "header row 2 of slip %d" % k
        assert ws.cell(top + case.header_rows, 1).value == person
        assert not ws.row_dimensions[top + case.header_rows].hidden, person
