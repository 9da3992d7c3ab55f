#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace zul {

// A passage the turnstile confirmed and the database did not take.
struct JournaledPassage
{
    QString PersonNumber;
    bool IsEntry = false;
    QDateTime PassedAt; // by the database server's clock, to the second
    // Times the database refused it while it took other writes (see PassageFeedback).
    int Attempts = 0;

    bool operator==(const JournaledPassage&) const = default;
};

// The passages waiting for the database, oldest first, in a small file that survives a crash,
// a kill or a power cut: every change is written to a new file, flushed to the disk and renamed
// over the old one, so the file always holds either the old or the new list in full. No file
// means nothing is waiting. One process owns the file (the program runs once per machine).
class PassageJournal
{
public:
    explicit PassageJournal(QString filePath);

    // The journal's place when the caller names none: inside the activity log folder, which
    // the program can always write to.
    static QString defaultFilePath(const QString& logFolder);
    const QString& filePath() const { return m_filePath; }

    // The file is read on first use. These throw zul::Error when an existing file cannot be
    // read; the file is then left untouched.
    const QList<JournaledPassage>& entries();
    bool isEmpty();

    // Durable on return; throws zul::Error, with the list unchanged, when it cannot be made so.
    void append(const JournaledPassage& passage);
    void removeFirst();
    void removeAt(qsizetype index);
    // One more refusal of the passage at `index`; its new count.
    int countAttempt(qsizetype index);
    // Moves the passage at `index` to the dead-letter file beside the journal, with the
    // database's reason: written there first, then removed here, so a crash between the two
    // leaves it in both files rather than in neither. Its line reads back as a journal line, so
    // an operator can move it back into the journal to have it written again.
    void moveToDeadLetter(qsizetype index, const QString& reason);
    QString deadLetterPath() const;

    // The latest passage of a person still waiting here (numbers compared as written).
    std::optional<JournaledPassage> lastOf(const QString& personNumber);

    // Throws zul::Error with the reason when no file can be written beside the journal now
    // (a full disk, a read-only folder, no file descriptor left).
    void checkWritable() const;

    // Lines that do not hold a passage (a hand edit, a foreign file): kept as they are.
    const QStringList& unreadableLines() { return (load(), m_unreadable); }

    // The journal's time form, which is also the database parameter's.
    static QString timeText(const QDateTime& when);

private:
    void load();
    void store(const QList<JournaledPassage>& entries) const;

    QString m_filePath;
    bool m_loaded = false;
    QList<JournaledPassage> m_entries;
    QStringList m_unreadable;
};

} // namespace zul
