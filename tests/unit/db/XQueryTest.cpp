#include "SqliteFixture.h"
#include "db/DriverDataSet.h"
#include "db/XFields.h"
#include "support/Error.h"

#include <QPointer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

using namespace zul;
using zul::test::SqliteFixture;

namespace {

class XQueryTest : public SqliteFixture
{
protected:
    void SetUp() override
    {
        SqliteFixture::SetUp();
        exec(u"INSERT INTO T VALUES ('1', '0', NULL), ('2', NULL, NULL), ('3', '', NULL)"_s);
        query.SetConnection(&connection);
    }
    TXQuery query;
};

} // namespace

TEST_F(XQueryTest, EmptyTextReachesTheDriverAsNullAndZeroAsZero)
{
    query.SetSQL(u"SELECT K FROM T WHERE V IS NULL AND :P IS NULL OR V = :P"_s);
    query.ParamByName(u"P"_s).SetAsString(QString());
    query.Open();
    ASSERT_FALSE(query.IsEmpty());
    EXPECT_EQ(query.FieldByName(u"K"_s)->AsString(), u"2"_s);
    query.Close();
    query.ParamByName(u"P"_s).SetAsString(u"0"_s);
    query.Open();
    EXPECT_EQ(query.FieldByName(u"K"_s)->AsString(), u"1"_s);
}

TEST_F(XQueryTest, UnusedParametersAreDroppedAndUndeclaredOnesAdded)
{
    query.Params().CreateParam(ftString, u"P_NRPESSOA"_s);
    query.Params().CreateParam(ftString, u"P_NRPESSOA2"_s);
    query.SetSQL(u"SELECT K FROM T WHERE K = :p_nrpessoa OR K = :OTHER"_s);
    query.ParamByName(u"P_NRPESSOA"_s).SetAsString(u"3"_s);
    query.Open();
    ASSERT_EQ(query.Params().Count(), 2);
    EXPECT_EQ(query.Params()[0].Name(), u"P_NRPESSOA"_s); // matched without regard to case
    EXPECT_EQ(query.Params()[1].Name(), u"OTHER"_s);
    EXPECT_EQ(query.FieldByName(u"K"_s)->AsString(), u"3"_s);
    EXPECT_THROW(query.ParamByName(u"P_NRPESSOA2"_s), Error);
}

TEST_F(XQueryTest, ReopeningWithTheSameTextKeepsThePreparedStatement)
{
    query.SetSQL(u"SELECT K FROM T WHERE K = :K"_s);
    for (const char16_t* k : {u"1", u"2", u"3"}) {
        query.Close();
        query.ParamByName(u"K"_s).SetAsString(QString::fromUtf16(k));
        query.Open();
        EXPECT_EQ(query.FieldByName(u"K"_s)->AsString(), QString::fromUtf16(k));
    }
    EXPECT_EQ(query.DriverDataSet()->PrepareCount(), 1);
    query.Close();
    query.SetSQL(u"SELECT K FROM T WHERE K = :K "_s);
    query.Open();
    EXPECT_EQ(query.DriverDataSet()->PrepareCount(), 2);
}

TEST_F(XQueryTest, BeforeOpenHandlerValuesReachTheDriver)
{
    query.SetSQL(u"SELECT K FROM T WHERE K = :K"_s);
    QObject::connect(&query, &TXQuery::BeforeOpen, &query,
                     [this](QObject*) { query.ParamByName(u"K"_s).SetAsString(u"2"_s); });
    query.Open();
    EXPECT_EQ(query.FieldByName(u"K"_s)->AsString(), u"2"_s);
}

TEST_F(XQueryTest, NoRowMeansEmptyAndFieldsReadEmpty)
{
    auto* field = new TXStringField(&query);
    field->SetFieldName(u"V"_s);
    field->SetParentComponent(&query);
    query.SetSQL(u"SELECT K, V FROM T WHERE K = :K"_s);
    query.ParamByName(u"K"_s).SetAsString(u"9"_s);
    query.Open();
    EXPECT_TRUE(query.IsEmpty());
    EXPECT_EQ(field->AsString(), QString());
}

TEST_F(XQueryTest, DriverErrorsPropagateAndReachOnError)
{
    int errors = 0;
    QObject::connect(&connection, &TXConnection::OnError, &connection,
                     [&errors](QObject*, const QSqlError&, bool*) { ++errors; });
    query.SetSQL(u"SELECT NOPE FROM T"_s);
    EXPECT_THROW(query.Open(), Error);
    EXPECT_EQ(errors, 1);
    EXPECT_FALSE(query.Active());
}

TEST_F(XQueryTest, FamilyChangeKeepsPersistentFieldsAndTheProvider)
{
    auto* field = new TXStringField(&query);
    field->SetFieldName(u"K"_s);
    field->SetParentComponent(&query);
    auto* provider = new DataSetProvider(&query);
    query.SetProvider(provider);
    QPointer<db::DriverQuery> before = query.DriverDataSet();

    connection.SetConnected(false); // the new family has no server here
    connection.ChangeServerType(xdtPostgreSQL);

    // The old driver object is gone (its address may be reused by the new one).
    EXPECT_TRUE(before.isNull());
    EXPECT_EQ(query.DriverDataSet()->Family(), xdtPostgreSQL);
    EXPECT_EQ(query.ServerType(), xdtPostgreSQL);
    EXPECT_EQ(field->DataSet(), query.DriverDataSet());
    EXPECT_EQ(query.FindField(u"K"_s), field);
    EXPECT_EQ(provider->DataSet(), query.DriverDataSet());
    EXPECT_EQ(query.DriverDataSet()->objectName(), u"Query"_s);
}

