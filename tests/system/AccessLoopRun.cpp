#include "AccessLoopRun.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QThread>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace zul::systemtest {

namespace {

// Every wait of the run is bounded by one of these.
constexpr int kToolTimeoutMs = 30000;   // zul-admin, process start and stop
constexpr int kOnlineTimeoutMs = 45000; // manager start to the controller configured
constexpr int kClientTimeoutMs = 20000; // manager start to its notification port answering
constexpr int kReleaseWaitMs = 6000;    // a tap to the arm released
constexpr int kControlTimeoutMs = 5000; // one simulator control command
constexpr int kDrainTimeoutMs = 15000;  // the journal emptied after the faults end
constexpr int kProbeTimeoutMs = 15000;  // the last person served
constexpr int kLongDowntimeMs = 13000;  // manager stopped with cards tapped meanwhile
constexpr int kLongSilenceMs = 22000;   // controller silent longer than a release lasts
constexpr qint64 kRunBudgetMs = 420000; // no new cycle starts after this
constexpr qint64 kWalkAfterMs = 8000;   // a person who tapped longer ago has gone
constexpr int kPeople = 12;

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

bool runTool(const QString& program, const QStringList& arguments, QString* error)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, arguments);
    if (!tool.waitForFinished(kToolTimeoutMs) || tool.exitStatus() != QProcess::NormalExit ||
        tool.exitCode() != 0) {
        *error =
            program + u' ' + arguments.join(u' ') + u" failed: "_s + QString::fromLocal8Bit(tool.readAll());
        return false;
    }
    return true;
}

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace

AccessLoopRun::AccessLoopRun(RunSettings settings)
    : m_settings(std::move(settings)), m_random(m_settings.seed)
{
    m_connectionName = u"system-%1"_s.arg(reinterpret_cast<quintptr>(this));
}

