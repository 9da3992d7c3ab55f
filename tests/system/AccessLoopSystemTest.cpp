// The access loop under faults, with the real programs, and the audit that judges such a run.

#include "AccessLoopRun.h"
#include "PassageAudit.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <cstdio>
#include <gtest/gtest.h>
#include <random>

using namespace Qt::StringLiterals;

namespace zul::systemtest {
namespace {

quint64 seedFromEnvironment()
{
    bool given = false;
    const quint64 seed = qEnvironmentVariable("ZUL_SYSTEM_SEED").toULongLong(&given);
    return given ? seed : (static_cast<quint64>(std::random_device{}()) << 32) ^ std::random_device{}();
}

void printFigures(const RunFigures& run, const AuditFigures& audit, quint64 seed)
{
    std::printf("\n  access loop under faults, seed %llu\n", static_cast<unsigned long long>(seed));
    std::printf("  %-10s %-6s %-10s %-6s %-6s %-5s %-11s %-12s %-10s %-7s\n", "cycles", "kills", "rotations",
                "rows", "lost", "dupl", "unrequested", "announced", "unannounced", "twice");
    std::printf("  %-10d %-6d %-10d %-6d %-6d %-5d %-11d %-12d %-10d %-7d\n", run.cycles, run.kills,
                audit.rotations, audit.rows, audit.lost, audit.duplicated, audit.unrequested, audit.announced,
                audit.unannounced, audit.announcedTwice);
    std::printf(
        "  also: %d taps (%d served), %d unused releases, %d releases both ways, %d journaled, %d "
        "still pending after the faults, %d lost to a kill within %lld ms of the hand-over, %d unexplained "
        "kept passages, %d wrong directions, %d "
        "announced but not kept, %d database locks, %d silences, %d long stops, %d stalls, %lld s\n\n",
        run.taps, run.served, audit.misses, audit.openToAll, audit.journaled, run.pendingAtEnd,
        audit.lostToKill, static_cast<long long>(kHandOverWindowMs), audit.unexplained, audit.wrongDirection,
        audit.announcedUnkept, run.databaseLocks, run.silences, run.downtimes, run.stalls,
        static_cast<long long>(run.elapsedMs / 1000));
    std::fflush(stdout);
}

TEST(AccessLoopSystem, EveryRotationKeptOnceEveryReleaseRequestedEveryPassageAnnouncedOnce)
{
    RunSettings settings;
    settings.seed = seedFromEnvironment();
    bool given = false;
    const int cycles = qEnvironmentVariable("ZUL_SYSTEM_CYCLES").toInt(&given);
    if (given && cycles > 0)
        settings.cycles = cycles;
    // A cycle takes about 10 s on a loaded machine; the budget only ends a run whose manager stopped serving.
    settings.budgetMs = 60000 + 16000LL * settings.cycles;
    settings.programPath = QStringLiteral(ZUL_PROGRAM_PATH);
    settings.adminPath = QStringLiteral(ZUL_ADMIN_PATH);
    settings.simulatorPath = QStringLiteral(ZUL_CATRACA_SIM_PATH);
    settings.libraryPath = QStringLiteral(ZUL_EASYINNER_PATH);
    std::printf("seed %llu (ZUL_SYSTEM_SEED=%llu repeats this run), %d cycles\n",
                static_cast<unsigned long long>(settings.seed),
                static_cast<unsigned long long>(settings.seed), settings.cycles);
    std::fflush(stdout);

    AccessLoopRun run(settings);
    QString error;
    const bool ran = run.run(&error);
    if (!ran) {
        run.keepFiles();
        FAIL() << error.toStdString() << " (files in " << run.workDir().toStdString() << ")";
    }
    const TurnstileRecord turnstile = run.turnstileRecord();
    const AuditResult audit =
        Audit(turnstile, run.keptPassages(), run.announcements(), run.figures().killsMs);
    const RunFigures& figures = run.figures();
    printFigures(figures, audit.figures, settings.seed);

    EXPECT_EQ(figures.cycles, settings.cycles) << "the run stopped early";
    EXPECT_GE(figures.kills, settings.cycles);
    EXPECT_EQ(figures.stalls, 0) << "the manager did not come online or stopped serving";
    EXPECT_TRUE(turnstile.malformed.isEmpty()) << turnstile.malformed.join(u'\n').toStdString();
    EXPECT_GT(audit.figures.rotations, 0) << "nobody passed: the run proves nothing";
    EXPECT_EQ(audit.figures.lost, 0);
    EXPECT_EQ(audit.figures.duplicated, 0);
    EXPECT_EQ(audit.figures.unexplained, 0);
    EXPECT_EQ(audit.figures.unrequested, 0);
    EXPECT_EQ(audit.figures.wrongDirection, 0);
    EXPECT_EQ(audit.figures.announcedTwice, 0);
    EXPECT_EQ(audit.figures.unannounced, 0);
    EXPECT_EQ(audit.figures.announcedUnkept, 0);
    if (::testing::Test::HasFailure()) {
        run.keepFiles();
        std::printf("faults found (%lld):\n", static_cast<long long>(audit.problems.size()));
        for (const QString& problem : audit.problems.mid(0, 60))
            std::printf("  %s\n", qPrintable(problem));
        std::printf("files kept in %s (script.txt, turnstile-record.txt, zul.db, logCatraca/); "
                    "ZUL_AUDIT_DIR=%s audits them again (PassageAudit.SavedRun)\n",
                    qPrintable(run.workDir()), qPrintable(run.workDir()));
        std::fflush(stdout);
    }
}

// Audits the files a failed run kept, without running anything: ZUL_AUDIT_DIR=<folder>.
TEST(PassageAudit, SavedRun)
{
    const QString folder = qEnvironmentVariable("ZUL_AUDIT_DIR");
    if (folder.isEmpty())
        GTEST_SKIP() << "ZUL_AUDIT_DIR names no kept run";
    const QDir dir(folder);
    auto read = [&](const QString& name) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QList<qint64> killsMs;
    for (const QByteArray& line : read(u"kills.txt"_s).split('\n'))
        if (!line.trimmed().isEmpty())
            killsMs << line.trimmed().toLongLong();
    QList<QPair<qint64, qint64>> unheardRows;
    for (const QByteArray& line : read(u"unheard-rows.txt"_s).split('\n'))
        if (const QList<QByteArray> ends = line.split(' '); ends.size() == 2)
            unheardRows << qMakePair(ends[0].toLongLong(), ends[1].toLongLong());
    AuditResult audit;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"saved"_s);
        database.setDatabaseName(dir.filePath(u"zul.db"_s));
        ASSERT_TRUE(database.open());
        audit = Audit(ParseTurnstileRecord(read(u"turnstile-record.txt"_s)),
                      ReadKeptPassages(database, dir.filePath(u"logCatraca"_s), unheardRows),
                      ParseTranscript(read(u"transcript.txt"_s)), killsMs);
        database.close();
    }
    QSqlDatabase::removeDatabase(u"saved"_s);
    const AuditFigures& f = audit.figures;
    std::printf("rotations %d, rows %d, journaled %d, lost %d (%d to a kill in the hand-over), duplicated "
                "%d, unexplained %d, unrequested %d, "
                "wrong directions %d, announced %d (twice %d, unannounced %d, not kept %d)\n",
                f.rotations, f.rows, f.journaled, f.lost, f.lostToKill, f.duplicated, f.unexplained,
                f.unrequested, f.wrongDirection, f.announced, f.announcedTwice, f.unannounced,
                f.announcedUnkept);
    for (const QString& problem : audit.problems)
        std::printf("  %s\n", qPrintable(problem));
    EXPECT_EQ(f.lost + f.duplicated + f.unexplained + f.unrequested + f.wrongDirection, 0);
}

// --- the audit on hand-made runs: it must see each kind of fault ---

// Builds a simulator record line by line, times in milliseconds from a base.
class Record
{
public:
    Record() : m_base(QDateTime(QDate(2026, 3, 2), QTime(10, 0)).toMSecsSinceEpoch()) {}

    qint64 at(qint64 ms) const { return m_base + ms; }

    Record& line(qint64 ms, const QString& text)
    {
        m_text += QByteArray::number(at(ms)) + ' ' + text.toLatin1() + '\n';
        return *this;
    }
    Record& tap(qint64 ms, const QString& card)
    {
        m_queued << at(ms);
        return line(ms, u"tap origin=1 card="_s + hex(card));
    }
    Record& deliver(qint64 ms, const QString& card, int origin = 1)
    {
        const qint64 queued = m_queued.isEmpty() ? 0 : m_queued.takeFirst();
        return line(ms, u"deliver origin=%1 card=%2 queued=%3"_s.arg(origin).arg(hex(card)).arg(queued));
    }
    Record& release(qint64 ms, char direction)
    {
        return line(ms, u"release dir=%1 entry=Liberar"_s.arg(QChar::fromLatin1(direction)));
    }
    Record& rotation(qint64 ms, char direction, bool passed, const QString& card)
    {
        m_queued << at(ms);
        return line(ms, u"rotation dir=%1 passed=%2 card=%3"_s.arg(QChar::fromLatin1(direction))
                            .arg(passed ? 1 : 0)
                            .arg(hex(card)));
    }
    // One whole passage: tapped at ms, released 300 ms later, turned 1 s later, read 100 ms later.
    Record& passage(qint64 ms, const QString& card, char direction)
    {
        return tap(ms, card)
            .deliver(ms + 50, card)
            .release(ms + 300, direction)
            .rotation(ms + 1300, direction, true, card)
            .deliver(ms + 1400, card, 6);
    }

