#include "db/ManagerDatabase.h"

#include "FakeDeviceUi.h"
#include "LinkedDevice.h"
#include "ManagerProfiles.h"
#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "db/DatabaseUi.h"
#include "db/DriverConnection.h"
#include "dbconfig/Criptografa.h"
#include "device/DeviceBinding.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/Messages.h"
#include "support/Settings.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <gtest/gtest.h>
#include <memory>
#include <utility>

using namespace Qt::StringLiterals;

namespace zul {
namespace {

class FakeDatabaseUi final : public DatabaseUi
{
public:
    void EnableMenus() override { ++menusEnabled; }
    void ShowDbState(bool connected) override
    {
        if (failShowingState)
            throw Error(u"painel indisponível"_s);
        states.append(connected);
    }
    void ShowErrorBox(const QString& text) override { boxes.append(text); }
    void ShowMessageAndRelease(const QString& text) override { releases.append(text); }
    bool OperatorPresent() const override { return operatorPresent; }

    int menusEnabled = 0;
    QList<bool> states;
    QStringList boxes;
    QStringList releases;
    bool operatorPresent = true;
    bool failShowingState = false;
};

// The manager's connection on profile "211", a SQLite file that exists only while the test says
// the database is up.
class ManagerDatabaseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        test::InstallProfile(registry, u"211"_s, u"SQLITE"_s, u"Data Source="_s + databaseFile());
        database = std::make_unique<ManagerDatabase>(device, messages, settings, dialogs, ui);
    }

    QString databaseFile() const { return dir.file(u"zul.db"_s); }
    void SetDatabaseUp(bool up)
    {
        QFile file(databaseFile());
        if (up) {
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            if (std::exchange(profileMovedAway, false))
                test::InstallProfile(registry, u"211"_s, u"SQLITE"_s, u"Data Source="_s + databaseFile());
        } else if (file.exists() && !file.remove()) {
            // Windows deletes no file that a connection holds open: the profile names a file in
            // a folder that does not exist instead, which no connection can open either.
            test::InstallProfile(registry, u"211"_s, u"SQLITE"_s,
                                 u"Data Source="_s + dir.file(u"ausente/zul.db"_s));
            profileMovedAway = true;
        }
    }
    bool profileMovedAway = false;

    // Lines holding an error are framed by the log.
    bool LoggedError(const QString& text) const
    {
        return Logged().contains(u"##### "_s + text + u" #####"_s);
    }

    QStringList Logged() const { return test::logTexts(log, clock); }

    test::TempDir dir;
    test::ProcessProfilesGuard profilesGuard;
    ManualClock clock;
    ActivityLog log{clock, dir.file(u"logCatraca"_s)};
    TMessages messages;
    test::FakeDeviceUi deviceUi;
    DeviceBinding device{clock, log, messages, deviceUi, u"libNoSuchLibrary.so"_s};
    platform::RegistryStore registry{dir.file(u"machine.reg"_s).toStdString()};
    SettingsStore settings{messages, registry};
    test::ScriptedDialogs dialogs;
    FakeDatabaseUi ui;
    std::unique_ptr<ManagerDatabase> database;
};

TEST_F(ManagerDatabaseTest, FirstStartAsksOnceProposing211AndStoresTheAnswer)
{
    SetDatabaseUp(true);
    dialogs.queueInput(u"211"_s);

    EXPECT_TRUE(database->ConnectDatabase(false, true));
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].kind, test::ScriptedDialogs::Kind::Input);
    EXPECT_EQ(dialogs.shown[0].title, u"Porta para Conexão"_s);
    EXPECT_EQ(dialogs.shown[0].text, u"Informe a porta para conexão com o banco de dados:"_s);
    EXPECT_EQ(dialogs.shown[0].value, u"211"_s);
    EXPECT_EQ(settings.readProfileCode(), u"211"_s);

    // Stored now: a forced reconnect asks nothing.
    EXPECT_TRUE(database->ConnectDatabase(true, true));
    EXPECT_EQ(dialogs.shown.size(), 1);
}

struct TypedAnswer
{
    const char* name;
    std::optional<QString> answer;
    QString stored; // "" = nothing written
    bool menusEnabled;
    bool errorLogged;
};

