"""Makes the workbooks of the golden races that differ from the demo workbook in their sheets,
saved by LibreOffice as organisers' workbooks are.

    /usr/bin/python3 tests/timing/golden/make_sheet_workbooks.py

writes into tests/timing/golden/workbooks/
  sheets-cased.xlsx   the demo workbook with its sheets named "Schaats", "Loop", "Fiets"
  no-fiets.xlsx       the demo workbook without the sheet "fiets"

openpyxl renames or removes the sheets of examples/demo-race.xlsx; LibreOffice (soffice
--headless --convert-to xlsx, with a profile of its own) then saves each file again.
"""
import os
import shutil
import subprocess
import tempfile

import openpyxl

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
DEMO = os.path.join(SOURCE, "examples", "demo-race.xlsx")
OUT = os.path.join(HERE, "workbooks")


def cased(book):
    # Through a name of its own first: openpyxl tells names apart without regard to case.
    for sheet in book.worksheets:
        wanted = sheet.title.capitalize()
        sheet.title = "tmp-" + wanted
        sheet.title = wanted


def without_cycling(book):
    book.remove(book["fiets"])


def main():
    work = tempfile.mkdtemp()
    try:
        made = []
        for name, change in (("sheets-cased", cased), ("no-fiets", without_cycling)):
            book = openpyxl.load_workbook(DEMO)
            change(book)
            path = os.path.join(work, name + ".xlsx")
            book.save(path)
            made.append(path)
        converted = os.path.join(work, "converted")
        subprocess.run(["soffice", "-env:UserInstallation=file://" + os.path.join(work, "profile"),
                        "--headless", "--convert-to", "xlsx", "--outdir", converted] + made,
                       check=True, stdout=subprocess.DEVNULL)
        os.makedirs(OUT, exist_ok=True)
        for path in made:
            shutil.copy(os.path.join(converted, os.path.basename(path)), OUT)
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
