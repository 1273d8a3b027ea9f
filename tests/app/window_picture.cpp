// tivaro_window_picture: the README's picture of the window. Runs the real window through a
// scripted running race (see demo_run.h) and saves a picture of it; given PANEL.png, it also
// turns the live results on (in the settings in force: run it with a scratch
// XDG_CONFIG_HOME) and saves a picture of their panel with the addresses and the QR code.
//
//   tivaro_window_picture WORKBOOK PICTURE.png [PANEL.png]

#include <QAction>
#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "app/main_window.h"
#include "app/translations.h"
#include "tests/app/demo_run.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    tivaro::app::InstallDutchTranslations(application);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: tivaro_window_picture WORKBOOK PICTURE.png [PANEL.png]\n");
        return 2;
    }
    tivaro::app::WindowOptions options;
    tivaro::app::DemoRun demo(argv[1], QString::fromLocal8Bit(argv[2]), options);
    tivaro::app::MainWindow window(std::move(options));
    window.show();
    demo.start(window);
    if (argc == 4) {
        auto* live = window.findChild<QAction*>(QStringLiteral("LiveResults"));
        if (live != nullptr && !live->isChecked()) {
            live->trigger();
        }
        QTimer::singleShot(300, &window, [&window, panel = QString::fromLocal8Bit(argv[3])] {
            auto* widget = window.findChild<QWidget*>(QStringLiteral("LivePanel"));
            if (widget == nullptr || !widget->grab().save(panel)) {
                std::fprintf(stderr, "cannot write the picture %s\n", qPrintable(panel));
            }
        });
    }
    return QApplication::exec();
}
