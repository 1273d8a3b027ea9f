"""Checks cells of a workbook against a list of expected values and fills.

    check_cells.py WORKBOOK EXPECTED

Each line of EXPECTED is one of
    SHEET!CELL = TEXT        the cell shows TEXT (nothing after "=": the cell is empty)
    SHEET!CELL fill NUMBER   the cell has a solid fill of colour R + 256*G + 65536*B
    SHEET!CELL fill none     the cell has no fill
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


def main():
    book = openpyxl.load_workbook(sys.argv[1])
    failures = 0
    with open(sys.argv[2], encoding="utf-8") as expected:
        for number, line in enumerate(expected, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            where, _, rest = line.partition(" ")
            sheet, _, address = where.partition("!")
            cell = book[sheet][address]
            if rest == "=" or rest.startswith("= "):
                want, got = rest[2:], shown(cell.value)
            elif rest.startswith("fill "):
                want, got = rest[5:], fill_of(cell)
            else:
                print("%s:%d: cannot read %r" % (sys.argv[2], number, line))
                failures += 1
                continue
            if want != got:
                print("%s:%d: %s %s: expected %r, found %r"
                      % (sys.argv[2], number, where, rest.split(" ")[0], want, got))
                failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
