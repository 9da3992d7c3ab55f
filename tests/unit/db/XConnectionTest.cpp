#include "SqliteFixture.h"
#include "db/DriverConnection.h"
#include "db/DriverDataSet.h"
#include "db/ProfileSource.h"
#include "support/Error.h"

#include <QSqlDatabase>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

using namespace zul;

namespace {

// Profiles decide the server type; the tests choose it.
struct ProfileGuard
{
    explicit ProfileGuard(TXDBType type)
    {
        db::SetProfileSource({[type](const QString&) { return type; }, [] { return true; }, [] { return 7; },
                              [] { return 2; }});
    }
    ~ProfileGuard() { db::SetProfileSource({}); }
};

} // namespace

TEST(XConnection, StoredServerTypeDoesNotOverrideTheProfile)
{
    ProfileGuard profile(xdtADO_MSSQL);
    TXConnection c;
    c.BeginLoading();
    c.SetServerType(xdtCR_Oracle);
    c.Loaded();
    EXPECT_EQ(c.ServerType(), xdtADO_MSSQL);
    EXPECT_EQ(c.DriverConnection()->Family(), xdtADO_MSSQL);
    EXPECT_EQ(c.DriverConnection()->objectName(), u"Connection"_s);
    EXPECT_FALSE(c.DriverConnection()->LoginPrompt);
    // Pooling comes from the profile whatever the component held.
    EXPECT_TRUE(c.Pooling());
    EXPECT_EQ(c.MaxPoolSize(), 7);
    EXPECT_EQ(c.MinPoolSize(), 2);
}

TEST(XConnection, ConnectStringIsIgnoredWhileLoadingAndForwardedAfterwards)
{
    ProfileGuard profile(xdtSQLite);
    TXConnection c;
    c.BeginLoading();
    c.SetConnectString(u"Data Source=a.db"_s);
    c.Loaded();
    EXPECT_EQ(c.ConnectString(), QString());
    c.SetConnectString(u"Data Source=b.db"_s);
    EXPECT_EQ(c.DriverConnection()->ConnectString, u"Data Source=b.db"_s);
}

TEST(XConnection, DirectSqlServerKeepsOnlyProviderStrings)
{
    ProfileGuard profile(xdtCR_MSSQL);
    TXConnection c;
    c.SetConnectString(u"Data Source=srv;User ID=sa"_s);
    c.ConfigureDriverConnection();
    EXPECT_EQ(c.ConnectString(), QString());
    c.SetConnectString(u"Provider=SQLOLEDB;Data Source=srv"_s);
    c.ConfigureDriverConnection();
    EXPECT_EQ(c.ConnectString(), u"Provider=SQLOLEDB;Data Source=srv"_s);
}

TEST(XConnection, OleDbServerReadsBackWhatWasWritten)
{
    ProfileGuard profile(xdtADO_Oracle);
    TXConnection c;
    c.SetConnectString(u"Provider=OraOLEDB.Oracle;Data Source=ORCL"_s);
    c.SetServer(u"other"_s);
    EXPECT_EQ(c.Server(), u"other"_s);
}

TEST(XConnection, MissingDriverFailsWithItsName)
{
    if (QSqlDatabase::isDriverAvailable(u"QOCI"_s))
        GTEST_SKIP() << "the Oracle driver is installed here";
    ProfileGuard profile(xdtCR_Oracle);
    TXConnection c;
    c.SetConnectString(u"scott/tiger@ORCL"_s);
    int errors = 0;
    QObject::connect(&c, &TXConnection::OnError, &c,
                     [&errors](QObject*, const QSqlError&, bool*) { ++errors; });
    try {
        c.SetConnected(true);
        FAIL() << "connected without a driver";
    } catch (const Error& e) {
        EXPECT_TRUE(e.message().contains(u"QOCI"_s)) << e.message().toStdString();
    }
    EXPECT_EQ(errors, 1);
    EXPECT_FALSE(c.Connected());
}

