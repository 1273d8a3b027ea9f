// tivaro_window_picture: the README's picture of the window. Runs the real window through a
// scripted running race (see demo_run.h) and saves a picture of it.
//
//   tivaro_window_picture WORKBOOK PICTURE.png

#include <QApplication>
#include <cstdio>

#include "app/main_window.h"
#include "app/translations.h"
#include "tests/app/demo_run.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    tivaro::app::InstallDutchTranslations(application);
    if (argc != 3) {
        std::fprintf(stderr, "usage: tivaro_window_picture WORKBOOK PICTURE.png\n");
        return 2;
    }
    tivaro::app::WindowOptions options;
    tivaro::app::DemoRun demo(argv[1], QString::fromLocal8Bit(argv[2]), options);
    tivaro::app::MainWindow window(std::move(options));
    window.show();
    demo.start(window);
    return QApplication::exec();
}
