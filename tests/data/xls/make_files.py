"""Makes the hand-built .xls test files of this folder: BIFF8 and BIFF5 workbooks whose every
record is known, and broken ones named after their fault.
Run: /usr/bin/python3 tests/data/xls/make_files.py (writes beside this script)."""
import os
import struct

from biff_writer import (END, EOF_REC, Cfb, bof, boundsheet, bytestr, cell, font, number, rec,
                         rk, rk_int, standard_fonts, standard_xfs, u16, u32, uni, workbook_stream,
                         xf5, xf8)

# Colours 8-63 of the default palette, as RGB.
DEFAULT_PALETTE = [
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
]

HERE = os.path.dirname(os.path.abspath(__file__))


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


# ---- BIFF8: every record kind the reader knows ------------------------------------------------

def sst_records():
    """An SST whose strings cross CONTINUE boundaries, switching between compressed and
    uncompressed characters at each one."""
    a, b, c, d = 8000, 100, 50, 30
    s0 = uni("Plain")
    s1 = uni("工资")
    # Rich text with ext data: "Bold and red": font 5 from 0, font 6 from 4.
    text = "Bold and red"
    s2 = u16(len(text)) + bytes([0x0C]) + u16(2) + u32(4) + text.encode("latin-1") + \
        u16(0) + u16(5) + u16(4) + u16(6) + b"\xAA\xBB\xCC\xDD"
    head = u32(10) + u32(6)
    seg1 = head + s0 + s1 + s2 + u16(a + b) + b"\x00" + b"A" * a
    seg2 = b"\x01" + ("中" * b).encode("utf-16-le") + u16(c + d) + b"\x01" + \
        ("文" * c).encode("utf-16-le")
    seg3 = b"\x00" + b"Z" * d + uni("last")
    return rec(0x00FC, seg1) + rec(0x003C, seg2) + rec(0x003C, seg3) + rec(0x00FF, u16(8))


def biff8_globals():
    recs = [rec(0x0042, u16(1200)), rec(0x003D, struct.pack("<HHHHHHHHH", 0, 0, 0, 0, 0x38, 1, 0, 1, 600)),
            rec(0x0022, u16(1))]
    recs += standard_fonts(8)
    recs.append(font(8, "Times New Roman", 280, italic=True, bold=True, underline=1, color=10))
    recs.append(font(8, "宋体", 240, strike=True, escapement=1, color=12, family=2, charset=134))
    recs.append(rec(0x041E, u16(164) + uni("0.000_ ")))
    xfs = standard_xfs(8)
    # Style XF 1 differs from cell XF 18, whose flags are all clear; style XF 2 marks every
    # group invalid.
    xfs[1] = xf8(style=True, used=0, font_idx=6, fmt=14, pattern=3, fg=10, bg=9)
    xfs[2] = xf8(style=True, used=0x3F, font_idx=6, fmt=10)
    xfs.append(xf8(font_idx=5, fmt=164, horiz=2, vert=0, wrap=True, rot=45, indent=2,
                   left=1, lc=10, right=2, rc=8, top=3, tc=8, bottom=6, bc=12, diag=7, dc=8,
                   ddown=True, pattern=1, fg=13, bg=65))  # 16
    xfs.append(xf8(left=1, right=1, top=1, bottom=1))  # 17
    xfs.append(xf8(parent=1, used=0, font_idx=0, fmt=0, pattern=0))  # 18
    xfs.append(xf8(fmt=14, rot=255, horiz=3, vert=1))  # 19
    xfs.append(xf8(pattern=17, fg=8, bg=9, locked=False, hidden=True))  # 20
    xfs.append(xf8(parent=2, used=0, font_idx=5, fmt=2))  # 21
    recs += xfs
    palette = list(DEFAULT_PALETTE)
    palette[2] = 0x123456  # colour 10 becomes #123456
    recs.append(rec(0x0092, u16(56) + b"".join(bytes([v >> 16, (v >> 8) & 0xFF, v & 0xFF, 0])
                                                for v in palette)))
    recs.append(sst_records())
    return recs


