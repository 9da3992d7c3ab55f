// A full synchronisation (SynchroniseTemplates) in virtual time against the turnstile simulator
// run in-process, with the templates in SQLite, for 1 000, 10 000 and 50 000 people and three
// controllers: already in step with the database, empty, and full of users the database no longer
// has. The device waits cost no real time, so what is measured is the program's own work (list
// collection, template query, index look-ups, the per-user device calls and their message
// dispatch) plus the simulator's protocol. CPU time is the manager's thread; process_cpu_s adds the
// simulator's threads; virtual_h is the turnstile time the run would take for real.
#include "core/Simulator.h"
#include "db/XConnection.h"
#include "device/DeviceBinding.h"
#include "device/DeviceUi.h"
#include "os/Net.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Messages.h"
#include "sync/DeviceUserList.h"
#include "sync/SyncUi.h"
#include "sync/TemplateSync.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <ctime>

namespace {

using namespace Qt::StringLiterals;

enum Case { InStep = 0, EmptyController = 1, StaleController = 2 };

QString number(int i)
{
    return u"%1"_s.arg(i, 10, 10, QChar(u'0'));
}

std::string record(const QString& code)
{
    return sim::Simulator::makeRecord(code.toStdString(), '\x5a');
}

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

class BenchUi final : public zul::DeviceUi, public zul::SyncUi
{
public:
    QString statusLine() const override { return m_caption; }
    void setStatusLine(const QString& caption) override { m_caption = caption; }
    void setStatusHints(const QString&, const QString&) override {}
    zul::LinkMenu linkMenu() const override
    {
        return {u"&Serial   (Porta 1)"_s, u"TCP/&IP (Porta 3570)"_s, false, true};
    }
    bool normalMounting() const override { return false; }
    void enableMenus() override {}
    void startInicializaTimer() override {}
    void stopReconnectTimer() override {}
    void setSyncTiming(const QString& text) override { sync = text; }
    void setClearingTiming(const QString&) override {}
    void setUpdateTiming(const QString&) override {}

    QString sync;

private:
    QString m_caption;
};

// The people with their templates, in a SQLite file of the schema the program uses.
void fillDatabase(const QString& file, int people, bool withTemplates)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"bench-fill"_s);
        db.setDatabaseName(file);
        db.open();
        QSqlQuery q(db);
        q.exec(u"CREATE TABLE PESSOA (NRPESSOA VARCHAR(10) NOT NULL PRIMARY KEY, "
               u"IDACESSOCATRACA CHAR(1) NOT NULL DEFAULT 'N')"_s);
        q.exec(
            u"CREATE TABLE DIGITALCATRACA (NRPESSOA VARCHAR(10) NOT NULL, TXDIGITALCATRAC BLOB NOT NULL)"_s);
        q.exec(u"CREATE INDEX IX_DIGITALCATRACA_PESSOA ON DIGITALCATRACA (NRPESSOA)"_s);
        db.transaction();
        QSqlQuery person(db);
        person.prepare(u"INSERT INTO PESSOA VALUES (?, 'S')"_s);
        QSqlQuery templ(db);
        templ.prepare(u"INSERT INTO DIGITALCATRACA VALUES (?, ?)"_s);
        for (int i = 1; i <= people; ++i) {
            person.bindValue(0, number(i));
            person.exec();
            if (withTemplates) {
                const std::string bytes = record(number(i));
                templ.bindValue(0, number(i));
                templ.bindValue(1, QByteArray(bytes.data(), qsizetype(bytes.size())));
                templ.exec();
            }
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(u"bench-fill"_s);
}

void BM_SynchroniseTemplates(benchmark::State& state)
{
    const auto controller = static_cast<Case>(state.range(0));
    const int people = static_cast<int>(state.range(1));

    QTemporaryDir dir;
    const QString file = dir.filePath(u"zul.db"_s);
    fillDatabase(file, people, controller != StaleController);

    sim::Simulator simulator;
    std::string error;
    if (!simulator.start(0, 0, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const std::string endpoint = "127.0.0.1:" + std::to_string(simulator.port());
    sim::os::setEnv("ZUL_SIM_TCP_3570", endpoint);
    sim::os::setEnv("ZUL_SIM_TIMEOUT_MS", "2000");
    if (controller != EmptyController)
        for (int i = 1; i <= people; ++i)
            simulator.addUser(number(i).toStdString());

    zul::ManualClock clock;
    zul::ActivityLog log(clock, dir.path());
    zul::TMessages messages;
    BenchUi ui;
    zul::DeviceBinding device(clock, log, messages, ui);
    if (device.LoadDeviceLibrary() == 0) {
        state.SkipWithError("libEasyInner not found beside the benchmark");
        return;
    }
    device.DevicePort = 3570;
    device.Call<zul::easyinner::DefinirTipoConexao>(1);
    device.Call<zul::easyinner::AbrirPortaComunicacao>(3570);

    zul::TXConnection connection;
    connection.ChangeServerType(zul::xdtSQLite);
    connection.SetConnectString(u"Data Source="_s + file);
    connection.SetConnected(true);
    zul::DeviceUserList users(device);
    zul::TemplateSync sync(device, connection, users, ui);

    bool ok = false;
    const double cpuBefore = processCpuSeconds();
    const qint64 virtualBefore = clock.elapsedMs();
    for (auto _ : state)
        ok = sync.SynchroniseTemplates();
    const double processCpu = processCpuSeconds() - cpuBefore;
    const double virtualHours = double(clock.elapsedMs() - virtualBefore) / 3.6e6;

    const std::size_t expected = controller == StaleController ? 0u : std::size_t(people);
    if (!ok || simulator.users().size() != expected)
        state.SkipWithError("the synchronisation did not bring the controller in line");
    state.counters["people"] = people;
    state.counters["process_cpu_s"] = processCpu;
    state.counters["virtual_h"] = virtualHours;
    state.SetLabel(controller == InStep            ? "in step"
                   : controller == EmptyController ? "empty"
                                                   : "stale users");
    device.UnloadDeviceLibrary();
    simulator.stop();
}

BENCHMARK(BM_SynchroniseTemplates)
    ->ArgNames({"controller", "people"})
    ->ArgsProduct({{InStep, EmptyController, StaleController}, {1'000, 10'000, 50'000}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace
