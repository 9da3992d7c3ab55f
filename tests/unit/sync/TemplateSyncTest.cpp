#include "sync/TemplateSync.h"

#include "SyncFixture.h"
#include "db/XSQLMonitor.h"
#include "support/Error.h"
#include "sync/SyncTiming.h"

#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>
#include <ostream>

namespace zul {
namespace {

using namespace Qt::StringLiterals;
using Codes = std::set<std::string>;

class TemplateSyncTest : public test::SyncFixture
{
protected:
    QString status() const { return link.ui.caption; }
    QString text(const char* key) const { return link.messages.Lookup(QString::fromLatin1(key)); }

    // The statements run on the templates' table from now on.
    void watchTemplateQueries()
    {
        monitor.SetConnection(&connection);
        QObject::connect(&monitor, &TXSQLMonitor::OnSQL, &monitor,
                         [this](QObject*, const QString& sql, TDATraceFlag flag) {
                             if (flag == tfQExecute && sql.contains(u"DIGITALCATRACA"_s))
                                 templateQueries << sql;
                         });
    }
    // How many of them read the templates themselves, not only the person numbers.
    qsizetype templateReads() const { return templateQueries.filter(u"TXDIGITALCATRAC"_s).size(); }

    TXSQLMonitor monitor;
    QStringList templateQueries;
};

TEST_F(TemplateSyncTest, IncludesKeepsAndDeletes)
{
    addEnrolled(u"0000000001"_s);      // already in the controller: kept, not sent
    addEnrolled(u"0000000002"_s, 'b'); // missing: included
    addPerson(u"0000000003"_s);        // two template rows: included from the first
    addTemplate(u"0000000003"_s, test::makeRecord(u"0000000003"_s, 'f'));
    addTemplate(u"0000000003"_s, test::makeRecord(u"0000000003"_s, 's'));
    addEnrolled(u"abc"_s);      // the controller holds "ABC": a different person
    addEnrolled(u"00005"_s);    // the controller holds "00005 ": a different person
    addPerson(u"0000000008"_s); // its record names 0000000008, its row 0000000007
    addTemplate(u"0000000008"_s, test::makeRecord(u"0000000008"_s, '8'));
    addPerson(u"0000000007"_s);
    addTemplate(u"0000000007"_s, test::makeRecord(u"0000000008"_s, '7'));
    addPerson(u"0000000010"_s, u"N"_s); // lost turnstile access: deleted
    addTemplate(u"0000000010"_s, test::makeRecord(u"0000000010"_s));
    for (const char* code : {"0000000001", "ABC", "00005 ", "0000000010", "0000000099"})
        sim.addUser(code);
    const QByteArray kept = storedRecord("0000000001");

    EXPECT_TRUE(templates.SynchroniseTemplates());

    EXPECT_EQ(controllerUsers(),
              (Codes{"0000000001", "0000000002", "0000000003", "00005", "0000000008", "abc"}));
    EXPECT_EQ(storedRecord("0000000001"), kept);
    EXPECT_EQ(storedRecord("0000000002"), test::makeRecord(u"0000000002"_s, 'b'));
    EXPECT_EQ(storedRecord("0000000003"), test::makeRecord(u"0000000003"_s, 'f'));
    // The inclusion sends the database's template of the code inside the record.
    EXPECT_EQ(storedRecord("0000000008"), test::makeRecord(u"0000000008"_s, '8'));
    // 0000000002, abc, 00005, 0000000003 twice, 0000000008 twice; ABC, 00005 , 0000000010, 0000000099.
    EXPECT_EQ(link.callCount("EnviarUsuarioBio"), 7);
    EXPECT_EQ(link.callCount("SolicitarExclusaoUsuario"), 4);

    EXPECT_EQ(status(), text("SINCRONISMO_OK"));
    EXPECT_TRUE(users.cdsUsersCatraca.IsEmpty());
    EXPECT_TRUE(templates.cdsTemplates.IsEmpty());
    EXPECT_TRUE(link.device.IsStopRequested());
    EXPECT_TRUE(link.ui.inicializaTimerOn);
    EXPECT_EQ(sim.arm(), sim::Arm::Both);
    EXPECT_EQ(sim.display().line1 + sim.display().line2, " CATRACA  LIVRE SINCRONISMO  BIO");
    const QStringList log = logged();
    EXPECT_TRUE(log.contains(u"Total de usuários no banco de dados ORACLE: 8"_s));
    EXPECT_TRUE(ui.sync.startsWith(u"Sincronismo: "_s));
    EXPECT_TRUE(ui.sync.endsWith(u"S/Pessoa]"_s)) << ui.sync.toStdString();
    // Eight template rows and four controller users left over.
    EXPECT_EQ(log.filter(u"Sincronismo: "_s).size(), 1);
    EXPECT_TRUE(log.filter(u"Sincronismo: "_s).first().endsWith(u"S/Pessoa]"_s));
}

TEST_F(TemplateSyncTest, ControllerInStepCostsOneListingAndOneQuery)
{
    for (const QString& n : {u"0000000001"_s, u"0000000002"_s, u"0000000003"_s}) {
        addEnrolled(n);
        sim.addUser(n.toStdString());
    }
    EXPECT_TRUE(templates.SynchroniseTemplates());
    EXPECT_EQ(link.callCount("EnviarUsuarioBio"), 0);
    EXPECT_EQ(link.callCount("SolicitarExclusaoUsuario"), 0);
    EXPECT_EQ(logged().filter(u"Buscar"_s), QStringList{u"Buscar todos os templates[GetTemplatesAll]"_s});
}

// An unchanged controller needs the person numbers only: not one template is read, and the run
// looks to the controller, the log and the status line as any other.
TEST_F(TemplateSyncTest, ControllerInStepReadsNoTemplate)
{
    for (const QString& n : {u"0000000001"_s, u"0000000002"_s, u"0000000003"_s}) {
        addEnrolled(n);
        sim.addUser(n.toStdString());
    }
    addPerson(u"0000000004"_s, u"N"_s); // no access: neither row counts
    addTemplate(u"0000000004"_s, test::makeRecord(u"0000000004"_s));
    const QByteArray kept = storedRecord("0000000002");
    watchTemplateQueries();

    EXPECT_TRUE(templates.SynchroniseTemplates());

    EXPECT_EQ(templateQueries.size(), 1) << templateQueries.join(u"\n"_s).toStdString();
    EXPECT_EQ(templateReads(), 0);
    EXPECT_EQ(controllerUsers(), (Codes{"0000000001", "0000000002", "0000000003"}));
    EXPECT_EQ(storedRecord("0000000002"), kept);
    EXPECT_EQ(link.callCount("IncluirUsuarioSemDigitalBio"), 0);
    EXPECT_EQ(link.callCount("SolicitarExclusaoUsuario"), 0);
    // The free standing and its release before the run and before each of the three rows.
    EXPECT_EQ(link.callCount("LiberarCatracaDoisSentidos"), 4);
    EXPECT_EQ(link.callCount("EnviarMensagemPadraoOnLine"), 4);
    const QStringList log = logged();
    EXPECT_EQ(log.filter(u"templates"_s),
              (QStringList{u"Buscar todos os templates[GetTemplatesAll]"_s, u"Retornou templates"_s}));
    EXPECT_TRUE(log.contains(u"Total de usuários no banco de dados ORACLE: 3"_s));
    EXPECT_EQ(status(), text("SINCRONISMO_OK"));
    EXPECT_TRUE(templates.cdsTemplates.IsEmpty());
    EXPECT_TRUE(users.cdsUsersCatraca.IsEmpty());
}

// The numbers say who is missing; then the templates are read once, and every row is handled
// as before: a second row of a person the controller holds once is sent, with the first row.
TEST_F(TemplateSyncTest, SecondRowOfAPersonHeldOnceReadsTheTemplatesAndSendsTheFirst)
{
    addEnrolled(u"0000000001"_s);
    addPerson(u"0000000002"_s);
    addTemplate(u"0000000002"_s, test::makeRecord(u"0000000002"_s, 'f'));
    addTemplate(u"0000000002"_s, test::makeRecord(u"0000000002"_s, 's'));
    sim.addUser("0000000001");
    sim.addUser("0000000002");
    sim.addUser("0000000009"); // deleted, in the same run
    watchTemplateQueries();

    EXPECT_TRUE(templates.SynchroniseTemplates());

    EXPECT_EQ(templateReads(), 1) << templateQueries.join(u"\n"_s).toStdString();
    EXPECT_EQ(templateQueries.size(), 2);
    EXPECT_EQ(link.callCount("IncluirUsuarioSemDigitalBio"), 1);
    EXPECT_EQ(storedRecord("0000000002").mid(11, 1), QByteArray("f"));
    EXPECT_EQ(controllerUsers(), (Codes{"0000000001", "0000000002"}));
    EXPECT_EQ(logged().filter(u"Buscar"_s), (QStringList{u"Buscar todos os templates[GetTemplatesAll]"_s,
                                                         u"Buscar template da pessoa _0000000002"_s}));
    EXPECT_TRUE(logged().contains(u"Total de usuários no banco de dados ORACLE: 3"_s));
}

// Controller users the database does not know cannot make up for a person it lacks.
TEST_F(TemplateSyncTest, ListAsLongAsTheRowsButMissingOneStillSendsIt)
{
    addEnrolled(u"0000000001"_s);
    addEnrolled(u"0000000002"_s);
    sim.addUser("0000000001");
    sim.addUser("0000000003");
    watchTemplateQueries();

    EXPECT_TRUE(templates.SynchroniseTemplates());

    EXPECT_EQ(templateReads(), 1);
    EXPECT_EQ(controllerUsers(), (Codes{"0000000001", "0000000002"}));
}

// Without templates no template is read either; every controller user is deleted.
TEST_F(TemplateSyncTest, DatabaseWithoutTemplatesReadsNoTemplate)
{
    sim.addUser("0000000001");
    watchTemplateQueries();
    EXPECT_TRUE(templates.SynchroniseTemplates());
    EXPECT_EQ(templateReads(), 0);
    EXPECT_TRUE(controllerUsers().empty());
    EXPECT_TRUE(logged().contains(u"Total de usuários no banco de dados ORACLE: 0"_s));
}

TEST_F(TemplateSyncTest, DatabaseWithoutTemplatesEmptiesTheController)
{
    addPerson(u"0000000001"_s);
    for (const char* code : {"0000000001", "0000000002"})
        sim.addUser(code);
    EXPECT_TRUE(templates.SynchroniseTemplates());
    EXPECT_TRUE(controllerUsers().empty());
    EXPECT_EQ(status(), text("SINCRONISMO_OK"));
}

TEST_F(TemplateSyncTest, EmptyRunShowsNoAverage)
{
    EXPECT_TRUE(templates.SynchroniseTemplates());
    EXPECT_EQ(ui.sync.left(13), u"Sincronismo: "_s);
    EXPECT_FALSE(ui.sync.contains(u"Pessoa"_s)) << ui.sync.toStdString();
}

struct RefusalCase
{
    const char* entryPoint;
    const char* logLine;
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.entryPoint;
}

class TemplateSyncRefusalTest : public test::SyncFixture, public ::testing::WithParamInterface<RefusalCase>
{
};

TEST_P(TemplateSyncRefusalTest, RefusalIsReportedAsFailureAndTheRunGoesOn)
{
    addEnrolled(u"0000000001"_s);
    addEnrolled(u"0000000002"_s);
    sim.addUser("0000000099");
    sim.addUser("0000000098");
    sim.setFault(GetParam().entryPoint, 9);

    EXPECT_FALSE(templates.SynchroniseTemplates());

    const QStringList log = logged();
    EXPECT_EQ(log.count(QString::fromUtf8(GetParam().logLine)), 2);
    EXPECT_EQ(link.ui.caption, link.messages.Lookup(u"SINCRONISMO_ERRO"_s));
    EXPECT_EQ(log.filter(u"Sincronismo - ERRO: "_s).size(), 1);
    EXPECT_TRUE(link.ui.inicializaTimerOn);
    // Both phases ran to their end.
    EXPECT_EQ(link.callCount("UsuarioFoiEnviado"), 2);
    EXPECT_EQ(link.callCount("UsuarioFoiExcluido"), 2);
}

INSTANTIATE_TEST_SUITE_P(Controller, TemplateSyncRefusalTest,
                         ::testing::Values(RefusalCase{"EnviarUsuarioBio", "Usuário não incluído. Erro[6]"},
                                           RefusalCase{"UsuarioFoiEnviado", "Usuário não incluído. Erro[9]"},
                                           RefusalCase{"SolicitarExclusaoUsuario", "Não excluído. Erro[6]"},
                                           RefusalCase{"UsuarioFoiExcluido", "Não excluído. Erro[9]"}));

TEST_F(TemplateSyncTest, FailedTemplateQueryLeavesTheControllerUntouched)
{
    sim.addUser("0000000001");
    exec(u"DROP TABLE DIGITALCATRACA"_s);
    EXPECT_FALSE(templates.SynchroniseTemplates());
    EXPECT_EQ(controllerUsers(), Codes{"0000000001"});
    EXPECT_EQ(link.callCount("SolicitarExclusaoUsuario"), 0);
    EXPECT_EQ(status(), text("SINCRONISMO_ERRO"));
    const QStringList log = logged();
    EXPECT_EQ(log.filter(u"Get templates - ERRO: "_s).size(), 1);
    EXPECT_EQ(log.filter(u"Sincronismo - ERRO: "_s).size(), 1);
    EXPECT_TRUE(link.ui.inicializaTimerOn);
}

TEST_F(TemplateSyncTest, RecordOfTheWrongSizeIsNeverSent)
{
    addPerson(u"0000000001"_s);
    addTemplate(u"0000000001"_s, test::makeRecord(u"0000000001"_s).left(843));
    addPerson(u"0000000002"_s);
    addTemplate(u"0000000002"_s, test::makeRecord(u"0000000002"_s) + QByteArray(1, 'x'));
    addEnrolled(u"0000000003"_s);
    EXPECT_FALSE(templates.SynchroniseTemplates());
    EXPECT_EQ(controllerUsers(), Codes{"0000000003"});
    EXPECT_EQ(link.callCount("EnviarUsuarioBio"), 1);
    EXPECT_EQ(logged().filter(u"esperados 844"_s).size(), 2);
}

TEST(TemplateSyncWithoutList, ChangesNothingWhenTheListCannotBeRead)
{
    // The partial stand-in library has no TemProximoPacote.
    test::LinkedDevice probe{test::sharedLibraryName(u"EasyInnerPartial"_s)};
    ASSERT_NO_FATAL_FAILURE(probe.openLink());
    probe.sim->addUser("0000000099");
    QFile file(probe.dir.file(u"z.db"_s));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    TXConnection connection;
    connection.ChangeServerType(xdtSQLite);
    connection.SetConnectString(u"Data Source="_s + probe.dir.file(u"z.db"_s));
    connection.SetConnected(true);
    for (const QString& sql :
         {u"CREATE TABLE PESSOA (NRPESSOA VARCHAR(10), IDACESSOCATRACA CHAR(1))"_s,
          u"CREATE TABLE DIGITALCATRACA (NRPESSOA VARCHAR(10), TXDIGITALCATRAC BLOB)"_s}) {
        TXCommand c;
        c.SetParamCheck(false);
        c.SetConnection(&connection);
        c.SetSQL(sql);
        c.Execute();
    }
    DeviceUserList users{probe.device};
    test::FakeSyncUi ui;
    TemplateSync sync{probe.device, connection, users, ui};
    EXPECT_FALSE(sync.SynchroniseTemplates());
    EXPECT_EQ(probe.sim->users().size(), 1u);
    EXPECT_EQ(probe.callCount("SolicitarExclusaoUsuario"), 0);
    EXPECT_EQ(probe.ui.caption, probe.messages.Lookup(u"SINCRONISMO_ERRO"_s));
}

// --- per-user operations ---------------------------------------------------------------------

TEST_F(TemplateSyncTest, InclusionSendsTheTemplateOfExactlyThatPerson)
{
    // "_0000000001_" also contains the shorter number 00000001.
    addEnrolled(u"00000001"_s, 's');
    addEnrolled(u"0000000001"_s, 'l');
    EXPECT_EQ(templates.IncludeDeviceUser({}, u"0000000001"_s), 0);
    EXPECT_EQ(storedRecord("0000000001"), test::makeRecord(u"0000000001"_s, 'l'));
    EXPECT_EQ(controllerUsers(), Codes{"0000000001"});
    const QStringList log = logged();
    EXPECT_TRUE(log.contains(u"Buscar template da pessoa _0000000001"_s));
    EXPECT_TRUE(log.contains(u"Incluindo usuário na catraca: 0000000001"_s));
    EXPECT_EQ(log.last(), u"Usuário incluído"_s);
}

TEST_F(TemplateSyncTest, CodeWithSomethingAfterTheNumberTakesThePersonCoveringMostOfIt)
{
    addEnrolled(u"00000001"_s, 's');
    addEnrolled(u"0000000001"_s, 'l');
    templates.IncludeDeviceUser({}, u"0000000001 "_s);
    EXPECT_EQ(storedRecord("0000000001"), test::makeRecord(u"0000000001"_s, 'l'));
}

TEST_F(TemplateSyncTest, PersonWithoutTemplateIsNotSent)
{
    addPerson(u"0000000001"_s);
    EXPECT_EQ(templates.IncludeDeviceUser({}, u"0000000001"_s), 1);
    EXPECT_EQ(link.callCount("IncluirUsuarioSemDigitalBio"), 0);
    EXPECT_EQ(link.callCount("EnviarUsuarioBio"), 0);
    EXPECT_EQ(
        logged().last(),
        u"##### Incluir usuário - ERRO: nenhum template da pessoa 0000000001 no banco de dados #####"_s);
}

TEST_F(TemplateSyncTest, BlankCodeSendsTheGivenRecordOnlyWhenWhole)
{
    EXPECT_EQ(templates.IncludeDeviceUser(test::makeRecord(u"0000000042"_s), u"  "_s), 0);
    EXPECT_EQ(controllerUsers(), Codes{"0000000042"});
    EXPECT_EQ(templates.IncludeDeviceUser(test::makeRecord(u"0000000043"_s).left(100), QString()), 1);
    EXPECT_EQ(controllerUsers(), Codes{"0000000042"});
}

TEST_F(TemplateSyncTest, InclusionWaitsForTheControllerOnlyAfterAnAcceptedRecord)
{
    addEnrolled(u"0000000001"_s);
    qint64 before = link.clock.elapsedMs();
    templates.IncludeDeviceUser({}, u"0000000001"_s);
    EXPECT_GE(link.clock.elapsedMs() - before, 2000);
    sim.setFault("EnviarUsuarioBio", 9);
    before = link.clock.elapsedMs();
    EXPECT_EQ(templates.IncludeDeviceUser({}, u"0000000001"_s), 6);
    EXPECT_LT(link.clock.elapsedMs() - before, 1000);
}

TEST_F(TemplateSyncTest, DeletionOfAnUnknownUserGivesTheControllerAnswer)
{
    sim.addUser("0000000001");
    EXPECT_EQ(templates.DeleteDeviceUser(u"0000000001"_s), 0);
    EXPECT_EQ(logged().last(), u"Excluído"_s);
    EXPECT_EQ(templates.DeleteDeviceUser(u"0000000001"_s), 7);
    EXPECT_EQ(logged().last(), u"Não excluído. Erro[7]"_s);
}

TEST_F(TemplateSyncTest, UpdateIsDecidedByTheInclusion)
{
    addEnrolled(u"0000000001"_s, 'n');
    EXPECT_EQ(templates.UpdateDeviceUser(u"0000000001"_s), 0); // not in the controller: deletion says 7
    EXPECT_EQ(storedRecord("0000000001"), test::makeRecord(u"0000000001"_s, 'n'));
    const std::vector<std::string> names = sim.callNames();
    const auto deletion = std::find(names.begin(), names.end(), "SolicitarExclusaoUsuario");
    const auto inclusion = std::find(names.begin(), names.end(), "EnviarUsuarioBio");
    EXPECT_LT(deletion, inclusion);
}

TEST_F(TemplateSyncTest, GetTemplatesMatchesEveryNumberInsideTheParameterText)
{
    addEnrolled(u"00000001"_s);
    addEnrolled(u"0000000001"_s);
    addEnrolled(u"0000000002"_s);
    EXPECT_EQ(templates.GetTemplates(u"0000000001"_s).RowCount(), 2);
    EXPECT_EQ(templates.GetTemplates(std::nullopt).RowCount(), 3);
    exec(u"DROP TABLE PESSOA"_s);
    EXPECT_TRUE(templates.GetTemplates(std::nullopt).IsEmpty());
    const QStringList log = logged();
    EXPECT_EQ(log.mid(log.size() - 3), (QStringList{QString(), log.at(log.size() - 2), QString()}));
    EXPECT_TRUE(log.at(log.size() - 2).startsWith(u"##### Get templates - ERRO: "_s));
}

// --- manual command ----------------------------------------------------------------------------

TEST_F(TemplateSyncTest, ManualCommandSaysSuccessOnlyForASuccessfulRun)
{
    int standing = 0;
    templates.setStandingMessage([&] { return ++standing, 0; });
    addEnrolled(u"0000000001"_s);
    EXPECT_TRUE(templates.SynchroniseNow());
    EXPECT_EQ(standing, 1);
    EXPECT_EQ(logged().last(), u"Sincronismo manual efetuado com sucesso!"_s);

    sim.addUser("0000000099");
    sim.setFault("UsuarioFoiExcluido", 9);
    EXPECT_FALSE(templates.SynchroniseNow());
    EXPECT_EQ(standing, 2);
    EXPECT_EQ(logged().last(),
              u"##### Sincronismo manual - ERRO: Erro no sincronismo de dados biométricos! #####"_s);
    EXPECT_EQ(logged().filter(u"efetuado com sucesso"_s).size(), 1);
}

TEST_F(TemplateSyncTest, ManualCommandWithTheTurnstileOfflineStopsAfterTheLinkCheck)
{
    link.loopClaim.reset(); // no online loop: the command opens the link itself
    sim.setFault("AbrirPortaComunicacao", 3);
    sim.addUser("0000000099");
    EXPECT_FALSE(templates.SynchroniseNow());
    EXPECT_EQ(link.ui.caption, link.messages.Lookup(u"PREPARANDO_SINC"_s));
    EXPECT_EQ(controllerUsers(), Codes{"0000000099"});
    EXPECT_FALSE(link.ui.inicializaTimerOn);
    EXPECT_EQ(logged().filter(u"Sincronismo"_s), QStringList{u"Sincronismo de dados manual"_s});
}

TEST_F(TemplateSyncTest, CommandDuringARunningSynchronisationIsRefused)
{
    addEnrolled(u"0000000001"_s);
    bool nested = true;
    QTimer::singleShot(0, [&] { nested = templates.SynchroniseNow(); });
    EXPECT_TRUE(templates.SynchroniseTemplates());
    EXPECT_FALSE(nested);
    EXPECT_EQ(controllerUsers(), Codes{"0000000001"});
    EXPECT_EQ(logged().filter(u"Sincronismo manual - ERRO: catraca em uso (sincronismo)"_s).size(), 1);
}

TEST_F(TemplateSyncTest, SynchronisationWhileTheLinkIsInUseTouchesAndRestartsNothing)
{
    addEnrolled(u"0000000001"_s);
    sim.addUser("0000000099");
    const auto clearing = link.device.link().claim(LinkHolder::Clearing);
    ASSERT_TRUE(clearing);
    sim.clearCalls();
    try {
        templates.SynchroniseTemplates();
        ADD_FAILURE() << "a synchronisation on a link in use must be refused";
    } catch (const Error& error) {
        EXPECT_EQ(error.message(), u"sincronismo recusado: catraca em uso (limpeza da catraca)"_s);
    }
    EXPECT_FALSE(templates.SynchroniseNow());
    EXPECT_TRUE(sim.calls().empty());
    EXPECT_EQ(controllerUsers(), Codes{"0000000099"});
    EXPECT_FALSE(link.device.IsStopRequested());
    EXPECT_FALSE(link.ui.inicializaTimerOn);
    EXPECT_EQ(logged().last(),
              u"##### Sincronismo manual - ERRO: catraca em uso (limpeza da catraca) #####"_s);
}

// --- timing text -------------------------------------------------------------------------------

struct TimingCase
{
    qint64 ms;
    int items;
    const char* text;
};

class TimingTextTest : public ::testing::TestWithParam<TimingCase>
{
protected:
    TMessages messages;
};

TEST_P(TimingTextTest, DurationAndSecondsPerPerson)
{
    EXPECT_EQ(TimingText(messages, u"SINC"_s, GetParam().ms, GetParam().items),
              QString::fromUtf8(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(Cases, TimingTextTest,
                         ::testing::Values(TimingCase{161'000, 60, "Sincronismo: 00:02:41[2,68S/Pessoa]"},
                                           TimingCase{999, 0, "Sincronismo: 00:00:00"},
                                           TimingCase{(25 * 3600 + 61) * 1000LL, 1,
                                                      "Sincronismo: 25:01:01[90061,00S/Pessoa]"}));

} // namespace
} // namespace zul
