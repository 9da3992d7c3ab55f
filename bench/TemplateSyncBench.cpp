// A full synchronisation (SynchroniseTemplates) in virtual time against the turnstile simulator
// run in-process, with the templates in SQLite, for 1 000, 10 000 and 50 000 people and three
// controllers: already in step with the database, empty, and full of users the database no longer
// has. The device waits cost no real time, so what is measured is the program's own work (list
// collection, template query, index look-ups, the per-user device calls and their message
// dispatch) plus the simulator's protocol.
//
// thread_cpu_s is the CPU time of the manager's thread; library_cpu_s the part of it spent
// inside the device library's calls (the stand-in library's socket round trip to the simulator,
// per call and per listed user); manager_cpu_s the rest, the manager's own work;
// manager_and_library_cpu_s both together (the thread's time less the meter's own): the whole
// cost of the manager's thread with this stand-in library, its loopback transport included,
// where a vendor library would have its own cost instead;
// simulator_cpu_s that of the rest of the process (the simulator's threads); virtual_h is the turnstile time
// the waits take for real. offline_s is how long the turnstile would stand still for real: the waits plus the
// manager thread's CPU time. list_transfer_s is the controller's list transfer: the virtual time of one
// collection of its list on its own plus the library's CPU time; beyond_transfer_s what the
// synchronisation adds to it (in step, the manager's own CPU time).
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

double cpuSeconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double processCpuSeconds()
{
    return cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
}

double threadCpuSeconds()
{
    return cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
}

// The manager thread's CPU time spent inside the library: the client half of the stand-in
// library's round trip to the simulator for every call, which a real controller's library
// answers from the packet it received.
class LibraryMeter final : public zul::DeviceBinding::CallMeter
{
public:
    void entering() override { m_enteredAt = threadCpuSeconds(); }
    void left() override
    {
        seconds += threadCpuSeconds() - m_enteredAt;
        ++calls;
    }
    double seconds = 0;
    long calls = 0;

    // What one reading of the thread's CPU clock costs (it is a system call): the meter's own
    // cost, which is neither the library's nor the manager's.
    static double readingSeconds()
    {
        constexpr int Readings = 200'000;
        const double start = threadCpuSeconds();
        double sink = 0;
        for (int i = 0; i < Readings; ++i)
            sink += threadCpuSeconds();
        benchmark::DoNotOptimize(sink);
        return (threadCpuSeconds() - start) / Readings;
    }

private:
    double m_enteredAt = 0;
};

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
    device.SetDevicePort(3570);
    device.Call<zul::easyinner::DefinirTipoConexao>(1);
    device.Call<zul::easyinner::AbrirPortaComunicacao>(3570);

    zul::TXConnection connection;
    connection.ChangeServerType(zul::xdtSQLite);
    connection.SetConnectString(u"Data Source="_s + file);
    connection.SetConnected(true);
    zul::DeviceUserList users(device);
    zul::TemplateSync sync(device, connection, users, ui);

    // The controller's list on its own, as a synchronisation reads it first.
    const qint64 collectBefore = clock.elapsedMs();
    users.CollectDeviceUserList();
    const double listTransferSeconds = double(clock.elapsedMs() - collectBefore) / 1000.0;

    LibraryMeter meter;
    device.SetCallMeter(&meter);
    bool ok = false;
    const double cpuBefore = processCpuSeconds();
    const double threadBefore = threadCpuSeconds();
    const qint64 virtualBefore = clock.elapsedMs();
    const qint64 dispatchesBefore = clock.waitDispatches();
    for (auto _ : state)
        ok = sync.SynchroniseTemplates();
    const double threadCpu = threadCpuSeconds() - threadBefore;
    device.SetCallMeter(nullptr);
    // Two readings per call; half of each pair falls inside the library's share, half outside.
    const double meterCpu = 2.0 * double(meter.calls) * LibraryMeter::readingSeconds();
    const double managerCpu = threadCpu - meter.seconds - meterCpu / 2.0;
    meter.seconds -= meterCpu / 2.0;
    const double processCpu = processCpuSeconds() - cpuBefore;
    const double virtualSeconds = double(clock.elapsedMs() - virtualBefore) / 1000.0;

    const std::size_t expected = controller == StaleController ? 0u : std::size_t(people);
    if (!ok || simulator.users().size() != expected)
        state.SkipWithError("the synchronisation did not bring the controller in line");
    state.counters["people"] = people;
    state.counters["manager_cpu_s"] = managerCpu;
    state.counters["library_cpu_s"] = meter.seconds;
    state.counters["thread_cpu_s"] = threadCpu;
    state.counters["manager_and_library_cpu_s"] = threadCpu - meterCpu;
    state.counters["meter_cpu_s"] = meterCpu;
    state.counters["library_calls"] = double(meter.calls);
    state.counters["simulator_cpu_s"] = processCpu - threadCpu;
    state.counters["virtual_h"] = virtualSeconds / 3600.0;
    state.counters["wait_dispatches"] = double(clock.waitDispatches() - dispatchesBefore);
    // The controller's list transfer: the waits for its packets, and the library's part of the
    // calls (in step, the listing is all the synchronisation asks of the controller).
    const double transfer = listTransferSeconds + meter.seconds;
    state.counters["list_transfer_s"] = transfer;
    const double offline = virtualSeconds + threadCpu - meterCpu;
    state.counters["offline_s"] = offline;
    state.counters["beyond_transfer_s"] = offline - transfer;
    state.SetLabel(controller == InStep            ? "in step"
                   : controller == EmptyController ? "empty"
                                                   : "stale users");
    device.UnloadDeviceLibrary();
    simulator.stop();
}

BENCHMARK(BM_SynchroniseTemplates)
    ->ArgNames({"controller", "people"})
    ->ArgsProduct({{InStep, EmptyController, StaleController}, {10'000, 50'000}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace
