"""Workbooks written and read by another program (openpyxl), for the workbook engine tests.

Run with /usr/bin/python3 (Debian's python3-openpyxl):
  openpyxl_helper.py fixture OUT.xlsx    writes the race fixture workbook
  openpyxl_helper.py contract OUT.xlsx   writes the workbook every engine is tested on
  openpyxl_helper.py cells IN.xlsx SHEET!CELL...
                                         prints per cell "SHEET!CELL TYPE FILL VALUE": the
                                         openpyxl data type, the solid fill as R + 256*G +
                                         65536*B or "none", the value
  openpyxl_helper.py snapshot IN.xlsx    prints every sheet, cell, style, merge, width,
                                         defined name and comment as JSON
  openpyxl_helper.py compare A.xlsx B.xlsx
                                         prints what differs from A in B, one line per cell
                                         field ("schaats!G4 value=...") or other item
  openpyxl_helper.py resave IN.xlsx      loads and saves the file again (another program
                                         saving the workbook meanwhile)
  openpyxl_helper.py timed IN.xlsx OUT.xlsx N
                                         load + one passing's writes + save, N times; prints
                                         the median in milliseconds
"""
import json
import re
import statistics
import sys
import time
import zipfile

import openpyxl
from openpyxl.comments import Comment
from openpyxl.styles import Border, Font, PatternFill, Side
from openpyxl.workbook.defined_name import DefinedName
from openpyxl.worksheet.datavalidation import DataValidation


def fixture(path):
    wb = openpyxl.Workbook()
    info = wb.active
    info.title = "info"
    info["A1"] = "Trainingswedstrijd"
    info["A2"] = 42

    thin = Side(style="thin")
    schaats = wb.create_sheet("schaats")
    schaats["A1"] = "Demo training Schaatsen"
    schaats["A1"].font = Font(bold=True, size=14)
    schaats.merge_cells("A1:E1")
    headings = ["Rugnr.", "Transponder", "Heat", "Naam", "Club", "Start", "Doork 1"]
    for column, text in enumerate(headings, start=1):
        cell = schaats.cell(row=2, column=column, value=text)
        cell.font = Font(bold=True)
        cell.border = Border(bottom=thin)
        cell.fill = PatternFill("solid", fgColor="FFDDDDDD")
    schaats.cell(row=2, column=20, value="Ronde")
    transponders = [7404583, "KX-04124", "kx-00999", 7404586, "7404587", 12.5, 7404586]
    for i, transponder in enumerate(transponders):
        row = 3 + i
        bib = schaats.cell(row=row, column=1, value=101 + i)
        bib.font = Font(italic=True, color="FF0000FF")
        bib.border = Border(left=thin, right=thin, top=thin, bottom=thin)
        bib.number_format = "000"
        schaats.cell(row=row, column=2, value=transponder)
        schaats.cell(row=row, column=3, value=i % 5 + 1)
        schaats.cell(row=row, column=4, value="Deelnemer %d" % (101 + i))
    schaats["F3"] = "0:10:00.00"
    schaats["T3"] = "3"
    schaats["T4"] = 10
    schaats["U3"] = '=IF(G3="","",G3&"!")'
    schaats["V3"] = "=SUM(A3:A9)"
    schaats["D3"].comment = Comment("Kapitein", "Organisatie")
    schaats.column_dimensions["B"].width = 14
    schaats.column_dimensions["D"].width = 22
    validation = DataValidation(type="list", formula1='"1,2,3,4,5"')
    schaats.add_data_validation(validation)
    validation.add("C3:C200")

    loop = wb.create_sheet("loop")
    loop["A1"] = "Demo training Lopen"
    loop["A3"] = 201
    loop["B3"] = 7405583
    fiets = wb.create_sheet("fiets")
    fiets["A3"] = 301
    fiets["B3"] = "KX-06126"
    uitslag = wb.create_sheet("uitslag")
    uitslag["A1"] = "=schaats!A3"
    uitslag["B1"] = 3.25
    uitslag["C1"] = True

    wb.defined_names.append(DefinedName("Deelnemers", attr_text="schaats!$A$3:$E$200"))
    wb.active = wb.sheetnames.index("loop")
    wb.save(path)
    _add_stale_cached_values(path)


def contract(path):
    """Cells that tell engines apart when one of them reads, finds or writes differently:
    numbers, number-like texts, texts with "?" and "*", letters of either case, duplicates."""
    wb = openpyxl.Workbook()
    wb.active.title = "Info"
    wb["Info"]["A1"] = "Contract"
    race = wb.create_sheet("Loop")
    race["A2"], race["B2"], race["T2"] = "Rugnr.", "Transponder", "Ronde"
    column_b = [7405583, "KX-05126", "A?C", "A*", "\u00c4rger", 7405583, "7405590", 12.5,
                0.1 + 0.2, "kx-05126"]
    for i, value in enumerate(column_b):
        race.cell(row=3 + i, column=1, value=201 + i)
        race.cell(row=3 + i, column=2, value=value)
    race["C3"], race["D3"], race["E3"] = 1, "Naam 201", 1e20
    race["F3"], race["T3"], race["T4"] = "10:00:00.00", "2", 3
    race["H3"] = -0.25
    wb.create_sheet("fiets")["A1"] = "Fietsen"
    wb.active = wb.sheetnames.index("Loop")
    wb.save(path)


