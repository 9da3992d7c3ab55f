#include "notify/NotificationServer.h"

#include "support/ActivityLog.h"
#include "support/Error.h"
#include "support/Win1252.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <array>
#include <utility>

namespace zul {

namespace {

constexpr std::array<QStringView, 3> kMarkers{u"[INS]", u"[DEL]", u"[UPD]"};
constexpr qsizetype kMarkerLength = 5;

bool markerAt(QStringView text, qsizetype at)
{
    const QStringView rest = text.mid(at);
    for (const QStringView marker : kMarkers)
        if (rest.startsWith(marker))
            return true;
    return false;
}

bool isBlank(const QString& text)
{
    for (const QChar c : text)
        if (c != u' ')
            return false;
    return true;
}

char16_t foldAscii(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c;
}

// Equal when letter case is ignored. Notifications share their marker and the leading zeros
// of their numbers and differ in the last digits, so a cheap walk from the end turns almost
// every other text away before the full comparison runs: a backlog of thousands is checked at
// each arrival. Two different ASCII characters never fold to the same one, so the walk only
// ever refuses what the full comparison would refuse too.
bool equalIgnoringCase(const QString& a, const QString& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = a.size() - 1; i >= 0; --i) {
        const char16_t ca = a.at(i).unicode();
        const char16_t cb = b.at(i).unicode();
        if (ca != cb && ca < 0x80 && cb < 0x80 && foldAscii(ca) != foldAscii(cb))
            return false;
    }
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool isQueued(const QStringList& queue, const QString& text)
{
    for (const QString& waiting : queue)
        if (equalIgnoringCase(waiting, text))
            return true;
    return false;
}

} // namespace

QStringList SplitNotifications(const QString& received)
{
    QStringList pieces;
    qsizetype start = 0;
    bool markerSeen = false;
    for (qsizetype at = 0; at + kMarkerLength <= received.size(); ++at) {
        if (received.at(at) != u'[' || !markerAt(received, at))
            continue;
        if (markerSeen) {
            pieces.append(received.mid(start, at - start));
            start = at;
        }
        markerSeen = true;
        at += kMarkerLength - 1;
    }
    pieces.append(received.mid(start));
    return pieces;
}

QString NotificationPersonNumber(const QString& notification)
{
    qsizetype end = notification.size();
    while (end > kMarkerLength && (notification.at(end - 1) == u'\r' || notification.at(end - 1) == u'\n'))
        --end;
    return notification.mid(kMarkerLength, end - kMarkerLength);
}

NotificationServer::NotificationServer(const ActivityLog& log, quint16 port, QObject* parent)
    : QObject(parent), sskCatraca(new QTcpServer(this)), m_log(log), m_port(port)
{
    connect(sskCatraca, &QTcpServer::newConnection, this, &NotificationServer::AcceptClients);
}

NotificationServer::~NotificationServer()
{
    // The connections close with the server socket, after this object's members are gone;
    // their last signals must not come back here.
    for (QTcpSocket* client : std::as_const(m_clients))
        QObject::disconnect(client, nullptr, this, nullptr);
}

bool NotificationServer::isListening() const
{
    return sskCatraca->isListening();
}

quint16 NotificationServer::serverPort() const
{
    return sskCatraca->isListening() ? sskCatraca->serverPort() : 0;
}

void NotificationServer::CheckNotificationSocket()
{
    m_log.write(QStringLiteral("Verificar socket TCP"));
    if (sskCatraca->isListening())
        return;
    if (!sskCatraca->listen(QHostAddress::Any, m_port))
        m_log.write(QStringLiteral("Conecta Socket - ERRO: ") + sskCatraca->errorString());
}

void NotificationServer::AcceptClients()
{
    while (QTcpSocket* client = sskCatraca->nextPendingConnection()) {
        m_clients.append(client);
        connect(client, &QTcpSocket::readyRead, this, [this, client] { ClientDataReceived(client); });
        connect(client, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
            // A client closing its end is how a sender says goodbye, not a fault of the socket.
            if (error != QAbstractSocket::RemoteHostClosedError)
                ClientError(error);
        });
        connect(client, &QTcpSocket::disconnected, this, [this, client] { ClientGone(client); });
    }
}

void NotificationServer::ClientGone(QTcpSocket* client)
{
    m_clients.removeOne(client);
    client->deleteLater();
}

void NotificationServer::ClientDataReceived(QTcpSocket* client)
{
    QueueReceived(fromWin1252(client->readAll()));
}

void NotificationServer::QueueReceived(const QString& received)
{
    for (const QString& notification : SplitNotifications(received)) {
        if (isBlank(notification) || isQueued(m_pendingQueue, notification))
            continue;
        m_pendingQueue.append(notification);
    }
}

void NotificationServer::ClientError(QAbstractSocket::SocketError error)
{
    m_log.write(QString());
    m_log.write(QStringLiteral("Socket catraca gerou o seguinte erro: ") + QString::number(int(error)));
    m_log.write(QString());
}

void NotificationServer::BroadcastToClients(const QString& text, const QString& prefix)
{
    const QByteArray bytes = toWin1252(prefix + text);
    try {
        // A copy: a client that goes away while this runs must not disturb the walk.
        const QList<QTcpSocket*> clients = m_clients;
        for (QTcpSocket* client : clients) {
            // Writing to a closed connection leaves no error text of its own behind.
            if (!client->isWritable())
                throw Error(QStringLiteral("Socket is not connected (%1:%2)")
                                .arg(client->peerAddress().toString())
                                .arg(client->peerPort()));
            if (client->write(bytes) != bytes.size())
                throw Error(client->errorString());
            client->flush();
        }
    } catch (const Error& error) {
        m_log.write(QStringLiteral("Envia mensagem socket - ERRO: ") + error.message());
    }
}

} // namespace zul