AccessLoopRun::~AccessLoopRun()
{
    if (m_manager && m_manager->state() != QProcess::NotRunning) {
        m_manager->kill();
        m_manager->waitForFinished(kToolTimeoutMs);
    }
    if (m_simulator.state() != QProcess::NotRunning) {
        m_simulator.kill();
        m_simulator.waitForFinished(kToolTimeoutMs);
    }
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

bool AccessLoopRun::run(QString* error)
{
    m_elapsed.start();
    if (!setUp(error))
        return false;
    for (int i = 0; i < m_settings.cycles; ++i) {
        if (m_elapsed.elapsed() > m_settings.budgetMs) {
            note(u"time budget spent; no more cycles"_s);
            break;
        }
        if (!m_manager || m_manager->state() == QProcess::NotRunning) {
            note(u"the manager is not running; the run stops"_s);
            break;
        }
        cycle(i);
    }
    finish();
    m_figures.elapsedMs = m_elapsed.elapsed();
    return true;
}

bool AccessLoopRun::setUp(QString* error)
{
    if (!m_dir.isValid()) {
        *error = u"no temporary folder"_s;
        return false;
    }
    const QDir dir(m_dir.path());
    m_database = dir.filePath(u"zul.db"_s);
    m_registry = dir.filePath(u"registry.reg"_s);
    m_logDir = dir.filePath(u"logCatraca"_s);
    m_recordFile = dir.filePath(u"turnstile-record.txt"_s);
    m_lockDir = dir.filePath(u"lock"_s);
    dir.mkpath(m_lockDir);
    m_script.setFileName(dir.filePath(u"script.txt"_s));
    m_script.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
    note(u"seed %1, %2 cycles"_s.arg(m_settings.seed).arg(m_settings.cycles));

    // The manager refuses to run twice on a machine, by the name of its executable: a copy
    // under a name of its own runs beside any other manager, with the device library beside it.
    m_program = dir.filePath(u"zul-system-run"_s);
    m_libraryCopy = dir.filePath(QFileInfo(m_settings.libraryPath).fileName());
    if (!QFile::copy(m_settings.programPath, m_program) ||
        !QFile::copy(m_settings.libraryPath, m_libraryCopy)) {
        *error = u"cannot copy the manager and its device library into "_s + dir.path();
        return false;
    }
    QFile::setPermissions(m_program, QFile::permissions(m_settings.programPath));

    if (!runTool(m_settings.adminPath, {u"db"_s, u"init"_s, u"--sqlite"_s, m_database}, error) ||
        !runTool(m_settings.adminPath,
                 {u"--registry"_s, m_registry, u"profile"_s, u"set"_s, u"211"_s, u"--database"_s, u"SQLITE"_s,
                  u"--connect"_s, u"Data Source="_s + m_database},
                 error) ||
        !runTool(m_settings.adminPath, {u"--registry"_s, m_registry, u"profile"_s, u"use"_s, u"211"_s},
                 error))
        return false;

    // Visitors who never passed: each one's first passage is an entry, then they alternate.
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_connectionName);
    db.setDatabaseName(m_database);
    db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=3000"_s);
    if (!db.open()) {
        *error = u"cannot open "_s + m_database + u": "_s + db.lastError().text();
        return false;
    }
    for (int i = 1; i <= kPeople; ++i) {
        const QString number = u"00000001%1"_s.arg(i, 2, 10, QChar(u'0'));
        QSqlQuery insert(db);
        insert.prepare(u"INSERT INTO PESSOA (NRPESSOA, CDFUNC, CDEMPRESA, NMCRACHAPESSOA, "
                       "IDACESSOCATRACA) VALUES (?, '', '', ?, 'S')"_s);
        insert.addBindValue(number);
        insert.addBindValue(u"VISITANTE %1"_s.arg(i));
        if (!insert.exec()) {
            *error = u"cannot add the test people: "_s + insert.lastError().text();
            return false;
        }
        m_people << number;
    }

    // The simulator: free ports, its first line names them.
    const QString simulatorOutput = dir.filePath(u"simulator.txt"_s);
    m_simulator.setStandardOutputFile(simulatorOutput);
    m_simulator.setProcessChannelMode(QProcess::MergedChannels);
    m_simulator.start(m_settings.simulatorPath, {u"--port"_s, u"0"_s, u"--record"_s, m_recordFile});
    if (!m_simulator.waitForStarted(kToolTimeoutMs)) {
        *error = u"the simulator does not start"_s;
        return false;
    }
    waitUntil(
        [&] {
            QFile out(simulatorOutput);
            if (!out.open(QIODevice::ReadOnly))
                return false;
            const QString first = QString::fromLatin1(out.readLine());
            const QRegularExpression ports(u"device port (\\d+), control port (\\d+)"_s);
            const auto match = ports.match(first);
            if (!match.hasMatch())
                return false;
            m_devicePort = static_cast<quint16>(match.captured(1).toUInt());
            m_controlPort = static_cast<quint16>(match.captured(2).toUInt());
            return true;
        },
        kToolTimeoutMs);
    if (m_controlPort == 0) {
        *error = u"the simulator named no ports"_s;
        return false;
    }
    m_notificationPort = freePort();
    if (m_notificationPort == 0) {
        *error = u"no free port for the notification server"_s;
        return false;
    }
    note(u"device port %1, control port %2, notification port %3"_s.arg(m_devicePort)
             .arg(m_controlPort)
             .arg(m_notificationPort));
    if (!startManager()) {
        *error = u"the manager did not come online; see "_s + dir.path();
        return false;
    }
    return true;
}

void AccessLoopRun::cycle(int index)
{
    ++m_figures.cycles;
    const int passages = between(2, 3);
    const int killAt = between(0, passages - 1);
    const int killPhase = between(0, 2);
    const int lockAt = chance(0.35) ? between(0, passages - 1) : -1;
    const int silenceAt = chance(0.2) || index == 4 ? between(0, passages - 1) : -1;
    note(u"cycle %1: %2 passages, kill at %3 phase %4, lock at %5, silence at %6"_s.arg(index)
             .arg(passages)
             .arg(killAt)
             .arg(killPhase)
             .arg(lockAt)
             .arg(silenceAt));
    for (int i = 0; i < passages; ++i) {
        if (i == lockAt)
            lockDatabase(between(2000, 8000));
        m_longSilence = index == 4 && i == silenceAt;
        m_longDowntime = index % 8 == 7 && i == killAt;
        passage(i, i == killAt ? killPhase : -1, i == silenceAt, chance(0.25));
        if (!m_manager || m_manager->state() == QProcess::NotRunning)
            return;
    }
}

