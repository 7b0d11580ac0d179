"""A small writer of compound files and BIFF5/BIFF8 records, for making .xls test files whose
every byte is known, including deliberately broken ones."""
import math
import struct

END = 0xFFFFFFFE
FREE = 0xFFFFFFFF
FATSECT = 0xFFFFFFFD
DIFSECT = 0xFFFFFFFC
NOSTREAM = 0xFFFFFFFF


class Cfb:
    """The layout of a compound file, kept so tests can break it on purpose."""

    def __init__(self, streams, version=3, extra_fat_sectors=0):
        self.version = version
        self.ss = 512 if version == 3 else 4096
        self.streams = streams  # list of (name, bytes)
        self.extra_fat_sectors = extra_fat_sectors
        self.layout()

    def layout(self):
        ss = self.ss
        mini = bytearray()
        minifat = []
        entries = []  # name, type, start, size
        big = []
        for name, data in self.streams:
            if 0 < len(data) < 4096:
                start = len(mini) // 64
                n = math.ceil(len(data) / 64)
                for i in range(n):
                    minifat.append(start + i + 1 if i < n - 1 else END)
                mini += data + b"\0" * (n * 64 - len(data))
                entries.append([name, 2, start, len(data)])
            else:
                entries.append([name, 2, END if not data else None, len(data)])
                big.append((len(entries) - 1, data))
        # Content blocks in order: directory, mini FAT, mini stream, big streams.
        dir_count = len(entries) + 1
        dir_bytes = math.ceil(dir_count * 128 / ss) * ss
        blocks = [("dir", dir_bytes), ("minifat", len(minifat) * 4), ("mini", len(mini))]
        blocks += [(("stream", i), len(d)) for i, d in big]
        content = sum(math.ceil(n / ss) for _, n in blocks)
        per = ss // 4
        nfat = max(1, self.extra_fat_sectors)
        while True:
            ndifat = math.ceil((nfat - 109) / (per - 1)) if nfat > 109 else 0
            total = content + nfat + ndifat
            need = max(math.ceil(total / per), self.extra_fat_sectors)
            if need <= nfat:
                break
            nfat = need
        self.nfat = nfat
        self.ndifat = ndifat
        fat = [FREE] * (nfat * per)
        for i in range(nfat):
            fat[i] = FATSECT
        for i in range(ndifat):
            fat[nfat + i] = DIFSECT
        next_sector = nfat + ndifat
        starts = {}
        for key, n in blocks:
            k = math.ceil(n / ss)
            if k == 0:
                starts[key] = END
                continue
            starts[key] = next_sector
            for j in range(k):
                fat[next_sector + j] = next_sector + j + 1 if j < k - 1 else END
            next_sector += k
        self.fat = fat
        self.total = next_sector
        self.starts = starts
        self.entries = entries
        for i, _ in big:
            entries[i][2] = starts[("stream", i)]
        self.mini = bytes(mini)
        self.minifat = minifat
        self.big = big

    def sector_of(self, name):
        """The first sector (or mini sector) of a stream."""
        for e in self.entries:
            if e[0] == name:
                return e[2]
        raise KeyError(name)

    def build(self):
        ss = self.ss
        per = ss // 4
        sectors = [bytearray(ss) for _ in range(self.total)]

        def put(start, data):
            for j in range(math.ceil(len(data) / ss)):
                chunk = data[j * ss:(j + 1) * ss]
                sectors[start + j][:len(chunk)] = chunk

        for i in range(self.nfat):
            sectors[i][:] = struct.pack("<%dI" % per, *self.fat[i * per:(i + 1) * per])
        difat_list = list(range(self.nfat))[109:]
        for d in range(self.ndifat):
            vals = difat_list[d * (per - 1):(d + 1) * (per - 1)]
            vals += [FREE] * (per - 1 - len(vals))
            nxt = self.nfat + d + 1 if d < self.ndifat - 1 else END
            sectors[self.nfat + d][:] = struct.pack("<%dI" % per, *(vals + [nxt]))
        # Directory: the root, then each stream as the right sibling of the one before.
        dirb = bytearray()
        root_start = self.starts["mini"]
        dirb += dir_entry("Root Entry", 5, root_start, len(self.mini), child=1 if self.entries else NOSTREAM)
        for i, (name, typ, start, size) in enumerate(self.entries):
            right = i + 2 if i + 1 < len(self.entries) else NOSTREAM
            dirb += dir_entry(name, typ, start, size, right=right)
        while len(dirb) % ss:
            dirb += dir_entry("", 0, 0, 0)
        put(self.starts["dir"], dirb)
        if self.minifat:
            mf = struct.pack("<%dI" % len(self.minifat), *self.minifat)
            put(self.starts["minifat"], mf)
        if self.mini:
            put(self.starts["mini"], self.mini)
        for i, data in self.big:
            put(self.starts[("stream", i)], data)
        header = bytearray(512)
        header[0:8] = bytes.fromhex("D0CF11E0A1B11AE1")
        struct.pack_into("<HHHHH", header, 0x18, 0x3E, self.version, 0xFFFE,
                         9 if self.version == 3 else 12, 6)
        struct.pack_into("<I", header, 0x28, 0 if self.version == 3 else math.ceil(len(dirb) / ss))
        struct.pack_into("<II", header, 0x2C, self.nfat, self.starts["dir"])
        struct.pack_into("<I", header, 0x38, 4096)
        mf_start = self.starts["minifat"] if self.minifat else END
        struct.pack_into("<II", header, 0x3C, mf_start, math.ceil(len(self.minifat) * 4 / ss))
        struct.pack_into("<II", header, 0x44, self.nfat if self.ndifat else END, self.ndifat)
        difat = list(range(min(self.nfat, 109))) + [FREE] * (109 - min(self.nfat, 109))
        struct.pack_into("<109I", header, 0x4C, *difat)
        if self.version == 4:
            header += bytes(4096 - 512)
        return bytes(header) + b"".join(bytes(s) for s in sectors)


