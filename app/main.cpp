// Tivaro: the race-timing window.

#include <QApplication>
#include <QCommandLineParser>

#include "app/main_window.h"
#include "app/translations.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tivaro"));
    tivaro::app::InstallDutchTranslations(application);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QObject::tr("Tijdwaarneming voor trainings- en testwedstrijden."));
    parser.addHelpOption();
    parser.process(application);

    tivaro::app::MainWindow window;
    window.show();
    return QApplication::exec();
}
