#pragma once

#include "access/PassageJournal.h"
#include "db/XDataSet.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>

namespace zul {

class DeviceBinding;
class OnlineDisplay;
class TXConnection;

// What the passage feedback needs of the rest of the program.
struct PassageHooks
{
    // Sends prefix followed by text to every client of the notification socket.
    std::function<void(const QString& text, const QString& prefix)> broadcast;
    // The database connection routine with the window's display of its answer.
    std::function<bool(bool force, bool report)> reconnect;
    // The database server's current time: the local time plus the offset of the server's
    // clock as last read. Without it, or when it answers an invalid time, the local time.
    std::function<QDateTime()> serverNow;
};

// What the operator sees of a passage in the entry and exit panels, and its registration in
// the passage log REGISCATRACA.
//
// A passage that the database does not take is kept in a journal file and written later,
// stamped with the time the person passed: before every registration and whenever the program
// has reconnected to the database (ReplayJournal). Only a passage in the database is announced
// on the notification socket. Writing from the journal is safe to repeat: the row is skipped
// when the same person, direction and time is already there, and a passage leaves the journal
// only after its row is in, so a crash between the two leaves one row, never two or none.
class PassageFeedback : public QObject
{
    Q_OBJECT
public:
    // `device`, `display`, `connection` and `journal` outlive this object.
    PassageFeedback(DeviceBinding& device, OnlineDisplay& display, TXConnection& connection,
                    PassageJournal& journal, PassageHooks hooks = {}, QObject* parent = nullptr);

    void SetHooks(PassageHooks hooks) { m_hooks = std::move(hooks); }

    // The person of `userDados()` was identified: the panel of the direction shows the name and
    // blinks.
    void ShowPassageWaiting();
    // The arm was released but the person did not pass.
    void ShowPassageMissed();
    // The person passed: registered, shown and announced.
    void ConfirmPassage();
    // The person passed at `passedAt` (the controller's time of the rotation). The passage goes
    // to the journal first, so that it survives whatever happens next, and is then written from
    // there with that time and announced. When the journal cannot be written, as ConfirmPassage.
    void ConfirmPassageAt(const QDateTime& passedAt);
    // True when the row is in the passage log. False when the database refused it: the passage
    // is then in the journal (unless even that failed: it is then held in memory, logged, and
    // JournalWritable answers false) and reconnecting has been asked for.
    bool RegisterPassage(const QString& personNumber, bool isEntry);
    // Writes the journal's passages to the database, oldest first, and announces each one.
    // A passage the database refuses stays in the journal and the rest go on; the run stops
    // when the database refuses two in a row and is not known to take writes (it is down or
    // locked, not refusing one row). The number written. Quietly nothing while the database
    // connection is closed.
    //
    // A refusal counts against a passage only when the database took another write in the
    // same run or in the registration that follows it: an unreachable or locked database
    // refuses everything and costs nothing. After JournalAttempts counted refusals the passage
    // is moved to the dead-letter file beside the journal and logged with the database's
    // reason.
    int ReplayJournal();
    static constexpr int JournalAttempts = 5;

    // False while a passage could be lost: the journal could not be written when it was last
    // needed and still cannot be. Each call while false tries again (first with the passages
    // that could not be journaled, kept in memory meanwhile). The turnstile is not released
    // while this is false.
    bool JournalWritable();

    // Ticks of `tmrPassaEntr` and `tmrPassaSaida`.
    void tmrPassaEntrTimer();
    void tmrPassaSaidaTimer();

    // How many times the entry and exit panels changed colour since they were last started.
    int EntryBlinks = 0;
    int ExitBlinks = 0;
    static constexpr int BlinkChanges = 5;

    TXCommand xcmRegistro;
    TXCommand xcmRegistroPendente;

private:
    struct Refusal
    {
        JournaledPassage passage;
        QString reason;
    };
    void blink(int& counter, bool isEntry);
    // Writes one kept passage at its own time; true when its row was already there. Throws as
    // the command does.
    bool writeKept(const JournaledPassage& passage);
    void announceKept(const JournaledPassage& passage, bool alreadyThere);
    void countRefusals();
    void journalFailed();
    QDateTime serverNow() const;
    void writeLog(const QString& text) const;
    void logError(const QString& prefix, const QString& message) const;

    DeviceBinding& m_device;
    OnlineDisplay& m_display;
    TXConnection& m_connection;
    PassageJournal& m_journal;
    PassageHooks m_hooks;
    bool m_replaying = false;
    // Whether the latest write to the passage log went in.
    bool m_databaseTakesWrites = false;
    // Refusals of the latest journal run not counted yet.
    QList<Refusal> m_refusals;
    bool m_journalWritable = true;
    // Passages neither in the database nor in the journal, oldest first.
    QList<JournaledPassage> m_unjournaled;
};

} // namespace zul
