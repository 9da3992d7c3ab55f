#pragma once

// Holds what the turnstile saw (the simulator's passage record) against what the manager kept
// (rows of REGISCATRACA, the journal of passages the database refused) and what it told the
// socket clients. Knows nothing of processes or timing of the run: every check is an invariant
// over the collected facts.

#include <QByteArray>
#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <utility>
#include <vector>

namespace zul::systemtest {

// A release opens the arm for an identification handed to the manager since the previous
// release and read by the controller at most this long before.
inline constexpr qint64 kFreshIdentificationMs = 10000;
// A passage is stamped at most this much before the turnstile turned: stamps are whole seconds
// and the controller's clock is set to the second.
inline constexpr qint64 kEarlyStampMs = 2000;
// ... and at most this much after the controller handed the rotation to the manager.
inline constexpr qint64 kLateStampMs = 5000;
// The controller hands a rotation report over once. A manager killed before it has written the
// report to its journal loses it, and nothing can bring it back; on an idle machine that takes a
// few milliseconds, on a loaded one tens. A loss with a kill this soon after the hand-over is
// counted apart, as that window, not as a fault.
inline constexpr qint64 kHandOverWindowMs = 250;

// The first character of a text, or a null character for an empty one.
inline QChar FirstChar(const QString& text)
{
    return text.isEmpty() ? QChar() : text.front();
}

struct Identification
{
    QString card; // the first 10 characters of the card field
    qint64 queuedMs = 0;
    qint64 deliveredMs = 0;
};

struct Release
{
    qint64 ms = 0;
    QChar direction;                  // 'E', 'S' or 'T' (both ways: the arm left open for everybody)
    QList<Identification> candidates; // handed over since the previous release
};

struct Rotation
{
    qint64 ms = 0;
    QChar direction;
    bool passed = false;
    int release = -1;        // index into the releases; -1: none before it
    qint64 deliveredMs = -1; // when the manager read it; -1: never
};

struct TurnstileRecord
{
    QList<Release> releases;
    QList<Rotation> rotations;
    int identificationsDelivered = 0;
    QStringList malformed; // lines that could not be read
};

// Reads the simulator's --record file.
TurnstileRecord ParseTurnstileRecord(const QByteArray& text);

// A passage as the manager kept it: a row of REGISCATRACA or a line of its journal.
struct KeptPassage
{
    QString person;
    QChar direction;
    qint64 ms = 0; // local time of the stamp, as milliseconds since the epoch
    bool journaled = false;
    // A row the manager wrote while no socket client could be connected (around a restart):
    // it cannot have been heard, so it is not required to be announced.
    bool unheard = false;
    QString origin; // for messages: "row 12" or "journal 2"
};

// Reads the journal file's lines ({"pessoa":…,"sentido":…,"hora":…}); unreadable lines are
// kept with an empty person, so they count as unexplained.
QList<KeptPassage> ParseJournal(const QByteArray& text);

// "[ENT]"/"[SAI]" + 10 characters, in the order heard; "[OK]"/"[ER]" replies are skipped.
struct Announcement
{
    QString person;
    QChar direction;
};
QList<Announcement> ParseTranscript(const QByteArray& text);

struct AuditFigures
{
    int rotations = 0; // confirmed (origin 6) of releases for one person
    int misses = 0;    // releases that ended unused (origin 5)
    int releases = 0;  // one-way releases
    int openToAll = 0; // both-ways releases
    int rows = 0;
    int journaled = 0;
    int lost = 0;        // confirmed rotations kept nowhere, or kept with a wrong person, direction or time
    int lostToKill = 0;  // kept nowhere, the manager killed within kHandOverWindowMs of the hand-over
    int duplicated = 0;  // kept passages that repeat one already matched
    int unexplained = 0; // kept passages matching no rotation at all
    int unrequested = 0; // one-way releases without a fresh identification
    int wrongDirection = 0;
    int announced = 0;
    int announcedTwice = 0;
    int unannounced = 0;
    int announcedUnkept = 0;
};

struct AuditResult
{
    AuditFigures figures;
    QStringList problems; // one line per fault found, for the test's output
};

// Pairs rotations with kept passages: fitting[r] lists (kept passage, distance in ms) for rotation
// r. Returns the kept passage of each rotation (-1: none), as many pairs as possible and, among
// those, the least total distance.
QList<int> NearestMaximumMatching(const std::vector<std::vector<std::pair<int, qint64>>>& fitting,
                                  int keptCount);

// `killsMs`: when the manager was killed (ms since the epoch), for losses in the hand-over window.
AuditResult Audit(const TurnstileRecord& turnstile, const QList<KeptPassage>& kept,
                  const QList<Announcement>& announcements, const QList<qint64>& killsMs = {});

} // namespace zul::systemtest