void AccessLoopRun::passage(int index, int killPhase, bool silence, bool extraTap)
{
    settle();
    const QString person = pickPerson();
    note(u"passage %1: %2"_s.arg(index).arg(person));
    tap(person);
    if (killPhase == 0) {
        pump(between(0, 900));
        killAndRestart(false);
    }
    if (!waitArm(true, kReleaseWaitMs)) {
        note(u"not served"_s);
        if (killPhase > 0) // the cycle's kill still comes, at another moment
            killAndRestart(false);
        return;
    }
    ++m_figures.served;
    if (silence)
        silenceController(m_longSilence ? kLongSilenceMs : between(2000, 6000));
    if (extraTap) {
        pump(between(50, 400));
        tap(pickPerson()); // while the arm is released for the one before
    }
    if (killPhase == 1) {
        pump(between(0, 600));
        killAndRestart(chance(0.6));
    }
    pump(between(150, 800));
    if (arm().startsWith(u"released")) {
        if (chance(0.1)) {
            note(u"%1 turns back"_s.arg(person));
            control(u"no-pass"_s);
            m_waiting.erase(std::remove_if(m_waiting.begin(), m_waiting.end(),
                                           [&](const Waiting& w) { return w.card == person; }),
                            m_waiting.end());
        } else {
            walkOrLeave();
        }
    }
    if (killPhase == 2) {
        pump(between(0, 400));
        killAndRestart(false);
    }
    pump(between(100, 600));
}

void AccessLoopRun::killAndRestart(bool walkWhileDown)
{
    killManager();
    if (walkWhileDown) {
        pump(between(100, 800));
        if (arm().startsWith(u"released"))
            walkOrLeave();
    }
    if (m_longDowntime) {
        ++m_figures.downtimes;
        const int cards = between(1, 2);
        for (int i = 0; i < cards; ++i) {
            pump(between(300, 1200));
            tap(pickPerson());
        }
        pump(kLongDowntimeMs);
    } else {
        pump(between(0, 600));
    }
    // A manager started while the controller is silent finds its link only after many pings
    // (minutes, by design): the silence is let run out first.
    if (m_silent)
        waitUntil([&] { return !m_silent; }, kLongSilenceMs);
    if (!startManager()) {
        note(u"second start"_s);
        killManager();
        startManager();
    }
}

void AccessLoopRun::finish()
{
    note(u"faults end"_s);
    unlockDatabase();
    if (m_silent) {
        control(u"plug"_s);
        m_silent = false;
    }
    if (m_manager && m_manager->state() != QProcess::NotRunning) {
        settle();
        const QString journal = QDir(m_logDir).filePath(u"passagensPendentes.jrn"_s);
        auto pending = [&] {
            QFile file(journal);
            if (!file.open(QIODevice::ReadOnly))
                return 0;
            int lines = 0;
            for (const QByteArray& line : file.readAll().split('\n'))
                lines += line.trimmed().isEmpty() ? 0 : 1;
            return lines;
        };
        waitUntil([&] { return pending() == 0; }, kDrainTimeoutMs);
        m_figures.pendingAtEnd = pending();

        // Whatever happened, the turnstile still serves the next person.
        settle();
        const QString person = pickPerson();
        note(u"last passage: %1"_s.arg(person));
        tap(person);
        if (waitArm(true, kProbeTimeoutMs)) {
            pump(between(150, 600));
            walkOrLeave();
            waitArm(false, kReleaseWaitMs);
            pump(1500);
        } else {
            ++m_figures.stalls;
            note(u"the last person was not served"_s);
        }
        stopManager();
    }
    m_simulator.terminate();
    if (!m_simulator.waitForFinished(kToolTimeoutMs))
        m_simulator.kill();
    note(u"done"_s);
}

// --- the manager ---