class ProfileCodeAnswer : public ManagerDatabaseTest, public ::testing::WithParamInterface<TypedAnswer>
{
};

TEST_P(ProfileCodeAnswer, IsValidatedBeforeItIsStored)
{
    const TypedAnswer& c = GetParam();
    dialogs.queueInput(c.answer);
    const QString expected = u"Data Source="_s + databaseFile();
    EXPECT_EQ(database->GetDatabaseConnectString(), expected);
    EXPECT_EQ(settings.readProfileCode(), c.stored);
    EXPECT_EQ(ui.menusEnabled > 0, c.menusEnabled);
    EXPECT_EQ(LoggedError(u"String Conexão - ERRO: Porta inválida!"_s), c.errorLogged);
}

INSTANTIATE_TEST_SUITE_P(Answers, ProfileCodeAnswer,
                         ::testing::Values(TypedAnswer{"Cancelled", std::nullopt, u"211"_s, false, false},
                                           TypedAnswer{"Blank", QString(), u"211"_s, false, false},
                                           TypedAnswer{"OtherCode", u"300"_s, u"300"_s, false, false},
                                           TypedAnswer{"Letters", u"21a"_s, QString(), true, true},
                                           TypedAnswer{"Spaces", u" 211"_s, QString(), true, true}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(ManagerDatabaseTest, StoredNonDigitCodeIsUsedUnchangedAndFallsBackToProfile211)
{
    settings.writeProfileCode(u"abc"_s);
    EXPECT_EQ(database->GetDatabaseConnectString(), u"Data Source="_s + databaseFile());
    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_EQ(settings.readProfileCode(), u"abc"_s);
}

// A profile whose string decrypts to garbage is named as such; no driver is handed an empty
// string or another profile's, and a good profile chosen instead still connects.
TEST_F(ManagerDatabaseTest, ProfileThatCannotBeDecryptedIsReportedInsteadOfConnecting)
{
    {
        const auto key = platform::openLocalMachineKey(registry, ConnectionProfiles::KeyPath, true);
        ASSERT_TRUE(key);
        ASSERT_TRUE(
            key->writeString("StringConex211", EncryptProfileString(QByteArray("\x02\x03")).toStdString()));
        ConnectionProfiles::writeProfile(*key, u"5"_s, u"SQLITE"_s, u"Data Source="_s + databaseFile());
    }
    ::testing::internal::CaptureStderr();
    ReadConnectionProfiles(registry);
    ::testing::internal::GetCapturedStderr();
    UseProcessConnectionProfiles();
    SetDatabaseUp(true);
    settings.writeProfileCode(u"211"_s);

    EXPECT_FALSE(database->ConnectDatabase(false, true));
    const QString problem =
        u"cannot decrypt profile 211 (o valor decifrado não é texto: chave ou dado errado)"_s;
    EXPECT_TRUE(LoggedError(u"Erro: "_s + problem)) << qPrintable(Logged().join(u'\n'));
    ASSERT_EQ(ui.boxes.size(), 1);
    EXPECT_TRUE(ui.boxes[0].contains(problem));

    // Profile 5 has its own string: the broken default profile does not stand in its way.
    settings.writeProfileCode(u"5"_s);
    EXPECT_TRUE(database->ConnectDatabase(true, true));
}

// A registry file that cannot be parsed is named with its line; the operator is not asked for
// a profile code that could not be stored anyway.
TEST_F(ManagerDatabaseTest, UnreadableRegistryIsNamedInsteadOfAskingOrConnecting)
{
#ifdef _WIN32
    GTEST_SKIP() << "the registry is a .reg text file on Linux only; Windows has its own registry";
#endif
    {
        QFile file(QString::fromStdString(registry.file));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software]\n\"PortaADOCatraca\"=\"21");
    }
    ::testing::internal::CaptureStderr();
    ReadConnectionProfiles(registry);
    ::testing::internal::GetCapturedStderr();
    SetDatabaseUp(true);

    EXPECT_FALSE(database->ConnectDatabase(false, true));
    EXPECT_TRUE(dialogs.shown.isEmpty());
    const QString problem = u"arquivo de registro %1, linha 3: texto sem as aspas finais"_s.arg(
        QString::fromStdString(registry.file));
    EXPECT_TRUE(Logged().filter(u"##### Erro: "_s + problem).size() == 1) << qPrintable(Logged().join(u'\n'));
}

