// Memory of the manager: the resident size of a headless manager at rest (the real program,
// online against the simulator, after its start-up), and how much the whole manager in-process
// grows over many passes of the online loop in virtual time while people pass, notifications
// arrive and are carried out, and the database refuses writes now and then (each refusal is
// journaled and written later).
//
//     zul_memory_bench [--passes N]      (default 1 000 000 polling passes)
//
// Prints "figure <name> <value>" lines. Built on the whole-manager test harness; no figure is
// compared here.
#include "ManagerWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>
#include <cstdio>
#include <dlfcn.h>
#include <malloc.h>
#include <string>

using namespace Qt::StringLiterals;

namespace zul::test {
namespace {

qint64 RssKb(qint64 pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression rss(u"VmRSS:\\s+(\\d+) kB"_s);
    const auto match = rss.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

// What the C heap holds in use, over all arenas (the simulator's threads have their own).
qint64 HeapInUseBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}

// What SQLite holds, its page caches above all: the library the Qt driver loaded, asked by name
// so that the bench does not link it itself. -1 when it is not loaded.
qint64 SqliteBytes()
{
    using MemoryUsed = long long (*)();
    static void* const library = dlopen("libsqlite3.so.0", RTLD_LAZY | RTLD_NOLOAD);
    static const auto used =
        library ? reinterpret_cast<MemoryUsed>(dlsym(library, "sqlite3_memory_used")) : nullptr;
    return used ? qint64(used()) : -1;
}

// The resident size by kind of mapping (/proc/self/smaps): the main heap, anonymous memory (the
// other threads' heaps and large allocations among it), files (code and data of the libraries),
// the rest (stacks and the like), in kB.
struct ResidentParts
{
    qint64 heap = 0;
    qint64 anonymous = 0;
    qint64 files = 0;
    qint64 other = 0;
};

ResidentParts ResidentByKind()
{
    ResidentParts parts;
    QFile smaps(u"/proc/self/smaps"_s);
    if (!smaps.open(QIODevice::ReadOnly))
        return parts;
    qint64* current = &parts.other;
    static const QRegularExpression mapping(u"^[0-9a-f]+-[0-9a-f]+ \\S+ \\S+ \\S+ \\d+\\s*(.*)$"_s);
    for (const QByteArray& raw : smaps.readAll().split('\n')) {
        const QString line = QString::fromLatin1(raw);
        if (const auto head = mapping.match(line); head.hasMatch()) {
            const QString name = head.captured(1);
            current = name == u"[heap]"_s     ? &parts.heap
                      : name.isEmpty()        ? &parts.anonymous
                      : name.startsWith(u'/') ? &parts.files
                                              : &parts.other;
        } else if (line.startsWith(u"Rss:"_s)) {
            *current += line.mid(4).trimmed().section(u' ', 0, 0).toLongLong();
        }
    }
    return parts;
}

void Figure(const char* name, double value)
{
    std::printf("figure %s %.3f\n", name, value);
    std::fflush(stdout);
}

long long PassesWanted = 1'000'000;
// The online loop's sleep at the end of every pass.
constexpr qint64 PassSleepMs = 100;

class MemoryBench : public ManagerWindowTest
{
};

// The real program, online and idle.
TEST_F(MemoryBench, IdleHeadlessManager)
{
    CreateDatabase();
    const QString program = dir.file(u"zul-memory-run"_s);
    ASSERT_TRUE(QFile::copy(QStringLiteral(ZUL_PROGRAM_PATH), program));
    QFile::setPermissions(program, QFile::permissions(QStringLiteral(ZUL_PROGRAM_PATH)));
    QFile::copy(QStringLiteral(ZUL_EASYINNER_PATH),
                dir.file(QFileInfo(QStringLiteral(ZUL_EASYINNER_PATH)).fileName()));
    QDir().mkpath(dir.file(u"lock"_s));
    QProcess manager;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString device = u"127.0.0.1:%1"_s.arg(sim.simulator().port());
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    environment.insert(u"ZUL_SIM_TCP_3570"_s, device);
    environment.insert(u"ZUL_SIM_SERIAL_1"_s, device);
    environment.insert(u"ZUL_LOCK_DIR"_s, dir.file(u"lock"_s));
    environment.remove(u"ZUL_REGISTRY"_s);
    manager.setProcessEnvironment(environment);
    manager.setProcessChannelMode(QProcess::MergedChannels);
    manager.start(program,
                  {u"--registry"_s, dir.file(u"machine.reg"_s), u"--log-dir"_s, dir.file(u"process-log"_s),
                   u"--headless"_s, u"--notification-port"_s, QString::number(FreeTcpPort())});
    ASSERT_TRUE(manager.waitForStarted(30000));
    QElapsedTimer waited;
    waited.start();
    while (sim.simulator().configurationsSent() == 0 && waited.elapsed() < 60000)
        QThread::msleep(50);
    ASSERT_GT(sim.simulator().configurationsSent(), 0) << "the manager did not come online";
    QThread::msleep(3000); // at rest
    Figure("idle_rss_mb", double(RssKb(manager.processId())) / 1024.0);
    manager.terminate();
    if (!manager.waitForFinished(30000))
        manager.kill();
}

// The whole manager in-process, in virtual time.
TEST_F(MemoryBench, GrowthOverLoopPasses)
{
    CreateDatabase();
    CreateWindow();
    ASSERT_EQ(Start(), QString());

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, notificationPort);
    QObject::connect(&client, &QTcpSocket::readyRead, [&] { client.readAll(); });
    const std::vector<std::string> people = {"0000000001", "0000000002", "0000000003", "0000000004",
                                             "0000000005"};
    const qint64 warmUpPasses = std::min<qint64>(PassesWanted / 10, 20000);
    qint64 baselineKb = -1;
    qint64 baselineHeap = 0;
    qint64 baselineSqlite = 0;
    ResidentParts baselineParts;
    qint64 lastActionMs = 0;
    long long round = 0;
    bool refusing = false;
    qint64 peakKb = 0;
    long long looks = 0;
    qint64 passes = 0;
    qint64 lastLookMs = 0;
    QElapsedTimer real;
    real.start();