bool AccessLoopRun::startManager()
{
    const int before = configurationsReceived();
    m_manager = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString device = u"127.0.0.1:%1"_s.arg(m_devicePort);
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    environment.insert(u"ZUL_SIM_TCP_3570"_s, device);
    environment.insert(u"ZUL_SIM_SERIAL_1"_s, device);
    environment.insert(u"ZUL_LOCK_DIR"_s, m_lockDir);
    environment.remove(u"ZUL_REGISTRY"_s);
    m_manager->setProcessEnvironment(environment);
    m_manager->setProcessChannelMode(QProcess::MergedChannels);
    m_manager->setStandardOutputFile(QDir(m_dir.path()).filePath(u"zul-output.txt"_s), QIODevice::Append);
    m_manager->start(m_program, {u"--registry"_s, m_registry, u"--log-dir"_s, m_logDir, u"--headless"_s,
                                 u"--notification-port"_s, QString::number(m_notificationPort)});
    if (!m_manager->waitForStarted(kToolTimeoutMs)) {
        note(u"the manager does not start"_s);
        ++m_figures.stalls;
        return false;
    }
    note(u"manager started, pid %1"_s.arg(m_manager->processId()));
    if (!connectClient())
        note(u"the notification port does not answer"_s);
    const bool online = waitOnline(before);
    if (m_unheardFrom) {
        // Rows written between the kill and now may have gone out before the new manager took
        // the client's connection in (it does so in its event loop, which runs by the time the
        // controller is configured).
        std::optional<qint64> upTo;
        waitUntil([&] { return (upTo = lastRowId()).has_value(); }, 3000);
        m_unheardRows << qMakePair(*m_unheardFrom, upTo.value_or(*m_unheardFrom));
        m_unheardFrom.reset();
    }
    if (!online) {
        note(u"the manager did not come online"_s);
        ++m_figures.stalls;
        return false;
    }
    note(u"online"_s);
    return true;
}

void AccessLoopRun::killManager()
{
    if (!m_manager)
        return;
    m_unheardFrom = lastRowId().value_or(m_lastKnownRowId);
    m_figures.killsMs << QDateTime::currentMSecsSinceEpoch();
    m_manager->kill(); // SIGKILL
    m_manager->waitForFinished(kToolTimeoutMs);
    ++m_figures.kills;
    note(u"manager killed"_s);
    while (m_client.state() == QAbstractSocket::ConnectedState && m_client.waitForReadyRead(200))
        m_transcript += m_client.readAll();
    m_transcript += m_client.readAll();
    m_client.abort();
}

bool AccessLoopRun::waitOnline(int before)
{
    return waitUntil(
               [&] {
                   if (m_manager->state() == QProcess::NotRunning)
                       return true;
                   return configurationsReceived() > before;
               },
               kOnlineTimeoutMs) &&
           m_manager->state() != QProcess::NotRunning;
}

bool AccessLoopRun::connectClient()
{
    m_client.abort();
    return waitUntil(
        [&] {
            if (m_manager->state() == QProcess::NotRunning)
                return false;
            m_client.connectToHost(QHostAddress::LocalHost, m_notificationPort);
            if (m_client.waitForConnected(500))
                return true;
            m_client.abort();
            return false;
        },
        kClientTimeoutMs);
}

void AccessLoopRun::stopManager()
{
    // SIGTERM is the service's stop request.
    pump(500);
    m_manager->terminate();
    if (!m_manager->waitForFinished(kToolTimeoutMs)) {
        note(u"the manager ignored the stop request"_s);
        m_manager->kill();
        m_manager->waitForFinished(kToolTimeoutMs);
    }
    while (m_client.state() == QAbstractSocket::ConnectedState && m_client.waitForReadyRead(200))
        m_transcript += m_client.readAll();
    m_transcript += m_client.readAll();
    m_client.abort();
}

// --- the turnstile and the people at it ---

AccessLoopRun::Reply AccessLoopRun::control(const QString& command)
{
    Reply reply;
    if (m_control.state() != QAbstractSocket::ConnectedState) {
        m_control.abort();
        m_control.connectToHost(QHostAddress::LocalHost, m_controlPort);
        if (!m_control.waitForConnected(kControlTimeoutMs))
            return reply;
    }
    m_control.write((command + u'\n').toLatin1());
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < kControlTimeoutMs) {
        while (m_control.canReadLine()) {
            const QString line = QString::fromLatin1(m_control.readLine()).trimmed();
            if (line == u"OK") {
                reply.ok = true;
                return reply;
            }
            if (line.startsWith(u"ERR"))
                return reply;
            reply.data << (line.startsWith(u". ") ? line.mid(2) : line);
        }
        m_control.waitForReadyRead(100);
    }
    m_control.abort();
    note(u"the simulator did not answer: "_s + command);
    return {};
}

QString AccessLoopRun::arm()
{
    return control(u"arm"_s).data.value(0);
}

int AccessLoopRun::configurationsReceived()
{
    static const QRegularExpression count(u"configurations received (\\d+)"_s);
    for (const QString& line : control(u"state"_s).data)
        if (const auto match = count.match(line); match.hasMatch())
            return match.captured(1).toInt();
    return -1;
}