TEST_F(ManagerDatabaseTest, WithoutOperatorTheQuestionIsNotAskedAnd211IsUsedAndLogged)
{
    ui.operatorPresent = false;
    SetDatabaseUp(true);
    EXPECT_TRUE(database->ConnectDatabase(false, true));
    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_EQ(settings.readProfileCode(), u"211"_s);
    EXPECT_TRUE(Logged().contains(u"Porta para Conexão: perfil 211 usado sem operador"_s));
}

TEST_F(ManagerDatabaseTest, ReportModeFailureShowsOneBoxPerCallAndReleasesTheTurnstile)
{
    settings.writeProfileCode(u"211"_s);
    device.ClearStopRequest();

    EXPECT_FALSE(database->ConnectDatabase(false, true));
    EXPECT_TRUE(database->ReportMode());
    ASSERT_EQ(ui.boxes.size(), 1);
    EXPECT_TRUE(ui.boxes[0].startsWith(u"Não é possível conectar ao Banco de Dados ORACLE.\r\n\r"_s));
    EXPECT_TRUE(ui.boxes[0].contains(u"Verifique a conexão com o Banco de Dados"_s));
    EXPECT_EQ(ui.releases, QStringList{QString()});
    EXPECT_TRUE(device.IsStopRequested());
    EXPECT_TRUE(database->tmrReconnect.isActive());
    EXPECT_EQ(deviceUi.caption, u"Catraca desconectada [Não conectou ao banco de dados!]"_s);
    const QStringList logged = Logged();
    const qsizetype at = logged.indexOf(u"Erro ao conectar Banco de Dados:"_s);
    ASSERT_GE(at, 0);
    EXPECT_TRUE(logged.value(at + 1).startsWith(u"##### Erro: "_s));

    // The reconnect timer retries quietly: no box, however often.
    for (int i = 0; i < 3; ++i) {
        database->tmrReconnectTimer();
        EXPECT_TRUE(database->tmrReconnect.isActive());
    }
    EXPECT_FALSE(database->ReportMode());
    EXPECT_EQ(ui.boxes.size(), 1);
    EXPECT_EQ(ui.states, (QList<bool>{false, false, false}));
    EXPECT_EQ(ui.releases.size(), 4);

    EXPECT_FALSE(database->ConnectDatabase(false, true));
    EXPECT_EQ(ui.boxes.size(), 2);
}

TEST_F(ManagerDatabaseTest, ErrorOfTheReconnectTimerGoesToTheExceptionHandlerNotIntoQt)
{
    QStringList reported;
    // A zero interval fires again within one pass of the event loop: the first report stops it.
    database->OnExcept = [&](const QString& message) {
        reported << message;
        database->tmrReconnect.stop();
    };
    ui.failShowingState = true;
    database->tmrReconnect.setInterval(0);
    database->tmrReconnect.start();
    for (int pass = 0; pass < 100 && reported.isEmpty(); ++pass)
        EXPECT_NO_THROW(QCoreApplication::processEvents(QEventLoop::AllEvents, 10));
    EXPECT_EQ(reported, QStringList{u"painel indisponível"_s});
}

TEST_F(ManagerDatabaseTest, QuietAttemptsLogTheirConnectingLineOnce)
{
    settings.writeProfileCode(u"211"_s);
    database->tmrReconnectTimer();
    database->tmrReconnectTimer();
    EXPECT_EQ(Logged().count(u"Conectando banco de dados[Exceção Inativa]"_s), 1);
    EXPECT_EQ(device.statusText(), u"[Exceção Inativa]"_s);
    // A reporting attempt in between is a new line, and the next quiet one logs again.
    database->ConnectDatabase(false, true);
    database->tmrReconnectTimer();
    const QStringList logged = Logged();
    EXPECT_EQ(logged.count(u"Conectando banco de dados[Exceção Ativa]"_s), 1);
    EXPECT_EQ(logged.count(u"Conectando banco de dados[Exceção Inativa]"_s), 2);
}