def biff8_sheet():
    body = [rec(0x0055, u16(10)), rec(0x0225, u16(0) + u16(300)),
            rec(0x007D, struct.pack("<HHHHHH", 0, 1, 5120, 15, 0, 0)),
            rec(0x007D, struct.pack("<HHHHHH", 3, 3, 2560, 15, 1, 0)),
            rec(0x007D, struct.pack("<HHHHHH", 5, 5, 2560, 17, 0, 0)),
            rec(0x0200, struct.pack("<IIHHH", 0, 8, 0, 7, 0)),
            rec(0x0208, struct.pack("<HHHHHHI", 0, 0, 5, 600, 0, 0, 0x40 | 0x100)),
            rec(0x0208, struct.pack("<HHHHHHI", 1, 0, 5, 255, 0, 0, 0x100)),
            rec(0x0208, struct.pack("<HHHHHHI", 2, 0, 6, 255, 0, 0, 0x20 | 0x100))]
    for col, idx in enumerate([0, 1, 2, 3, 4]):
        body.append(cell(0x00FD, 0, col, 16 if col == 0 else 15, u32(idx)))
    body += [number(1, 0, 15, 3.5), rk(1, 1, 15, rk_int(42)), rk(1, 2, 15, (1234 << 2) | 3),
             rk(1, 3, 15, 0x3FE00000), rk(1, 4, 15, (rk_int(-7)) & 0xFFFFFFFF)]
    body.append(rec(0x00BD, struct.pack("<HH", 2, 0) + b"".join(
        struct.pack("<HI", xf, rk_int(v)) for xf, v in [(15, 1), (18, 2), (19, 3)]) + u16(2)))
    body.append(rec(0x00BE, struct.pack("<HHHHHH", 2, 3, 17, 17, 20, 5)))
    body += [cell(0x0205, 3, 0, 15, bytes([1, 0])), cell(0x0205, 3, 1, 15, bytes([0x07, 1])),
             cell(0x0204, 3, 2, 21, uni("标签")),
             cell(0x00D6, 3, 3, 15, uni("RichLabel") + u16(1) + u16(4) + u16(5))]
    fml = b"\x00" * 6 + b"\x03\x00\x1e\x01\x00"  # flags, chn, and a formula (=1)

    def formula(row, col, result):
        return cell(0x0006, row, col, 15, result + fml)

    text_result = bytes([0, 0, 0, 0, 0, 0, 0xFF, 0xFF])
    body += [formula(4, 0, struct.pack("<d", 99.5)),
             formula(4, 1, text_result), rec(0x04BC, b"\x00" * 10),
             rec(0x0207, uni("公式文本")),
             formula(4, 2, bytes([1, 0, 1, 0, 0, 0, 0xFF, 0xFF])),
             formula(4, 3, bytes([2, 0, 0x2A, 0, 0, 0, 0xFF, 0xFF])),
             formula(4, 4, bytes([3, 0, 0, 0, 0, 0, 0xFF, 0xFF])),
             formula(4, 5, text_result), number(4, 6, 15, 7.0)]
    # An embedded chart's substream: nothing in it belongs to the sheet.
    body += [bof(8, 0x0020), number(50, 0, 15, 1.0), EOF_REC]
    body.append(rec(0x00E5, u16(3) + struct.pack("<HHHH", 6, 7, 0, 2) +
                    struct.pack("<HHHH", 9, 8, 0, 0) + struct.pack("<HHHH", 10, 10, 1, 1)))
    return b"".join(body)


def biff8_stream():
    # STANDARDWIDTH gives the default width; the DEFCOLWIDTH after it changes nothing.
    second = rec(0x0099, u16(2400)) + rec(0x0055, u16(12)) + number(0, 0, 15, 5.0)
    return workbook_stream(8, biff8_globals(),
                           [("工资表", 0, biff8_sheet()), ("Second", 0, second),
                            ("Chart1", 2, None)])


write("biff8_records.xls", Cfb([("Workbook", biff8_stream())]).build())
write("biff8_records_v4.xls", Cfb([("Workbook", biff8_stream())], version=4).build())


# ---- BIFF5 with code page 936 ---------------------------------------------------------------

def biff5_stream(codepage_record=True):
    cp = "cp936"
    recs = [rec(0x0042, u16(936))] if codepage_record else []
    recs += standard_fonts(5, "宋体", cp, 134)
    recs.append(font(5, "黑体", 280, bold=True, color=10, charset=134, codepage=cp))
    recs.append(rec(0x041E, u16(164) + bytestr('0.00"元"', cp)))
    xfs = standard_xfs(5)
    xfs.append(xf5(font_idx=5, fmt=164, horiz=2, vert=1, wrap=True, orient=1,
                   left=1, right=2, top=5, bottom=6, lc=8, rc=10, tc=12, bc=8,
                   pattern=1, fg=13, bg=65))  # 16
    xfs.append(xf5(orient=2))  # 17
    recs += xfs
    body = [rec(0x007D, struct.pack("<HHHHHH", 0, 0, 3000, 15, 0, 0)),
            rec(0x007D, struct.pack("<HHHHHH", 2, 2, 4000, 15, 1, 0)),
            rec(0x0208, struct.pack("<HHHHHHI", 0, 0, 3, 570, 0, 0, 0x40 | 0x100)),
            cell(0x0204, 0, 0, 16, bytestr("姓名", cp, 2)),
            cell(0x0204, 0, 1, 17, bytestr("基本工资", cp, 2)),
            cell(0x0204, 1, 0, 15, bytestr("张三", cp, 2)),
            number(1, 1, 16, 5000.5), rk(1, 2, 15, rk_int(12)),
            # "加班费合计": the run of font 5 starts at byte 6 (the fourth character).
            cell(0x00D6, 2, 0, 15, bytestr("加班费合计", cp, 2) + bytes([1, 6, 5])),
            cell(0x0006, 2, 1, 15, bytes([0, 0, 0, 0, 0, 0, 0xFF, 0xFF]) +
                 b"\x00" * 6 + b"\x03\x00\x1e\x01\x00"),
            rec(0x0207, bytestr("合计", cp, 2)),
            # Runs that count characters: a byte position 1 would split "张".
            cell(0x00D6, 3, 0, 15, bytestr("张三丰", cp, 2) + bytes([1, 1, 5]))]
    return workbook_stream(5, recs, [("工资表", 0, b"".join(body)), ("说明", 0, b"")])