bool AccessLoopRun::waitArm(bool released, int timeoutMs)
{
    return waitUntil([&] { return arm().startsWith(released ? u"released" : u"locked"); }, timeoutMs);
}

QString AccessLoopRun::pickPerson()
{
    // Somebody who is not waiting and has not tapped for a while, so that nobody passes twice
    // within one second (the stamps' resolution).
    const qint64 now = nowMs();
    QStringList idle;
    for (const QString& person : m_people) {
        const bool waiting = std::any_of(m_waiting.begin(), m_waiting.end(),
                                         [&](const Waiting& w) { return w.card == person; });
        if (!waiting && now - m_lastTap.value(person, 0) > 3000)
            idle << person;
    }
    if (idle.isEmpty()) {
        QStringList byLastTap = m_people;
        std::sort(byLastTap.begin(), byLastTap.end(), [&](const QString& a, const QString& b) {
            return m_lastTap.value(a) < m_lastTap.value(b);
        });
        return byLastTap.first();
    }
    return idle[between(0, static_cast<int>(idle.size()) - 1)];
}

void AccessLoopRun::tap(const QString& card)
{
    control(u"card "_s + card);
    m_lastTap[card] = nowMs();
    m_waiting << Waiting{card, nowMs()};
    ++m_figures.taps;
    note(u"tap %1"_s.arg(card));
}

void AccessLoopRun::walkOrLeave()
{
    // The arm is released: the first person still waiting walks through; when everybody who
    // tapped has gone, the release ends unused. An arm left open both ways is left alone by
    // the people of this script.
    const QString state = arm();
    if (!state.startsWith(u"released"))
        return;
    const qint64 now = nowMs();
    m_waiting.erase(std::remove_if(m_waiting.begin(), m_waiting.end(),
                                   [&](const Waiting& w) { return now - w.tappedMs > kWalkAfterMs; }),
                    m_waiting.end());
    if (state.startsWith(u"released both") || m_waiting.isEmpty()) {
        note(u"nobody walks through (%1)"_s.arg(state));
        control(u"no-pass"_s);
        return;
    }
    note(u"%1 walks through (%2)"_s.arg(m_waiting.first().card, state));
    control(u"rotate"_s);
    m_waiting.removeFirst();
}

void AccessLoopRun::settle()
{
    // Serves an arm that opened for somebody tapped earlier, before the next person taps.
    for (int round = 0; round < 4; ++round) {
        const qint64 now = nowMs();
        const bool someoneWaits = std::any_of(m_waiting.begin(), m_waiting.end(), [&](const Waiting& w) {
            return now - w.tappedMs <= kWalkAfterMs;
        });
        if (!waitArm(true, someoneWaits ? 1500 : 300))
            return;
        pump(between(150, 600));
        walkOrLeave();
        waitArm(false, 2000);
    }
}

// --- faults ---

void AccessLoopRun::lockDatabase(int ms)
{
    if (m_locked)
        return;
    QSqlQuery begin(QSqlDatabase::database(m_connectionName));
    if (!begin.exec(u"BEGIN IMMEDIATE"_s)) {
        note(u"database lock not taken: "_s + begin.lastError().text());
        return;
    }
    m_locked = true;
    m_unlockAtMs = nowMs() + ms;
    ++m_figures.databaseLocks;
    note(u"database locked for %1 ms"_s.arg(ms));
}

void AccessLoopRun::unlockDatabase()
{
    if (!m_locked)
        return;
    QSqlQuery end(QSqlDatabase::database(m_connectionName));
    end.exec(u"ROLLBACK"_s);
    m_locked = false;
    note(u"database unlocked"_s);
}

void AccessLoopRun::silenceController(int ms)
{
    if (m_silent)
        return;
    control(u"unplug"_s);
    m_silent = true;
    m_plugAtMs = nowMs() + ms;
    ++m_figures.silences;
    note(u"controller silent for %1 ms"_s.arg(ms));
}

// --- time ---

void AccessLoopRun::tick()
{
    if (m_locked && nowMs() >= m_unlockAtMs)
        unlockDatabase();
    if (m_silent && nowMs() >= m_plugAtMs) {
        control(u"plug"_s);
        m_silent = false;
        note(u"controller answers again"_s);
    }
    if (m_client.state() == QAbstractSocket::ConnectedState)
        m_transcript += m_client.readAll();
}

