// tivaro_window_driver: the real window in a process of its own, driven by commands on its
// standard input, so that a test can kill it mid-race (SIGKILL) and start it again. Questions
// are answered yes; questions and messages are written to standard output, one per line.
//
//   tivaro_window_driver WORKBOOK DECODER-PORT DATA-DIRECTORY
//
// Commands, one per line: "open", "sport NAME", "laps N", "phase opwarmen|startschot|opnemen",
// "tcp ADDRESS", "close". The settings go where XDG_CONFIG_HOME points.

#include <unistd.h>
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <string>

#include "app/main_window.h"
#include "app/translations.h"

namespace {

using tivaro::app::MainWindow;

template <class Widget>
Widget* Find(MainWindow& window, const QString& name) {
    auto* found = window.findChild<Widget*>(name);
    if (found == nullptr) {
        std::fprintf(stderr, "no control named %s\n", qPrintable(name));
        std::exit(3);
    }
    return found;
}

void Say(const char* kind, const QString& text) {
    std::printf("%s: %s\n", kind, qPrintable(QString(text).replace('\n', ' ')));
    std::fflush(stdout);
}

void Run(MainWindow& window, const std::string& line) {
    const std::size_t space = line.find(' ');
    const std::string command = line.substr(0, space);
    const QString argument =
        space == std::string::npos ? QString() : QString::fromStdString(line.substr(space + 1));
    if (command == "open") {
        Find<QAbstractButton>(window, "Command1")->click();
    } else if (command == "sport") {
        auto* box = Find<QComboBox>(window, "Combo1");
        const int index = box->findText(argument);
        box->setCurrentIndex(index);
        emit box->activated(index);
    } else if (command == "laps") {
        Find<QSlider>(window, "Slider1")->setValue(argument.toInt());
    } else if (command == "phase") {
        Find<QAbstractButton>(window, "fase_" + argument)->click();
    } else if (command == "tcp") {
        Find<QAbstractButton>(window, "Option2")->click();
        Find<QLineEdit>(window, "Text4")->setText(argument);
        Find<QAbstractButton>(window, "Command3")->click();
    } else if (command == "close") {
        window.close();
    } else {
        std::fprintf(stderr, "unknown command %s\n", line.c_str());
        std::exit(3);
    }
    Say("gedaan", QString::fromStdString(line));
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(true);
    tivaro::app::InstallDutchTranslations(application);
    if (argc != 4) {
        std::fprintf(stderr, "usage: tivaro_window_driver WORKBOOK DECODER-PORT DATA-DIRECTORY\n");
        return 2;
    }
    tivaro::app::WindowOptions options;
    const std::filesystem::path workbook = argv[1];
    options.chooseWorkbook = [workbook](QWidget*, const QString&, const QString&) {
        return std::optional<std::filesystem::path>(workbook);
    };
    options.decoderPort = static_cast<quint16>(std::stoi(argv[2]));
    options.dataDirectory = argv[3];
    options.preferEmbedded = true;
    options.openInBackground = false;
    options.reconnectInterval = std::chrono::milliseconds(200);
    options.showMessage = [](const QString& text) { Say("bericht", text); };
    options.ask = [](const QString& question, const QString&, std::function<void(bool)> answer) {
        Say("vraag", question);
        QTimer::singleShot(0, [answer = std::move(answer)] { answer(true); });
    };
    MainWindow window(std::move(options));
    window.show();

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    std::string pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[512];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            input.setEnabled(false);
            return;
        }
        pending.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            Run(window, line);
        }
    });
    return QApplication::exec();
}
