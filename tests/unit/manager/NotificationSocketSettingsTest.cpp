#include "LinkedDevice.h"
#include "ScriptedDialogs.h"
#include "TempDir.h"
#include "manager/ManagerCore.h"
#include "notify/NotificationServer.h"
#include "platform/Registry.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Settings.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

using namespace Qt::StringLiterals;

namespace zul {
namespace {

// The core makes its notification socket from the registry's socket values.
class NotificationSocketSettingsTest : public ::testing::Test
{
protected:
    std::unique_ptr<platform::RegistryKey> key() const
    {
        return platform::openLocalMachineKey(registry, SettingsStore::KeyPath, true);
    }

    void Start()
    {
        AppEnvironment env{clock, dialogs, log, registry, true};
        env.notificationPort = 0;
        env.deviceLibrary = u"libNoSuchLibrary.so"_s;
        core = std::make_unique<ManagerCore>(env);
        core->notificationServer().CheckNotificationSocket();
        ASSERT_TRUE(core->notificationServer().isListening());
    }

    // True when a loopback client is taken on; false when it is closed at once.
    bool LoopbackAccepted()
    {
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, core->notificationServer().serverPort());
        QElapsedTimer elapsed;
        elapsed.start();
        while (elapsed.elapsed() < 5000) {
            if (core->notificationServer().clientCount() == 1)
                return true;
            if (client.state() == QAbstractSocket::UnconnectedState)
                return false;
            QEventLoop loop;
            QTimer::singleShot(2, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return false;
    }

    QStringList Logged() const { return test::logTexts(log, clock); }

    test::TempDir dir;
    ManualClock clock;
    test::ScriptedDialogs dialogs;
    ActivityLog log{clock, dir.file(u"logCatraca"_s)};
    platform::RegistryStore registry{dir.file(u"machine.reg"_s).toStdString()};
    std::unique_ptr<ManagerCore> core;
};

TEST_F(NotificationSocketSettingsTest, UnsetIsOpenToEveryoneAndSaysSo)
{
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_TRUE(LoopbackAccepted());
    EXPECT_TRUE(Logged().contains(u"Socket TCP aberto a todos: nenhuma lista de clientes permitidos"_s));
}

TEST_F(NotificationSocketSettingsTest, AListWithoutTheClientRefusesIt)
{
    key()->writeString(SettingsStore::NotificationClientsValue, "10.20.0.0/16");
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_FALSE(LoopbackAccepted());
    key()->writeString(SettingsStore::NotificationClientsValue, "10.20.0.0/16 127.0.0.1");
    core.reset();
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_TRUE(LoopbackAccepted());
}

TEST_F(NotificationSocketSettingsTest, AValueThatCannotBeReadLetsNobodyIn)
{
    key()->writeDWord(SettingsStore::NotificationClientsValue, 1);
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_FALSE(LoopbackAccepted());
    EXPECT_TRUE(Logged().contains(
        u"##### Socket TCP - ERRO: Tipo de dado inválido para 'SocketClientesCatraca' #####"_s))
        << Logged().join(u'\n').toStdString();
}

} // namespace
} // namespace zul