TEST(XConnection, FirstConnectConfiguresAndRaisesEventsWithTheDriverAsSender)
{
    test::TempDir dir;
    QFile f(dir.file(u"x.db"_s));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    ProfileGuard profile(xdtSQLite);
    TXConnection c;
    QStringList events;
    QObject::connect(&c, &TXConnection::BeforeConnect, &c,
                     [&](QObject* s) { events << u"before"_s + s->objectName(); });
    QObject::connect(&c, &TXConnection::AfterConnect, &c,
                     [&](QObject* s) { events << u"after"_s + s->objectName(); });
    c.SetConnectString(u"Data Source="_s + f.fileName());
    EXPECT_FALSE(c.IsConfigured());
    c.SetConnected(true);
    EXPECT_TRUE(c.Connected());
    EXPECT_EQ(events, (QStringList{u"beforeConnection"_s, u"afterConnection"_s}));
}

TEST(XConnection, ConfiguringTwiceForwardsEachEventOnce)
{
    test::TempDir dir;
    QFile f(dir.file(u"x.db"_s));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    ProfileGuard profile(xdtSQLite);
    TXConnection c;
    c.BeginLoading();
    c.Loaded();
    c.ConfigureDriverConnection();
    QStringList events;
    for (auto signal : {&TXConnection::BeforeConnect, &TXConnection::AfterConnect,
                        &TXConnection::BeforeDisconnect, &TXConnection::AfterDisconnect})
        QObject::connect(&c, signal, &c, [&events](QObject*) { events << u"event"_s; });
    QObject::connect(&c, &TXConnection::OnError, &c,
                     [&events](QObject*, const QSqlError&, bool*) { events << u"error"_s; });
    c.SetConnectString(u"Data Source="_s + f.fileName());
    c.SetConnected(true);
    TXCommand bad;
    bad.SetParamCheck(false);
    bad.SetConnection(&c);
    bad.SetSQL(u"SELECT FROM NOWHERE"_s);
    EXPECT_THROW(bad.Execute(), Error);
    c.SetConnected(false);
    EXPECT_EQ(events, (QStringList{u"event"_s, u"event"_s, u"error"_s, u"event"_s, u"event"_s}));
}

TEST(XConnection, EveryDataSetLetsGoOfAConnectionThatIsDeleted)
{
    // A change of server type deletes the driver connection before its data sets are made
    // anew: none of them may still hold it then.
    auto* connection = new db::DriverConnection(xdtSQLite, nullptr);
    std::vector<std::unique_ptr<db::DriverQuery>> queries;
    for (int i = 0; i < 3; ++i) {
        queries.push_back(std::make_unique<db::DriverQuery>(xdtSQLite, nullptr));
        queries.back()->SetConnection(connection);
    }
    ASSERT_EQ(connection->DataSets().size(), 3);
    delete connection;
    for (const auto& query : queries)
        EXPECT_EQ(query->Connection(), nullptr);
}

TEST(XConnection, MissingSqliteFileIsAnErrorNotANewDatabase)
{
    ProfileGuard profile(xdtSQLite);
    test::TempDir dir;
    TXConnection c;
    c.SetConnectString(u"Data Source="_s + dir.file(u"absent.db"_s));
    EXPECT_THROW(c.SetConnected(true), Error);
    EXPECT_FALSE(QFile::exists(dir.file(u"absent.db"_s)));
}

namespace {
// A dataset whose driver object cannot be built for any family.
class BrokenDataSet : public TXDataSet
{
public:
    using TXDataSet::TXDataSet;
    void CreateDriverObject(TXDBType) override { throw Error(u"no driver object"_s); }
};
} // namespace

TEST(XConnection, ADatasetThatCannotFollowDoesNotStopTheOthers)
{
    ProfileGuard profile(xdtSQLite);
    TXConnection c;
    BrokenDataSet broken;
    c.BeginLoading(); // registration while loading builds nothing yet
    c.RegisterDataSet(&broken);
    c.Loaded();
    TXQuery query;
    query.SetConnection(&c);
    c.ChangeServerType(xdtPostgreSQL);
    EXPECT_EQ(query.ServerType(), xdtPostgreSQL);
    c.UnregisterDataSet(&broken);
}
