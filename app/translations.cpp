#include "app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tivaro::app {

void InstallDutchTranslations(QCoreApplication& application) {
    QLocale::setDefault(QLocale(QLocale::Dutch, QLocale::Netherlands));
    auto* qt = new QTranslator(&application);
    if (qt->load(QLocale(QLocale::Dutch), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt);
    } else {
        delete qt;
    }
}

}  // namespace tivaro::app
