// Identification to release with the real programs: the simulator (catraca-sim, keeping its
// passage record) and the manager (zul --headless) on a database of 100 000 people, 5 000 000
// passages and 5 000 000 time-clock punches. Cards are tapped one at a time, each when the
// turnstile is back to polling; the simulator's record gives, for each one, when the controller
// handed the identification over ("deliver"), when the card was tapped ("tap") and when the arm
// was released ("release"). The loop's own pacing (a pass is 100 ms of sleep plus its work; the
// identification is read in state 7, the message sent in 11, the arm released in 12) makes
// 200 ms the floor of hand-over to release.
//
// The database is generated once and kept in the cache folder (ZUL_BENCH_CACHE, else
// ~/.cache/zul-bench), never in the work tree; later runs reuse it (the passages a run adds are
// left in it, a few hundred rows). With --postgresql the same data goes into the database named
// by ZUL_TEST_PG_HOST/PORT/DB (scripts/pg-start.sh), generated there when it is not yet.
//
//     zul_release_latency_bench [--identifications N] [--postgresql] [--people N --movements N]
//
// Prints the figures as "figure <name> <value>" lines, and the direction look-up's query plans.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

namespace {

using namespace Qt::StringLiterals;

constexpr int ToolTimeoutMs = 120'000;
constexpr int OnlineTimeoutMs = 60'000;
constexpr int ReleaseTimeoutMs = 10'000;
// After a release the person walks through after this long; the loop then goes 13 → 5 → 6 → 7.
constexpr int WalkThroughMs = 100;
constexpr int BackToPollingMs = 900;

void say(const QString& text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

void figure(const char* name, double value)
{
    std::printf("figure %s %.3f\n", name, value);
    std::fflush(stdout);
}

[[noreturn]] void fail(const QString& text)
{
    say(u"release-latency: "_s + text);
    std::exit(1);
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    return true;
}

void runTool(const QString& program, const QStringList& arguments)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, arguments);
    if (!tool.waitForFinished(ToolTimeoutMs) || tool.exitStatus() != QProcess::NormalExit ||
        tool.exitCode() != 0)
        fail(program + u' ' + arguments.join(u' ') + u" failed: "_s + QString::fromLocal8Bit(tool.readAll()));
}

void exec(QSqlQuery& q, const QString& sql)
{
    if (!q.exec(sql))
        fail(u"SQL failed: "_s + sql.left(200) + u": "_s + q.lastError().text());
}

struct Size
{
    int people = 100'000;
    int movements = 5'000'000; // passages, and as many punches
};

// The rows, generated inside the database. Every third person is an employee, whose direction
// comes from the punches; everybody else's from the passages. Both spread at random over the
// people, one every six seconds from 2025 on.
void fillSqlite(const QString& file, const QString& admin, const Size& size)
{
    runTool(admin, {u"db"_s, u"init"_s, u"--sqlite"_s, file});
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"bench-fill"_s);
        db.setDatabaseName(file);
        if (!db.open())
            fail(u"cannot open "_s + file);
        QSqlQuery q(db);
        exec(q, u"PRAGMA journal_mode = OFF"_s);
        exec(q, u"PRAGMA synchronous = OFF"_s);
        // The indexes are made after the rows, which is much quicker than keeping them up.
        QStringList names;
        QStringList indexes;
        exec(q, u"SELECT name, sql FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL"_s);
        while (q.next()) {
            names << q.value(0).toString();
            indexes << q.value(1).toString();
        }
        q.finish();
        for (const QString& name : std::as_const(names))
            exec(q, u"DROP INDEX "_s + name);
        const QString counter =
            u"WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < %1) "_s;
        exec(q, counter.arg(size.people) +
                    u"INSERT INTO PESSOA SELECT printf('%010d', x), "
                    u"CASE WHEN x % 3 = 0 THEN printf('%06d', x) END, CASE WHEN x % 3 = 0 THEN '01' END, "
                    u"'PESSOA NUMERO ' || x, 'S' FROM c"_s);
        exec(q, counter.arg(size.movements) +
                    u"INSERT INTO REGISCATRACA SELECT printf('%010d', abs(random() % "_s +
                    QString::number(size.people) +
                    u") + 1), CASE WHEN x % 2 THEN 'S' ELSE 'E' END, "
                    u"datetime('2025-01-01', '+' || (x * 6) || ' seconds') FROM c"_s);
        exec(q, counter.arg(size.movements) +
                    u"INSERT INTO BATIDAPONTO SELECT printf('%06d', (abs(random() % "_s +
                    QString::number(size.people / 3) +
                    u") + 1) * 3), '01', CASE WHEN x % 2 THEN '2' ELSE '1' END, "
                    u"datetime('2025-01-01', '+' || (x * 6) || ' seconds') FROM c"_s);
        for (const QString& index : indexes)
            exec(q, index);
        exec(q, u"ANALYZE"_s);
    }
    QSqlDatabase::removeDatabase(u"bench-fill"_s);
}

