// Tivaro: the race-timing window.

#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <memory>

#include "app/demo_run.h"
#include "app/main_window.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tivaro"));

    // A scripted run for the README's picture; not part of the help.
    QCommandLineOption demoWorkbook(QStringLiteral("demo-workbook"), QString(),
                                    QStringLiteral("file"));
    QCommandLineOption demoPicture(QStringLiteral("demo-picture"), QString(),
                                   QStringLiteral("file"));
    demoWorkbook.setFlags(QCommandLineOption::HiddenFromHelp);
    demoPicture.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption(demoWorkbook);
    parser.addOption(demoPicture);
    parser.process(application);

    tivaro::app::WindowOptions options;
    std::unique_ptr<tivaro::app::DemoRun> demo;
    if (parser.isSet(demoWorkbook) && parser.isSet(demoPicture)) {
        demo = std::make_unique<tivaro::app::DemoRun>(parser.value(demoWorkbook).toStdString(),
                                                      parser.value(demoPicture), options);
    }
    tivaro::app::MainWindow window(std::move(options));
    window.show();
    if (demo) {
        demo->start(window);
    }
    return QApplication::exec();
}
