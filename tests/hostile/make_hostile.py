#!/usr/bin/python3
"""Writes hostile and damaged race workbooks, each built from the demo race workbook.

    make_hostile.py DEMO_WORKBOOK OUTPUT_DIR

Every file is a copy of the demo workbook (sheets "schaats", "loop", "fiets") with one thing
wrong; the zip structure is written here byte by byte, so that its sizes, checksums and entry
counts can say whatever a hostile file says. Prints one line per file: its name, then TAB and
each fragment that the engine's message on standard error must hold; a file with no fragments
is one the engine must take and race without complaint.
"""

import struct
import sys
import zipfile
import zlib

KIB = 1024
MIB = 1024 * KIB
GIB = 1024 * MIB

SHEET_PARTS = {"schaats": "xl/worksheets/sheet1.xml", "loop": "xl/worksheets/sheet2.xml",
               "fiets": "xl/worksheets/sheet3.xml"}
RACE_PART = SHEET_PARTS["loop"]
RACE_LABEL = 'xl/worksheets/sheet2.xml (werkblad "loop")'
ZIP64_MARK = 0xFFFFFFFF
DOS_TIME, DOS_DATE = 0x6000, 0x0021  # 1980-01-01 12:00


class Entry:
    """One part as it is stored: compressed bytes plus what the headers claim about them."""

    def __init__(self, name, data):
        self.name = name.encode()
        compressor = zlib.compressobj(6, zlib.DEFLATED, -15)
        self.raw = compressor.compress(data) + compressor.flush()
        self.method = 8
        self.crc = zlib.crc32(data)
        self.size = len(data)
        self.local_size = None    # what the local header claims, when it lies on its own
        self.zip64 = False        # sizes in a zip64 extra field instead of the header

    def sizes(self, local):
        size = self.local_size if local and self.local_size is not None else self.size
        return size, len(self.raw)


def zip64_extra(size, compressed):
    return struct.pack("<HHQQ", 0x0001, 16, size, compressed)


def build_zip(entries, claimed_entries=None, force_zip64_end=False):
    """The package bytes. `claimed_entries` replaces the entry count of the end records."""
    out = bytearray()
    central = bytearray()
    for entry in entries:
        offset = len(out)
        size, compressed = entry.sizes(local=True)
        extra = b""
        version = 20
        if entry.zip64:
            extra = zip64_extra(size, compressed)
            size = compressed = ZIP64_MARK
            version = 45
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, version, 0, entry.method, DOS_TIME,
                           DOS_DATE, entry.crc, compressed, size, len(entry.name), len(extra))
        out += entry.name + extra + entry.raw
        size, compressed = entry.sizes(local=False)
        extra = b""
        if entry.zip64:
            extra = zip64_extra(size, compressed)
            size = compressed = ZIP64_MARK
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, version, version, 0,
                               entry.method, DOS_TIME, DOS_DATE, entry.crc, compressed, size,
                               len(entry.name), len(extra), 0, 0, 0, 0, offset)
        central += entry.name + extra
    count = len(entries) if claimed_entries is None else claimed_entries
    central_offset = len(out)
    out += central
    small_count = count
    if force_zip64_end or count > 0xFFFF:
        end64 = len(out)
        out += struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, count, count,
                           len(central), central_offset)
        out += struct.pack("<IIQI", 0x07064B50, 0, end64, 1)
        small_count = 0xFFFF
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, small_count, small_count, len(central),
                       central_offset, 0)
    return bytes(out)


def demo_parts(demo):
    with zipfile.ZipFile(demo) as package:
        return [(info.filename, package.read(info.filename)) for info in package.infolist()]


def entries_of(parts, replace=None, drop=()):
    replace = replace or {}
    return [Entry(name, replace.get(name, data)) for name, data in parts if name not in drop]


def find(entries, name):
    return next(entry for entry in entries if entry.name == name.encode())


