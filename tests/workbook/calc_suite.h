#pragma once
// The headless LibreOffice Calc shared by the tests of one test program: started at its first
// use, with a profile and a pipe of its own, and stopped (soffice quits or is killed) after the
// last test.

#include <string>

#include "workbook/calc/calc_app.h"

namespace tivaro::workbook::test {

// A pipe name no other process uses: `purpose` and this process's id.
std::string PipeFor(const std::string& purpose);

// Options of the shared Calc: disposable, and save() stores through Calc so that the file can
// be read back by another program.
CalcOptions SharedCalcOptions();

// The shared Calc; fails the calling test when it does not start (check HasFatalFailure).
SpreadsheetApp* SharedCalc();

// The same Calc, called from a worker thread of its own (StartCalcOnWorker).
ThreadedApp* SharedThreadedCalc();

// Waits until what `book` queued for its application is there, when it has a worker.
void Settle(Workbook& book);

}  // namespace tivaro::workbook::test
