#pragma once

#include <QAbstractSocket>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QTcpServer;
class QTcpSocket;

namespace zul {

class ActivityLog;

// The notifications one read from a client holds. A read is cut before the second and every
// later marker ("[INS]", "[DEL]", "[UPD]", matched with letter case, as the queue processing
// matches them), so notifications that a client sent back to back and that arrived together
// stay separate. The first piece keeps whatever stood before its marker; every piece keeps
// its text exactly as received, line end included. A read without two markers is one piece.
QStringList SplitNotifications(const QString& received);

// The person number of a notification: the text after its first five characters (where the
// marker is expected), without a trailing run of CR and LF that a client's line end left.
// Blanks are kept: they are part of the number as the sender wrote it.
QString NotificationPersonNumber(const QString& notification);

// The change-notification socket `sskCatraca`: any number of clients, each read queued as
// notifications for the online loop in `PendingQueue`, replies and passages sent to every
// connected client. Texts on the wire are Windows-1252 with no framing in either direction.
// Everything runs on the main thread, by the event loop or the loop's message dispatch.
//
// There is no terminator and no length on the wire, so the end of a read is the only end of a
// notification there is. A marker cut in two by the network is therefore not put together
// again: holding bytes back would mean waiting for a next marker that may never come, and the
// last notification of a burst would sit unqueued. Senders write one short notification at a
// time, which arrives whole.
class NotificationServer : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 DefaultPort = 10622;

    // `port` 0 listens on any free port (tests); serverPort() tells which.
    explicit NotificationServer(const ActivityLog& log, quint16 port = DefaultPort,
                                QObject* parent = nullptr);
    ~NotificationServer() override;

    // Makes the socket listen if it does not. A port that cannot be taken is logged; the next
    // check tries again.
    void CheckNotificationSocket();

    // Sends prefix + text to every connected client, in the order they connected. A send that
    // fails ends the broadcast and is logged; the clients after it miss the message.
    void BroadcastToClients(const QString& text, const QString& prefix);

    // Notifications waiting for the online loop, oldest first; never two equal when letter
    // case is ignored. Appended here, read and shortened by the queue step.
    QStringList& PendingQueue() { return m_pendingQueue; }
    const QStringList& PendingQueue() const { return m_pendingQueue; }

    // Queues the notifications of one read (see SplitNotifications): blank ones and ones
    // already waiting (letter case ignored) are dropped.
    void QueueReceived(const QString& received);

    // Logs a client's socket error; the manager goes on.
    void ClientError(QAbstractSocket::SocketError error);

    bool isListening() const;
    // The port listened on; 0 while not listening.
    quint16 serverPort() const;
    int clientCount() const { return int(m_clients.size()); }

    QTcpServer* const sskCatraca;

private:
    void AcceptClients();
    void ClientDataReceived(QTcpSocket* client);
    void ClientGone(QTcpSocket* client);

    const ActivityLog& m_log;
    const quint16 m_port;
    QStringList m_pendingQueue;
    // The connection list in the order the clients connected.
    QList<QTcpSocket*> m_clients;
};

} // namespace zul