def bomb_entry(name, inflated):
    """A race sheet that inflates to `inflated` bytes of which almost all are blanks between
    its rows. Built from one compressed block repeated: after a full flush the compressor
    starts afresh, so the same input compresses to the same bytes every time."""
    head = (b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            b'<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
            b'<sheetData><row r="3"><c r="B3"><v>7405583</v></c></row>')
    tail = b"</sheetData></worksheet>"
    block = b" " * MIB
    blocks = (inflated - len(head) - len(tail)) // len(block)
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15)
    first = compressor.compress(head) + compressor.flush(zlib.Z_FULL_FLUSH)
    middle = compressor.compress(block) + compressor.flush(zlib.Z_FULL_FLUSH)
    again = compressor.compress(block) + compressor.flush(zlib.Z_FULL_FLUSH)
    assert again == middle
    last = compressor.compress(tail) + compressor.flush()
    crc = zlib.crc32(head)
    for _ in range(blocks):
        crc = zlib.crc32(block, crc)
    crc = zlib.crc32(tail, crc)
    entry = Entry(name, b"")
    entry.raw = first + middle * blocks + last
    entry.crc = crc
    entry.size = len(head) + blocks * len(block) + len(tail)
    return entry


def million_rows(row_xml):
    """A sheet of 1,048,576 rows, each made by `row_xml(row number)`."""
    rows = [b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            b'<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
            b"<sheetData>"]
    rows.extend(row_xml(row) for row in range(1, 1048577))
    rows.append(b"</sheetData></worksheet>")
    return b"".join(rows)


BILLION_LAUGHS = (
    b'<?xml version="1.0" encoding="UTF-8"?>\n'
    b'<!DOCTYPE worksheet [\n'
    b' <!ENTITY lol "lol">\n'
    + b"".join(b' <!ENTITY lol%d "%s">\n' % (level, (b"&lol%s;" % (b"" if level == 1 else
                                                                    b"%d" % (level - 1))) * 10)
               for level in range(1, 10))
    + b']>\n'
    b'<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
    b'<sheetData><row r="3"><c r="B3" t="inlineStr"><is><t>&lol9;</t></is></c></row>'
    b"</sheetData></worksheet>")


