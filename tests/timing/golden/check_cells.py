"""Checks cells of a workbook against a list of expected values and fills.

    check_cells.py WORKBOOK EXPECTED

Each line of EXPECTED is one of
    SHEET!CELL = TEXT        the cell shows TEXT (nothing after "=": the cell is empty); a
                             formula cell shows its formula, "=" included
    SHEET!CELL cached = TEXT the cached result of the cell's formula as stored in the file
    SHEET!CELL cached none   the file stores no cached result for the cell
    SHEET!CELL fill NUMBER   the cell has a solid fill of colour R + 256*G + 65536*B
    SHEET!CELL fill none     the cell has no fill
    @ FILE                   the lines that follow check FILE (relative to the current folder)
Blank lines and lines starting with "#" are skipped. Read with openpyxl, a reader
independent of the engine that wrote the workbook.
"""
import sys

import openpyxl


def shown(value):
    if value is None:
        return ""
    if isinstance(value, bool):
        return "TRUE" if value else "FALSE"
    if isinstance(value, float) and value.is_integer():
        return str(int(value))
    return str(value)


def fill_of(cell):
    fill = cell.fill
    if fill is None or fill.fill_type != "solid":
        return "none"
    argb = fill.fgColor.rgb
    if not isinstance(argb, str) or len(argb) != 8:
        return "not an RGB colour: %r" % (argb,)
    red, green, blue = (int(argb[i:i + 2], 16) for i in (2, 4, 6))
    return str(red + 256 * green + 65536 * blue)


class Books:
    """The workbook being checked, loaded once with formulas and once with cached results."""

    def __init__(self, path):
        self.switch(path)

    def switch(self, path):
        self.path = path
        self.formulas = openpyxl.load_workbook(path)
        self.cached = None

    def cached_book(self):
        if self.cached is None:
            self.cached = openpyxl.load_workbook(self.path, data_only=True)
        return self.cached


def main():
    books = Books(sys.argv[1])
    failures = 0
    with open(sys.argv[2], encoding="utf-8") as expected:
        for number, line in enumerate(expected, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            if line.startswith("@ "):
                books.switch(line[2:].strip())
                continue
            where, _, rest = line.partition(" ")
            sheet, _, address = where.partition("!")
            cell = books.formulas[sheet][address]
            if rest == "=" or rest.startswith("= "):
                want, got = rest[2:], shown(cell.value)
            elif rest == "cached none":
                value = books.cached_book()[sheet][address].value
                want, got = "no cached result", ("no cached result" if value is None
                                                 else "cached %r" % (value,))
            elif rest == "cached =" or rest.startswith("cached = "):
                want, got = rest[9:], shown(books.cached_book()[sheet][address].value)
            elif rest.startswith("fill "):
                want, got = rest[5:], fill_of(cell)
            else:
                print("%s:%d: cannot read %r" % (sys.argv[2], number, line))
                failures += 1
                continue
            if want != got:
                print("%s:%d: %s: %s %s: expected %r, found %r"
                      % (sys.argv[2], number, books.path, where, rest.split(" ")[0], want, got))
                failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
