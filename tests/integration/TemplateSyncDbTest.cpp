// The template synchronisation and the per-user operations against every database backend
// and the turnstile simulator.
#include "DbBackend.h"
#include "LinkedDevice.h"
#include "SyncFixture.h"
#include "db/XSQLMonitor.h"
#include "notify/PendingUpdates.h"
#include "sync/DeviceUserList.h"
#include "sync/TemplateSync.h"

using namespace Qt::StringLiterals;

using namespace zul;
using zul::test::Backend;
using zul::test::DbBackendTest;
using Codes = std::set<std::string>;

namespace {

class TemplateSyncDbTest : public DbBackendTest
{
protected:
    void SetUp() override
    {
        DbBackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_NO_FATAL_FAILURE(link.openLink());
        ASSERT_NO_FATAL_FAILURE(link.holdAsOnlineLoop());
    }

    void addPerson(const QString& number, const QString& access = u"S"_s)
    {
        TXCommand c;
        c.SetConnection(&connection);
        c.SetSQL(u"INSERT INTO PESSOA (NRPESSOA, NMCRACHAPESSOA, IDACESSOCATRACA) VALUES (:A, :B, :C)"_s);
        c.ParamByName(u"A"_s).SetAsString(number);
        c.ParamByName(u"B"_s).SetAsString(u"PESSOA "_s + number);
        c.ParamByName(u"C"_s).SetAsString(access);
        c.Execute();
    }

    void addTemplate(const QString& number, const QByteArray& record)
    {
        TXCommand c;
        c.SetConnection(&connection);
        c.SetSQL(u"INSERT INTO DIGITALCATRACA (NRPESSOA, TXDIGITALCATRAC) VALUES (:N, :T)"_s);
        c.ParamByName(u"N"_s).SetAsString(number);
        c.ParamByName(u"T"_s).SetAsBlob(record);
        c.Execute();
    }

    void addEnrolled(const QString& number, char filler = '\x5a')
    {
        addPerson(number);
        addTemplate(number, test::makeRecord(number, filler));
    }

    Codes controllerUsers() const
    {
        Codes codes;
        for (const auto& [code, record] : link.sim.simulator().users())
            codes.insert(code);
        return codes;
    }

    QByteArray storedRecord(const std::string& code) const
    {
        const auto stored = link.sim.simulator().users();
        const auto it = stored.find(code);
        return it == stored.end() ? QByteArray()
                                  : QByteArray(it->second.data(), qsizetype(it->second.size()));
    }

