#include "tests/app/demo_run.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTcpSocket>
#include <cstdio>

#include "decoder/record_writer.h"

namespace tivaro::app {

namespace {

constexpr int kStepMilliseconds = 250;
// The demo workbook's running sheet: transponder 7405583 + i for runner i (bib 201 + i), a
// text code "KX-0" followed by 5123 + i for every fourth runner.
constexpr std::uint32_t kFirstRunner = 7405583;

template <class Widget>
Widget* Find(MainWindow& window, const char* name) {
    return window.findChild<Widget*>(QString::fromLatin1(name));
}

}  // namespace

DemoRun::DemoRun(std::filesystem::path workbook, QString picture, WindowOptions& options)
    : workbook_(std::move(workbook)), picture_(std::move(picture)) {
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this,
            [this] { decoder_ = server_.nextPendingConnection(); });
    options.decoderPort = server_.serverPort();
    options.chooseWorkbook = [file = workbook_](QWidget*, const QString&, const QString&) {
        return std::optional<std::filesystem::path>(file);
    };
    // The embedded engine, so that every picture shows the same race.
    options.preferEmbedded = true;
    options.showMessage = [](const QString& text) {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    };
    // Closing at the end, with the decoder connected, asks first: yes.
    options.ask = [](const QString&, const QString&, std::function<void(bool)> answer) {
        answer(true);
    };
    // 10:15:30.00 on the decoder's clock.
    clockMicros_ = (10ULL * 3600 + 15 * 60 + 30) * 1000000ULL;
}

bool DemoRun::SendPassing(std::uint32_t transponder, std::string text) {
    if (decoder_ == nullptr) {
        return false;
    }
    decoder::PassingRecordFields fields;
    fields.transponderNumber = transponder;
    fields.transponderText = std::move(text);
    clockMicros_ += 7'340'000;
    fields.timeMicros = clockMicros_;
    std::vector<std::uint8_t> wire;
    decoder::AppendEscaped(decoder::BuildPassingRecord(fields), wire);
    decoder_->write(reinterpret_cast<const char*>(wire.data()), static_cast<qint64>(wire.size()));
    return true;
}

void DemoRun::start(MainWindow& window) {
    window_ = &window;
    // Each step does what a person would do next, or sends what the decoder would.
    const auto click = [this](const char* name) -> std::function<bool()> {
        return [this, name] {
            Find<QAbstractButton>(*window_, name)->click();
            return true;
        };
    };
    const auto runner = [this](int i) -> std::function<bool()> {
        return [this, i] { return SendPassing(kFirstRunner + static_cast<std::uint32_t>(i), {}); };
    };
    steps_ = {
        click("Command1"),
        [this] {
            auto* sport = Find<QComboBox>(*window_, "Combo1");
            sport->setCurrentIndex(1);
            emit sport->activated(1);
            return true;
        },
        [this] {
            Find<QSlider>(*window_, "Slider1")->setValue(3);
            return true;
        },
        click("fase_opwarmen"),
        click("Option2"),
        [this] {
            Find<QLineEdit>(*window_, "Text4")->setText(QStringLiteral("127.0.0.1"));
            return true;
        },
        click("Command3"),
        runner(4),
        runner(9),
        click("fase_startschot"),
        runner(0),
        click("fase_opnemen"),
        runner(1),
        runner(2),
        [this] { return SendPassing(0, "KX-05126"); },
        runner(1),
        [this] { return SendPassing(1234567, {}); },
        runner(2),
        runner(1),
        runner(1),
        [this] {
            const QPixmap picture = window_->grab();
            if (!picture.save(picture_)) {
                std::fprintf(stderr, "cannot write the picture %s\n", qPrintable(picture_));
            }
            window_->close();
            return true;
        },
    };
    connect(&timer_, &QTimer::timeout, this, &DemoRun::Step);
    timer_.start(kStepMilliseconds);
}

void DemoRun::Step() {
    if (next_ >= steps_.size()) {
        timer_.stop();
        return;
    }
    if (steps_[next_]()) {
        ++next_;
    }
}

}  // namespace tivaro::app
