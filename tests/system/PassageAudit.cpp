#include "PassageAudit.h"

#include <QDateTime>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <algorithm>
#include <deque>
#include <limits>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace zul::systemtest {

namespace {

const QString kStampFormat = u"yyyy-MM-dd HH:mm:ss"_s;

QString cardText(const QString& hex)
{
    // "h3030..." -> the first 10 bytes, one character each.
    if (!hex.startsWith(u'h'))
        return {};
    const QByteArray bytes = QByteArray::fromHex(hex.mid(1).toLatin1());
    return QString::fromLatin1(bytes.left(10));
}

QString field(const QStringList& tokens, const QString& key)
{
    for (const QString& token : tokens)
        if (token.startsWith(key + u'='))
            return token.mid(key.size() + 1);
    return {};
}

QString when(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(u"HH:mm:ss.zzz"_s);
}

QString who(const Release& release)
{
    QStringList cards;
    for (const Identification& id : release.candidates)
        cards << id.card + u'@' + when(id.queuedMs);
    return cards.isEmpty() ? u"nobody"_s : cards.join(u',');
}

bool isFresh(const Identification& id, qint64 releaseMs)
{
    return id.queuedMs >= releaseMs - kFreshIdentificationMs;
}

} // namespace

TurnstileRecord ParseTurnstileRecord(const QByteArray& text)
{
    TurnstileRecord record;
    QList<Identification> sinceRelease;
    std::deque<int> undelivered; // rotations whose event the controller still holds, oldest first
    for (const QByteArray& raw : text.split('\n')) {
        const QString line = QString::fromLatin1(raw).trimmed();
        if (line.isEmpty())
            continue;
        const QStringList tokens = line.split(u' ', Qt::SkipEmptyParts);
        bool numeric = false;
        const qint64 ms = tokens.value(0).toLongLong(&numeric);
        if (!numeric || tokens.size() < 2) {
            record.malformed << line;
            continue;
        }
        const QString& kind = tokens[1];
        if (kind == u"deliver") {
            const int origin = field(tokens, u"origin"_s).toInt();
            if (origin == 5 || origin == 6) {
                if (!undelivered.empty()) {
                    record.rotations[undelivered.front()].deliveredMs = ms;
                    undelivered.pop_front();
                }
            } else if (origin >= 1 && origin <= 3) {
                bool known = false;
                const qint64 queued = field(tokens, u"queued"_s).toLongLong(&known);
                sinceRelease << Identification{cardText(field(tokens, u"card"_s)), known ? queued : 0, ms};
                ++record.identificationsDelivered;
            }
        } else if (kind == u"release") {
            Release release;
            release.ms = ms;
            release.direction = FirstChar(field(tokens, u"dir"_s));
            release.candidates = sinceRelease;
            sinceRelease.clear();
            record.releases << release;
        } else if (kind == u"rotation") {
            Rotation rotation;
            rotation.ms = ms;
            rotation.direction = FirstChar(field(tokens, u"dir"_s));
            rotation.passed = field(tokens, u"passed"_s) == u"1";
            rotation.release = static_cast<int>(record.releases.size()) - 1;
            undelivered.push_back(static_cast<int>(record.rotations.size()));
            record.rotations << rotation;
        } else if (kind != u"tap" && kind != u"start") {
            record.malformed << line;
        }
    }
    return record;
}

QList<KeptPassage> ParseJournal(const QByteArray& text)
{
    QList<KeptPassage> kept;
    int number = 0;
    for (const QByteArray& raw : text.split('\n')) {
        if (raw.trimmed().isEmpty())
            continue;
        ++number;
        KeptPassage passage;
        passage.journaled = true;
        passage.origin = u"journal %1"_s.arg(number);
        const QJsonObject object = QJsonDocument::fromJson(raw).object();
        passage.person = object.value(u"pessoa").toString();
        passage.direction = FirstChar(object.value(u"sentido").toString());
        const QDateTime at = QDateTime::fromString(object.value(u"hora").toString(), kStampFormat);
        passage.ms = at.isValid() ? at.toMSecsSinceEpoch() : 0;
        kept << passage;
    }
    return kept;
}

QList<Announcement> ParseTranscript(const QByteArray& text)
{
    static const QRegularExpression marker(u"\\[(ENT|SAI)\\](.{10})"_s,
                                           QRegularExpression::DotMatchesEverythingOption);
    QList<Announcement> heard;
    auto it = marker.globalMatch(QString::fromLatin1(text));
    while (it.hasNext()) {
        const auto match = it.next();
        heard << Announcement{match.captured(2), match.captured(1) == u"ENT" ? QChar(u'E') : QChar(u'S')};
    }
    return heard;
}

