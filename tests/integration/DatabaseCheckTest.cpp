#include "DbBackend.h"
#include "FakeDeviceUi.h"
#include "LinkedDevice.h"
#include "ManagerProfiles.h"
#include "ScriptedDialogs.h"
#include "db/DatabaseUi.h"
#include "db/ManagerDatabase.h"
#include "db/XFields.h"
#include "device/DeviceBinding.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Messages.h"
#include "support/Settings.h"

using namespace Qt::StringLiterals;

using namespace zul;
using zul::test::Backend;
using zul::test::DbBackendTest;

namespace {

class QuietDatabaseUi final : public DatabaseUi
{
public:
    void EnableMenus() override {}
    void ShowDbState(bool connected) override { states.append(connected); }
    void ShowErrorBox(const QString& text) override { boxes.append(text); }
    void ShowMessageAndRelease(const QString&) override {}
    bool OperatorPresent() const override { return false; }
    QList<bool> states;
    QStringList boxes;
};

// The manager's connection against a real server whose session is ended behind its back (an
// administrator, a restart, a failover): the driver still calls the connection open.
class DatabaseCheckTest : public DbBackendTest
{
protected:
    void SetUp() override
    {
        DbBackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        test::InstallProfile(registry, u"211"_s, u"POSTGRESQL"_s, test::pgKeys());
        settings.writeProfileCode(u"211"_s);
        manager = std::make_unique<ManagerDatabase>(device, messages, settings, dialogs, ui);
    }

    QString sessionOf(TXConnection& c)
    {
        TXQuery q;
        q.SetConnection(&c);
        q.SetSQL(u"SELECT CAST(pg_backend_pid() AS VARCHAR(12)) AS P"_s);
        q.Open();
        return q.FieldByName(u"P"_s)->AsString();
    }

    test::ProcessProfilesGuard profilesGuard;
    ManualClock clock;
    ActivityLog log{clock, dir.file(u"logCatraca"_s)};
    TMessages messages;
    test::FakeDeviceUi deviceUi;
    DeviceBinding device{clock, log, messages, deviceUi, u"libNoSuchLibrary.so"_s};
    platform::RegistryStore registry{dir.file(u"machine.reg"_s).toStdString()};
    SettingsStore settings{messages, registry};
    test::ScriptedDialogs dialogs;
    QuietDatabaseUi ui;
    std::unique_ptr<ManagerDatabase> manager;
};

} // namespace

TEST_P(DatabaseCheckTest, PeriodicCheckNoticesAServerSessionThatHasGoneAndReconnects)
{
    ASSERT_TRUE(manager->ConnectDatabase(false, true));
    const QString session = sessionOf(manager->xcnCatraca);
    exec(u"SELECT pg_terminate_backend("_s + session + u")"_s);
    ASSERT_TRUE(manager->xcnCatraca.Connected()); // what the driver believes
    int followUps = 0;
    manager->AfterConnect = [&] { ++followUps; };

    manager->CheckDatabaseConnection();
    EXPECT_TRUE(test::logTexts(log, clock).filter(u"Confere ADO - ERRO: "_s).size() == 1)
        << test::logTexts(log, clock).join(u'\n').toStdString();
    EXPECT_EQ(followUps, 1);
    EXPECT_EQ(ui.states, QList<bool>{true});
    EXPECT_TRUE(ui.boxes.isEmpty());
    const QString now = sessionOf(manager->xcnCatraca);
    EXPECT_NE(now, session);
}

INSTANTIATE_TEST_SUITE_P(Servers, DatabaseCheckTest, ::testing::Values(Backend::PostgreSQL),
                         test::backendName);