    TurnstileRecord parsed() const { return ParseTurnstileRecord(m_text); }
    KeptPassage row(const QString& person, char direction, qint64 ms, bool unheard = false) const
    {
        KeptPassage kept;
        kept.person = person;
        kept.direction = QChar::fromLatin1(direction);
        kept.ms = at(ms) / 1000 * 1000; // stamps are whole seconds
        kept.unheard = unheard;
        kept.origin = u"row"_s;
        return kept;
    }

private:
    static QString hex(const QString& card)
    {
        return u'h' + QString::fromLatin1(QByteArray(card.toLatin1() + QByteArray(4, '\0')).toHex());
    }

    qint64 m_base;
    QByteArray m_text;
    QList<qint64> m_queued;
};

const QString kAna = u"0000000101"_s;
const QString kBia = u"0000000102"_s;

QList<Announcement> heard(const QByteArray& transcript)
{
    return ParseTranscript(transcript);
}

TEST(PassageAudit, CleanRunHasNoFault)
{
    Record record;
    record.passage(0, kAna, 'E').passage(5000, kBia, 'E').passage(9000, kAna, 'S');
    // Bia's passage went through the journal while the database was locked.
    KeptPassage journaled = record.row(kBia, 'E', 6300);
    journaled.journaled = true;
    const AuditResult result =
        Audit(record.parsed(), {record.row(kAna, 'E', 1400), journaled, record.row(kAna, 'S', 10400)},
              heard("[ENT]0000000101[SAI]0000000101"));
    EXPECT_TRUE(result.problems.isEmpty()) << result.problems.join(u'\n').toStdString();
    EXPECT_EQ(result.figures.rotations, 3);
    EXPECT_EQ(result.figures.rows, 2);
    EXPECT_EQ(result.figures.journaled, 1);
    EXPECT_EQ(result.figures.announced, 2);
}

TEST(PassageAudit, LostRepeatedAndMisattributedPassagesAreFound)
{
    Record record;
    record.passage(0, kAna, 'E').passage(5000, kBia, 'E').passage(10000, kAna, 'S').passage(20000, kBia, 'S');
    const AuditResult result =
        Audit(record.parsed(),
              {
                  record.row(kAna, 'E', 1400), record.row(kAna, 'E', 1500), // the same passage twice
                  record.row(kAna, 'E', 7400),                              // Bia's passage under Ana's name
                  record.row(kAna, 'S', 30000),                             // stamped long after it was read
                  // Bia's exit: kept nowhere
              },
              {});
    EXPECT_EQ(result.figures.rotations, 4);
    EXPECT_EQ(result.figures.lost, 3);
    EXPECT_EQ(result.figures.duplicated, 1);
    EXPECT_EQ(result.figures.unexplained, 2);
}

TEST(PassageAudit, ReleasesWithoutAFreshIdentificationAreUnrequested)
{
    Record record;
    record.passage(0, kAna, 'E');
    // The rotation report read as a new card: the arm opens again for nobody.
    record.release(1600, 'S').rotation(3000, 'S', false, kAna).deliver(3100, kAna, 5);
    // A card tapped while the manager was down, honoured 30 s later.
    record.tap(10000, kBia).deliver(40000, kBia).release(40300, 'E').rotation(41000, 'E', false, kBia);
    record.deliver(41100, kBia, 5);
    // Open both ways for everybody (the database went away): no identification needed.
    record.release(50000, 'T').rotation(51000, 'T', true, kBia).deliver(51100, kBia, 6);
    // A card read during the release answers the next release, even after a restart.
    record.tap(60000, kAna).deliver(60050, kAna).release(60300, 'S');
    record.tap(60500, kBia).deliver(60600, kBia);
    record.rotation(61000, 'S', true, kBia).deliver(61100, kBia, 6).release(62000, 'E');
    record.rotation(63000, 'E', true, kBia).deliver(63100, kBia, 6);
    const AuditResult result =
        Audit(record.parsed(),
              {record.row(kAna, 'E', 1400), record.row(kAna, 'S', 61100), record.row(kBia, 'E', 63100)}, {});
    EXPECT_EQ(result.figures.releases, 5);
    EXPECT_EQ(result.figures.openToAll, 1);
    EXPECT_EQ(result.figures.unrequested, 2);
    EXPECT_EQ(result.figures.misses, 2);
    EXPECT_EQ(result.figures.lost, 0);
    EXPECT_EQ(result.figures.unexplained, 0);
}

TEST(PassageAudit, SameDirectionTwiceIsWrong)
{
    Record record;
    record.passage(0, kAna, 'E').passage(5000, kAna, 'E');
    const AuditResult result =
        Audit(record.parsed(), {record.row(kAna, 'E', 1400), record.row(kAna, 'E', 6400)}, {});
    EXPECT_EQ(result.figures.wrongDirection, 1);
    EXPECT_EQ(result.figures.lost, 0);
}

TEST(PassageAudit, KeptPassageGoesToTheRotationItStamps)
{
    // Ana's exit is lost (the manager died with it); she goes out again, kept this time, but
    // the row also fits the lost exit's time window.
    Record record;
    record.passage(0, kAna, 'E').passage(5000, kAna, 'S').passage(9000, kAna, 'S');
    const AuditResult result =
        Audit(record.parsed(), {record.row(kAna, 'E', 1400), record.row(kAna, 'S', 10400)},
              heard("[ENT]0000000101[SAI]0000000101"));
    EXPECT_EQ(result.figures.lost, 1);
    EXPECT_EQ(result.figures.wrongDirection, 1);
    ASSERT_EQ(result.problems.size(), 2);
    EXPECT_TRUE(result.problems[0].contains(u"rotation S at 10:00:06.300"_s))
        << result.problems[0].toStdString();
}

TEST(PassageAudit, EveryRotationKeptWhenAStampSitsNearerAnotherRelease)
{
    // Ana and Bia tap together: the first release answers both, Ana turns it. Bia is released
    // next and turns at once. Bia's row, stamped early to the whole second, sits nearer to
    // Ana's rotation than Ana's own row does; pairing the nearest first would hand Bia's row to
    // Ana's rotation and call Bia's rotation lost and Ana's row unexplained.
    Record record;
    record.tap(0, kAna).deliver(50, kAna).tap(100, kBia).deliver(150, kBia).release(300, 'E');
    record.rotation(2900, 'E', true, kAna).deliver(2950, kAna, 6);
    record.tap(3000, kBia).deliver(3050, kBia).release(3200, 'E');
    record.rotation(3500, 'E', true, kBia).deliver(3550, kBia, 6);
    const AuditResult result =
        Audit(record.parsed(), {record.row(kAna, 'E', 4900), record.row(kBia, 'E', 3600)},
              heard("[ENT]0000000101[ENT]0000000102"));
    EXPECT_TRUE(result.problems.isEmpty()) << result.problems.join(u'\n').toStdString();
    EXPECT_EQ(result.figures.rotations, 2);
}

TEST(PassageAudit, ALossRightAfterAKillInTheHandOverIsCountedApart)
{
    // Ana's entry is handed over at 1400 and the manager is killed 40 ms later, before its
    // journal has it; when she taps again the manager, not knowing, lets her in once more.
    // The same loss with the kill a second later is a fault.
    Record record;
    record.passage(0, kAna, 'E').passage(10000, kAna, 'E');
    const QList<KeptPassage> kept = {record.row(kAna, 'E', 11400)};
    const AuditResult inWindow = Audit(record.parsed(), kept, heard("[ENT]0000000101"), {record.at(1440)});
    EXPECT_TRUE(inWindow.problems.isEmpty()) << inWindow.problems.join(u'\n').toStdString();
    EXPECT_EQ(inWindow.figures.lostToKill, 1);
    EXPECT_EQ(inWindow.figures.lost, 0);
    const AuditResult later = Audit(record.parsed(), kept, heard("[ENT]0000000101"), {record.at(2400)});
    EXPECT_EQ(later.figures.lost, 1);
    EXPECT_EQ(later.figures.lostToKill, 0);
    EXPECT_EQ(later.figures.wrongDirection, 1);
}

TEST(PassageAudit, NearestMaximumMatchingPairsAllItCanAtTheLeastDistance)
{
    // Rotation 0 fits kept 0 (10) and 1 (1); rotation 1 fits only kept 1 (50); rotation 2
    // fits kept 2 (5) and 3 (7); kept 3 also fits rotation 3 (100), which has nothing else.
    const std::vector<std::vector<std::pair<int, qint64>>> fitting = {
        {{0, 10}, {1, 1}}, {{1, 50}}, {{2, 5}, {3, 7}}, {{3, 100}}, {}};
    EXPECT_EQ(NearestMaximumMatching(fitting, 4), (QList<int>{0, 1, 2, 3, -1}));
    // Two ways to pair everything: the nearer pairing wins.
    EXPECT_EQ(NearestMaximumMatching({{{0, 1}, {1, 9}}, {{0, 9}, {1, 1}}}, 2), (QList<int>{0, 1}));
    EXPECT_EQ(NearestMaximumMatching({}, 3), QList<int>{});
}

TEST(PassageAudit, AnnouncementsAreCountedPerPassageInTheDatabase)
{
    Record record;
    record.passage(0, kAna, 'E').passage(5000, kBia, 'E').passage(10000, kAna, 'S').passage(15000, kBia, 'S');
    const QList<KeptPassage> kept = {
        record.row(kAna, 'E', 1400),
        record.row(kBia, 'E', 6400),
        record.row(kAna, 'S', 11400, true), // written while the client was away
        record.row(kBia, 'S', 16400),
    };
    // Replies to notifications and messages run together on the wire are read apart.
    const QByteArray transcript =
        "[ENT]0000000101[OK][INS]0000000777[ENT]0000000101[SAI]0000000102[ENT]0000000103";
    const AuditResult result = Audit(record.parsed(), kept, heard(transcript));
    EXPECT_EQ(result.figures.announced, 4);
    EXPECT_EQ(result.figures.announcedTwice, 1);  // Ana's entry
    EXPECT_EQ(result.figures.unannounced, 1);     // Bia's entry; Ana's exit could not be heard
    EXPECT_EQ(result.figures.announcedUnkept, 1); // 103 passed nowhere
}

} // namespace
} // namespace zul::systemtest