QList<int> NearestMaximumMatching(const std::vector<std::vector<std::pair<int, qint64>>>& fitting,
                                  int keptCount)
{
    // Minimum-cost maximum flow over source -> rotation -> kept passage -> sink, every capacity
    // one: each augmentation along a cheapest path adds one pair and keeps the total distance
    // the least possible for that many pairs. The graphs are a few hundred edges at most.
    const int rotations = static_cast<int>(fitting.size());
    const int source = rotations + keptCount;
    const int sink = source + 1;
    struct Edge
    {
        int to;
        int capacity;
        qint64 cost;
    };
    std::vector<Edge> edges;
    std::vector<std::vector<int>> out(sink + 1);
    auto addEdge = [&](int from, int to, qint64 cost) {
        out[from].push_back(static_cast<int>(edges.size()));
        edges.push_back({to, 1, cost});
        out[to].push_back(static_cast<int>(edges.size()));
        edges.push_back({from, 0, -cost});
    };
    for (int r = 0; r < rotations; ++r) {
        addEdge(source, r, 0);
        for (const auto& [k, distance] : fitting[r])
            addEdge(r, rotations + k, distance);
    }
    for (int k = 0; k < keptCount; ++k)
        addEdge(rotations + k, sink, 0);

    constexpr qint64 kUnreached = std::numeric_limits<qint64>::max();
    for (;;) {
        // Bellman-Ford: residual edges of matched pairs carry negative costs.
        std::vector<qint64> cost(sink + 1, kUnreached);
        std::vector<int> via(sink + 1, -1);
        cost[source] = 0;
        for (bool changed = true; changed;) {
            changed = false;
            for (int node = 0; node <= sink; ++node) {
                if (cost[node] == kUnreached)
                    continue;
                for (int e : out[node]) {
                    const Edge& edge = edges[e];
                    if (edge.capacity > 0 && cost[node] + edge.cost < cost[edge.to]) {
                        cost[edge.to] = cost[node] + edge.cost;
                        via[edge.to] = e;
                        changed = true;
                    }
                }
            }
        }
        if (cost[sink] == kUnreached)
            break;
        for (int node = sink; node != source; node = edges[via[node] ^ 1].to) {
            --edges[via[node]].capacity;
            ++edges[via[node] ^ 1].capacity;
        }
    }

    QList<int> matchOf(rotations, -1);
    for (int r = 0; r < rotations; ++r)
        for (int e : out[r])
            if (edges[e].to >= rotations && edges[e].to < source && edges[e].capacity == 0 && (e % 2) == 0)
                matchOf[r] = edges[e].to - rotations;
    return matchOf;
}

