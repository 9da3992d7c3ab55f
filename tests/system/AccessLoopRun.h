#pragma once

// One run of the turnstile with real processes: the simulator (catraca-sim) keeping its own
// passage record, the manager (zul --headless) on a SQLite database of test people, and a
// client on the manager's notification port. A seeded script walks people through while it
// kills the manager, locks the database, silences the controller and taps cards at awkward
// moments; afterwards it collects what the turnstile saw and what the manager kept.

#include "PassageAudit.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QPair>
#include <QProcess>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>
#include <random>

namespace zul::systemtest {

struct RunSettings
{
    int cycles = 20; // each kills the manager once
    quint64 seed = 0;
    qint64 budgetMs = 420000; // no new cycle starts after this; a stalled manager ends the run
    QString programPath;      // zul
    QString adminPath;        // zul-admin
    QString simulatorPath;
    QString libraryPath; // the stand-in device library
};

struct RunFigures
{
    int cycles = 0;
    int kills = 0;
    QList<qint64> killsMs; // when each SIGKILL was sent, ms since the epoch
    int taps = 0;
    int served = 0;        // taps followed by a release within the wait
    int databaseLocks = 0; // times another process held the write lock
    int silences = 0;      // times the controller stopped answering
    int downtimes = 0;     // long stops of the manager with cards tapped meanwhile
    int stalls = 0;        // the manager did not come online, or served nobody at the end
    int pendingAtEnd = 0;  // journal entries still waiting after the final quiet period
    qint64 elapsedMs = 0;
};

// The passages a run's manager kept: the rows of REGISCATRACA and the lines of its journal in
// `logDir`; rows numbered within one of `unheardRows` (after first, up to last) could not be heard.
QList<KeptPassage> ReadKeptPassages(const QSqlDatabase& database, const QString& logDir,
                                    const QList<QPair<qint64, qint64>>& unheardRows);

class AccessLoopRun
{
public:
    explicit AccessLoopRun(RunSettings settings);
    ~AccessLoopRun();
    AccessLoopRun(const AccessLoopRun&) = delete;
    AccessLoopRun& operator=(const AccessLoopRun&) = delete;

    // Sets up and walks the script; false with `error` when the run could not be set up at all.
    bool run(QString* error);

    const RunFigures& figures() const { return m_figures; }
    TurnstileRecord turnstileRecord() const;
    QList<KeptPassage> keptPassages() const;
    QList<Announcement> announcements() const;
    QString workDir() const { return m_dir.path(); }
    // Leaves the run's files for reading (not the copies of the programs).
    void keepFiles();

private:
    bool setUp(QString* error);
    void cycle(int index);
    void passage(int index, int killPhase, bool silence, bool extraTap);
    void killAndRestart(bool walkWhileDown);
    void finish();

    // The manager.
    bool startManager();
    void killManager();
    bool waitOnline(int before);
    bool connectClient();
    void stopManager();

    // The turnstile and the people at it.
    struct Reply
    {
        bool ok = false;
        QStringList data;
    };
    Reply control(const QString& command);
    QString arm();
    int configurationsReceived();
    bool waitArm(bool released, int timeoutMs);
    QString pickPerson();
    void tap(const QString& card);
    void walkOrLeave();
    void settle();

    // Faults.
    void lockDatabase(int ms);
    void unlockDatabase();
    void silenceController(int ms);

    // Time.
    void pump(int ms);
    bool waitUntil(const std::function<bool()>& condition, int timeoutMs);
    void tick();
    int between(int low, int high);
    bool chance(double p);
    void note(const QString& text);
    std::optional<qint64> lastRowId();

    RunSettings m_settings;
    RunFigures m_figures;
    QTemporaryDir m_dir;
    QElapsedTimer m_elapsed;
    std::mt19937_64 m_random;
    QFile m_script; // what the run did, with times, for reading a failure

    QString m_database;
    QString m_registry;
    QString m_logDir;
    QString m_recordFile;
    QString m_program; // a copy of the manager under a name of its own
    QString m_libraryCopy;
    QString m_lockDir;
    QStringList m_people;
    QHash<QString, qint64> m_lastTap;
    struct Waiting
    {
        QString card;
        qint64 tappedMs;
    };
    QList<Waiting> m_waiting; // people who tapped and have not passed yet

    QProcess m_simulator;
    quint16 m_controlPort = 0;
    quint16 m_devicePort = 0;
    QTcpSocket m_control;
    std::unique_ptr<QProcess> m_manager;
    quint16 m_notificationPort = 0;
    QTcpSocket m_client;
    QByteArray m_transcript;

    QString m_connectionName;
    bool m_locked = false;
    qint64 m_unlockAtMs = 0;
    bool m_silent = false;
    qint64 m_plugAtMs = 0;
    bool m_longSilence = false;  // this passage's silence outlasts a release
    bool m_longDowntime = false; // this passage's kill keeps the manager down a while

    // Rows written while no client could hear them: (last row id before a kill, last row id
    // once the client was connected again].
    QList<QPair<qint64, qint64>> m_unheardRows;
    std::optional<qint64> m_unheardFrom;
    qint64 m_lastKnownRowId = 0;
};

} // namespace zul::systemtest