TEST_F(ManagerDatabaseTest, QuietSuccessRestartsTheTurnstileAndReportSuccessDoesNot)
{
    settings.writeProfileCode(u"211"_s);
    database->tmrReconnectTimer();
    ASSERT_TRUE(database->tmrReconnect.isActive());
    EXPECT_FALSE(deviceUi.inicializaTimerOn);

    SetDatabaseUp(true);
    database->tmrReconnectTimer();
    EXPECT_FALSE(database->tmrReconnect.isActive());
    EXPECT_TRUE(deviceUi.inicializaTimerOn);
    EXPECT_TRUE(device.IsStopRequested());
    EXPECT_EQ(ui.states.last(), true);
    EXPECT_EQ(Logged().last(), u"Preparando inicialização da catraca"_s);

    deviceUi.inicializaTimerOn = false;
    EXPECT_TRUE(database->ConnectDatabase(false, true));
    EXPECT_FALSE(deviceUi.inicializaTimerOn);
    EXPECT_EQ(Logged().last(), u"Conexão Ativa"_s);
}

TEST_F(ManagerDatabaseTest, ForceReopensAnOpenConnectionWhileOtherwiseItIsKept)
{
    settings.writeProfileCode(u"211"_s);
    SetDatabaseUp(true);
    ASSERT_TRUE(database->ConnectDatabase(false, true));
    int connects = 0;
    int followUps = 0;
    QObject::connect(&database->xcnCatraca, &TXConnection::AfterConnect, [&](QObject*) { ++connects; });
    database->AfterConnect = [&] { ++followUps; };
    EXPECT_TRUE(database->ConnectDatabase(false, true));
    EXPECT_EQ(connects, 0);
    EXPECT_EQ(followUps, 0);
    EXPECT_TRUE(database->ConnectDatabase(true, true));
    EXPECT_EQ(connects, 1);
    EXPECT_EQ(followUps, 1);

    // A failed re-open is no connection to follow up.
    SetDatabaseUp(false);
    EXPECT_FALSE(database->ConnectDatabase(true, false));
    EXPECT_EQ(followUps, 1);
}

TEST_F(ManagerDatabaseTest, CheckAsksTheServerAndFollowsUpAWorkingConnectionOnce)
{
    settings.writeProfileCode(u"211"_s);
    SetDatabaseUp(true);
    ASSERT_TRUE(database->ConnectDatabase(false, true));
    QStringList followUps;
    database->AfterConnect = [&] { followUps << u"connect"_s; };
    database->AfterCheck = [&] { followUps << u"check"_s; };
    QStringList traced;
    QObject::connect(database->xcnCatraca.DriverConnection(), &db::DriverConnection::Trace,
                     [&](QObject*, const QString& text, TDATraceFlag) { traced << text; });

    database->CheckDatabaseConnection();
    EXPECT_EQ(traced, QStringList{u"SELECT 1"_s});
    EXPECT_EQ(followUps, QStringList{u"check"_s});
    EXPECT_EQ(ui.states, QList<bool>{true});

    // A closed connection is re-opened, and that is followed up once, as every re-open is.
    followUps.clear();
    database->xcnCatraca.SetConnected(false);
    database->CheckDatabaseConnection();
    EXPECT_EQ(followUps, QStringList{u"connect"_s});
}

TEST_F(ManagerDatabaseTest, CheckWithTheDatabaseDownTellsTheDisplayAndReportsIt)
{
    settings.writeProfileCode(u"211"_s);
    test::LinkedDevice link; // a controller to receive the display text
    link.openLink();
    ManagerDatabase linked(link.device, link.messages, settings, dialogs, ui);

    linked.CheckDatabaseConnection();
    EXPECT_EQ(ui.states, QList<bool>{false});
    EXPECT_EQ(ui.boxes.size(), 1);
    EXPECT_EQ(link.device.lastResult(), 0);
    EXPECT_EQ(link.callCount("EnviarMensagemPadraoOnLine"), 1);
    EXPECT_EQ(link.sim->display().line1 + link.sim->display().line2,
              std::string("    CATRACA       DESCONECTADA  "));
    EXPECT_TRUE(link.logged().contains(u"Verificar conexão com ADO"_s));
}

} // namespace
} // namespace zul