def dir_entry(name, typ, start, size, left=NOSTREAM, right=NOSTREAM, child=NOSTREAM):
    e = bytearray(128)
    if typ == 0:
        struct.pack_into("<III", e, 0x44, NOSTREAM, NOSTREAM, NOSTREAM)
        return e
    n = name.encode("utf-16-le")
    e[0:len(n)] = n
    struct.pack_into("<HBB", e, 0x40, len(n) + 2, typ, 1)
    struct.pack_into("<III", e, 0x44, left, right, child)
    struct.pack_into("<IQ", e, 0x74, start, size)
    return e


# ---- BIFF records ----------------------------------------------------------------------------

def rec(rid, data=b""):
    return struct.pack("<HH", rid, len(data)) + data


def u16(v):
    return struct.pack("<H", v)


def u32(v):
    return struct.pack("<I", v)


def uni(text, lenbytes=2, force_wide=None):
    """An XLUnicodeString: count, flags, characters (compressed when all fit Latin-1)."""
    wide = force_wide if force_wide is not None else any(ord(c) > 255 for c in text)
    head = (u16(len(text)) if lenbytes == 2 else bytes([len(text)]))
    return head + bytes([1 if wide else 0]) + (text.encode("utf-16-le") if wide else text.encode("latin-1"))


def bytestr(text, codepage, lenbytes=1):
    b = text.encode(codepage)
    return (u16(len(b)) if lenbytes == 2 else bytes([len(b)])) + b


def bof(version, dt):
    if version == 8:
        return rec(0x0809, struct.pack("<HHHHII", 0x0600, dt, 0x0DBB, 0x07CC, 0, 6))
    return rec(0x0809, struct.pack("<HHHH", 0x0500, dt, 0x0DBB, 0x07CC))


EOF_REC = rec(0x000A)


def font(version, name, height=200, italic=False, strike=False, color=0x7FFF, bold=False,
         escapement=0, underline=0, family=0, charset=0, codepage="cp1252"):
    opts = (0x02 if italic else 0) | (0x08 if strike else 0)
    head = struct.pack("<HHHHHBBBB", height, opts, color, 700 if bold else 400, escapement,
                       underline, family, charset, 0)
    if version == 8:
        return rec(0x0031, head + uni(name, 1))
    return rec(0x0031, head + bytestr(name, codepage))


