"""Makes hostile .xls files, each named for what it tries: counts that claim far more than the
file holds, CONTINUE records where none belong, cells past the format's last column, formats
that do not exist.
Run: /usr/bin/python3 tests/data/xls/make_hostile.py OUTPUT_DIR"""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from biff_writer import (Cfb, cell, number, rec, standard_fonts, standard_xfs, u16, u32,  # noqa: E402
                         uni, workbook_stream)

CONTINUE = 0x003C
SST = 0x00FC
LABELSST = 0x00FD
MULBLANK = 0x00BE


def book(globals_extra=(), cells=b"", xfs=True):
    recs = standard_fonts(8) + (standard_xfs(8) if xfs else []) + list(globals_extra)
    # A padding record keeps the stream out of the mini stream, in sectors of its own.
    recs.append(rec(0x005C, b"\x00" * 5000))
    return Cfb([("Workbook", workbook_stream(8, recs, [("Sheet1", 0, cells)]))]).build()


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)

    def write(name, data):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)

    two = uni("甲") + uni("乙")
    labels = cell(LABELSST, 0, 0, 15, u32(0)) + cell(LABELSST, 0, 1, 15, u32(1))
    # An SST that claims 2^31 - 1 strings and holds two.
    write("sst_huge_count.xls", book([rec(SST, u32(0x7FFFFFFF) + u32(0x7FFFFFFF) + two)], labels))
    # The second string after twenty thousand CONTINUE records, all but one of them empty.
    first, rest = uni("甲"), uni("乙")
    continues = [rec(CONTINUE) for _ in range(20000)]
    continues.insert(10000, rec(CONTINUE, rest))
    write("sst_many_continues.xls",
          book([rec(SST, u32(2) + u32(2) + first)] + continues, labels))
    # A string that claims 60,000 characters and ends after three, CONTINUE included.
    write("sst_string_past_end.xls",
          book([rec(SST, u32(1) + u32(1) + u16(60000) + b"\x00abc"), rec(CONTINUE, b"\x00de")],
               cell(LABELSST, 0, 0, 15, u32(0))))
    # CONTINUE records that follow nothing they could continue, in the globals and the sheet.
    stray = rec(CONTINUE, b"\xff" * 40)
    write("stray_continue.xls",
          book([stray, rec(SST, u32(1) + u32(1) + uni("丙")), stray],
               stray + cell(LABELSST, 2, 3, 15, u32(0)) + stray + number(4, 0, 15, 7.5)))
    # Cells past IV, the last column of the format: one directly, one by a MULBLANK's run.
    write("cell_past_iv.xls", book(cells=number(0, 0, 15, 1.0) + number(5, 256, 15, 2.0)))
    write("mulblank_past_iv.xls",
          book(cells=rec(MULBLANK, struct.pack("<HH", 9, 250) + u16(15) * 10 + u16(255))))
    # A cell naming XF 999 of a file with sixteen.
    write("xf_out_of_range.xls", book(cells=number(0, 0, 15, 1.0) + number(1, 2, 999, 2.0)))
    # A file without XF records: its cells take the default format, whatever XF they name.
    write("no_xf_records.xls", book(cells=number(0, 0, 15, 3.0), xfs=False))


if __name__ == "__main__":
    main()
