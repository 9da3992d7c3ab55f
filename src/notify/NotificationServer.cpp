#include "notify/NotificationServer.h"

#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Text.h"
#include "support/Win1252.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace zul {

namespace {

// The key under which a text is looked for in the queue: every character folded as the
// letter-case-blind comparison folds it.
QString queueKey(const QString& text)
{
    QString key(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        key[i] = text.at(i).toCaseFolded();
    return key;
}

} // namespace

struct NotificationServer::Client
{
    QTcpSocket* socket = nullptr;
    NotificationFraming framing;
    // When it last sent anything (or connected): the one silent longest goes first.
    qint64 lastHeardMs = 0;
    QString peer;
    bool dropping = false;
};

QString NotificationPersonNumber(const QString& notification)
{
    const QByteArray bytes = toWin1252(notification);
    return fromWin1252(NotificationFraming::personNumber(bytes).toByteArray());
}

NotificationServer::NotificationServer(const ActivityLog& log, Clock& clock, quint16 port,
                                       NotificationAccess access, QObject* parent)
    : QObject(parent), sskCatraca(new QTcpServer(this)), m_log(log), m_clock(clock), m_port(port),
      m_access(std::move(access))
{
    sskCatraca->setMaxPendingConnections(MaxClients);
    connect(sskCatraca, &QTcpServer::newConnection, this, [this] { guarded([this] { AcceptClients(); }); });
    connect(sskCatraca, &QTcpServer::acceptError, this,
            [this](QAbstractSocket::SocketError error) { guarded([this, error] { AcceptFailed(error); }); });
    m_housekeeping.setInterval(QuietCheckMs);
    connect(&m_housekeeping, &QTimer::timeout, this, [this] { guarded([this] { CheckQuietClients(); }); });
}

NotificationServer::~NotificationServer()
{
    // The connections close with the server socket, after this object's members are gone;
    // their last signals must not come back here.
    for (const auto& client : m_clients)
        QObject::disconnect(client->socket, nullptr, this, nullptr);
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
    m_log.write(u"Verificar socket TCP"_s);
    if (!m_accessLogged) {
        m_accessLogged = true;
        if (!m_access.problems.isEmpty())
            m_log.write(u"Socket TCP - ERRO: configuração inválida ignorada: "_s +
                        m_access.problems.join(u", "));
        if (!m_access.restricted)
            m_log.write(u"Socket TCP aberto a todos: nenhuma lista de clientes permitidos"_s);
        else
            m_log.write(u"Socket TCP: clientes permitidos: %1 rede(s)"_s.arg(m_access.allowed.size()));
    }
    if (sskCatraca->isListening())
        return;
    if (m_access.listenInvalid) {
        // Listening anywhere else than where the operator said would open it to more people.
        m_log.write(u"Conecta Socket - ERRO: endereço de escuta inválido: "_s + m_access.problems.first());
        return;
    }
    if (!sskCatraca->listen(m_access.listenAddress, m_port))
        m_log.write(u"Conecta Socket - ERRO: "_s + sskCatraca->errorString());
}

QString NotificationServer::peerOf(const QTcpSocket* socket) const
{
    QHostAddress address = socket->peerAddress();
    bool isV4 = false;
    if (const quint32 v4 = address.toIPv4Address(&isV4); isV4)
        address = QHostAddress(v4);
    return address.toString() + u':' + QString::number(socket->peerPort());
}

void NotificationServer::LogLimit(Limit limit, const QString& text)
{
    LimitLog& entry = m_limitLog[limit];
    const qint64 now = m_clock.elapsedMs();
    if (entry.logged && now - entry.loggedAt < LimitLogIntervalMs) {
        ++entry.unlogged;
        return;
    }
    QString line = text;
    if (entry.unlogged > 0)
        line += u" (mais %1 vez(es) desde o último registro)"_s.arg(entry.unlogged);
    m_log.write(line);
    entry = {now, true, 0};
}

void NotificationServer::AcceptFailed(QAbstractSocket::SocketError error)
{
    // The server has stopped accepting; it starts again after a rest instead of trying the
    // same failing accept over and over.
    LogLimit(Limit::Accept,
             u"Socket TCP: falha ao aceitar conexão (%1: %2); nova tentativa em %3 ms"_s.arg(int(error))
                 .arg(sskCatraca->errorString())
                 .arg(AcceptRetryMs));
    sskCatraca->pauseAccepting();
    m_acceptPausedAt = m_clock.elapsedMs();
    m_housekeeping.start();
}

void NotificationServer::AcceptClients()
{
    while (QTcpSocket* socket = sskCatraca->nextPendingConnection()) {
        if (!m_access.allows(socket->peerAddress())) {
            LogLimit(Limit::Refused,
                     u"Socket TCP: cliente recusado (endereço não permitido): "_s + peerOf(socket));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        if (clientCount() >= MaxClients) {
            const auto oldest =
                std::min_element(m_clients.begin(), m_clients.end(), [](const auto& a, const auto& b) {
                    return a->lastHeardMs < b->lastHeardMs;
                });
            LogLimit(Limit::Clients, u"Socket TCP: limite de %1 clientes atingido; "
                                     "desconectado o cliente em silêncio há mais tempo: %2"_s.arg(MaxClients)
                                         .arg((*oldest)->peer));
            Drop(oldest->get());
        }
        auto client = std::make_unique<Client>();
        Client* const c = client.get();
        c->socket = socket;
        c->lastHeardMs = m_clock.elapsedMs();
        c->peer = peerOf(socket);
        socket->setReadBufferSize(ReadBufferBytes);
        socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, int(MaxSendBacklog));
        m_clients.push_back(std::move(client));
        connect(socket, &QTcpSocket::readyRead, this,
                [this, c] { guarded([this, c] { ClientDataReceived(c); }); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
            // A client closing its end is how a sender says goodbye, not a fault of the socket.
            if (error != QAbstractSocket::RemoteHostClosedError)
                guarded([this, error] { ClientError(error); });
        });
        connect(socket, &QTcpSocket::disconnected, this,
                [this, c] { guarded([this, c] { ClientGone(c); }); });
        // It may have sent before the connection was taken off the list.
        if (socket->bytesAvailable() > 0)
            ClientDataReceived(c);
    }
}

void NotificationServer::Drop(Client* client)
{
    if (client->dropping)
        return;
    client->dropping = true;
    QTcpSocket* const socket = client->socket;
    QObject::disconnect(socket, nullptr, this, nullptr);
    const auto at = std::find_if(m_clients.begin(), m_clients.end(),
                                 [client](const auto& c) { return c.get() == client; });
    if (at != m_clients.end()) {
        // Whoever is handling this client now still holds it: it goes when the event loop
        // comes round again, together with its connection.
        m_retired.push_back(std::move(*at));
        m_clients.erase(at);
        if (m_retired.size() == 1)
            QMetaObject::invokeMethod(
                this, [this] { m_retired.clear(); }, Qt::QueuedConnection);
    }
    socket->abort();
    socket->deleteLater();
}

void NotificationServer::ClientGone(Client* client)
{
    // What it sent last, with no line end after it, is complete now.
    if (client->socket->bytesAvailable() > 0)
        ClientDataReceived(client);
    if (client->dropping)
        return;
    HandlePieces(client, client->framing.finish());
    Drop(client);
}

void NotificationServer::ClientDataReceived(Client* client)
{
    QTcpSocket* const socket = client->socket;
    while (!client->dropping && socket->bytesAvailable() > 0) {
        const QByteArray bytes = socket->read(ReadBufferBytes);
        client->lastHeardMs = m_clock.elapsedMs();
        HandlePieces(client, client->framing.feed(bytes));
        if (client->dropping)
            return;
        if (client->framing.overflowed()) {
            LogLimit(Limit::Waiting, u"Socket TCP: cliente %1 desconectado: mais de %2 bytes sem "
                                     "completar uma notificação"_s.arg(client->peer)
                                         .arg(NotificationFraming::MaxWaitingBytes));
            Drop(client);
            return;
        }
    }
    if (client->framing.waitingBytes() > 0 && !m_housekeeping.isActive())
        m_housekeeping.start();
}

void NotificationServer::CheckQuietClients()
{
    const qint64 now = m_clock.elapsedMs();
    bool waiting = false;
    if (m_acceptPausedAt >= 0) {
        if (now - m_acceptPausedAt >= AcceptRetryMs) {
            m_acceptPausedAt = -1;
            sskCatraca->resumeAccepting();
        } else {
            waiting = true;
        }
    }
    // A copy: answering a client can drop it.
    std::vector<Client*> clients;
    for (const auto& client : m_clients)
        clients.push_back(client.get());
    for (Client* client : clients) {
        if (client->dropping || client->framing.waitingBytes() == 0)
            continue;
        if (now - client->lastHeardMs >= QuietTimeMs)
            HandlePieces(client, client->framing.finish());
        else
            waiting = true;
    }
    if (!waiting)
        m_housekeeping.stop();
}

void NotificationServer::HandlePieces(Client* client, const QList<NotificationFraming::Piece>& pieces)
{
    using Kind = NotificationFraming::Piece::Kind;
    for (const NotificationFraming::Piece& piece : pieces) {
        if (client->dropping)
            return;
        const QString text = fromWin1252(piece.text);
        switch (piece.kind) {
        case Kind::Notification:
            if (QueueNotification(text) == Queued::QueueFull) {
                LogLimit(Limit::Queue,
                         u"Socket TCP: fila de notificações cheia (%1); recusada: %2"_s.arg(MaxQueueLength)
                             .arg(text));
                SendTo(client, toWin1252(u"[ER]" + text), nullptr);
            }
            break;
        case Kind::TooLong:
            LogLimit(Limit::Length,
                     u"Socket TCP: notificação com mais de %1 caracteres recusada de %2: %3"_s
                         .arg(NotificationFraming::MaxNotificationLength)
                         .arg(client->peer, fromWin1252(NotificationFraming::visible(piece.received))));
            SendTo(client, toWin1252(u"[ER]" + text), nullptr);
            break;
        case Kind::Unknown:
            // Nothing to carry out: answered at once to the sender, as the queue step would.
            LogLimit(Limit::Unknown,
                     u"Socket TCP: texto sem marcador recebido de %1: %2"_s.arg(
                         client->peer, fromWin1252(NotificationFraming::visible(piece.received))));
            SendTo(client, toWin1252(u"[ER]" + text), nullptr);
            break;
        }
    }
}

NotificationServer::Queued NotificationServer::QueueNotification(const QString& notification)
{
    if (IsBlank(notification))
        return Queued::Blank;
    followQueue();
    const QString key = queueKey(notification);
    if (m_queuedKeys.contains(key))
        return Queued::Duplicate;
    if (m_pendingQueue.size() >= MaxQueueLength)
        return Queued::QueueFull;
    m_pendingQueue.append(notification);
    m_queueKeys.push_back(key);
    m_queuedKeys.insert(key);
    return Queued::Added;
}

// Only this server appends to the queue; the queue step takes from its front and a restart
// empties it. The keys follow by dropping as many from the front as the queue lost, so each
// text costs a constant amount however long the queue is. Anything else done to the queue is
// noticed at its ends and the keys are built again.
void NotificationServer::followQueue()
{
    const auto size = std::size_t(m_pendingQueue.size());
    while (m_queueKeys.size() > size) {
        m_queuedKeys.remove(m_queueKeys.front());
        m_queueKeys.pop_front();
    }
    const bool inStep = m_queueKeys.size() == size &&
                        (size == 0 || (m_queueKeys.front() == queueKey(m_pendingQueue.first()) &&
                                       m_queueKeys.back() == queueKey(m_pendingQueue.last())));
    if (inStep)
        return;
    m_queueKeys.clear();
    m_queuedKeys.clear();
    for (const QString& text : std::as_const(m_pendingQueue)) {
        m_queueKeys.push_back(queueKey(text));
        m_queuedKeys.insert(m_queueKeys.back());
    }
}

void NotificationServer::ClientError(QAbstractSocket::SocketError error)
{
    LimitLog& entry = m_limitLog[Limit::ClientError];
    const qint64 now = m_clock.elapsedMs();
    if (entry.logged && now - entry.loggedAt < LimitLogIntervalMs) {
        ++entry.unlogged;
        return;
    }
    m_log.write(QString());
    m_log.write(u"Socket catraca gerou o seguinte erro: "_s + QString::number(int(error)));
    m_log.write(QString());
    entry = {now, true, 0};
}

bool NotificationServer::SendTo(Client* client, const QByteArray& bytes, QString* failure)
{
    QTcpSocket* const socket = client->socket;
    QString problem;
    if (!socket->isWritable())
        // Writing to a closed connection leaves no error text of its own behind.
        problem = u"Socket is not connected (%1)"_s.arg(client->peer);
    else if (socket->write(bytes) != bytes.size())
        problem = socket->errorString();
    if (!problem.isEmpty()) {
        if (failure)
            *failure = problem;
        Drop(client);
        return false;
    }
    socket->flush();
    if (socket->bytesToWrite() > MaxSendBacklog) {
        LogLimit(Limit::Backlog, u"Socket TCP: cliente %1 desconectado: mais de %2 bytes esperando "
                                 "para serem enviados"_s.arg(client->peer)
                                     .arg(MaxSendBacklog));
        Drop(client);
        return false;
    }
    return true;
}

void NotificationServer::BroadcastToClients(const QString& text, const QString& prefix)
{
    const QByteArray bytes = toWin1252(prefix + text);
    // A copy: a client that goes away while this runs must not disturb the walk.
    std::vector<Client*> clients;
    for (const auto& client : m_clients)
        clients.push_back(client.get());
    for (Client* client : clients) {
        QString failure;
        if (!SendTo(client, bytes, &failure) && !failure.isEmpty())
            m_log.write(u"Envia mensagem socket - ERRO: "_s + failure);
    }
}

} // namespace zul