def xf8(font_idx=0, fmt=0, style=False, parent=0, locked=True, hidden=False, used=0x3F,
        horiz=0, wrap=False, vert=2, rot=0, indent=0, shrink=False,
        left=0, right=0, top=0, bottom=0, lc=64, rc=64, tc=64, bc=64,
        diag=0, dc=64, ddown=False, dup=False, pattern=0, fg=64, bg=65):
    prot = (1 if locked else 0) | (2 if hidden else 0) | (4 if style else 0) | \
        ((0xFFF if style else parent) << 4)
    b1 = left | right << 4 | top << 8 | bottom << 12 | lc << 16 | rc << 23 | \
        (1 << 30 if ddown else 0) | (1 << 31 if dup else 0)
    b2 = tc | bc << 7 | dc << 14 | diag << 21 | pattern << 26
    return rec(0x00E0, struct.pack("<HHHBBBBIIH", font_idx, fmt, prot,
                                   horiz | (8 if wrap else 0) | vert << 4, rot,
                                   indent | (0x10 if shrink else 0), used << 2, b1, b2,
                                   fg | bg << 7))


def xf5(font_idx=0, fmt=0, style=False, parent=0, locked=True, used=0x3F, horiz=0, wrap=False,
        vert=2, orient=0, left=0, right=0, top=0, bottom=0, lc=64, rc=64, tc=64, bc=64,
        pattern=0, fg=64, bg=65):
    prot = (1 if locked else 0) | (4 if style else 0) | ((0xFFF if style else parent) << 4)
    a = fg | bg << 7 | pattern << 16 | bottom << 22 | bc << 25
    b = top | left << 3 | right << 6 | tc << 9 | lc << 16 | rc << 23
    return rec(0x00E0, struct.pack("<HHHBBII", font_idx, fmt, prot,
                                   horiz | (8 if wrap else 0) | vert << 4, orient | used << 2, a, b))


def boundsheet(version, pos, name, typ=0, codepage="cp1252"):
    head = struct.pack("<IBB", pos, 0, typ)
    if version == 8:
        return rec(0x0085, head + uni(name, 1))
    return rec(0x0085, head + bytestr(name, codepage))


def workbook_stream(version, globals_recs, sheets):
    """globals_recs: records after BOF (BOUNDSHEETs are added); sheets: list of
    (name, type, body records or None for a name only)."""
    g = bof(version, 0x0005) + b"".join(globals_recs)
    # BOUNDSHEET sizes are known before the positions, so lay out twice.
    bs_placeholder = b"".join(boundsheet(version, 0, n, t, "cp936" if version == 5 else "cp1252")
                              for n, t, _ in sheets)
    pos = len(g) + len(bs_placeholder) + len(EOF_REC)
    bodies = []
    bss = []
    for name, typ, body in sheets:
        sub = bof(version, 0x0010 if typ == 0 else 0x0020) + (body or b"") + EOF_REC
        bss.append(boundsheet(version, pos, name, typ, "cp936" if version == 5 else "cp1252"))
        bodies.append(sub)
        pos += len(sub)
    return g + b"".join(bss) + EOF_REC + b"".join(bodies)


def cell(rid, row, col, xf, data=b""):
    return rec(rid, struct.pack("<HHH", row, col, xf) + data)


def number(row, col, xf, v):
    return cell(0x0203, row, col, xf, struct.pack("<d", v))


def rk_int(v):
    return (v << 2) | 2


def rk(row, col, xf, rkv):
    return cell(0x027E, row, col, xf, u32(rkv))


def standard_fonts(version, name="Arial", codepage="cp1252", charset=0):
    # Four fonts, so that index 4 is skipped by the next one.
    return [font(version, name, 200, charset=charset, codepage=codepage) for _ in range(4)]


def standard_xfs(version):
    # Fifteen style XFs and the default cell XF 15.
    make = xf8 if version == 8 else xf5
    out = [make(style=True, used=0) for _ in range(15)]
    out.append(make(parent=0, used=0))
    return out