def cells(path, wanted):
    wb = openpyxl.load_workbook(path)
    for where in wanted:
        sheet, _, address = where.partition("!")
        cell = wb[sheet][address]
        fill = "none"
        if cell.fill is not None and cell.fill.fill_type == "solid":
            argb = str(cell.fill.fgColor.rgb)
            red, green, blue = (int(argb[i:i + 2], 16) for i in (2, 4, 6))
            fill = str(red + 256 * green + 65536 * blue)
        value = "" if cell.value is None else str(cell.value)
        print("%s %s %s %s" % (where, cell.data_type, fill, value))


def _add_stale_cached_values(path):
    """openpyxl stores formulas without results; a spreadsheet application stores the last
    result beside each formula. Give U3 such a result, now stale, so a reader that does not
    recalculate on load shows it."""
    with zipfile.ZipFile(path) as source:
        items = [(info, source.read(info.filename)) for info in source.infolist()]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as target:
        for info, data in items:
            if info.filename == "xl/worksheets/sheet2.xml":
                text = data.decode("utf-8")
                text, count = re.subn(r'(<c r="U3"[^>]*)>(<f>.*?</f>)(<v\s*/>|<v></v>)?</c>',
                                      r'\1 t="str">\2<v>stale</v></c>', text)
                assert count == 1, "formula cell U3 not found"
                data = text.encode("utf-8")
            target.writestr(info, data)


def _colour(colour):
    if colour is None:
        return None
    return {"type": colour.type, "value": str(colour.value), "tint": colour.tint}


def _side(side):
    return side.style if side is not None else None


def snapshot(path):
    print(json.dumps(_snapshot(path), sort_keys=True, default=str))


def _snapshot(path):
    wb = openpyxl.load_workbook(path)
    result = {
        "sheets": wb.sheetnames,
        "active": wb.active.title,
        "defined_names": sorted((d.name, d.attr_text) for d in wb.defined_names.definedName),
        "cells": {},
        "merged": {},
        "widths": {},
        "comments": {},
        "validations": {},
    }
    for ws in wb.worksheets:
        cells = {}
        for row in ws.iter_rows():
            for cell in row:
                if cell.value is None and not cell.has_style:
                    continue
                cells[cell.coordinate] = {
                    "value": cell.value if not isinstance(cell.value, float) else repr(cell.value),
                    "type": cell.data_type,
                    "font": [cell.font.b, cell.font.i, cell.font.sz, _colour(cell.font.color)],
                    "border": [_side(cell.border.left), _side(cell.border.right),
                               _side(cell.border.top), _side(cell.border.bottom)],
                    "number_format": cell.number_format,
                    "fill": [cell.fill.fill_type, _colour(cell.fill.fgColor)],
                }
                if cell.comment is not None:
                    result["comments"]["%s!%s" % (ws.title, cell.coordinate)] = cell.comment.text
        result["cells"][ws.title] = cells
        result["merged"][ws.title] = sorted(str(r) for r in ws.merged_cells.ranges)
        result["widths"][ws.title] = {k: v.width for k, v in ws.column_dimensions.items()
                                      if v.customWidth}
        result["validations"][ws.title] = sorted(
            (str(v.sqref), v.formula1) for v in ws.data_validations.dataValidation)
    return result


def _json(value):
    return json.dumps(value, sort_keys=True, separators=(",", ":"), default=str)


def compare(before_path, after_path):
    before = _snapshot(before_path)
    after = _snapshot(after_path)
    lines = []
    for key in sorted(set(before) | set(after)):
        if key != "cells" and _json(before.get(key)) != _json(after.get(key)):
            lines.append("%s %s" % (key, _json(after.get(key))))
    for sheet in sorted(set(before["cells"]) | set(after["cells"])):
        old_cells = before["cells"].get(sheet, {})
        new_cells = after["cells"].get(sheet, {})
        for ref in sorted(set(old_cells) | set(new_cells)):
            old, new = old_cells.get(ref), new_cells.get(ref)
            if old is None:
                lines.append("%s!%s new value=%s type=%s" % (sheet, ref, _json(new["value"]),
                                                              _json(new["type"])))
            elif new is None:
                lines.append("%s!%s gone" % (sheet, ref))
            else:
                for field in sorted(old):
                    if _json(old[field]) != _json(new[field]):
                        lines.append("%s!%s %s=%s" % (sheet, ref, field, _json(new[field])))
    print("\n".join(lines))


def resave(path):
    wb = openpyxl.load_workbook(path)
    wb.active["Z1"] = "gewijzigd"
    wb.save(path)


def timed(source, target, runs):
    times = []
    for _ in range(runs):
        begin = time.perf_counter()
        wb = openpyxl.load_workbook(source)
        ws = wb["schaats"]
        for row in range(3, 201):
            if str(ws.cell(row=row, column=2).value).lower() == "7404589":
                break
        ws.cell(row=row, column=1).value
        ws.cell(row=row, column=3).value
        ws.cell(row=row, column=20).value
        ws.cell(row=row, column=6).value = "0:10:01.25"
        ws.cell(row=row, column=20).value = "1"
        ws.cell(row=row, column=1).fill = PatternFill("solid", fgColor="FF00FF00")
        wb.save(target)
        times.append(time.perf_counter() - begin)
    print("%.3f" % (statistics.median(times) * 1000))


if __name__ == "__main__":
    command = sys.argv[1]
    if command == "fixture":
        fixture(sys.argv[2])
    elif command == "contract":
        contract(sys.argv[2])
    elif command == "cells":
        cells(sys.argv[2], sys.argv[3:])
    elif command == "snapshot":
        snapshot(sys.argv[2])
    elif command == "compare":
        compare(sys.argv[2], sys.argv[3])
    elif command == "resave":
        resave(sys.argv[2])
    elif command == "timed":
        timed(sys.argv[2], sys.argv[3], int(sys.argv[4]))
    else:
        sys.exit("unknown command " + command)