write("biff5_cp936.xls", Cfb([("Book", biff5_stream())]).build())

# No CODEPAGE record: the GB2312 character set of the fonts tells the code page.
write("biff5_gbk_without_codepage.xls", Cfb([("Book", biff5_stream(False))]).build())

broken = Cfb([("Book", biff5_stream())])
broken.minifat[len(broken.minifat) // 2] = broken.sector_of("Book")
write("minifat_chain_loop.xls", broken.build())
broken = Cfb([("Book", biff5_stream())])
broken.minifat[0] = 9999
write("minifat_sector_out_of_range.xls", broken.build())


# ---- Broken files, each named after its fault ------------------------------------------------

def small_stream(extra_globals=(), cells=None):
    recs = standard_fonts(8) + standard_xfs(8) + [rec(0x00FC, u32(1) + u32(1) + uni("x"))]
    recs += list(extra_globals)
    # A padding record keeps the stream out of the mini stream, in sectors of its own.
    recs.append(rec(0x005C, b"\x00" * 5000))
    body = cells if cells is not None else cell(0x00FD, 0, 0, 15, u32(0)) + number(0, 1, 15, 2.0)
    return workbook_stream(8, recs, [("Sheet1", 0, body)])


def small_cfb(stream=None):
    return Cfb([("Workbook", stream if stream is not None else small_stream())])


def chain_of(cfb, name):
    s = cfb.sector_of(name)
    out = []
    while s != END:
        out.append(s)
        s = cfb.fat[s]
    return out


good = small_cfb()
write("small.xls", good.build())
whole = good.build()
write("truncated.xls", whole[: len(whole) * 6 // 10])
write("truncated_tail.xls", whole[: len(whole) - 700])
write("header_only.xls", whole[:100])

broken = small_cfb()
chain = chain_of(broken, "Workbook")
broken.fat[chain[len(chain) // 2]] = chain[0]
write("fat_chain_loop.xls", broken.build())

broken = small_cfb()
broken.fat[chain_of(broken, "Workbook")[0]] = 5000
write("fat_sector_out_of_range.xls", broken.build())

broken = small_cfb()
broken.fat[chain_of(broken, "Workbook")[0]] = END
write("fat_chain_ends_early.xls", broken.build())

data = bytearray(small_cfb().build())
# The directory starts at the sector after the FAT: make stream entry 1 its own right sibling.
dir_offset = (good.starts["dir"] + 1) * 512
struct.pack_into("<I", data, dir_offset + 128 + 0x48, 1)
write("directory_loop.xls", bytes(data))

stream = bytearray(small_stream())
struct.pack_into("<H", stream, len(stream) - 2, 100)  # the last EOF claims 100 bytes
write("record_past_end.xls", small_cfb(bytes(stream)).build())

write("short_labelsst.xls", small_cfb(small_stream(cells=cell(0x00FD, 0, 0, 15))).build())
write("sst_index_out_of_range.xls",
      small_cfb(small_stream(cells=cell(0x00FD, 0, 0, 15, u32(99)))).build())

stream = small_stream()
write("sheet_without_eof.xls", small_cfb(stream[:-4]).build())

write("filepass.xls", small_cfb(small_stream(extra_globals=[rec(0x002F, u16(1) + b"\x00" * 52)])).build())
write("encrypted_package.xls", Cfb([("EncryptionInfo", b"\x04\x00\x04\x00" + b"\x00" * 60),
                                    ("EncryptedPackage", b"\x00" * 5000)]).build())
write("word_document.xls", Cfb([("WordDocument", b"\xEC\xA5" + b"\x00" * 5000)]).build())
write("biff4.xls", Cfb([("Workbook", rec(0x0409, struct.pack("<HHH", 0, 0x10, 0)) + EOF_REC + b"\x00" * 5000)]).build())

stream = bytearray(small_stream())
# The BOUNDSHEET's stream position: the first record with id 0x0085.
pos = 0
while struct.unpack_from("<H", stream, pos)[0] != 0x0085:
    pos += 4 + struct.unpack_from("<H", stream, pos + 2)[0]
struct.pack_into("<I", stream, pos + 4, 999999)
write("boundsheet_out_of_range.xls", small_cfb(bytes(stream)).build())

# 110 FAT sectors: the last one's number is found through a DIFAT sector.
many = Cfb([("Workbook", small_stream())], extra_fat_sectors=110)
write("difat_110_fat_sectors.xls", many.build())
# 237 FAT sectors need two DIFAT sectors; the first names itself as the next one.
many = Cfb([("Workbook", small_stream())], extra_fat_sectors=237)
data = bytearray(many.build())
difat_sector = many.nfat
struct.pack_into("<I", data, (difat_sector + 1) * 512 + 508, difat_sector)
write("difat_chain_loop.xls", bytes(data))
