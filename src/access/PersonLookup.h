#pragma once

#include "access/PassageJournal.h"
#include "db/XDataSet.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

namespace zul {

class DeviceBinding;
class TXConnection;

// A date and time as the log and the status line write them: "dd/MM/yyyy HH:mm:ss", the
// Brazilian default, whatever the locale of the machine.
QString DefaultDateTimeText(const QDateTime& when);

// Turns an identification number into a person of the central database: the badge name to
// show and the direction of the passage, which is the opposite of the person's last recorded
// movement (the last time-clock punch for employees, the last turnstile passage for everybody
// else). Also reads the database server's clock, the time reference of the turnstile.
class PersonLookup
{
public:
    PersonLookup(TXConnection& connection, DeviceBinding& device);
    PersonLookup(const PersonLookup&) = delete;
    PersonLookup& operator=(const PersonLookup&) = delete;

    // Works on `device.userDados()`, whose PersonNumber the caller has set. True: the person
    // exists and BadgeName and IsEntry are set. False: nobody with that number, or the database
    // failed (the display then shows ORACLE_OFFLINE and the connection is re-opened); the record
    // keeps its other fields.
    bool LookUpPerson();

    // The database server's current date and time; the local time when it cannot be read.
    QDateTime GetServerTime();

    // The server's time without asking it: the local time moved by the difference between the
    // two clocks at the last successful GetServerTime (none before the first).
    QDateTime ServerNow() const;

    // ConnectDatabase(force, report) followed by ShowDbState with its answer. Unset: nothing is
    // re-opened.
    std::function<bool(bool force, bool report)> reconnect;
    // The report mode of the latest ConnectDatabase. Unset: off.
    std::function<bool()> reportMode;
    // Passages the turnstile confirmed that the database has not taken yet: a person's latest
    // one there is newer than anything the passage log holds. Unset: none.
    PassageJournal* journal = nullptr;

    TXQuery xqrPessoa;
    TXQuery xqrSentido;
    TXQuery xqrBatidaPonto;
    TXQuery xqrHoraServ;

private:
    void writeLog(const QString& text) const;
    // The statements follow the dialect of the connection, which a profile can change.
    void prepareStatements();
    std::optional<JournaledPassage> journaledPassage(const QString& number) const;

    TXConnection& m_connection;
    DeviceBinding& m_device;
    qint64 m_serverOffsetMs = 0;
};

} // namespace zul