    timers->whenever([&] {
        // A pass of the loop ends in its 100 ms sleep, which dispatches once after moving the
        // clock on by exactly that; the device waits wake in other steps.
        if (clock.elapsedMs() - lastLookMs == PassSleepMs)
            ++passes;
        lastLookMs = clock.elapsedMs();
        if (++looks % 20000 == 0)
            std::fprintf(stderr, "passes %lld, turnstile time %.1f h, %.0f s\n",
                         static_cast<long long>(passes), double(clock.elapsedMs()) / 3.6e6,
                         double(real.elapsed()) / 1000.0);
        if (baselineKb < 0 && passes >= warmUpPasses) {
            baselineKb = RssKb(QCoreApplication::applicationPid());
            baselineHeap = HeapInUseBytes();
            baselineSqlite = SqliteBytes();
            baselineParts = ResidentByKind();
        }
        if (passes >= PassesWanted) {
            window->StopConnection();
            return true;
        }
        // Every 5 s of turnstile time something happens, in turn: a passage, a notification, a
        // refusal of the database or its end.
        if (!Polling() || clock.elapsedMs() - lastActionMs < 5000)
            return false;
        lastActionMs = clock.elapsedMs();
        // The in-process simulator keeps its last 20 000 calls for the tests that read them; this
        // bench never does, and that record's churn in the simulator's own heap would be counted
        // as the manager's growth.
        sim->clearCalls();
        switch (round++ % 4) {
        case 0:
            sim->presentCard(people[std::size_t(round / 4) % people.size()]);
            break;
        case 1:
            client.write(QByteArray("[UPD]") + people[std::size_t(round / 4) % people.size()].c_str() +
                         "\r\n");
            break;
        case 2:
            if (round % 40 == 2) {
                Execute(u"CREATE TRIGGER REFUSE BEFORE INSERT ON REGISCATRACA BEGIN SELECT RAISE(ABORT, "
                        u"'disco cheio'); END"_s);
                refusing = true;
            }
            break;
        case 3:
            if (refusing) {
                Execute(u"DROP TRIGGER REFUSE"_s);
                refusing = false;
            }
            break;
        }
        if (round % 1000 == 0)
            peakKb = std::max(peakKb, RssKb(QCoreApplication::applicationPid()));
        return false;
    });
    // Walks through whenever the arm is released.
    timers->whenever([&] {
        if (sim->arm() != sim::Arm::Locked)
            sim->rotate();
        return passes >= PassesWanted;
    });
    // The loop restarts now and then (a notification carried out, the database refusing), each
    // time a second later through the window's timer: turnstile time goes on until enough passes
    // have been made, or nothing moves any more.
    for (qint64 before = -1; passes < PassesWanted;) {
        if (passes == before) {
            ADD_FAILURE() << "the online loop stopped making passes at " << passes;
            break;
        }
        before = passes;
        timers->run(60'000);
    }
    const qint64 endKb = RssKb(QCoreApplication::applicationPid());
    Figure("passes", double(passes));
    Figure("virtual_h", double(clock.elapsedMs()) / 3.6e6);
    Figure("real_s", double(real.elapsed()) / 1000.0);
    Figure("rounds", double(round));
    Figure("baseline_rss_mb", double(baselineKb) / 1024.0);
    Figure("end_rss_mb", double(endKb) / 1024.0);
    Figure("peak_rss_mb", double(std::max(peakKb, endKb)) / 1024.0);
    Figure("growth_mb", double(endKb - baselineKb) / 1024.0);
    // The same span seen from the heap: what is still in use, and SQLite's part of it.
    Figure("heap_growth_mb", double(HeapInUseBytes() - baselineHeap) / 1048576.0);
    Figure("sqlite_growth_mb", double(SqliteBytes() - baselineSqlite) / 1048576.0);
    Figure("sqlite_end_mb", double(SqliteBytes()) / 1048576.0);
    const ResidentParts endParts = ResidentByKind();
    Figure("growth_main_heap_mb", double(endParts.heap - baselineParts.heap) / 1024.0);
    Figure("growth_anonymous_mb", double(endParts.anonymous - baselineParts.anonymous) / 1024.0);
    Figure("growth_files_mb", double(endParts.files - baselineParts.files) / 1024.0);
    Figure("growth_other_mb", double(endParts.other - baselineParts.other) / 1024.0);
}

} // namespace
} // namespace zul::test

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--passes")
            zul::test::PassesWanted = std::stoll(argv[i + 1]);
    return RUN_ALL_TESTS();
}
