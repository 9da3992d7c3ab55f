#include "notify/NotificationServer.h"

#include "TempDir.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Win1252.h"

#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <vector>

using namespace zul;

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os)
{
    *os << '[' << list.join(u'|').toStdString() << ']';
}
QT_END_NAMESPACE

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

// --- cutting a read into notifications ----------------------------------------------------------

struct SplitCase
{
    const char* name;
    QString received;
    QStringList pieces;
};

void PrintTo(const SplitCase& c, std::ostream* os)
{
    *os << c.name;
}

class SplitNotificationsTest : public ::testing::TestWithParam<SplitCase>
{
};

TEST_P(SplitNotificationsTest, CutsBeforeEveryMarkerButTheFirst)
{
    EXPECT_EQ(SplitNotifications(GetParam().received), GetParam().pieces);
}

INSTANTIATE_TEST_SUITE_P(
    Reads, SplitNotificationsTest,
    ::testing::Values(
        SplitCase{"Empty", u""_qs, {u""_qs}},
        SplitCase{"One", u"[INS]0000000001"_qs, {u"[INS]0000000001"_qs}},
        SplitCase{"TwoBackToBack",
                  u"[INS]0000000001[INS]0000000002"_qs,
                  {u"[INS]0000000001"_qs, u"[INS]0000000002"_qs}},
        SplitCase{"LineEndsStayWithTheirPiece",
                  u"[INS]1\r\n[DEL]2\r\n[UPD]3\r\n"_qs,
                  {u"[INS]1\r\n"_qs, u"[DEL]2\r\n"_qs, u"[UPD]3\r\n"_qs}},
        SplitCase{"TextBeforeTheFirstMarkerStays", u"xx[DEL]1[UPD]2"_qs, {u"xx[DEL]1"_qs, u"[UPD]2"_qs}},
        SplitCase{"BlanksStayWithTheirPiece", u"[INS]1 [DEL]2 "_qs, {u"[INS]1 "_qs, u"[DEL]2 "_qs}},
        SplitCase{"LowerCaseIsNoMarker", u"[ins]1[INS]2[del]3"_qs, {u"[ins]1[INS]2[del]3"_qs}},
        SplitCase{"MarkersWithNothingBetween", u"[INS][INS]"_qs, {u"[INS]"_qs, u"[INS]"_qs}},
        SplitCase{"NoMarker", u"hello [IN S]"_qs, {u"hello [IN S]"_qs}},
        SplitCase{"MarkerCutAtTheEnd", u"[INS]1[DE"_qs, {u"[INS]1[DE"_qs}}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

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

TEST_P(PersonNumberTest, RestAfterTheMarkerWithoutTheLineEnd)
{
    EXPECT_EQ(NotificationPersonNumber(GetParam().notification), GetParam().personNumber);
}

INSTANTIATE_TEST_SUITE_P(
    Notifications, PersonNumberTest,
    ::testing::Values(NumberCase{"Plain", u"[INS]0000000001"_qs, u"0000000001"_qs},
                      NumberCase{"CrLf", u"[INS]0000000001\r\n"_qs, u"0000000001"_qs},
                      NumberCase{"Lf", u"[DEL]0000000001\n"_qs, u"0000000001"_qs},
                      NumberCase{"LfCr", u"[DEL]0000000001\n\r"_qs, u"0000000001"_qs},
                      NumberCase{"BlanksKept", u"[UPD] 001 \r\n"_qs, u" 001 "_qs},
                      NumberCase{"InnerLineEndKept", u"[UPD]00\r\n01"_qs, u"00\r\n01"_qs},
                      NumberCase{"FirstFiveCharactersGoWhateverTheyAre", u"xx[DEL]123"_qs, u"L]123"_qs},
                      NumberCase{"MarkerOnly", u"[INS]"_qs, u""_qs},
                      NumberCase{"MarkerAndLineEnd", u"[INS]\r\n"_qs, u""_qs},
                      NumberCase{"ShorterThanAMarker", u"[IN"_qs, u""_qs}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

// --- the server on loopback ---------------------------------------------------------------------

class NotificationServerTest : public ::testing::Test
{
protected:
    test::TempDir dir;
    ManualClock clock;
    ActivityLog log{clock, dir.path()};
    NotificationServer server{log, 0};
    std::vector<std::unique_ptr<QTcpSocket>> clients;

    void SetUp() override
    {
        server.CheckNotificationSocket();
        ASSERT_TRUE(server.isListening());
        ASSERT_NE(server.serverPort(), 0);
    }

    QTcpSocket& connectClient()
    {
        const int before = server.clientCount();
        auto& client = clients.emplace_back(std::make_unique<QTcpSocket>());
        client->connectToHost(QHostAddress::LocalHost, server.serverPort());
        EXPECT_TRUE(waitFor([&] { return server.clientCount() == before + 1; }));
        return *client;
    }

    void send(QTcpSocket& client, const QByteArray& bytes, qsizetype expectedQueue)
    {
        client.write(bytes);
        client.flush();
        EXPECT_TRUE(waitFor([&] { return server.PendingQueue().size() == expectedQueue; }))
            << "queue: " << server.PendingQueue().join(u'|').toStdString();
    }

    // Reads until `expected` has arrived, then a little more loop time to catch anything extra.
    QByteArray receive(QTcpSocket& client, qsizetype expected)
    {
        QByteArray got;
        waitFor([&] {
            got += client.readAll();
            return got.size() >= expected;
        });
        return got;
    }

    // The texts of the day's log, without their time stamps.
    QStringList logTexts() const
    {
        QFile file(log.filePathFor(clock.now().date()));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList texts;
        for (const QString& line : fromWin1252(file.readAll()).split(u"\r\n"_qs, Qt::SkipEmptyParts))
            texts.append(line.section(u'\t', 1));
        return texts;
    }
};

TEST_F(NotificationServerTest, QueuesEachNotificationOfAClientAsItArrives)
{
    QTcpSocket& client = connectClient();
    send(client, "[INS]0000000001", 1);
    send(client, "[DEL]0000000002", 2);
    send(client, "[UPD]0000000003", 3);
    EXPECT_EQ(server.PendingQueue(),
              QStringList({u"[INS]0000000001"_qs, u"[DEL]0000000002"_qs, u"[UPD]0000000003"_qs}));
    // Queueing is silent: no answer goes back and the log only holds the listening check.
    EXPECT_EQ(client.bytesAvailable(), 0);
    EXPECT_EQ(logTexts(), QStringList{u"Verificar socket TCP"_qs});
}

TEST_F(NotificationServerTest, NotificationsArrivingInOneReadStaySeparate)
{
    QTcpSocket& client = connectClient();
    send(client, "[INS]0000000001[INS]0000000002", 2);
    EXPECT_EQ(server.PendingQueue(), QStringList({u"[INS]0000000001"_qs, u"[INS]0000000002"_qs}));
}

TEST_F(NotificationServerTest, LineEndsAreKeptInTheQueueButNotInThePersonNumber)
{
    QTcpSocket& client = connectClient();
    send(client, "[INS]0000000001\r\n[DEL]0000000002\r\n", 2);
    ASSERT_EQ(server.PendingQueue(), QStringList({u"[INS]0000000001\r\n"_qs, u"[DEL]0000000002\r\n"_qs}));
    EXPECT_EQ(NotificationPersonNumber(server.PendingQueue().at(0)), u"0000000001"_qs);
    EXPECT_EQ(NotificationPersonNumber(server.PendingQueue().at(1)), u"0000000002"_qs);
}

TEST_F(NotificationServerTest, WaitingDuplicatesAreDroppedUntilCarriedOut)
{
    QTcpSocket& first = connectClient();
    QTcpSocket& second = connectClient();
    send(first, "[INS]abc0000001", 1);
    // Another client's copy, in other letters, is the same notification while it waits; the
    // marker after it makes sure it has been read before the queue is looked at.
    send(second, "[INS]ABC0000001", 1);
    send(second, "[DEL]0000000009", 2);
    EXPECT_EQ(server.PendingQueue(), QStringList({u"[INS]abc0000001"_qs, u"[DEL]0000000009"_qs}));

    // Once carried out and removed, the same text is welcome again.
    server.PendingQueue().removeFirst();
    send(second, "[INS]ABC0000001", 2);
    EXPECT_EQ(server.PendingQueue(), QStringList({u"[DEL]0000000009"_qs, u"[INS]ABC0000001"_qs}));
}

TEST_F(NotificationServerTest, BlanksAndDuplicatesInsideOneReadAreDropped)
{
    server.QueueReceived(u"[INS]a[INS]b[INS]A[INS]b "_qs);
    EXPECT_EQ(server.PendingQueue(), QStringList({u"[INS]a"_qs, u"[INS]b"_qs, u"[INS]b "_qs}));
    server.QueueReceived(u"   "_qs);
    server.QueueReceived(QString());
    EXPECT_EQ(server.PendingQueue().size(), 3);
    // A line end is no blank: it is queued and the queue step answers it as unknown.
    server.QueueReceived(u"\r\n"_qs);
    EXPECT_EQ(server.PendingQueue().size(), 4);
}

TEST_F(NotificationServerTest, DuplicatesIgnoreCaseBeyondAscii)
{
    server.QueueReceived(u"[INS]joão"_qs);
    server.QueueReceived(u"[INS]JOÃO"_qs);
    server.QueueReceived(u"[INS]k1"_qs);
    server.QueueReceived(u"[INS]\u212A1"_qs); // the Kelvin sign folds to k
    server.QueueReceived(u"[INS]joãa"_qs);
    server.QueueReceived(u"[INS]joão "_qs);
    EXPECT_EQ(server.PendingQueue(),
              QStringList({u"[INS]joão"_qs, u"[INS]k1"_qs, u"[INS]joãa"_qs, u"[INS]joão "_qs}));
}

TEST_F(NotificationServerTest, WireTextIsWindows1252)
{
    QTcpSocket& client = connectClient();
    send(client, QByteArray("[INS]Jo\xE3o\x95"), 1);
    EXPECT_EQ(server.PendingQueue().at(0), u"[INS]João•"_qs);

    server.BroadcastToClients(u"Ação"_qs, u"[OK]"_qs);
    EXPECT_EQ(receive(client, 8), QByteArray("[OK]A\xE7\xE3o"));
}

TEST_F(NotificationServerTest, BroadcastReachesEveryClientConnectedAtTheTime)
{
    QTcpSocket& first = connectClient();
    QTcpSocket& second = connectClient();
    send(first, "[INS]0000000001", 1);

    server.BroadcastToClients(u"[INS]0000000001"_qs, u"[OK]"_qs);
    server.BroadcastToClients(u"0000000007"_qs, u"[ENT]"_qs);
    const QByteArray expected("[OK][INS]0000000001[ENT]0000000007");
    EXPECT_EQ(receive(first, expected.size()), expected);
    EXPECT_EQ(receive(second, expected.size()), expected);

    QTcpSocket& late = connectClient();
    server.BroadcastToClients(u"0000000008"_qs, u"[SAI]"_qs);
    EXPECT_EQ(receive(late, 15), QByteArray("[SAI]0000000008"));
    EXPECT_EQ(receive(first, 15), QByteArray("[SAI]0000000008"));
}

TEST_F(NotificationServerTest, ClientsThatLeaveAreForgottenWithoutALogEntry)
{
    QTcpSocket& first = connectClient();
    QTcpSocket& second = connectClient();
    first.disconnectFromHost();
    ASSERT_TRUE(waitFor([&] { return server.clientCount() == 1; }));

    server.BroadcastToClients(u"0000000001"_qs, u"[ENT]"_qs);
    EXPECT_EQ(receive(second, 15), QByteArray("[ENT]0000000001"));
    EXPECT_EQ(logTexts(), QStringList{u"Verificar socket TCP"_qs});
}

TEST_F(NotificationServerTest, AFailedSendEndsTheBroadcastInConnectionOrder)
{
    QTcpSocket& first = connectClient();
    QTcpSocket& second = connectClient();
    QTcpSocket& third = connectClient();
    // The server's end of the second connection stops taking data while still on the list, as
    // a connection that broke between two events would.
    QTcpSocket* broken = nullptr;
    for (QTcpSocket* end : server.sskCatraca->findChildren<QTcpSocket*>())
        if (end->peerPort() == second.localPort())
            broken = end;
    ASSERT_NE(broken, nullptr);
    QObject::disconnect(broken, &QTcpSocket::disconnected, nullptr, nullptr);
    broken->close();

    server.BroadcastToClients(u"0000000001"_qs, u"[ENT]"_qs);
    EXPECT_EQ(receive(first, 15), QByteArray("[ENT]0000000001"));
    EXPECT_FALSE(third.waitForReadyRead(200));
    EXPECT_EQ(third.bytesAvailable(), 0);
    ASSERT_EQ(logTexts().size(), 2);
    EXPECT_TRUE(
        logTexts().at(1).startsWith(u"##### Envia mensagem socket - ERRO: Socket is not connected"_qs))
        << logTexts().at(1).toStdString();
}

TEST_F(NotificationServerTest, ClientErrorWritesItsThreeLines)
{
    server.ClientError(QAbstractSocket::NetworkError);
    QFile file(log.filePathFor(clock.now().date()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = fromWin1252(file.readAll()).split(u"\r\n"_qs);
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines.at(lines.size() - 4), QString());
    // The log frames it like every line that holds "erro:".
    EXPECT_TRUE(lines.at(lines.size() - 3)
                    .endsWith(u"\t##### Socket catraca gerou o seguinte erro: "_qs +
                              QString::number(int(QAbstractSocket::NetworkError)) + u" #####"_qs))
        << lines.at(lines.size() - 3).toStdString();
    EXPECT_EQ(lines.at(lines.size() - 2), QString());
}

TEST_F(NotificationServerTest, ACheckWhileListeningKeepsThePortAndTheClients)
{
    QTcpSocket& client = connectClient();
    const quint16 port = server.serverPort();
    server.CheckNotificationSocket();
    EXPECT_EQ(server.serverPort(), port);
    EXPECT_EQ(server.clientCount(), 1);
    send(client, "[INS]1", 1);
    EXPECT_EQ(logTexts(), QStringList({u"Verificar socket TCP"_qs, u"Verificar socket TCP"_qs}));
}

TEST(NotificationServerPortTest, APortTakenIsLoggedAndTriedAgainAtTheNextCheck)
{
    test::TempDir dir;
    ManualClock clock;
    ActivityLog log{clock, dir.path()};
    auto blocker = std::make_unique<QTcpServer>();
    ASSERT_TRUE(blocker->listen(QHostAddress::Any, 0));
    const quint16 port = blocker->serverPort();

    NotificationServer server(log, port);
    server.CheckNotificationSocket();
    EXPECT_FALSE(server.isListening());
    EXPECT_EQ(server.serverPort(), 0);

    blocker.reset();
    server.CheckNotificationSocket();
    EXPECT_TRUE(server.isListening());
    EXPECT_EQ(server.serverPort(), port);

    QFile file(log.filePathFor(clock.now().date()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList texts;
    for (const QString& line : fromWin1252(file.readAll()).split(u"\r\n"_qs, Qt::SkipEmptyParts))
        texts.append(line.section(u'\t', 1));
    ASSERT_EQ(texts.size(), 3);
    EXPECT_EQ(texts.at(0), u"Verificar socket TCP"_qs);
    EXPECT_TRUE(texts.at(1).startsWith(u"##### Conecta Socket - ERRO: "_qs)) << texts.at(1).toStdString();
    EXPECT_GT(texts.at(1).size(), int(qstrlen("##### Conecta Socket - ERRO:  #####")));
    EXPECT_EQ(texts.at(2), u"Verificar socket TCP"_qs);
}

} // namespace