void AccessLoopRun::pump(int ms)
{
    QElapsedTimer waited;
    waited.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        tick();
        QThread::msleep(5);
    } while (waited.elapsed() < ms);
}

bool AccessLoopRun::waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (condition())
            return true;
        if (waited.elapsed() >= timeoutMs)
            return false;
        pump(30);
    }
}

int AccessLoopRun::between(int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(m_random);
}

bool AccessLoopRun::chance(double p)
{
    return std::bernoulli_distribution(p)(m_random);
}

void AccessLoopRun::note(const QString& text)
{
    const QString line = QDateTime::currentDateTime().toString(u"HH:mm:ss.zzz"_s) + u' ' + text + u'\n';
    m_script.write(line.toUtf8());
    m_script.flush();
}

std::optional<qint64> AccessLoopRun::lastRowId()
{
    QSqlQuery query(QSqlDatabase::database(m_connectionName));
    if (!query.exec(u"SELECT COALESCE(MAX(rowid), 0) FROM REGISCATRACA"_s) || !query.next())
        return std::nullopt;
    const qint64 id = query.value(0).toLongLong();
    query.finish(); // no read lock is kept: it would stop the manager's writes
    m_lastKnownRowId = std::max(m_lastKnownRowId, id);
    return id;
}

// --- what was seen and kept ---

void AccessLoopRun::keepFiles()
{
    m_dir.setAutoRemove(false);
    // What the audit needs besides the record, the database and the log folder: the client's
    // transcript and the rows written while no client could listen (one "first last" per line).
    QFile transcript(QDir(m_dir.path()).filePath(u"transcript.txt"_s));
    if (transcript.open(QIODevice::WriteOnly))
        transcript.write(m_transcript);
    QFile kills(QDir(m_dir.path()).filePath(u"kills.txt"_s));
    if (kills.open(QIODevice::WriteOnly))
        for (const qint64 ms : m_figures.killsMs)
            kills.write(QByteArray::number(ms) + '\n');
    QFile unheard(QDir(m_dir.path()).filePath(u"unheard-rows.txt"_s));
    if (unheard.open(QIODevice::WriteOnly))
        for (const auto& [after, upTo] : m_unheardRows)
            unheard.write(QByteArray::number(after) + ' ' + QByteArray::number(upTo) + '\n');
    if (!m_manager || m_manager->state() == QProcess::NotRunning) {
        QFile::remove(m_program);
        QFile::remove(m_libraryCopy);
    }
}

TurnstileRecord AccessLoopRun::turnstileRecord() const
{
    QFile file(m_recordFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return ParseTurnstileRecord(file.readAll());
}

QList<KeptPassage> ReadKeptPassages(const QSqlDatabase& database, const QString& logDir,
                                    const QList<QPair<qint64, qint64>>& unheardRows)
{
    QList<KeptPassage> kept;
    QSqlQuery rows(database);
    rows.exec(u"SELECT rowid, NRPESSOA, IDREGISCATRACA, DTREGISCATRACA FROM REGISCATRACA ORDER BY rowid"_s);
    while (rows.next()) {
        KeptPassage passage;
        const qint64 id = rows.value(0).toLongLong();
        passage.person = rows.value(1).toString();
        passage.direction = FirstChar(rows.value(2).toString());
        const QDateTime at = QDateTime::fromString(rows.value(3).toString(), u"yyyy-MM-dd HH:mm:ss"_s);
        passage.ms = at.isValid() ? at.toMSecsSinceEpoch() : 0;
        passage.origin = u"row %1"_s.arg(id);
        passage.unheard =
            std::any_of(unheardRows.begin(), unheardRows.end(),
                        [&](const QPair<qint64, qint64>& r) { return id > r.first && id <= r.second; });
        kept << passage;
    }
    rows.finish();
    QFile journal(QDir(logDir).filePath(u"passagensPendentes.jrn"_s));
    if (journal.open(QIODevice::ReadOnly))
        kept << ParseJournal(journal.readAll());
    return kept;
}

QList<KeptPassage> AccessLoopRun::keptPassages() const
{
    return ReadKeptPassages(QSqlDatabase::database(m_connectionName), m_logDir, m_unheardRows);
}

QList<Announcement> AccessLoopRun::announcements() const
{
    return ParseTranscript(m_transcript);
}

} // namespace zul::systemtest