AuditResult Audit(const TurnstileRecord& turnstile, const QList<KeptPassage>& kept,
                  const QList<Announcement>& announcements, const QList<qint64>& killsMs)
{
    AuditResult result;
    AuditFigures& f = result.figures;
    QStringList& problems = result.problems;

    for (const KeptPassage& passage : kept)
        ++(passage.journaled ? f.journaled : f.rows);

    // Every one-way release answers a fresh identification.
    for (const Release& release : turnstile.releases) {
        if (release.direction == u'T') {
            ++f.openToAll;
            continue;
        }
        ++f.releases;
        const bool requested = std::any_of(release.candidates.begin(), release.candidates.end(),
                                           [&](const Identification& id) { return isFresh(id, release.ms); });
        if (!requested) {
            ++f.unrequested;
            problems << u"release %1 at %2 for no fresh identification (handed over: %3)"_s
                            .arg(release.direction)
                            .arg(when(release.ms), who(release));
        }
    }

    // Every confirmed rotation kept once, for one of the people the release answered, in its
    // direction, stamped when the person passed.
    QList<bool> used(kept.size(), false);
    auto fits = [&](const Rotation& rotation, const KeptPassage& passage, bool anyPerson) {
        if (passage.direction != rotation.direction)
            return false;
        const qint64 heardMs = rotation.deliveredMs >= 0 ? rotation.deliveredMs : rotation.ms;
        if (passage.ms < rotation.ms - kEarlyStampMs || passage.ms > heardMs + kLateStampMs)
            return false;
        if (anyPerson)
            return true;
        const Release& release = turnstile.releases[rotation.release];
        return std::any_of(release.candidates.begin(), release.candidates.end(),
                           [&](const Identification& id) { return id.card == passage.person; });
    };
    auto counted = [&](const Rotation& rotation) {
        return rotation.passed && rotation.release >= 0 && rotation.direction != u'T';
    };
    auto forSomebody = [&](const Rotation& rotation) {
        return !turnstile.releases[rotation.release].candidates.isEmpty();
    };
    // As many rotations kept as the facts allow, and among those pairings the one nearest in
    // time, so that each kept passage goes to the rotation it stamps. Taking the nearest pair
    // first is not enough: a stamp is up to two seconds early, so one person's row can sit nearer
    // to the rotation of a release that also answered them than to their own, and would leave
    // their own rotation looking lost. A rotation through a release nobody asked for is counted
    // as that release; whoever walked through may be kept once but need not be.
    std::vector<std::vector<std::pair<int, qint64>>> fitting(turnstile.rotations.size());
    for (int r = 0; r < turnstile.rotations.size(); ++r) {
        const Rotation& rotation = turnstile.rotations[r];
        if (!counted(rotation))
            continue;
        for (int i = 0; i < kept.size(); ++i)
            if (fits(rotation, kept[i], !forSomebody(rotation)))
                fitting[r].push_back({i, std::abs(kept[i].ms - rotation.ms)});
    }
    const QList<int> matchOf = NearestMaximumMatching(fitting, static_cast<int>(kept.size()));
    for (int k : matchOf)
        if (k >= 0)
            used[k] = true;

    QMap<QString, QChar> lastDirection; // person -> direction of their last confirmed passage
    for (int r = 0; r < turnstile.rotations.size(); ++r) {
        const Rotation& rotation = turnstile.rotations[r];
        if (!rotation.passed) {
            ++f.misses;
            continue;
        }
        if (!counted(rotation))
            continue;
        const Release& release = turnstile.releases[rotation.release];
        if (forSomebody(rotation))
            ++f.rotations;
        const bool killedInHandOver =
            rotation.deliveredMs >= 0 && std::any_of(killsMs.begin(), killsMs.end(), [&](qint64 killMs) {
                return killMs >= rotation.deliveredMs && killMs <= rotation.deliveredMs + kHandOverWindowMs;
            });
        if (matchOf[r] < 0 && forSomebody(rotation) && killedInHandOver) {
            // The manager never knew of this passage: the direction it gives next follows the
            // passage before it.
            ++f.lostToKill;
            continue;
        }
        if (matchOf[r] < 0 && forSomebody(rotation)) {
            ++f.lost;
            problems << u"rotation %1 at %2 (read by the manager at %3) for %4 kept nowhere"_s
                            .arg(rotation.direction)
                            .arg(when(rotation.ms),
                                 rotation.deliveredMs >= 0 ? when(rotation.deliveredMs) : u"never"_s,
                                 who(release));
        }
        // Who passed: the person kept for it, else the one person the release answered.
        QString person;
        if (matchOf[r] >= 0)
            person = kept[matchOf[r]].person;
        else if (release.candidates.size() == 1)
            person = release.candidates.first().card;
        if (person.isEmpty())
            continue;
        const QChar expected = lastDirection.value(person, u'S') == u'S' ? u'E' : u'S';
        if (forSomebody(rotation) && rotation.direction != expected) {
            ++f.wrongDirection;
            problems << u"%1 passed %2 at %3 after a passage %4"_s.arg(
                person, rotation.direction, when(rotation.ms), QString(lastDirection.value(person, u'-')));
        }
        lastDirection[person] = rotation.direction;
    }
    for (int i = 0; i < kept.size(); ++i) {
        if (used[i])
            continue;
        const KeptPassage& passage = kept[i];
        bool repeats = false;
        for (int r = 0; r < turnstile.rotations.size() && !repeats; ++r)
            repeats = matchOf[r] >= 0 && kept[matchOf[r]].person == passage.person &&
                      fits(turnstile.rotations[r], passage, true);
        ++(repeats ? f.duplicated : f.unexplained);
        problems << u"%1: %2 %3 at %4 %5"_s.arg(passage.origin, passage.person, QString(passage.direction),
                                                when(passage.ms),
                                                repeats ? u"kept twice"_s : u"matches no rotation"_s);
    }

    // Every passage in the database announced once to a client that could hear it.
    struct Count
    {
        int rows = 0, heard = 0, unheard = 0;
    };
    QHash<QString, Count> counts;
    for (const KeptPassage& passage : kept) {
        if (passage.journaled)
            continue;
        Count& c = counts[passage.person + passage.direction];
        ++c.rows;
        c.unheard += passage.unheard ? 1 : 0;
    }
    for (const Announcement& a : announcements)
        ++counts[a.person + a.direction].heard;
    f.announced = static_cast<int>(announcements.size());
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        const Count& c = it.value();
        if (c.rows == 0) {
            f.announcedUnkept += c.heard;
            problems << u"%1 announced %2 time(s) but never in the database"_s.arg(it.key()).arg(c.heard);
        } else if (c.heard > c.rows) {
            f.announcedTwice += c.heard - c.rows;
            problems << u"%1 announced %2 times for %3 row(s)"_s.arg(it.key()).arg(c.heard).arg(c.rows);
        } else if (c.heard < c.rows - c.unheard) {
            f.unannounced += c.rows - c.unheard - c.heard;
            problems << u"%1 announced %2 times for %3 row(s) written while a client listened"_s.arg(it.key())
                            .arg(c.heard)
                            .arg(c.rows - c.unheard);
        }
    }
    return result;
}

} // namespace zul::systemtest