TEST_F(XQueryTest, AProviderServesOneQueryAtATime)
{
    TXQuery other;
    other.SetConnection(&connection);
    DataSetProvider provider;
    query.SetProvider(&provider);
    other.SetProvider(&provider);
    EXPECT_EQ(query.Provider(), nullptr);
    EXPECT_EQ(other.Provider(), &provider);
    EXPECT_EQ(provider.DataSet(), other.DriverDataSet());
}

TEST_F(XQueryTest, ProviderDeliversAllRowsAsOnePacket)
{
    exec(u"UPDATE T SET B = X'00FF10' WHERE K = '1'"_s);
    query.SetSQL(u"SELECT K, B FROM T ORDER BY K"_s);
    DataSetProvider provider;
    query.SetProvider(&provider);
    const DataPacket packet = provider.GetData();
    ASSERT_FALSE(packet.IsEmpty());
    ASSERT_EQ(packet.RowCount(), 3);
    EXPECT_EQ(packet.Rows()[0][1].toByteArray(), QByteArray::fromHex("00FF10"));
    EXPECT_FALSE(query.Active());
}

TEST_F(XQueryTest, StreamedActiveOpensOnLoaded)
{
    TXQuery loaded;
    loaded.BeginLoading();
    loaded.SetConnection(&connection);
    loaded.SetSQL(u"SELECT K FROM T"_s);
    loaded.SetActive(true);
    EXPECT_FALSE(loaded.Active());
    loaded.Loaded();
    EXPECT_TRUE(loaded.Active());
}

TEST_F(XQueryTest, CommandSynchronisesItsParametersAndInserts)
{
    TXCommand command;
    command.SetConnection(&connection);
    command.Params().CreateParam(ftString, u"unused"_s);
    command.SetSQL(u"INSERT INTO T (K, V, B) VALUES (:K, :v, :B)"_s);
    EXPECT_EQ(command.Params().Count(), 3);
    command.ParamByName(u"K"_s).SetAsString(u"4"_s);
    command.ParamByName(u"V"_s).SetAsString(QString());
    command.ParamByName(u"B"_s).SetAsBlob(QByteArray(844, 'x'));
    command.Execute();
    EXPECT_EQ(command.RowsAffected(), 1);
    query.SetSQL(u"SELECT V IS NULL AS N, LENGTH(B) AS L FROM T WHERE K = '4'"_s);
    query.Open();
    EXPECT_EQ(query.FieldByName(u"N"_s)->AsInteger(), 1);
    EXPECT_EQ(query.FieldByName(u"L"_s)->AsInteger(), 844);
}

// Another program writing to the same SQLite file, with no patience for locks.
TEST_F(XQueryTest, AnOpenQueryKeepsNoLockAnotherWriterWouldWaitFor)
{
    const QString name = u"xquery-other-writer"_s;
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        other.setDatabaseName(dir.file(u"t.db"_s));
        other.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=0"_s);
        ASSERT_TRUE(other.open());
        const auto write = [&other](const QString& key) {
            QSqlQuery insert(other);
            const bool ok = insert.exec(u"INSERT INTO T (K) VALUES ('"_s + key + u"')"_s);
            return ok ? std::string() : insert.lastError().text().toStdString();
        };

        // A lookup that read its one row and stays open, as the person lookup leaves it.
        query.SetSQL(u"SELECT K, V FROM T WHERE K = :K"_s);
        query.ParamByName(u"K"_s).SetAsString(u"2"_s);
        query.Open();
        ASSERT_FALSE(query.IsEmpty());
        EXPECT_EQ(write(u"a"_s), "");

        // A walk stopped half-way.
        TXQuery walk;
        walk.SetConnection(&connection);
        walk.SetSQL(u"SELECT K FROM T ORDER BY K"_s);
        walk.Open();
        walk.Next();
        EXPECT_EQ(write(u"b"_s), "");
        // The rows read are those of the moment it opened, all still there to walk.
        QStringList keys;
        for (walk.Close(), walk.Open(); !walk.Eof(); walk.Next())
            keys << walk.FieldByName(u"K"_s)->AsString();
        EXPECT_EQ(keys, (QStringList{u"1"_s, u"2"_s, u"3"_s, u"a"_s, u"b"_s}));
        EXPECT_EQ(walk.DriverDataSet()->RecNo(), 5);
        EXPECT_EQ(query.FieldByName(u"V"_s)->AsString(), QString());
    }
    QSqlDatabase::removeDatabase(name);
}

TEST_F(XQueryTest, PersistentFieldMissingFromTheResultFailsTheOpenAndLeavesNoRow)
{
    auto* field = new TXStringField(&query);
    field->SetFieldName(u"NOPE"_s);
    field->SetParentComponent(&query);
    query.SetSQL(u"SELECT K FROM T"_s);
    EXPECT_THROW(query.Open(), Error);
    EXPECT_FALSE(query.Active());
    EXPECT_TRUE(query.IsEmpty());
    EXPECT_EQ(field->AsString(), QString());
}