bool fillPostgres(const QSqlDatabase& db, const Size& size, const QString& schemaFile)
{
    QSqlQuery q(db);
    if (q.exec(u"SELECT COUNT(*) FROM PESSOA"_s) && q.next() && q.value(0).toInt() == size.people)
        return false; // already there
    QFile schema(schemaFile);
    if (!schema.open(QIODevice::ReadOnly))
        fail(u"cannot read "_s + schemaFile);
    for (const QString& table : {u"DIGITALCATRACA"_s, u"BATIDAPONTO"_s, u"REGISCATRACA"_s, u"PESSOA"_s})
        q.exec(u"DROP TABLE IF EXISTS "_s + table);
    QStringList indexes;
    QString statement;
    for (const QString& line : QString::fromUtf8(schema.readAll()).split(u'\n')) {
        if (line.trimmed().startsWith(u"--"))
            continue;
        statement += line + u'\n';
        if (line.trimmed().endsWith(u';')) {
            statement = statement.trimmed();
            statement.chop(1);
            if (statement.startsWith(u"CREATE INDEX"))
                indexes << statement;
            else
                exec(q, statement);
            statement.clear();
        }
    }
    exec(q, u"INSERT INTO PESSOA SELECT LPAD(x::text, 10, '0'), "
            u"CASE WHEN x % 3 = 0 THEN LPAD(x::text, 6, '0') END, CASE WHEN x % 3 = 0 THEN '01' END, "
            u"'PESSOA NUMERO ' || x, 'S' FROM generate_series(1, %1) x"_s.arg(size.people));
    exec(q, u"INSERT INTO REGISCATRACA SELECT LPAD((1 + floor(random() * %1))::int::text, 10, '0'), "
            u"CASE WHEN x % 2 = 1 THEN 'S' ELSE 'E' END, TIMESTAMP '2025-01-01' + x * INTERVAL '6 seconds' "
            u"FROM generate_series(1, %2) x"_s.arg(size.people)
                .arg(size.movements));
    exec(q,
         u"INSERT INTO BATIDAPONTO SELECT LPAD(((1 + floor(random() * %1))::int * 3)::text, 6, '0'), '01', "
         u"CASE WHEN x % 2 = 1 THEN '2' ELSE '1' END, TIMESTAMP '2025-01-01' + x * INTERVAL '6 seconds' "
         u"FROM generate_series(1, %2) x"_s.arg(size.people / 3)
             .arg(size.movements));
    for (const QString& index : indexes)
        exec(q, index);
    exec(q, u"ANALYZE"_s);
    return true;
}

