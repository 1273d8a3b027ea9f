#pragma once
// Inside the Calc engine only: how a CalcWorkbook operation turns what Calc threw into an
// Error about the sheet or cell it was at.

#include <exception>
#include <new>
#include <string>

#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/IndexOutOfBoundsException.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>

#include "workbook/calc/calc_workbook.h"

namespace tivaro::workbook::calc {

template <class T, class Body>
Result<T> CalcWorkbook::guarded(SheetId sheet, const std::string& what, Body&& body) {
    try {
        return body();
    } catch (const css::lang::IndexOutOfBoundsException& e) {
        return MakeError(Errc::BadAddress,
                         "LibreOffice Calc kent " + what + " van " + where(sheet) +
                             " niet: die ligt buiten het blad. Uitleg van LibreOffice: " +
                             Detail(e) + ". " + workbookDetail());
    } catch (const css::lang::IllegalArgumentException& e) {
        return MakeError(Errc::BadAddress, "LibreOffice Calc kent " + what + " van " +
                                               where(sheet) + " niet. Uitleg van LibreOffice: " +
                                               Detail(e) + ". " + workbookDetail());
    } catch (const css::uno::RuntimeException& e) {
        return failure(sheet, what, e, true);
    } catch (const css::uno::Exception& e) {
        return failure(sheet, what, e, false);
    } catch (const std::bad_alloc&) {
        return MakeError(Errc::Failed, "Er is te weinig geheugen voor " + what + " van " +
                                           where(sheet) +
                                           ". Sluit andere programma's en probeer het opnieuw. " +
                                           workbookDetail());
    } catch (const std::exception& e) {
        return MakeError(Errc::Failed, "Tivaro kon " + what + " van " + where(sheet) +
                                           " niet bijwerken. Probeer het opnieuw. Detail: " +
                                           e.what() + ". " + workbookDetail());
    } catch (...) {
        return MakeError(Errc::Failed, "Tivaro kon " + what + " van " + where(sheet) +
                                           " niet bijwerken (onbekende fout). Probeer het "
                                           "opnieuw. " +
                                           workbookDetail());
    }
}

}  // namespace tivaro::workbook::calc
