#include "workbook/calc/calc_app.h"

#include <fstream>
#include <sstream>

#include <com/sun/star/awt/PosSize.hpp>
#include <com/sun/star/awt/XTopWindow2.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include "workbook/calc/calc_workbook.h"
#include "workbook/calc/leftovers.h"
#include "workbook/calc/uno_session.h"

namespace tivaro::workbook {

using calc::CalcApp;
using calc::CalcWorkbook;
using calc::Detail;
using calc::FromUtf8;
using calc::OpenDocument;
using calc::Session;
using calc::ToUtf8;
namespace css = calc::css;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;

namespace {

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// A document loaded by LibreOffice as something other than a spreadsheet, closed again.
void CloseQuietly(const Reference<css::lang::XComponent>& component) {
    try {
        Reference<css::util::XCloseable> closeable(component, UNO_QUERY);
        if (closeable.is()) {
            closeable->close(true);
        } else {
            component->dispose();
        }
    } catch (...) {
        // Nothing more to do about a document that will not close.
    }
}

// Puts the document's window at `area` (x, y, width, height), not maximised. A window that
// cannot be placed stays where Calc put it: that is no reason to refuse the workbook.
void PlaceWindow(const Reference<css::frame::XModel>& model, const std::array<int, 4>& area) {
    try {
        const Reference<css::frame::XController> controller = model->getCurrentController();
        if (!controller.is() || !controller->getFrame().is()) {
            return;
        }
        const Reference<css::awt::XWindow> window = controller->getFrame()->getContainerWindow();
        if (!window.is()) {
            return;
        }
        if (Reference<css::awt::XTopWindow2> top(window, UNO_QUERY); top.is()) {
            top->setIsMaximized(false);
        }
        window->setPosSize(area[0], area[1], area[2], area[3], css::awt::PosSize::POSSIZE);
    } catch (const css::uno::Exception&) {
    }
}

bool IsReadOnly(const Reference<css::frame::XModel>& model) {
    const Reference<css::frame::XStorable> storable(model, UNO_QUERY);
    return storable.is() && storable->isReadonly();
}

}  // namespace

CalcOptions DisposableCalcOptions(std::string pipeName) {
    CalcOptions options;
    options.headless = true;
    options.hidden = true;
    options.pipeName = std::move(pipeName);
    options.privateProfile = true;
    options.closeDocuments = true;
    options.quitWhenDone = true;
    return options;
}

Status CalcAvailable(const std::filesystem::path& programDirectory) {
    std::error_code error;
    const std::filesystem::path soffice = programDirectory / "soffice.bin";
    if (!std::filesystem::exists(soffice, error)) {
        return MakeError(Errc::Failed,
                         "LibreOffice Calc is niet geïnstalleerd. Installeer het "
                         "pakket libreoffice-calc (scripts/setup.sh doet dat) en "
                         "probeer het opnieuw. Gezocht: " +
                             Quoted(soffice.string()));
    }
    if (!std::filesystem::exists(programDirectory / "libsclo.so", error)) {
        return MakeError(Errc::Failed,
                         "LibreOffice is geïnstalleerd, maar Calc niet. Installeer "
                         "het pakket libreoffice-calc en probeer het opnieuw. "
                         "Gezocht in: " +
                             Quoted(programDirectory.string()));
    }
    // The build without windows (libreoffice-calc-nogui) has no display plug-in, and crashes
    // when it is asked to show a document.
    for (const auto& entry : std::filesystem::directory_iterator(programDirectory, error)) {
        if (entry.path().filename().string().starts_with("libvclplug_")) {
            return {};
        }
    }
    return MakeError(Errc::Failed,
                     "Alleen LibreOffice Calc zonder venster (libreoffice-calc-nogui) is "
                     "geïnstalleerd; die kan het werkboek niet tonen. Installeer het pakket "
                     "libreoffice-calc en probeer het opnieuw. Gezocht in: " +
                         Quoted(programDirectory.string()));
}

Result<std::unique_ptr<SpreadsheetApp>> StartCalc(const CalcOptions& options) {
    if (Status available = CalcAvailable(options.programDirectory); !available) {
        return available.error();
    }
    auto session = Session::Join(options);
    if (!session) {
        return session.error();
    }
    return std::unique_ptr<SpreadsheetApp>(std::make_unique<CalcApp>(std::move(*session)));
}

std::unique_ptr<ThreadedApp> StartCalcOnWorker(const CalcOptions& options,
                                               ThreadedOptions threaded) {
    threaded.openLimit =
        std::max<std::chrono::milliseconds>(threaded.openLimit, options.startTimeout * 3 / 2);
    return std::make_unique<ThreadedApp>([options] { return StartCalc(options); },
                                         std::move(threaded));
}

namespace calc {

Reference<css::frame::XModel> FindOpenDocument(Session& session,
                                               const std::filesystem::path& file) {
    const Reference<css::container::XEnumeration> components =
        session.desktop()->getComponents()->createEnumeration();
    while (components->hasMoreElements()) {
        Reference<css::frame::XModel> model(components->nextElement(), UNO_QUERY);
        if (!model.is()) {
            continue;
        }
        const std::optional<std::filesystem::path> path = PathOfFileUrl(ToUtf8(model->getURL()));
        std::error_code error;
        if (path && std::filesystem::equivalent(*path, file, error)) {
            return model;
        }
    }
    return {};
}

Status CalcApp::show() {
    if (session_->gone()) {
        return MakeError(Errc::Closed,
                         "LibreOffice Calc is gestopt (afgesloten of vastgelopen). "
                         "Open het werkboek opnieuw; Calc start dan opnieuw.");
    }
    return {};
}

Result<std::unique_ptr<Workbook>> CalcApp::open(const std::filesystem::path& file) {
    if (session_->gone()) {
        return MakeError(Errc::Closed,
                         "LibreOffice Calc is gestopt (afgesloten of vastgelopen). "
                         "Open het werkboek opnieuw; Calc start dan opnieuw. "
                         "Bestand: " +
                             Quoted(file.string()));
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(file, error);
    if (error || !std::filesystem::is_regular_file(absolute, error)) {
        return MakeError(Errc::Io,
                         "Het werkboek bestaat niet. Kijk of naam en map kloppen. "
                         "Bestand: " +
                             Quoted(file.string()));
    }
    const std::string where = "Bestand: " + Quoted(absolute.string());
    try {
        return openChecked(absolute);
    } catch (const css::io::IOException& e) {
        return MakeError(Errc::Io,
                         "LibreOffice Calc kan het werkboek niet lezen. Kijk of het "
                         "bestand leesbaar is. Uitleg van LibreOffice: " +
                             Detail(e) + ". " + where);
    } catch (const css::lang::IllegalArgumentException& e) {
        return MakeError(Errc::BadFormat,
                         "LibreOffice Calc kan dit bestand niet openen. Uitleg van LibreOffice: " +
                             Detail(e) + ". " + where);
    } catch (const css::uno::RuntimeException& e) {
        if (!session_->answers()) {
            session_->markGone();
            return MakeError(Errc::Closed,
                             "LibreOffice Calc stopte tijdens het openen van het "
                             "werkboek. Probeer het opnieuw; Calc start dan "
                             "opnieuw. " +
                                 where);
        }
        return MakeError(Errc::Failed,
                         "LibreOffice Calc kon het werkboek niet openen. Uitleg van LibreOffice: " +
                             Detail(e) + ". " + where);
    } catch (const css::uno::Exception& e) {
        return MakeError(Errc::Failed,
                         "LibreOffice Calc kon het werkboek niet openen. Uitleg van LibreOffice: " +
                             Detail(e) + ". " + where);
    } catch (const std::exception& e) {
        return MakeError(Errc::Failed,
                         "Het werkboek kon niet in LibreOffice Calc worden "
                         "geopend. Detail: " +
                             std::string(e.what()) + ". " + where);
    }
}

Result<std::unique_ptr<Workbook>> CalcApp::openChecked(const std::filesystem::path& file) {
    std::error_code error;
    std::filesystem::path key = std::filesystem::weakly_canonical(file, error);
    if (error) {
        key = file;
    }
    const auto made =
        [&](std::shared_ptr<OpenDocument> document) -> Result<std::unique_ptr<Workbook>> {
        session_->holdDocument(key, document);
        auto workbook = CalcWorkbook::Make(std::move(document), file);
        if (!workbook) {
            return workbook.error();
        }
        return std::unique_ptr<Workbook>(std::move(*workbook));
    };

    // Already open for another workbook of this program (the race opened it again).
    if (std::shared_ptr<OpenDocument> held = session_->heldDocument(key)) {
        try {
            held->model()->getURL();
            return made(std::move(held));
        } catch (const css::uno::RuntimeException&) {
            // Closed in Calc meanwhile: it is looked for, or loaded, afresh below.
        }
    }
    // Open in Calc already (the organisers opened it): attached to, not loaded again.
    if (Reference<css::frame::XModel> model = FindOpenDocument(*session_, key); model.is()) {
        if (!Reference<css::sheet::XSpreadsheetDocument>(model, UNO_QUERY).is()) {
            return MakeError(Errc::BadFormat,
                             "Het bestand is in LibreOffice open, maar niet als "
                             "rekenblad. Kies een werkboek (.xlsx, .xls of "
                             ".ods). Bestand: " +
                                 Quoted(file.string()));
        }
        if (IsReadOnly(model)) {
            return MakeError(Errc::Io,
                             "Het werkboek is in LibreOffice Calc alleen om te lezen "
                             "geopend, dus de tijden zouden niet opgeslagen kunnen "
                             "worden. Sluit het in Calc en open het opnieuw in Tivaro. "
                             "Bestand: " +
                                 Quoted(file.string()));
        }
        return made(std::make_shared<OpenDocument>(session_, model, false));
    }

    // A lock that a killed Calc of this user left goes; one of another user or machine may
    // guard a workbook open there, and only the organiser can tell.
    const std::filesystem::path lock = calc::LockFileOf(key);
    if (std::filesystem::exists(lock, error)) {
        if (const std::optional<calc::LockHolder> holder = calc::ReadLock(lock)) {
            if (calc::IsOwnStaleLock(*holder, calc::RunningOffices(), session_->profile())) {
                std::filesystem::remove(lock, error);
            } else if (!calc::IsMine(*holder)) {
                return MakeError(
                    Errc::Locked,
                    "Het werkboek is vergrendeld door " + holder->describe() +
                        ": het is daar open, of LibreOffice stopte daar zonder het te sluiten. "
                        "Hef de vergrendeling alleen op als het daar niet meer open is. "
                        "Vergrendelbestand: " +
                        Quoted(lock.string()));
            }
        }
    }
    Sequence<css::beans::PropertyValue> properties(session_->options().hidden ? 1 : 0);
    if (session_->options().hidden) {
        properties.getArray()[0].Name = "Hidden";
        properties.getArray()[0].Value <<= true;
    }
    const Reference<css::lang::XComponent> component = session_->desktop()->loadComponentFromURL(
        FromUtf8(calc::FileUrl(key)), "_blank", 0, properties);
    const Reference<css::frame::XModel> model(component, UNO_QUERY);
    if (model.is() && !Reference<css::sheet::XSpreadsheetDocument>(component, UNO_QUERY).is()) {
        CloseQuietly(component);
        return MakeError(Errc::BadFormat,
                         "Het bestand is geen werkboek: LibreOffice opent het "
                         "niet als rekenblad. Kies een werkboek (.xlsx, .xls of "
                         ".ods). Bestand: " +
                             Quoted(file.string()));
    }
    // Calc refuses a document with its own user's lock file beside it without a word, and
    // opens one that another user's lock file guards read-only: times written there could
    // not be saved.
    const bool readOnly = model.is() && IsReadOnly(model);
    if (!model.is() || readOnly) {
        if (model.is()) {
            CloseQuietly(component);
        }
        if (std::filesystem::exists(lock, error)) {
            const std::optional<calc::LockHolder> holder = calc::ReadLock(lock);
            return MakeError(
                Errc::Io,
                "LibreOffice Calc opent het werkboek niet: er ligt een vergrendelbestand naast" +
                    (holder ? " (van " + holder->describe() + ")" : std::string()) +
                    ". Het werkboek is elders nog open, of een Calc die het open had is "
                    "vastgelopen. Sluit het werkboek waar het open is; is het nergens meer open, "
                    "verwijder dan het vergrendelbestand en open het werkboek opnieuw. "
                    "Vergrendelbestand: " +
                    Quoted(lock.string()));
        }
        if (readOnly) {
            return MakeError(Errc::Io,
                             "LibreOffice Calc opent het werkboek alleen om te lezen, "
                             "dus de tijden zouden niet opgeslagen kunnen worden. Maak "
                             "het bestand beschrijfbaar en open het opnieuw. Bestand: " +
                                 Quoted(file.string()));
        }
        return MakeError(Errc::BadFormat,
                         "LibreOffice Calc kan het werkboek niet openen; het is "
                         "beschadigd of geen werkboek. Bestand: " +
                             Quoted(file.string()));
    }
    if (session_->options().windowArea && !session_->options().hidden) {
        PlaceWindow(model, *session_->options().windowArea);
    }
    return made(std::make_shared<OpenDocument>(session_, model, true));
}

}  // namespace calc

}  // namespace tivaro::workbook