// The direction look-ups as the loop runs them, explained by the database itself.
void showPlans(const QSqlDatabase& db, bool postgres)
{
    const QString sentido =
        u"SELECT RC.IDREGISCATRACA FROM REGISCATRACA RC, PESSOA PE WHERE PE.NRPESSOA = RC.NRPESSOA "
        u"AND RC.NRPESSOA = '0000000001' AND RC.DTREGISCATRACA = (SELECT MAX(DTREGISCATRACA) "
        u"DTREGISCATRACA FROM REGISCATRACA WHERE NRPESSOA = '0000000001')"_s;
    const QString batida =
        u"SELECT BT.IDSENTBATIDA FROM BATIDAPONTO BT WHERE BT.CDFUNC = '000003' AND BT.CDEMPRESA = '01' "
        u"AND BT.DTBATIDAPTO = (SELECT MAX(DTBATIDAPTO) DTBATIDAPTO FROM BATIDAPONTO WHERE CDFUNC = "
        u"'000003' AND CDEMPRESA = '01')"_s;
    for (const auto& [name, sql] :
         {std::pair{u"last passage"_s, sentido}, std::pair{u"last punch"_s, batida}}) {
        QSqlQuery q(db);
        exec(q, (postgres ? u"EXPLAIN "_s : u"EXPLAIN QUERY PLAN "_s) + sql);
        std::printf("plan %s (%s):\n", qPrintable(name), postgres ? "PostgreSQL" : "SQLite");
        while (q.next())
            std::printf("    %s\n", qPrintable(q.value(postgres ? 0 : 3).toString()));
    }
}

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

struct Record
{
    qint64 tapMs = -1;
    qint64 deliverMs = -1;
    qint64 releaseMs = -1;
};