def make_all(demo, out_dir):
    parts = demo_parts(demo)
    made = []

    def write(name, data, *expected):
        with open(f"{out_dir}/{name}", "wb") as file:
            file.write(data)
        made.append((name, expected))

    # Sizes that lie: the local header alone, then both headers alike (so that only the data
    # can tell), small and huge, in the 32-bit fields and in zip64 extras.
    entries = entries_of(parts)
    find(entries, RACE_PART).local_size = 4_000_000_000
    write("local-header-4gb.xlsx", build_zip(entries), "De werkmap is beschadigd", "zip-pakket")

    entries = entries_of(parts)
    find(entries, RACE_PART).size = 4_000_000_000
    write("central-4gb.xlsx", build_zip(entries), RACE_LABEL, "3,7 GiB", "32,0 MiB")

    entries = entries_of(parts)
    find(entries, RACE_PART).size //= 2  # claims half of what the data inflates to
    write("central-too-small.xlsx", build_zip(entries), RACE_LABEL, "pakt uit tot meer dan")

    entries = entries_of(parts)
    race = find(entries, RACE_PART)
    race.zip64 = True
    race.size = 1 << 40
    write("zip64-1tib.xlsx", build_zip(entries, force_zip64_end=True), RACE_LABEL,
          "1024,0 GiB")

    entries = entries_of(parts)
    find(entries, "xl/workbook.xml").zip64 = True
    find(entries, "xl/workbook.xml").size = 4_000_000_000
    write("zip64-workbook-4gb.xlsx", build_zip(entries, force_zip64_end=True),
          "onderdeel xl/workbook.xml", "32,0 MiB")

    # An entry count far beyond the entries there are.
    write("entry-count-lie.xlsx", build_zip(entries_of(parts), claimed_entries=1 << 40),
          "1099511627776 onderdelen", "10000")

    # The race sheet inflates to 2 GiB from about 2 MB: told honestly, and told as 66 KiB.
    entries = entries_of(parts)
    entries[entries.index(find(entries, RACE_PART))] = bomb_entry(RACE_PART, 2 * GIB)
    write("bomb.xlsx", build_zip(entries), RACE_LABEL, "2,0 GiB")
    find(entries, RACE_PART).size = 66 * KIB
    write("bomb-small-claim.xlsx", build_zip(entries), RACE_LABEL, "pakt uit tot meer dan")

    # Wrong checksums, all found when the workbook is opened: on the race sheet, on the sheet the
    # workbook opens on, on the shared strings, and on parts the engine never reads but would
    # copy into every save.
    entries = entries_of(parts)
    find(entries, RACE_PART).crc ^= 0x5A5A5A5A
    write("crc-race-sheet.xlsx", build_zip(entries), RACE_LABEL, "controlegetal")
    entries = entries_of(parts)
    find(entries, SHEET_PARTS["schaats"]).crc ^= 0x5A5A5A5A
    write("crc-active-sheet.xlsx", build_zip(entries), 'werkblad "schaats"', "controlegetal")
    entries = entries_of(parts)
    find(entries, "[Content_Types].xml").crc ^= 1
    write("crc-content-types.xlsx", build_zip(entries), "[Content_Types].xml", "controlegetal")
    entries = entries_of(parts)
    find(entries, SHEET_PARTS["fiets"]).crc ^= 1
    write("crc-unused-sheet.xlsx", build_zip(entries), 'werkblad "fiets"', "controlegetal")
    entries = entries_of(parts)
    find(entries, "xl/sharedStrings.xml").crc ^= 1
    write("crc-shared-strings.xlsx", build_zip(entries), "xl/sharedStrings.xml",
          "controlegetal")

    # Content that does not parse, or would expand into gigabytes if entities were expanded.
    write("xml-race-sheet.xlsx",
          build_zip(entries_of(parts, {RACE_PART: b"<worksheet><sheetData><row>"})),
          'Werkblad "loop"', "geen geldige XML")
    write("billion-laughs.xlsx", build_zip(entries_of(parts, {RACE_PART: BILLION_LAUGHS})),
          'Werkblad "loop"', "<!DOCTYPE>")

    # Parts that are missing.
    write("no-race-sheet.xlsx", build_zip(entries_of(parts, drop={RACE_PART})),
          'werkblad "loop"', "ontbreekt")
    write("no-workbook-part.xlsx", build_zip(entries_of(parts, drop={"xl/workbook.xml"})),
          "xl/workbook.xml ontbreekt")

    # A race sheet of 1,048,576 rows: with two values a row (87 MiB), with one value in as few
    # bytes as XML allows (27 MiB, 6 million tags), and empty (18 MiB, taken: it is raced).
    write("million-rows.xlsx", build_zip(entries_of(parts, {RACE_PART: million_rows(
        lambda row: b'<row r="%d"><c r="A%d"><v>%d</v></c><c r="B%d"><v>%d</v></c></row>'
        % (row, row, row, row, 7405000 + row))})), RACE_LABEL, "32,0 MiB")
    write("million-rows-compact.xlsx", build_zip(entries_of(parts, {RACE_PART: million_rows(
        lambda row: b"<row><c><v>1</v></c></row>")})), 'Werkblad "loop"', "XML-tags")
    write("million-empty-rows.xlsx", build_zip(entries_of(parts, {RACE_PART: million_rows(
        lambda row: b'<row r="%d"/>' % row)})))

    # A row of more cells than there are columns, in 18 KB: cells without an address would run
    # past XFD and get none a spreadsheet reads. Refused when opened, also on a sheet no sport
    # uses, and so is a row of 16,385 addressed cells.
    wide = (b'<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
            b'<sheetData><row r="30">' + b"<c><v>1</v></c>" * 16_400 + b"</row></sheetData></worksheet>")
    write("row-past-xfd.xlsx", build_zip(entries_of(parts, {SHEET_PARTS["fiets"]: wide})),
          'Werkblad "fiets"', "rij 30", "meer dan 16.384 cellen")
    past = (b'<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
            b'<sheetData><row r="30"><c r="XFC30"><v>1</v></c>' + b"<c><v>1</v></c>" * 3 +
            b"</row></sheetData></worksheet>")
    write("cell-past-xfd.xlsx", build_zip(entries_of(parts, {RACE_PART: past})),
          'Werkblad "loop"', "voorbij de laatste kolom")
    addressed = (b'<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
                 b'<sheetData><row r="30">' + b'<c r="A30"><v>1</v></c>' * 16_385 +
                 b"</row></sheetData></worksheet>")
    write("row-of-16385-cells.xlsx", build_zip(entries_of(parts, {RACE_PART: addressed})),
          'Werkblad "loop"', "meer dan 16.384 cellen")
    return made


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    for name, expected in make_all(sys.argv[1], sys.argv[2]):
        print("\t".join((name,) + expected))


if __name__ == "__main__":
    main()
