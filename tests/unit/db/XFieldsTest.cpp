#include "db/XFields.h"

#include "SqliteFixture.h"
#include "db/DriverConnection.h"
#include "db/XSQLMonitor.h"

using namespace Qt::StringLiterals;

using namespace zul;

TEST(XFieldClasses, EveryFieldTypeHasItsClass)
{
    const auto name = [](TFieldType t) {
        if (!XFieldClasses[t])
            return u"none"_s;
        std::unique_ptr<TXField> f(XFieldClasses[t](nullptr));
        EXPECT_EQ(f->DataType() == t || t == ftFixedChar || t == ftFmtMemo || t == ftParadoxOle ||
                      t == ftDBaseOle || t == ftTypedBinary || t == ftOraBlob || t == ftOraClob,
                  true);
        return f->ClassName();
    };
    EXPECT_EQ(name(ftUnknown), u"none"_s);
    EXPECT_EQ(name(ftCursor), u"none"_s);
    EXPECT_EQ(name(ftFixedChar), u"TXStringField"_s);
    EXPECT_EQ(name(ftOraBlob), u"TXBlobField"_s);
    EXPECT_EQ(name(ftFmtMemo), u"TXBlobField"_s);
    EXPECT_EQ(name(ftOraClob), u"TXMemoField"_s);
    EXPECT_EQ(name(ftGuid), u"TXGUIDField"_s);
    EXPECT_EQ(name(ftDateTime), u"TXDateTimeField"_s);
    int withClass = 0;
    for (int t = 0; t < FieldTypeCount; ++t)
        withClass += XFieldClasses[static_cast<size_t>(t)] ? 1 : 0;
    EXPECT_EQ(withClass, FieldTypeCount - 2);
}

TEST(XFields, ParentDecidesWhereAFieldBelongs)
{
    TXQuery query;
    TXStringField underQuery;
    underQuery.SetParentComponent(&query);
    EXPECT_EQ(underQuery.DataSet(), query.DriverDataSet());
    EXPECT_EQ(underQuery.GetParentComponent(), &query);

    TXADTField object;
    TXStringField child;
    child.SetParentComponent(&object);
    EXPECT_EQ(child.ParentField(), &object);
    EXPECT_EQ(child.GetParentComponent(), &object);

    QObject stranger;
    TXStringField orphan;
    orphan.SetParentComponent(&stranger);
    EXPECT_EQ(orphan.DataSet(), nullptr);
    EXPECT_EQ(orphan.GetParentComponent(), nullptr);

    TXStringField loading;
    loading.BeginLoading();
    loading.SetParentComponent(&query);
    EXPECT_EQ(loading.DataSet(), nullptr);
    loading.ReadFromForm(&query);
    EXPECT_EQ(loading.DataSet(), query.DriverDataSet());
}

class XSQLMonitorTest : public test::SqliteFixture
{
};

TEST_F(XSQLMonitorTest, DirectTracesReachOnSQL)
{
    TXSQLMonitor monitor;
    monitor.SetConnection(&connection);
    ASSERT_NE(monitor.DriverMonitor(), nullptr);
    EXPECT_EQ(monitor.DriverMonitor()->objectName(), u"SQLMonitor"_s);
    QStringList texts;
    QObject::connect(&monitor, &TXSQLMonitor::OnSQL, &monitor,
                     [&texts](QObject*, const QString& text, TDATraceFlag flag) {
                         if (flag == tfQExecute)
                             texts << text;
                     });
    exec(u"SELECT 1"_s);
    EXPECT_EQ(texts, QStringList{u"SELECT 1"_s});
}

TEST(XSQLMonitor, ParameterListNumbersFromZeroAndShowsNull)
{
    TXParams params;
    params.CreateParam(ftString, u"NRPESSOA"_s).SetAsString(u"0000000001"_s);
    params.CreateParam(ftString, u"IDREGISCATRACA"_s);
    EXPECT_EQ(TXSQLMonitor::FormatParameterList(params),
              u"Parametros: \r\n   No.: 0 - Nome: NRPESSOA - Valor: 0000000001\r\n"
              u"   No.: 1 - Nome: IDREGISCATRACA - Valor: NULL\r\n"_s);
}