// The simulator's record, read again from the start: the tap, hand-over and release of each
// identification in order (the bench taps one card at a time).
std::vector<Record> readRecord(const QString& file)
{
    std::vector<Record> records;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return records;
    Record current;
    while (!in.atEnd()) {
        const QList<QByteArray> tokens = in.readLine().trimmed().split(' ');
        if (tokens.size() < 2)
            continue;
        const qint64 ms = tokens[0].toLongLong();
        const QByteArray kind = tokens[1];
        const bool identification = tokens.contains("origin=1");
        if (kind == "tap" && identification) {
            current = {};
            current.tapMs = ms;
        } else if (kind == "deliver" && identification && current.tapMs >= 0) {
            current.deliverMs = ms;
        } else if (kind == "release" && current.deliverMs >= 0) {
            current.releaseMs = ms;
            records.push_back(current);
            current = {};
        }
    }
    return records;
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const auto at = std::min(values.size() - 1, std::size_t(double(values.size()) * p));
    return values[at];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    options.addOption({u"identifications"_s, u"cards tapped"_s, u"N"_s, u"200"_s});
    options.addOption({u"people"_s, u"people in the database"_s, u"N"_s, u"100000"_s});
    options.addOption({u"movements"_s, u"passages, and as many punches"_s, u"N"_s, u"5000000"_s});
    options.addOption({u"postgresql"_s, u"the database on the server of scripts/pg-start.sh"_s});
    options.process(app);
    const int identifications = options.value(u"identifications"_s).toInt();
    const Size size{options.value(u"people"_s).toInt(), options.value(u"movements"_s).toInt()};
    const bool postgres = options.isSet(u"postgresql"_s);

    QTemporaryDir dir;
    const QDir work(dir.path());
    const QString registry = work.filePath(u"registry.reg"_s);
    QElapsedTimer timer;
    timer.start();

    // --- the database ---
    QString databaseKind;
    QString connect;
    bool generated = false;
    {
        QSqlDatabase db;
        if (postgres) {
            const auto env = QProcessEnvironment::systemEnvironment();
            if (!env.contains(u"ZUL_TEST_PG_PORT"_s))
                fail(u"no PostgreSQL server: run eval \"$(scripts/pg-start.sh)\" first"_s);
            db = QSqlDatabase::addDatabase(u"QPSQL"_s, u"bench-db"_s);
            db.setHostName(env.value(u"ZUL_TEST_PG_HOST"_s, u"127.0.0.1"_s));
            db.setPort(env.value(u"ZUL_TEST_PG_PORT"_s).toInt());
            db.setDatabaseName(env.value(u"ZUL_TEST_PG_DB"_s, u"zul_test"_s));
            db.setUserName(env.value(u"ZUL_TEST_PG_USER"_s, u"postgres"_s));
            if (!db.open())
                fail(u"cannot reach PostgreSQL: "_s + db.lastError().text());
            generated = fillPostgres(db, size, QStringLiteral(ZUL_SOURCE_DIR "/docs/sql/postgresql.sql"));
            databaseKind = u"POSTGRESQL"_s;
            connect = u"Server=%1;Port=%2;Database=%3;User ID=%4"_s.arg(db.hostName())
                          .arg(db.port())
                          .arg(db.databaseName(), db.userName());
        } else {
            QString cache = qEnvironmentVariable("ZUL_BENCH_CACHE");
            if (cache.isEmpty())
                cache = QDir::home().filePath(u".cache/zul-bench"_s);
            QDir().mkpath(cache);
            const QString file =
                QDir(cache).filePath(u"release-%1-%2-v1.db"_s.arg(size.people).arg(size.movements));
            if (!QFileInfo::exists(file)) {
                say(u"generating "_s + file + u" (once)"_s);
                const QString partial = file + u".partial"_s;
                QFile::remove(partial);
                fillSqlite(partial, QStringLiteral(ZUL_ADMIN_PATH), size);
                if (!QFile::rename(partial, file))
                    fail(u"cannot keep "_s + file);
                generated = true;
            }
            db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"bench-db"_s);
            db.setDatabaseName(file);
            if (!db.open())
                fail(u"cannot open "_s + file);
            databaseKind = u"SQLITE"_s;
            connect = u"Data Source="_s + file;
        }
        figure("database_ready_s", double(timer.elapsed()) / 1000.0);
        figure("database_generated", generated ? 1 : 0);
        showPlans(db, postgres);
    }
    QSqlDatabase::removeDatabase(u"bench-db"_s);

    runTool(QStringLiteral(ZUL_ADMIN_PATH), {u"--registry"_s, registry, u"profile"_s, u"set"_s, u"211"_s,
                                             u"--database"_s, databaseKind, u"--connect"_s, connect});
    runTool(QStringLiteral(ZUL_ADMIN_PATH), {u"--registry"_s, registry, u"profile"_s, u"use"_s, u"211"_s});

    // --- the simulator ---
    const QString record = work.filePath(u"turnstile-record.txt"_s);
    const QString simulatorOutput = work.filePath(u"simulator.txt"_s);
    QProcess simulator;
    simulator.setStandardOutputFile(simulatorOutput);
    simulator.setProcessChannelMode(QProcess::MergedChannels);
    simulator.start(
        QStringLiteral(ZUL_CATRACA_SIM_PATH),
        {u"--port"_s, u"0"_s, u"--record"_s, record, u"--auto-rotate"_s, QString::number(WalkThroughMs)});
    if (!simulator.waitForStarted(ToolTimeoutMs))
        fail(u"the simulator does not start"_s);
    quint16 devicePort = 0;
    quint16 controlPort = 0;
    waitUntil(
        [&] {
            QFile out(simulatorOutput);
            if (!out.open(QIODevice::ReadOnly))
                return false;
            static const QRegularExpression ports(u"device port (\\d+), control port (\\d+)"_s);
            const auto match = ports.match(QString::fromLatin1(out.readLine()));
            if (!match.hasMatch())
                return false;
            devicePort = quint16(match.captured(1).toUInt());
            controlPort = quint16(match.captured(2).toUInt());
            return true;
        },
        ToolTimeoutMs);
    if (controlPort == 0)
        fail(u"the simulator named no ports"_s);
    QTcpSocket control;
    const auto command = [&](const QString& line) {
        if (control.state() != QAbstractSocket::ConnectedState) {
            control.connectToHost(QHostAddress::LocalHost, controlPort);
            control.waitForConnected(5000);
        }
        control.write((line + u'\n').toLatin1());
        QStringList reply;
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 5000) {
            while (control.canReadLine()) {
                const QString got = QString::fromLatin1(control.readLine()).trimmed();
                if (got == u"OK" || got.startsWith(u"ERR"))
                    return reply;
                reply << got;
            }
            control.waitForReadyRead(50);
        }
        return reply;
    };

    // --- the manager, under a name of its own (it refuses a second copy by name) ---
    const QString program = work.filePath(u"zul-bench-run"_s);
    QFile::copy(QStringLiteral(ZUL_PROGRAM_PATH), program);
    QFile::setPermissions(program, QFile::permissions(QStringLiteral(ZUL_PROGRAM_PATH)));
    QFile::copy(QStringLiteral(ZUL_EASYINNER_PATH),
                work.filePath(QFileInfo(QStringLiteral(ZUL_EASYINNER_PATH)).fileName()));
    work.mkpath(u"lock"_s);
    QProcess manager;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString device = u"127.0.0.1:%1"_s.arg(devicePort);
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    environment.insert(u"ZUL_SIM_TCP_3570"_s, device);
    environment.insert(u"ZUL_SIM_SERIAL_1"_s, device);
    environment.insert(u"ZUL_LOCK_DIR"_s, work.filePath(u"lock"_s));
    environment.remove(u"ZUL_REGISTRY"_s);
    manager.setProcessEnvironment(environment);
    manager.setProcessChannelMode(QProcess::MergedChannels);
    manager.setStandardOutputFile(work.filePath(u"zul-output.txt"_s));
    manager.start(program, {u"--registry"_s, registry, u"--log-dir"_s, work.filePath(u"logCatraca"_s),
                            u"--headless"_s, u"--notification-port"_s, QString::number(freePort())});
    if (!manager.waitForStarted(ToolTimeoutMs))
        fail(u"the manager does not start"_s);
    const auto polling = [&] {
        static const QRegularExpression count(u"configurations received (\\d+)"_s);
        for (const QString& line : command(u"state"_s))
            if (const auto match = count.match(line); match.hasMatch())
                return match.captured(1).toInt() > 0;
        return false;
    };
    if (!waitUntil([&] { return manager.state() == QProcess::NotRunning || polling(); }, OnlineTimeoutMs) ||
        manager.state() == QProcess::NotRunning)
        fail(u"the manager did not come online"_s);
    QThread::msleep(BackToPollingMs);

    // --- the identifications ---
    std::mt19937 random(13);
    int released = 0;
    for (int i = 0; i < identifications; ++i) {
        const QString card = u"%1"_s.arg(int(random() % quint32(size.people)) + 1, 10, 10, QChar(u'0'));
        command(u"card "_s + card);
        if (!waitUntil([&] { return int(readRecord(record).size()) > released; }, ReleaseTimeoutMs))
            fail(u"no release for card "_s + card);
        ++released;
        QThread::msleep(BackToPollingMs);
    }
    manager.terminate();
    if (!manager.waitForFinished(ToolTimeoutMs))
        manager.kill();
    simulator.kill();
    simulator.waitForFinished();

    std::vector<double> handOver;
    std::vector<double> fromTap;
    for (const Record& r : readRecord(record)) {
        handOver.push_back(double(r.releaseMs - r.deliverMs));
        fromTap.push_back(double(r.releaseMs - r.tapMs));
    }
    figure("identifications", double(handOver.size()));
    figure("handover_to_release_median_ms", percentile(handOver, 0.5));
    figure("handover_to_release_p99_ms", percentile(handOver, 0.99));
    figure("tap_to_release_median_ms", percentile(fromTap, 0.5));
    figure("tap_to_release_p99_ms", percentile(fromTap, 0.99));
    return 0;
}
