#pragma once
// The TCP link to the decoder: a client connection to the decoder's address on its port
// (5403). It only receives: readyRead() says bytes are waiting, readAll() takes them.
//
// An attempt that fails before any connection was made is reported by attemptFailed() and
// tried again every retry interval, until it succeeds or the link is stopped (another link
// chosen) or pointed at another address. Once a connection has been made, losing it (the
// decoder closes it, the network drops it) is reported by lost() and the link connects again
// by itself every retry interval until it succeeds, which connected() reports as for the first
// connection. Bytes still waiting when a connection ends are announced by readyRead() before
// lost(), so none of them is dropped by the reconnect.
//
// Every signal is emitted from the event loop, never from inside connectTo().

#include <QByteArray>
#include <QString>
#include <QTcpSocket>
#include <QTimer>
#include <chrono>
#include <utility>

#include "app/decoder_link.h"

namespace tivaro::app {

inline constexpr quint16 kDecoderPort = 5403;
// The most the window takes from the link in one receive event. A burst (a decoder emptying
// its memory after a reconnect) is handled in slices, so the window repaints and answers
// between them and every passing is handled soon after its bytes were taken.
inline constexpr qint64 kArrivalSlice = 4096;

class TcpLink final : public DecoderLink {
    Q_OBJECT
public:
    enum class State { Idle, Connecting, Retrying, Connected, Reconnecting };

    explicit TcpLink(quint16 port = kDecoderPort,
                     std::chrono::milliseconds retryInterval = std::chrono::seconds(3),
                     QObject* parent = nullptr);

    // Starts connecting to `host` and returns at once; an attempt at another address that has
    // not succeeded yet is given up. Does nothing and returns false while an attempt at the
    // same address is under way, and once a connection exists (or is being restored).
    bool connectTo(const QString& host);
    // Gives up connecting and closes the connection, if any; the link is idle again.
    void stop();

    State state() const { return state_; }
    QString host() const { return host_; }
    quint16 port() const { return port_; }
    std::chrono::milliseconds retryInterval() const { return retryInterval_; }

    link::LinkKind kind() const override { return link::LinkKind::Tcp; }
    QByteArray read(qint64 maxBytes) override;
    qint64 bytesWaiting() const override { return pending_.size() + socket_.bytesAvailable(); }
    QByteArray takeEndedConnectionBytes() override { return std::exchange(pending_, QByteArray()); }
    // Why the last attempt failed or the connection was lost.
    QString problem() const override { return lastError_; }

signals:
    void attemptFailed();
    void retryFailed();

private:
    void Attempt();
    void OnConnected();
    void OnUnconnected();

    QTcpSocket socket_;
    QTimer retryTimer_;
    quint16 port_;
    std::chrono::milliseconds retryInterval_;
    State state_ = State::Idle;
    QString host_;
    QString lastError_;
    QByteArray pending_;  // what arrived on a connection that has ended, not yet taken
};

}  // namespace tivaro::app
