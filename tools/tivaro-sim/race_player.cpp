#include "tools/tivaro-sim/race_player.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <QFile>
#include <QSerialPort>
#include <QTcpSocket>
#include <cstdio>

namespace tivaro::sim {

RacePlayer::RacePlayer(SimOptions options, std::vector<SimPassing> race, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      race_(std::move(race)),
      stream_(options_.stream) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &RacePlayer::SendDue);
    connect(&server_, &QTcpServer::newConnection, this, &RacePlayer::AcceptClients);
}

RacePlayer::~RacePlayer() {
    if (ptySlave_ >= 0) {
        ::close(ptySlave_);
    }
}

bool RacePlayer::open(QString& error) {
    switch (options_.output) {
        case Output::Tcp: {
            if (!server_.listen(QHostAddress(QString::fromStdString(options_.host)),
                                options_.port)) {
                error = QStringLiteral("cannot listen on %1:%2: %3")
                            .arg(QString::fromStdString(options_.host))
                            .arg(options_.port)
                            .arg(server_.errorString());
                return false;
            }
            std::printf("tivaro-sim: decoder listening on %s:%u\n", options_.host.c_str(),
                        server_.serverPort());
            std::fflush(stdout);
            return true;  // the race begins when the first client connects
        }
        case Output::Serial: {
            auto port = std::make_unique<QSerialPort>(QString::fromStdString(options_.path));
            port->setBaudRate(QSerialPort::Baud9600);
            port->setDataBits(QSerialPort::Data8);
            port->setParity(QSerialPort::NoParity);
            port->setStopBits(QSerialPort::OneStop);
            if (!port->open(QIODevice::WriteOnly)) {
                error = QStringLiteral("cannot open %1: %2")
                            .arg(QString::fromStdString(options_.path), port->errorString());
                return false;
            }
            device_ = std::move(port);
            break;
        }
        case Output::Pty: {
            int master = -1;
            char name[128] = {};
            if (::openpty(&master, &ptySlave_, name, nullptr, nullptr) != 0) {
                error = QStringLiteral("cannot create a pseudo-terminal: %1")
                            .arg(QString::fromLocal8Bit(std::strerror(errno)));
                return false;
            }
            // Bytes must pass unchanged: no line-end translation, no echo.
            termios raw{};
            ::tcgetattr(ptySlave_, &raw);
            ::cfmakeraw(&raw);
            ::tcsetattr(ptySlave_, TCSANOW, &raw);
            auto file = std::make_unique<QFile>();
            file->open(master, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
            device_ = std::move(file);
            std::printf("tivaro-sim: decoder on serial device %s\n", name);
            std::fflush(stdout);
            break;
        }
        case Output::File: {
            auto file = std::make_unique<QFile>();
            const bool opened = options_.path == "-"
                                    ? file->open(stdout, QIODevice::WriteOnly)
                                    : (file->setFileName(QString::fromStdString(options_.path)),
                                       file->open(QIODevice::WriteOnly | QIODevice::Truncate));
            if (!opened) {
                error = QStringLiteral("cannot write %1: %2")
                            .arg(QString::fromStdString(options_.path), file->errorString());
                return false;
            }
            device_ = std::move(file);
            options_.speed = 0;  // a file has no timeline
            options_.linger = 0;
            break;
        }
    }
    QTimer::singleShot(0, this, &RacePlayer::Begin);
    return true;
}

void RacePlayer::Begin() {
    if (begun_) {
        return;
    }
    begun_ = true;
    clock_.start();
    SendDue();
}

void RacePlayer::SendDue() {
    if (next_ >= race_.size()) {
        Finish();
        return;
    }
    const std::uint64_t origin = race_.front().micros;
    const auto dueMs = [&](std::size_t k) {
        return options_.speed <= 0
                   ? 0.0
                   : static_cast<double>(race_[k].micros - origin) / 1000.0 / options_.speed;
    };

    // A burst goes out when its last passing is due, as a decoder that buffers sends it.
    const std::size_t end =
        std::min(race_.size(), next_ + static_cast<std::size_t>(options_.burst));
    const double waitMs = dueMs(end - 1) - static_cast<double>(clock_.elapsed());
    if (waitMs > 0) {
        timer_.start(static_cast<int>(waitMs + 0.5));
        return;
    }
    std::vector<std::uint8_t> bytes;
    for (; next_ < end; ++next_) {
        stream_.Append(race_[next_], bytes);
    }
    Write(bytes);
    if (options_.dropAfter > 0 && !dropped_ &&
        next_ >= static_cast<std::size_t>(options_.dropAfter)) {
        dropped_ = true;
        DropClients();
    }
    timer_.start(0);
}

void RacePlayer::Write(const std::vector<std::uint8_t>& bytes) {
    if (options_.output != Output::Tcp) {
        WriteToDevice(*device_, bytes);
        return;
    }
    if (clients_.empty()) {
        held_.insert(held_.end(), bytes.begin(), bytes.end());
        return;
    }
    for (QTcpSocket* client : clients_) {
        WriteToDevice(*client, bytes);
    }
}

void RacePlayer::WriteToDevice(QIODevice& device, const std::vector<std::uint8_t>& bytes) {
    const auto* data = reinterpret_cast<const char*>(bytes.data());
    const std::size_t piece = options_.split > 0 ? static_cast<std::size_t>(options_.split)
                                                 : std::max<std::size_t>(bytes.size(), 1);
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        device.write(data + at, static_cast<qint64>(std::min(piece, bytes.size() - at)));
        // Each piece leaves on its own: a separate TCP segment, or a separate serial write.
        if (auto* socket = qobject_cast<QAbstractSocket*>(&device)) {
            socket->flush();
        } else if (auto* file = qobject_cast<QFileDevice*>(&device)) {
            file->flush();
        } else if (auto* serial = qobject_cast<QSerialPort*>(&device)) {
            serial->flush();
        }
    }
}

void RacePlayer::AcceptClients() {
    while (QTcpSocket* client = server_.nextPendingConnection()) {
        client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        clients_.push_back(client);
        connect(client, &QTcpSocket::disconnected, this, [this, client] {
            std::erase(clients_, client);
            client->deleteLater();
        });
        std::printf("tivaro-sim: client %s connected\n",
                    client->peerAddress().toString().toLocal8Bit().constData());
        std::fflush(stdout);
    }
    if (!held_.empty()) {
        // What the decoder held while nobody listened goes out now.
        std::vector<std::uint8_t> held;
        held.swap(held_);
        Write(held);
    }
    Begin();
}

void RacePlayer::DropClients() {
    std::printf("tivaro-sim: dropping the connection after %zu passings\n", next_);
    std::fflush(stdout);
    for (QTcpSocket* client : std::vector<QTcpSocket*>(clients_)) {
        client->flush();
        client->abort();
    }
}

void RacePlayer::Finish() {
    if (device_) {
        if (auto* file = qobject_cast<QFileDevice*>(device_.get())) {
            file->flush();
        }
    }
    std::fprintf(stderr, "tivaro-sim: %zu passings sent\n", race_.size());
    const int lingerMs = static_cast<int>(options_.linger * 1000);
    QTimer::singleShot(lingerMs, this, [this] {
        for (QTcpSocket* client : clients_) {
            client->disconnectFromHost();
        }
        emit finished(0);
    });
}

}  // namespace tivaro::sim
