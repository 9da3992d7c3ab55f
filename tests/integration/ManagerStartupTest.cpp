#include "ManagerWindow.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

using namespace Qt::StringLiterals;

namespace zul::test {
namespace {

using ManagerStartupTest = ManagerWindowTest;

TEST_F(ManagerStartupTest, DatabaseUpStartsTheLinkAboutTwoSecondsAfterCreation)
{
    CreateDatabase();
    CreateWindow();
    EXPECT_EQ(Start(), QString());
    EXPECT_TRUE(window->StartedMinimized());
    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_TRUE(window->database().tmrReconnect.isActive());
    EXPECT_FALSE(window->tmrInicializa->isActive());
    EXPECT_EQ(Calls("AbrirPortaComunicacao"), 0);

    timers->run(1000);
    EXPECT_FALSE(window->database().tmrReconnect.isActive());
    EXPECT_TRUE(window->tmrInicializa->isActive());
    EXPECT_EQ(Calls("AbrirPortaComunicacao"), 0);

    timers->whenever([this] {
        if (Calls("AbrirPortaComunicacao") == 0)
            return false;
        window->StopConnection();
        return true;
    });
    timers->run(1000);
    EXPECT_EQ(Calls("AbrirPortaComunicacao"), 1);

    const QString separator(47, u'-');
    const QStringList expected = {separator,
                                  u"           Inicializando programa"_s,
                                  separator,
                                  QString(),
                                  u"Carregando biblioteca da catraca..."_s,
                                  u"Conectando banco de dados[Exceção Ativa]"_s,
                                  u"Conexão Ativa"_s,
                                  u" • Inicialização do programa em modo normal"_s,
                                  u"Conectando banco de dados[Exceção Inativa]"_s,
                                  u"Preparando inicialização da catraca"_s,
                                  u"Conexão Ativa"_s,
                                  u"Inicialização da catraca..."_s,
                                  u"Tipo de comunicação: TCP/&IP (Porta 3570)"_s,
                                  u"Abrir porta de comunicação"_s,
                                  u"Porta de comunicação aberta"_s};
    const QStringList logged = Logged();
    qsizetype at = 0;
    for (const QString& line : expected) {
        at = logged.indexOf(line, at);
        ASSERT_GE(at, 0) << "not logged in order: " << line.toStdString() << "\n"
                         << logged.join(u'\n').toStdString();
        ++at;
    }
}

TEST_F(ManagerStartupTest, LibraryMissingStopsCreationAndNothingStartsLater)
{
    CreateDatabase();
    CreateWindow(u"libNoSuchEasyInner.so"_s);
    const QString escaped = Start();
    EXPECT_EQ(escaped, u"A DLL \"libNoSuchEasyInner.so\" não foi encontrada."_s);
    EXPECT_TRUE(Logged().contains(escaped));
    EXPECT_FALSE(window->StartedMinimized());
    EXPECT_TRUE(window->MenusEnabled());
    EXPECT_FALSE(window->database().xcnCatraca.Connected());
    EXPECT_FALSE(Logged().contains(u"Conectando banco de dados[Exceção Ativa]"_s));

    timers->run(5000);
    EXPECT_EQ(timers->fired, 0);
    EXPECT_TRUE(sim->callNames().empty());
    EXPECT_TRUE(Logged().contains(u" • Inicialização do programa em modo normal"_s));
}

TEST_F(ManagerStartupTest, DatabaseDownRetriesQuietlyAndStartsTheLinkWhenItComesBack)
{
    CreateWindow();
    EXPECT_EQ(Start(), QString());
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_TRUE(dialogs.shown[0].text.startsWith(u"Não é possível conectar ao Banco de Dados ORACLE."_s));
    EXPECT_TRUE(window->device().IsStopRequested());
    EXPECT_TRUE(window->database().tmrReconnect.isActive());
    EXPECT_TRUE(window->tmrInicializa->isActive());
    EXPECT_EQ(window->StatusLine(), u"Catraca desconectada [Não conectou ao banco de dados!]"_s);

    // The turnstile's start finds the database still down: its own box, and no link.
    timers->run(1000);
    EXPECT_EQ(dialogs.shown.size(), 2);
    EXPECT_EQ(Calls("AbrirPortaComunicacao"), 0);
    // Meanwhile the quiet retries show nothing, and log their attempt once.
    const QString quietAttempt = u"Conectando banco de dados[Exceção Inativa]"_s;
    timers->run(1000);
    const qsizetype attempts = Logged().count(quietAttempt);
    timers->run(3000);
    EXPECT_EQ(dialogs.shown.size(), 2);
    EXPECT_TRUE(window->database().tmrReconnect.isActive());
    EXPECT_EQ(Logged().count(quietAttempt), attempts);

    CreateDatabase();
    timers->whenever([this] {
        if (Calls("AbrirPortaComunicacao") == 0)
            return false;
        window->StopConnection();
        return true;
    });
    timers->run(2000);
    EXPECT_EQ(dialogs.shown.size(), 2);
    EXPECT_FALSE(window->database().tmrReconnect.isActive());
    EXPECT_TRUE(Logged().contains(u"Preparando inicialização da catraca"_s));
    EXPECT_EQ(Calls("AbrirPortaComunicacao"), 1);
}

TEST_F(ManagerStartupTest, DuplicateCopyShowsTheBoxClosesItselfAndLeavesTheTurnstileAlone)
{
    processes.push_back(ProgramFile("/home/operador/"));
    CreateDatabase();
    CreateWindow();
    EXPECT_EQ(Start(), QString());
    EXPECT_TRUE(window->DuplicateInstance());
    EXPECT_TRUE(window->device().IsStopRequested());
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].text,
              u"Apenas uma instância desta aplicação pode ser carregada pelo Windows."_s);

    int closed = 0;
    QObject::connect(window.get(), &ManagerCore::closed, [&] { ++closed; });
    window->FormClose(); // what the window does at its first activation
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(dialogs.shown.size(), 1);
    timers->run(3000);
    EXPECT_EQ(timers->fired, 0);

    window.reset();
    const QString separator(47, u'-');
    const QStringList logged = Logged();
    EXPECT_EQ(logged.mid(0, 3),
              (QStringList{separator, u"Tentativa de executar a aplicação mais de uma vez"_s, separator}));
    EXPECT_EQ(
        logged.mid(logged.size() - 4),
        (QStringList{separator, u" Programa finalizado em função de duplicidade"_s, separator, QString()}));
    EXPECT_FALSE(logged.contains(u"           Inicializando programa"_s));
    EXPECT_TRUE(sim->callNames().empty());
}

TEST_F(ManagerStartupTest, FirstHeadlessStartOnProfile211AsksNothing)
{
    {
        const auto key = platform::openLocalMachineKey(registry, SettingsStore::KeyPath, false);
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->deleteValue("PortaADOCatraca"));
    }
    CreateDatabase();
    CreateWindow();
    EXPECT_EQ(Start(), QString());
    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_TRUE(window->database().xcnCatraca.Connected());
    EXPECT_EQ(SettingsStore(messages, registry).readProfileCode(), u"211"_s);
}

} // namespace
} // namespace zul::test
