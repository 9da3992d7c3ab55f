#include "notify/NotificationServer.h"

#include "LogReader.h"
#include "QtPrinters.h"
#include "TempDir.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/Win1252.h"

#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <vector>

using namespace Qt::StringLiterals;

using namespace zul;

namespace {

// Runs the event loop until `done` holds; the timeout only bounds a test that would otherwise
// hang, loopback traffic arrives long before it.
bool waitFor(const std::function<bool()>& done, int timeoutMs = 5000)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start();
    loop.exec();
    return done();
}

// --- the person number of a queued notification ------------------------------------------------

struct NumberCase
{
    const char* name;
    QString notification;
    QString personNumber;
};

void PrintTo(const NumberCase& c, std::ostream* os)
{
    *os << c.name;
}

class PersonNumberTest : public ::testing::TestWithParam<NumberCase>
{
};

TEST_P(PersonNumberTest, AfterTheMarkerAsFarAsABlankOrControlCharacter)
{
    EXPECT_EQ(NotificationPersonNumber(GetParam().notification), GetParam().personNumber);
}

INSTANTIATE_TEST_SUITE_P(Notifications, PersonNumberTest,
                         ::testing::Values(NumberCase{"Plain", u"[INS]0000000001"_s, u"0000000001"_s},
                                           NumberCase{"CrLf", u"[INS]0000000001\r\n"_s, u"0000000001"_s},
                                           NumberCase{"Lf", u"[DEL]0000000001\n"_s, u"0000000001"_s},
                                           NumberCase{"LfCr", u"[DEL]0000000001\n\r"_s, u"0000000001"_s},
                                           NumberCase{"BlanksAround", u"[UPD] 001 \r\n"_s, u"001"_s},
                                           NumberCase{"TextAfterIt", u"[UPD]001 002"_s, u"001"_s},
                                           NumberCase{"InnerLineEndEndsIt", u"[UPD]00\r\n01"_s, u"00"_s},
                                           NumberCase{"Windows1252", u"[INS]João"_s, u"João"_s},
                                           NumberCase{"FirstFiveCharactersGoWhateverTheyAre", u"xx[DEL]123"_s,
                                                      u"L]123"_s},
                                           NumberCase{"MarkerOnly", u"[INS]"_s, u""_s},
                                           NumberCase{"MarkerAndLineEnd", u"[INS]\r\n"_s, u""_s},
                                           NumberCase{"ShorterThanAMarker", u"[IN"_s, u""_s}),
                         [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

// --- the server on loopback ---------------------------------------------------------------------

const QString kOpenToEveryone = u"Socket TCP aberto a todos: nenhuma lista de clientes permitidos"_s;

// A manual clock that fails on demand: every handler of the server reads the time.
class FailingClock final : public Clock
{
public:
    QDateTime now() const { return m_inner.now(); }
    qint64 epochMs() const { return m_inner.now().toMSecsSinceEpoch(); }
    qint64 elapsedMs() const
    {
        if (failing)
            throw Error(u"relógio indisponível"_s);
        return m_inner.elapsedMs();
    }
    void sleep(int ms) { m_inner.sleep(ms); }
    void pause(int ms) { m_inner.pause(ms); }
    bool waitUntil(qint64 deadlineMs, const std::function<bool()>& done)
    {
        return m_inner.waitUntil(deadlineMs, done);
    }

    bool failing = false;

private:
    ManualClock m_inner;
};

TEST(NotificationServerGuard, ErrorOfASocketHandlerGoesToTheExceptionHandlerNotIntoQt)
{
    test::TempDir dir;
    FailingClock clock;
    ActivityLog log{clock, dir.path()};
    NotificationServer server(log, clock, 0, NotificationAccess{});
    QStringList reported;
    server.setExceptionHandler([&](const QString& message) { reported << message; });
    server.CheckNotificationSocket();
    ASSERT_TRUE(server.isListening());

    clock.failing = true;
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.serverPort());
    EXPECT_NO_THROW(EXPECT_TRUE(waitFor([&] { return !reported.isEmpty(); })));
    EXPECT_EQ(reported.value(0), u"relógio indisponível"_s);
    EXPECT_EQ(server.clientCount(), 0);
}

class NotificationServerTest : public ::testing::Test
{
protected:
    test::TempDir dir;
    ManualClock clock;
    ActivityLog log{clock, dir.path()};
    NotificationAccess access;
    std::unique_ptr<NotificationServer> server;
    std::vector<std::unique_ptr<QTcpSocket>> clients;

    void SetUp() override { start(); }

    void start()
    {
        server = std::make_unique<NotificationServer>(log, clock, 0, access);
        server->CheckNotificationSocket();
        ASSERT_TRUE(server->isListening());
        ASSERT_NE(server->serverPort(), 0);
    }

    QTcpSocket& connectClient(bool expectAccepted = true)
    {
        const int before = server->clientCount();
        auto& client = clients.emplace_back(std::make_unique<QTcpSocket>());
        client->connectToHost(QHostAddress::LocalHost, server->serverPort());
        if (expectAccepted)
            EXPECT_TRUE(waitFor([&] { return server->clientCount() == before + 1; }));
        else
            EXPECT_TRUE(waitFor([&] { return client->state() == QAbstractSocket::ConnectedState; }));
        return *client;
    }

    // Sends and waits until the queue has `expectedQueue` entries. The clock moves on while it
    // waits, so a notification without a line end is completed by the quiet time.
    void send(QTcpSocket& client, const QByteArray& bytes, qsizetype expectedQueue)
    {
        client.write(bytes);
        client.flush();
        EXPECT_TRUE(waitFor([&] {
            clock.advance(10);
            return server->PendingQueue().size() == expectedQueue;
        })) << "queue: "
            << server->PendingQueue().join(u'|').toStdString();
    }

    // Runs the event loop for a while, the clock standing still.
    static void settle(int ms = 50)
    {
        waitFor([] { return false; }, ms);
    }

    // Reads until `expected` bytes have arrived.
    QByteArray receive(QTcpSocket& client, qsizetype expected)
    {
        QByteArray got;
        waitFor([&] {
            got += client.readAll();
            return got.size() >= expected;
        });
        return got;
    }

    QStringList logTexts() const { return test::logTexts(log, clock); }

    qsizetype logged(const QString& start) const
    {
        const QStringList texts = logTexts();
        return std::count_if(texts.cbegin(), texts.cend(),
                             [&](const QString& t) { return t.startsWith(start); });
    }
};

TEST_F(NotificationServerTest, QueuesEachNotificationOfAClientAsItArrives)
{
    QTcpSocket& client = connectClient();
    send(client, "[INS]0000000001", 1);
    send(client, "[DEL]0000000002\r\n", 2);
    send(client, "[UPD]0000000003\n", 3);
    EXPECT_EQ(server->PendingQueue(),
              QStringList({u"[INS]0000000001"_s, u"[DEL]0000000002"_s, u"[UPD]0000000003"_s}));
    // Queueing is silent: no answer goes back and the log only holds the listening check.
    EXPECT_EQ(client.bytesAvailable(), 0);
    EXPECT_EQ(logTexts(), QStringList({u"Verificar socket TCP"_s, kOpenToEveryone}));
}

TEST_F(NotificationServerTest, NotificationsArrivingInOneReadStaySeparateWithoutWhatFollowsTheNumber)
{
    QTcpSocket& client = connectClient();
    send(client, "[INS]0000000001[INS]0000000002", 2);
    send(client, "[INS]0000000003 obrigado\r\n[DEL]0000000004\t\x1b[2J\r\n", 4);
    EXPECT_EQ(server->PendingQueue(), QStringList({u"[INS]0000000001"_s, u"[INS]0000000002"_s,
                                                   u"[INS]0000000003"_s, u"[DEL]0000000004"_s}));
}

TEST_F(NotificationServerTest, ANotificationSplitAcrossReadsIsQueuedOnceWhole)
{
    QTcpSocket& client = connectClient();
    for (const char* part : {"[IN", "S]000", "0000001"}) {
        client.write(part);
        client.flush();
        settle();
        EXPECT_TRUE(server->PendingQueue().isEmpty()) << "after " << part;
    }
    // Not yet quiet long enough...
    clock.advance(NotificationServer::QuietTimeMs - 1);
    settle();
    EXPECT_TRUE(server->PendingQueue().isEmpty());
    // ...now it is.
    clock.advance(1);
    EXPECT_TRUE(waitFor([&] { return !server->PendingQueue().isEmpty(); }));
    settle();
    EXPECT_EQ(server->PendingQueue(), QStringList{u"[INS]0000000001"_s});
}

TEST_F(NotificationServerTest, AClientClosingCompletesItsLastNotification)
{
    QTcpSocket& client = connectClient();
    client.write("[DEL]0000000007");
    client.flush();
    client.disconnectFromHost();
    EXPECT_TRUE(waitFor([&] { return server->PendingQueue().size() == 1 && server->clientCount() == 0; }));
    EXPECT_EQ(server->PendingQueue(), QStringList{u"[DEL]0000000007"_s});
}

TEST_F(NotificationServerTest, WaitingDuplicatesAreDroppedUntilCarriedOut)
{
    QTcpSocket& first = connectClient();
    QTcpSocket& second = connectClient();
    send(first, "[INS]abc0000001\r\n", 1);
    // Another client's copy, in other letters, is the same notification while it waits; the
    // notification after it makes sure it has been read before the queue is looked at.
    send(second, "[INS]ABC0000001\r\n[DEL]0000000009\r\n", 2);
    EXPECT_EQ(server->PendingQueue(), QStringList({u"[INS]abc0000001"_s, u"[DEL]0000000009"_s}));

    // Once carried out and removed, the same text is welcome again.
    server->PendingQueue().removeFirst();
    send(second, "[INS]ABC0000001\r\n", 2);
    EXPECT_EQ(server->PendingQueue(), QStringList({u"[DEL]0000000009"_s, u"[INS]ABC0000001"_s}));
}

TEST_F(NotificationServerTest, QueueKeepsOneOfEachIgnoringCaseBeyondAscii)
{
    using Q = NotificationServer::Queued;
    EXPECT_EQ(server->QueueNotification(u"[INS]joão"_s), Q::Added);
    EXPECT_EQ(server->QueueNotification(u"[INS]JOÃO"_s), Q::Duplicate);
    EXPECT_EQ(server->QueueNotification(u"[INS]k1"_s), Q::Added);
    EXPECT_EQ(server->QueueNotification(u"[INS]\u212A1"_s), Q::Duplicate); // the Kelvin sign folds to k
    EXPECT_EQ(server->QueueNotification(u"[INS]joãa"_s), Q::Added);
    EXPECT_EQ(server->QueueNotification(u"   "_s), Q::Blank);
    EXPECT_EQ(server->QueueNotification(QString()), Q::Blank);
    EXPECT_EQ(server->PendingQueue(), QStringList({u"[INS]joão"_s, u"[INS]k1"_s, u"[INS]joãa"_s}));
}

// The duplicate test keeps its own index of the queue; it must follow whatever the queue step,
// a restart or anything else does to the queue itself.
TEST_F(NotificationServerTest, DuplicateTestFollowsTheQueueAsItIsTakenFromAndChanged)
{
    using Q = NotificationServer::Queued;
    QStringList& queue = server->PendingQueue();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(server->QueueNotification(u"[INS]%1"_s.arg(i)), Q::Added);

    // The queue step takes from the front.
    queue.removeFirst();
    queue.removeFirst();
    EXPECT_EQ(server->QueueNotification(u"[ins]0"_s), Q::Added);
    EXPECT_EQ(server->QueueNotification(u"[INS]2"_s), Q::Duplicate);
    EXPECT_EQ(server->QueueNotification(u"[INS]0"_s), Q::Duplicate);

    // Taken from the middle, replaced, emptied: the queue alone says what waits.
    queue.removeAt(1); // [INS]3
    EXPECT_EQ(server->QueueNotification(u"[INS]3"_s), Q::Added);
    queue[0] = u"[DEL]9"_s; // was [INS]2
    EXPECT_EQ(server->QueueNotification(u"[INS]2"_s), Q::Added);
    EXPECT_EQ(server->QueueNotification(u"[del]9"_s), Q::Duplicate);
    queue.clear();
    EXPECT_EQ(server->QueueNotification(u"[DEL]9"_s), Q::Added);
    queue.removeFirst();
    queue.append(u"[UPD]7"_s);
    EXPECT_EQ(server->QueueNotification(u"[upd]7"_s), Q::Duplicate);
    EXPECT_EQ(queue, QStringList{u"[UPD]7"_s});
}

// The full queue: what is already waiting is still told apart from what is new.
TEST_F(NotificationServerTest, FullQueueStillTurnsDuplicatesAway)
{
    using Q = NotificationServer::Queued;
    for (int i = 0; i < NotificationServer::MaxQueueLength; ++i)
        ASSERT_EQ(server->QueueNotification(u"[INS]%1"_s.arg(i, 10, 10, QChar(u'0'))), Q::Added);
    EXPECT_EQ(server->QueueNotification(u"[ins]0000000499"_s), Q::Duplicate);
    EXPECT_EQ(server->QueueNotification(u"[INS]0000000500"_s), Q::QueueFull);
    server->PendingQueue().removeFirst();
    EXPECT_EQ(server->QueueNotification(u"[INS]0000000500"_s), Q::Added);
    EXPECT_EQ(server->QueueNotification(u"[INS]0000000000"_s), Q::QueueFull);
}

TEST_F(NotificationServerTest, WireTextIsWindows1252)
{
    QTcpSocket& client = connectClient();
    send(client, QByteArray("[INS]Jo\xE3o\x95\r\n"), 1);
    EXPECT_EQ(server->PendingQueue().at(0), u"[INS]João•"_s);

    server->BroadcastToClients(u"Ação"_s, u"[OK]"_s);
    EXPECT_EQ(receive(client, 8), QByteArray("[OK]A\xE7\xE3o"));
}

TEST_F(NotificationServerTest, BroadcastReachesEveryClientConnectedAtTheTime)
{
    QTcpSocket& first = connectClient();
    QTcpSocket& second = connectClient();
    send(first, "[INS]0000000001", 1);

    server->BroadcastToClients(u"[INS]0000000001"_s, u"[OK]"_s);
    server->BroadcastToClients(u"0000000007"_s, u"[ENT]"_s);
    const QByteArray expected("[OK][INS]0000000001[ENT]0000000007");
    EXPECT_EQ(receive(first, expected.size()), expected);
    EXPECT_EQ(receive(second, expected.size()), expected);

    QTcpSocket& late = connectClient();
    server->BroadcastToClients(u"0000000008"_s, u"[SAI]"_s);
    EXPECT_EQ(receive(late, 15), QByteArray("[SAI]0000000008"));
    EXPECT_EQ(receive(first, 15), QByteArray("[SAI]0000000008"));
}

TEST_F(NotificationServerTest, ClientsThatLeaveAreForgottenWithoutALogEntry)
{
    QTcpSocket& first = connectClient();
    QTcpSocket& second = connectClient();
    first.disconnectFromHost();
    ASSERT_TRUE(waitFor([&] { return server->clientCount() == 1; }));

    server->BroadcastToClients(u"0000000001"_s, u"[ENT]"_s);
    EXPECT_EQ(receive(second, 15), QByteArray("[ENT]0000000001"));
    EXPECT_EQ(logTexts(), QStringList({u"Verificar socket TCP"_s, kOpenToEveryone}));
}

TEST_F(NotificationServerTest, AFailedSendIsLoggedAndTheOthersStillHear)
{
    QTcpSocket& first = connectClient();
    QTcpSocket& second = connectClient();
    QTcpSocket& third = connectClient();
    // The server's end of the second connection stops taking data while still on the list, as
    // a connection that broke between two events would.
    QTcpSocket* broken = nullptr;
    for (QTcpSocket* end : server->sskCatraca->findChildren<QTcpSocket*>())
        if (end->peerPort() == second.localPort())
            broken = end;
    ASSERT_NE(broken, nullptr);
    QObject::disconnect(broken, &QTcpSocket::disconnected, nullptr, nullptr);
    broken->close();

    server->BroadcastToClients(u"0000000001"_s, u"[ENT]"_s);
    EXPECT_EQ(receive(first, 15), QByteArray("[ENT]0000000001"));
    EXPECT_EQ(receive(third, 15), QByteArray("[ENT]0000000001"));
    ASSERT_EQ(logTexts().size(), 3);
    EXPECT_TRUE(logTexts().at(2).startsWith(u"##### Envia mensagem socket - ERRO: Socket is not connected"_s))
        << logTexts().at(2).toStdString();
    // The broken one is gone: the next broadcast is not an error again.
    EXPECT_EQ(server->clientCount(), 2);
    server->BroadcastToClients(u"0000000002"_s, u"[SAI]"_s);
    EXPECT_EQ(receive(third, 15), QByteArray("[SAI]0000000002"));
    EXPECT_EQ(logTexts().size(), 3);
}

TEST_F(NotificationServerTest, UnknownAndOverlongTextsAreAnsweredToTheSenderOnlyAndShownSafely)
{
    QTcpSocket& sender = connectClient();
    QTcpSocket& other = connectClient();
    const QByteArray number(80, '1');
    sender.write("ola\x1b[2J\r\n[INS]" + number + "\r\n[UPD]2 \x1b]0;x\x07\r\n");
    sender.flush();
    const QByteArray expected =
        "[ER]ola[ER][INS]" + number.left(NotificationFraming::MaxNotificationLength - 5);
    EXPECT_EQ(receive(sender, expected.size()), expected);
    ASSERT_TRUE(waitFor([&] { return server->PendingQueue().size() == 1; }));
    EXPECT_EQ(server->PendingQueue(), QStringList{u"[UPD]2"_s});
    settle();
    EXPECT_EQ(other.bytesAvailable(), 0);

    const QStringList texts = logTexts();
    ASSERT_EQ(texts.size(), 4) << texts.join(u'\n').toStdString();
    EXPECT_TRUE(texts.at(2).startsWith(u"Socket TCP: texto sem marcador recebido de 127.0.0.1:"_s));
    EXPECT_TRUE(texts.at(2).endsWith(u": ola<1B>[2J"_s)) << texts.at(2).toStdString();
    EXPECT_TRUE(texts.at(3).startsWith(u"Socket TCP: notificação com mais de 64 caracteres recusada de "_s));
    for (const QString& text : texts)
        EXPECT_FALSE(text.contains(QChar(0x1b)));

    // Hit again within the minute: answered, not logged again.
    sender.write("ola de novo\r\n");
    EXPECT_EQ(receive(sender, 15), QByteArray("[ER]ola de novo"));
    EXPECT_EQ(logTexts().size(), 4);
    // A minute on, logged again with how often it was left out.
    clock.advance(NotificationServer::LimitLogIntervalMs);
    sender.write("?\n");
    EXPECT_EQ(receive(sender, 5), QByteArray("[ER]?"));
    EXPECT_TRUE(logTexts().last().endsWith(u"(mais 1 vez(es) desde o último registro)"_s))
        << logTexts().last().toStdString();
}

TEST_F(NotificationServerTest, TheClientSilentLongestMakesRoomForANewOne)
{
    QList<QTcpSocket*> held;
    for (int i = 0; i < NotificationServer::MaxClients; ++i) {
        held.append(&connectClient());
        clock.advance(1);
    }
    // The first speaks up, so the second is now the one silent longest.
    send(*held.at(0), "[INS]1\n", 1);
    QTcpSocket& newcomer = connectClient(false);
    ASSERT_TRUE(waitFor([&] { return held.at(1)->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(server->clientCount(), NotificationServer::MaxClients);
    EXPECT_EQ(held.at(0)->state(), QAbstractSocket::ConnectedState);
    send(newcomer, "[INS]2\n", 2);

    // One more: one line in the log for both.
    connectClient(false);
    ASSERT_TRUE(waitFor([&] { return held.at(2)->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(logged(u"Socket TCP: limite de 64 clientes atingido"_s), 1);
}

TEST_F(NotificationServerTest, AClientThatNeverFinishesANotificationIsDisconnected)
{
    QTcpSocket& flood = connectClient();
    QTcpSocket& fine = connectClient();
    flood.write(QByteArray(NotificationFraming::MaxWaitingBytes + 100, 'A'));
    ASSERT_TRUE(waitFor([&] { return flood.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(logged(u"Socket TCP: cliente 127.0.0.1:"_s), 1);
    EXPECT_TRUE(
        logTexts().last().endsWith(u"desconectado: mais de 4096 bytes sem completar uma notificação"_s));
    send(fine, "[INS]1\n", 1);
}

TEST_F(NotificationServerTest, AFullQueueAnswersAtOnce)
{
    for (qsizetype i = 0; i < NotificationServer::MaxQueueLength; ++i)
        ASSERT_EQ(server->QueueNotification(u"[INS]"_s + QString::number(i)),
                  NotificationServer::Queued::Added);
    QTcpSocket& client = connectClient();
    client.write("[DEL]77\r\n");
    EXPECT_EQ(receive(client, 11), QByteArray("[ER][DEL]77"));
    EXPECT_EQ(server->PendingQueue().size(), NotificationServer::MaxQueueLength);
    EXPECT_EQ(logged(u"Socket TCP: fila de notificações cheia (500); recusada: [DEL]77"_s), 1);
}

TEST_F(NotificationServerTest, AClientThatDoesNotReadIsDisconnectedAndTheOthersStillHear)
{
    QTcpSocket& deaf = connectClient();
    deaf.setReadBufferSize(1); // takes nothing off the connection
    QTcpSocket& reader = connectClient();
    QByteArray heard;
    QObject::connect(&reader, &QTcpSocket::readyRead, [&] { heard += reader.readAll(); });
    const QString text(16 * 1024, u'9');
    int sent = 0;
    // The deaf client's buffers fill up; the system's may be large, so this is bounded only
    // by its own limit.
    while (server->clientCount() == 2 && sent < 2000) {
        server->BroadcastToClients(text, u"[OK]"_s);
        ++sent;
        settle(2);
    }
    EXPECT_EQ(server->clientCount(), 1);
    EXPECT_TRUE(waitFor([&] { return heard.size() == sent * (text.size() + 4); }))
        << heard.size() << " of " << sent * (text.size() + 4);
    EXPECT_EQ(logged(u"Socket TCP: cliente 127.0.0.1:"_s), 1);
    EXPECT_TRUE(
        logTexts().last().endsWith(u"desconectado: mais de 65536 bytes esperando para serem enviados"_s));
}

TEST_F(NotificationServerTest, AFailedAcceptRestsInsteadOfSpinning)
{
    Q_EMIT server->sskCatraca->acceptError(QAbstractSocket::SocketResourceError);
    Q_EMIT server->sskCatraca->acceptError(QAbstractSocket::SocketResourceError);
    EXPECT_EQ(logged(u"Socket TCP: falha ao aceitar conexão"_s), 1);
    auto& waiting = clients.emplace_back(std::make_unique<QTcpSocket>());
    waiting->connectToHost(QHostAddress::LocalHost, server->serverPort());
    settle(100);
    EXPECT_EQ(server->clientCount(), 0);
    clock.advance(NotificationServer::AcceptRetryMs);
    EXPECT_TRUE(waitFor([&] { return server->clientCount() == 1; }));
}

TEST_F(NotificationServerTest, ClientErrorWritesItsThreeLinesOnceAMinute)
{
    server->ClientError(QAbstractSocket::NetworkError);
    server->ClientError(QAbstractSocket::NetworkError);
    QFile file(log.filePathFor(clock.now().date()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = fromWin1252(file.readAll()).split(u"\r\n"_s);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines.at(lines.size() - 4), QString());
    // The log frames it like every line that holds "erro:".
    EXPECT_TRUE(lines.at(lines.size() - 3)
                    .endsWith(u"\t##### Socket catraca gerou o seguinte erro: "_s +
                              QString::number(int(QAbstractSocket::NetworkError)) + u" #####"_s))
        << lines.at(lines.size() - 3).toStdString();
    EXPECT_EQ(lines.at(lines.size() - 2), QString());
}

TEST_F(NotificationServerTest, ACheckWhileListeningKeepsThePortAndTheClients)
{
    QTcpSocket& client = connectClient();
    const quint16 port = server->serverPort();
    server->CheckNotificationSocket();
    EXPECT_EQ(server->serverPort(), port);
    EXPECT_EQ(server->clientCount(), 1);
    send(client, "[INS]1", 1);
    EXPECT_EQ(logTexts(),
              QStringList({u"Verificar socket TCP"_s, kOpenToEveryone, u"Verificar socket TCP"_s}));
}

TEST_F(NotificationServerTest, OnlyAllowedClientsMayConnect)
{
    access = NotificationAccess::fromSettings(u"127.0.0.1"_s, u"10.1.0.0/16; 192.168.7.9"_s);
    start();
    QTcpSocket refused;
    bool closed = false;
    QObject::connect(&refused, &QTcpSocket::disconnected, [&] { closed = true; });
    refused.connectToHost(QHostAddress::LocalHost, server->serverPort());
    ASSERT_TRUE(waitFor([&] { return closed; }));
    EXPECT_EQ(server->clientCount(), 0);
    EXPECT_EQ(logged(u"Socket TCP: cliente recusado (endereço não permitido): 127.0.0.1"_s), 1);
    EXPECT_EQ(logged(kOpenToEveryone), 1); // the first server's, none from this one
    EXPECT_EQ(logged(u"Socket TCP: clientes permitidos: 2 rede(s)"_s), 1);

    access = NotificationAccess::fromSettings(QString(), u"10.1.0.0/16 127.0.0.0/8"_s);
    start();
    QTcpSocket& allowed = connectClient();
    send(allowed, "[INS]1\n", 1);
}

TEST_F(NotificationServerTest, ListenAddressThatCannotBeReadListensNowhere)
{
    access = NotificationAccess::fromSettings(u"300.1.1.1"_s, QString());
    server = std::make_unique<NotificationServer>(log, clock, 0, access);
    server->CheckNotificationSocket();
    EXPECT_FALSE(server->isListening());
    EXPECT_EQ(logged(u"##### Socket TCP - ERRO: configuração inválida ignorada: '300.1.1.1'"_s), 1);
    EXPECT_EQ(logged(u"##### Conecta Socket - ERRO: endereço de escuta inválido: '300.1.1.1'"_s), 1);
}

TEST(NotificationAccessTest, AddressesAndNetworks)
{
    using A = NotificationAccess;
    EXPECT_EQ(A::splitList(u" 10.0.0.1, 10.0.0.2;10.0.0.3\t::1 "_s),
              QStringList({u"10.0.0.1"_s, u"10.0.0.2"_s, u"10.0.0.3"_s, u"::1"_s}));
    for (const char16_t* bad :
         {u"", u"10.0.0", u"10.0.0.0/33", u"host.example", u"10.0.0.0/", u"/8", u"::1/129", u"1.2.3.4/-1"})
        EXPECT_FALSE(A::parseNetwork(QString::fromUtf16(bad))) << QString::fromUtf16(bad).toStdString();

    const A open = A::fromSettings(u"  "_s, u" "_s);
    EXPECT_FALSE(open.restricted);
    EXPECT_TRUE(open.allows(QHostAddress(u"203.0.113.5"_s)));
    EXPECT_EQ(open.listenAddress, QHostAddress(QHostAddress::Any));

    const A some = A::fromSettings(QString(), u"192.168.0.0/24, 10.9.9.9, fd00::/8, nonsense"_s);
    EXPECT_TRUE(some.restricted);
    EXPECT_EQ(some.problems, QStringList{u"'nonsense'"_s});
    EXPECT_TRUE(some.allows(QHostAddress(u"192.168.0.200"_s)));
    EXPECT_FALSE(some.allows(QHostAddress(u"192.168.1.1"_s)));
    EXPECT_TRUE(some.allows(QHostAddress(u"10.9.9.9"_s)));
    EXPECT_FALSE(some.allows(QHostAddress(u"10.9.9.8"_s)));
    // An IPv4 client reached through an IPv6 socket.
    EXPECT_TRUE(some.allows(QHostAddress(u"::ffff:192.168.0.7"_s)));
    EXPECT_TRUE(some.allows(QHostAddress(u"fd12::1"_s)));

    // A list of which nothing can be read lets nobody in.
    const A none = A::fromSettings(QString(), u"nonsense"_s);
    EXPECT_TRUE(none.restricted);
    EXPECT_FALSE(none.allows(QHostAddress::LocalHost));
}

TEST(NotificationServerPortTest, APortTakenIsLoggedAndTriedAgainAtTheNextCheck)
{
    test::TempDir dir;
    ManualClock clock;
    ActivityLog log{clock, dir.path()};
    auto blocker = std::make_unique<QTcpServer>();
    ASSERT_TRUE(blocker->listen(QHostAddress::Any, 0));
    const quint16 port = blocker->serverPort();

    NotificationServer server(log, clock, port);
    server.CheckNotificationSocket();
    EXPECT_FALSE(server.isListening());
    EXPECT_EQ(server.serverPort(), 0);

    blocker.reset();
    server.CheckNotificationSocket();
    EXPECT_TRUE(server.isListening());
    EXPECT_EQ(server.serverPort(), port);

    const QStringList texts = test::logTexts(log, clock);
    ASSERT_EQ(texts.size(), 4);
    EXPECT_EQ(texts.at(0), u"Verificar socket TCP"_s);
    EXPECT_EQ(texts.at(1), kOpenToEveryone);
    EXPECT_TRUE(texts.at(2).startsWith(u"##### Conecta Socket - ERRO: "_s)) << texts.at(2).toStdString();
    EXPECT_GT(texts.at(2).size(), int(qstrlen("##### Conecta Socket - ERRO:  #####")));
    EXPECT_EQ(texts.at(3), u"Verificar socket TCP"_s);
}

} // namespace
