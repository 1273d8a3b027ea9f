#pragma once
// A link to the decoder as the window sees it: bytes come in, connections are made and lost.
// The serial line (SerialLink) and the TCP connection (TcpLink) fill it in; the window reads
// both the same way. Every signal is emitted from the event loop.

#include <QByteArray>
#include <QObject>
#include <QString>

#include "link/passing.h"

namespace tivaro::app {

class DecoderLink : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual link::LinkKind kind() const = 0;

    // Takes at most `maxBytes` of what has arrived, oldest first.
    virtual QByteArray read(qint64 maxBytes) = 0;
    QByteArray readAll() { return read(bytesWaiting()); }
    virtual qint64 bytesWaiting() const = 0;
    // Takes only what arrived on connections that have ended, so that it can be handled
    // before the bytes of the new connection.
    virtual QByteArray takeEndedConnectionBytes() = 0;

    // Why the link was lost, or why the last attempt failed, in the user's words.
    virtual QString problem() const = 0;

signals:
    void readyRead();
    // A connection was made (or made again): whatever the old one left unfinished is to be
    // dropped.
    void connected();
    // The connection went away.
    void lost();
};

}  // namespace tivaro::app
