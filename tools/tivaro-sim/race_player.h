#pragma once
// Plays the bytes of a race on the chosen output, on the race's own timeline (or faster):
// a TCP server that serves every client, a serial device, a pseudo-terminal, or a file.

#include <QElapsedTimer>
#include <QObject>
#include <QTcpServer>
#include <QTimer>
#include <memory>
#include <vector>

#include "tools/tivaro-sim/decoder_stream.h"
#include "tools/tivaro-sim/sim_options.h"

class QIODevice;
class QTcpSocket;

namespace tivaro::sim {

class RacePlayer : public QObject {
    Q_OBJECT

public:
    RacePlayer(SimOptions options, std::vector<SimPassing> race, QObject* parent = nullptr);
    ~RacePlayer() override;

    // Opens the output; on failure the message says what and why.
    bool open(QString& error);

signals:
    void finished(int exitCode);

private:
    void Begin();
    void SendDue();
    void Write(const std::vector<std::uint8_t>& bytes);
    void WriteToDevice(QIODevice& device, const std::vector<std::uint8_t>& bytes);
    void AcceptClients();
    void DropClients();
    void Finish();

    SimOptions options_;
    std::vector<SimPassing> race_;
    DecoderStream stream_;
    std::size_t next_ = 0;
    bool begun_ = false;
    bool dropped_ = false;
    QElapsedTimer clock_;
    QTimer timer_;

    QTcpServer server_;
    std::vector<QTcpSocket*> clients_;
    std::vector<std::uint8_t> held_;     // TCP: bytes for the next client while none is connected
    std::unique_ptr<QIODevice> device_;  // serial port, pseudo-terminal or file
    int ptySlave_ = -1;
};

}  // namespace tivaro::sim
