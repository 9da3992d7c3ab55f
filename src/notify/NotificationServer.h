#pragma once

#include "notify/NotificationAccess.h"
#include "notify/NotificationFraming.h"
#include "support/Error.h"

#include <QAbstractSocket>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <map>
#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace zul {

class ActivityLog;
class Clock;

// The person number of a queued notification: after its first five characters, blanks in
// front skipped, as far as the first blank or control character.
QString NotificationPersonNumber(const QString& notification);

// The change-notification socket `sskCatraca`: clients send "[INS]", "[DEL]" and "[UPD]"
// notifications, queued in `PendingQueue` for the online loop; replies and passages go to every
// connected client. Texts on the wire are Windows-1252 with no framing of their own; how a
// client's bytes are cut into notifications is NotificationFraming's business. Everything runs
// on the main thread, by the event loop or the loop's message dispatch.
//
// Whatever a client does, it costs the manager a bounded amount: the limits below are each
// logged when hit, at most once a minute per limit (with how often it was hit meanwhile).
class NotificationServer : public QObject
{
    Q_OBJECT
public:
    // How often, while a client has an unfinished notification or accepting rests, the server
    // looks whether the client went quiet or accepting may resume.
    static constexpr int QuietCheckMs = 50;
    // Completes what went quiet, resumes accepting; run by quietTimer().
    void CheckQuietClients();
    QTimer& quietTimer() { return m_housekeeping; }

    static constexpr quint16 DefaultPort = 10622;
    // Clients connected at once, far under the process's descriptor limit (1024 as usual).
    // A client past it takes the place of the one that has been silent longest, so senders
    // that come and go are never locked out by connections left open.
    static constexpr int MaxClients = 64;
    // A client silent this long has finished what it was sending (peers send no line end).
    static constexpr int QuietTimeMs = 300;
    // Notifications waiting for the online loop; one past it is answered "[ER]" at once.
    static constexpr qsizetype MaxQueueLength = 500;
    // Bytes waiting to be sent to one client; a client that lets more pile up by not reading
    // is disconnected. The system's own buffer for the connection is held to the same size.
    static constexpr qint64 MaxSendBacklog = 64 * 1024;
    // Bytes taken off one connection per read event.
    static constexpr qint64 ReadBufferBytes = 16 * 1024;
    // After a failed accept (no descriptors left, for one), accepting rests this long.
    static constexpr int AcceptRetryMs = 1000;
    // A limit hit again within this time is counted, not logged again.
    static constexpr qint64 LimitLogIntervalMs = 60'000;

    // `port` 0 listens on any free port (tests); serverPort() tells which.
    NotificationServer(const ActivityLog& log, Clock& clock, quint16 port = DefaultPort,
                       NotificationAccess access = {}, QObject* parent = nullptr);
    ~NotificationServer() override;

    // Makes the socket listen if it does not. A port that cannot be taken is logged; the next
    // check tries again.
    void CheckNotificationSocket();

    // Sends prefix + text to every connected client, in the order they connected. A client
    // whose send fails is logged and disconnected; the others still get the message.
    void BroadcastToClients(const QString& text, const QString& prefix);

    // Notifications waiting for the online loop, oldest first; never two equal when letter
    // case is ignored. Appended here, read and shortened by the queue step.
    QStringList& PendingQueue() { return m_pendingQueue; }
    const QStringList& PendingQueue() const { return m_pendingQueue; }

    enum class Queued { Added, Blank, Duplicate, QueueFull };
    // Queues one notification unless it is blank, already waiting (letter case ignored) or
    // the queue is full.
    Queued QueueNotification(const QString& notification);

    // Logs a client's socket error; the manager goes on.
    void ClientError(QAbstractSocket::SocketError error);

    // The application's exception handler, for an error escaping the handlers of the server
    // socket, of its connections and of its housekeeping timer.
    void setExceptionHandler(ExceptionHandler handler) { m_onExcept = std::move(handler); }

    bool isListening() const;
    // The port listened on; 0 while not listening.
    quint16 serverPort() const;
    int clientCount() const { return int(m_clients.size()); }

    QTcpServer* const sskCatraca;

private:
    struct Client;
    enum class Limit { Clients, Waiting, Length, Queue, Backlog, Accept, Refused, Unknown, ClientError };

    // Runs the handler of a signal through the exception handler.
    template <class Slot> void guarded(Slot&& slot) { RunGuarded(m_onExcept, std::forward<Slot>(slot)); }
    void AcceptClients();
    void AcceptFailed(QAbstractSocket::SocketError error);
    void ClientDataReceived(Client* client);
    void ClientGone(Client* client);
    void HandlePieces(Client* client, const QList<NotificationFraming::Piece>& pieces);
    // Sends to one client; false (and the client is on its way out) when that failed or its
    // backlog grew past the limit.
    bool SendTo(Client* client, const QByteArray& bytes, QString* failure);
    void Drop(Client* client);
    // Writes `text` unless `limit` was logged within the last LimitLogIntervalMs.
    void LogLimit(Limit limit, const QString& text);
    QString peerOf(const QTcpSocket* socket) const;
    void followQueue();

    const ActivityLog& m_log;
    Clock& m_clock;
    const quint16 m_port;
    const NotificationAccess m_access;
    bool m_accessLogged = false;
    QStringList m_pendingQueue;
    // The queue's texts folded for the duplicate test, in queue order and as a set.
    std::deque<QString> m_queueKeys;
    QSet<QString> m_queuedKeys;
    // The connection list in the order the clients connected.
    std::vector<std::unique_ptr<Client>> m_clients;
    // Clients dropped while something up the stack may still hold them.
    std::vector<std::unique_ptr<Client>> m_retired;
    QTimer m_housekeeping;
    ExceptionHandler m_onExcept;
    // When accepting was paused after a failure; -1 while it runs.
    qint64 m_acceptPausedAt = -1;
    struct LimitLog
    {
        qint64 loggedAt = 0;
        bool logged = false;
        int unlogged = 0;
    };
    std::map<Limit, LimitLog> m_limitLog;
};

} // namespace zul