    test::LinkedDevice link;
    DeviceUserList users{link.device};
    test::FakeSyncUi ui;
    TemplateSync templates{link.device, connection, users, ui};
};

TEST_P(TemplateSyncDbTest, SynchronisationIncludesKeepsAndDeletes)
{
    addEnrolled(u"0000000001"_s);
    addEnrolled(u"0000000002"_s, 'b');
    addPerson(u"0000000003"_s);
    addTemplate(u"0000000003"_s, test::makeRecord(u"0000000003"_s, 'f'));
    addTemplate(u"0000000003"_s, test::makeRecord(u"0000000003"_s, 's'));
    addEnrolled(u"abc"_s);
    addPerson(u"0000000007"_s);
    addTemplate(u"0000000007"_s, test::makeRecord(u"0000000008"_s, '7'));
    addEnrolled(u"0000000008"_s, '8');
    addPerson(u"0000000010"_s, u"N"_s);
    addTemplate(u"0000000010"_s, test::makeRecord(u"0000000010"_s));
    for (const char* code : {"0000000001", "ABC", "0000000002 ", "0000000010", "0000000099"})
        link.sim->addUser(code);

    EXPECT_TRUE(templates.SynchroniseTemplates());

    EXPECT_EQ(controllerUsers(), (Codes{"0000000001", "0000000002", "0000000003", "0000000008", "abc"}));
    EXPECT_EQ(storedRecord("0000000002"), test::makeRecord(u"0000000002"_s, 'b'));
    EXPECT_EQ(storedRecord("0000000003").mid(11, 1), QByteArray("f")); // the first template row
    EXPECT_EQ(storedRecord("0000000008"), test::makeRecord(u"0000000008"_s, '8'));
    EXPECT_EQ(link.ui.caption, link.messages.Lookup(u"SINCRONISMO_OK"_s));
}

// The templates come from the one query of all of them: a synchronisation of many people must
// not query each person again. Only a code that names nobody exactly is looked for on its own.
// The controller here is empty: nothing to compare, so no query of the person numbers either.
TEST_P(TemplateSyncDbTest, SynchronisationReadsTheTemplatesInOneQuery)
{
    for (const QString& number : {u"0000000001"_s, u"0000000002"_s, u"0000000003"_s, u"0000000004"_s})
        addEnrolled(number, number.back().toLatin1());
    // A second row of one person: its first row is the one sent.
    addTemplate(u"0000000003"_s, test::makeRecord(u"0000000003"_s, 's'));
    TXSQLMonitor monitor;
    monitor.SetConnection(&connection);
    QStringList templateQueries;
    QObject::connect(&monitor, &TXSQLMonitor::OnSQL, &monitor,
                     [&](QObject*, const QString& text, TDATraceFlag flag) {
                         if (flag == tfQExecute && text.contains(u"DIGITALCATRACA"_s))
                             templateQueries << text;
                     });

    EXPECT_TRUE(templates.SynchroniseTemplates());

    EXPECT_EQ(controllerUsers(), (Codes{"0000000001", "0000000002", "0000000003", "0000000004"}));
    EXPECT_EQ(storedRecord("0000000002"), test::makeRecord(u"0000000002"_s, '2'));
    EXPECT_EQ(storedRecord("0000000004"), test::makeRecord(u"0000000004"_s, '4'));
    EXPECT_EQ(templateQueries.size(), 1) << templateQueries.join(u"\n"_s).toStdString();
    EXPECT_EQ(templateQueries.filter(u"TXDIGITALCATRAC"_s).size(), 1);
}

// An unchanged controller: the person numbers are read, on every server, and no template.
TEST_P(TemplateSyncDbTest, ControllerInStepReadsOnlyThePersonNumbers)
{
    for (const QString& number : {u"0000000001"_s, u"0000000002"_s}) {
        addEnrolled(number);
        link.sim->addUser(number.toStdString());
    }
    addPerson(u"0000000003"_s, u"N"_s);
    addTemplate(u"0000000003"_s, test::makeRecord(u"0000000003"_s));
    TXSQLMonitor monitor;
    monitor.SetConnection(&connection);
    QStringList templateQueries;
    QObject::connect(&monitor, &TXSQLMonitor::OnSQL, &monitor,
                     [&](QObject*, const QString& text, TDATraceFlag flag) {
                         if (flag == tfQExecute && text.contains(u"DIGITALCATRACA"_s))
                             templateQueries << text;
                     });

    EXPECT_TRUE(templates.SynchroniseTemplates());

    EXPECT_EQ(controllerUsers(), (Codes{"0000000001", "0000000002"}));
    ASSERT_EQ(templateQueries.size(), 1) << templateQueries.join(u"\n"_s).toStdString();
    EXPECT_FALSE(templateQueries.first().contains(u"TXDIGITALCATRAC"_s));
    EXPECT_EQ(link.callCount("IncluirUsuarioSemDigitalBio"), 0);
    EXPECT_EQ(link.callCount("SolicitarExclusaoUsuario"), 0);
}

TEST_P(TemplateSyncDbTest, DatabaseWithoutTemplatesEmptiesTheController)
{
    addPerson(u"0000000001"_s);
    link.sim->addUser("0000000001");
    link.sim->addUser("0000000002");
    EXPECT_TRUE(templates.SynchroniseTemplates());
    EXPECT_TRUE(controllerUsers().empty());
}

TEST_P(TemplateSyncDbTest, FailedTemplateQueryChangesNothing)
{
    link.sim->addUser("0000000001");
    exec(u"DROP TABLE DIGITALCATRACA"_s);
    EXPECT_FALSE(templates.SynchroniseTemplates());
    EXPECT_EQ(controllerUsers(), Codes{"0000000001"});
    EXPECT_EQ(link.ui.caption, link.messages.Lookup(u"SINCRONISMO_ERRO"_s));
}

TEST_P(TemplateSyncDbTest, NotificationsStoreTheTemplateOfExactlyThatPerson)
{
    addEnrolled(u"00000001"_s, 's');
    addEnrolled(u"0000000001"_s, 'l');
    QStringList queue{u"[INS]0000000001"_s, u"[UPD]00000001"_s, u"[INS]0000000009"_s};
    QStringList replies;
    PendingUpdates updates{
        link.device,
        templates,
        ui,
        queue,
        {[&](const QString& text, const QString& prefix) { replies << prefix + text; }, {}}};
    while (updates.HasPendingUpdate())
        updates.RunQueueStep();
    EXPECT_EQ(replies,
              (QStringList{u"[OK][INS]0000000001"_s, u"[OK][UPD]00000001"_s, u"[ER][INS]0000000009"_s}));
    EXPECT_EQ(storedRecord("0000000001"), test::makeRecord(u"0000000001"_s, 'l'));
    EXPECT_EQ(storedRecord("00000001"), test::makeRecord(u"00000001"_s, 's'));
}

INSTANTIATE_TEST_SUITE_P(Backends, TemplateSyncDbTest,
                         ::testing::Values(Backend::SQLite, Backend::PostgreSQL, Backend::Odbc),
                         zul::test::backendName);

} // namespace
