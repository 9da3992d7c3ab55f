#include "access/PassageFeedback.h"

#include "access/OnlineDisplay.h"
#include "access/PassageJournal.h"
#include "db/Statements.h"
#include "db/XConnection.h"
#include "device/DeviceBinding.h"
#include "device/DeviceCodes.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/Messages.h"

#include <QScopedValueRollback>
#include <QTimer>
#include <algorithm>
#include <exception>
#include <utility>

namespace zul {

using namespace Qt::StringLiterals;

namespace {

QString directionCode(bool isEntry)
{
    return isEntry ? u"E"_s : u"S"_s;
}

QString broadcastPrefix(bool isEntry)
{
    return isEntry ? u"[ENT]"_s : u"[SAI]"_s;
}

} // namespace

PassageFeedback::PassageFeedback(DeviceBinding& device, OnlineDisplay& display, TXConnection& connection,
                                 PassageJournal& journal, PassageHooks hooks, QObject* parent)
    : QObject(parent), m_device(device), m_display(display), m_connection(connection), m_journal(journal),
      m_hooks(std::move(hooks))
{
    xcmRegistro.setObjectName(u"xcmRegistro"_s);
    xcmRegistroPendente.setObjectName(u"xcmRegistroPendente"_s);
    xcmRegistro.SetConnection(&m_connection);
    xcmRegistroPendente.SetConnection(&m_connection);
    connect(m_display.tmrPassaEntr, &QTimer::timeout, this, &PassageFeedback::tmrPassaEntrTimer);
    connect(m_display.tmrPassaSaida, &QTimer::timeout, this, &PassageFeedback::tmrPassaSaidaTimer);
}

void PassageFeedback::writeLog(const QString& text) const
{
    m_device.log().write(text);
}

void PassageFeedback::logError(const QString& prefix, const QString& message) const
{
    writeLog(QString());
    writeLog(prefix + u" - ERRO: "_s + message);
    writeLog(QString());
}

QDateTime PassageFeedback::serverNow() const
{
    const QDateTime now = m_hooks.serverNow ? m_hooks.serverNow() : QDateTime();
    return now.isValid() ? now : m_device.clock().now();
}

void PassageFeedback::ShowPassageWaiting()
{
    const TUserDados& person = m_device.userDados();
    const bool entry = person.IsEntry;
    int& counter = entry ? EntryBlinks : ExitBlinks;
    // A blink still running goes on with the ticks it has left rather than starting over.
    if (counter > BlinkChanges)
        counter = 0;
    m_display.setLine2(entry ? DisplayMessage::Entry : DisplayMessage::Exit, person.BadgeName);
    m_display.setConfirmation(entry, m_device.messages().Lookup(u"CONFIRMAR"_s));
    m_device.BeginPassage();
    QTimer* timer = m_display.blinkTimer(entry);
    if (!timer->isActive())
        timer->start();
    writeLog(entry ? u"Sentido: Entrada"_s : u"Sentido: Saída"_s);
}

void PassageFeedback::tmrPassaEntrTimer()
{
    blink(EntryBlinks, true);
}

void PassageFeedback::tmrPassaSaidaTimer()
{
    blink(ExitBlinks, false);
}

void PassageFeedback::blink(int& counter, bool isEntry)
{
    if (counter >= BlinkChanges)
        m_display.blinkTimer(isEntry)->stop();
    m_display.setPanelColor(isEntry, m_display.panelColor(isEntry) == OnlineDisplay::BlinkColor
                                         ? OnlineDisplay::PanelColor
                                         : OnlineDisplay::BlinkColor);
    ++counter;
}

void PassageFeedback::ShowPassageMissed()
{
    const TUserDados& person = m_device.userDados();
    if (person.IsEntry) {
        m_display.setConfirmation(true, m_device.messages().Lookup(u"NAO_PASSOU"_s));
        writeLog(u"Usuário "_s + person.BadgeName + u" não confirmou entrada"_s);
    } else {
        m_display.setConfirmation(false, m_device.messages().Lookup(u"NAO_PASSOU"_s));
        writeLog(u"Usuário "_s + person.BadgeName + u" não confirmou saída"_s);
    }
}

void PassageFeedback::ConfirmPassage()
{
    const TUserDados person = m_device.userDados();
    if (!RegisterPassage(person.PersonNumber, person.IsEntry))
        return;
    if (person.IsEntry) {
        writeLog(u"Usuário "_s + person.BadgeName + u" confirmou sua entrada"_s);
        m_display.setConfirmation(true, m_device.messages().Lookup(u"PASSOU"_s));
    } else {
        writeLog(u"Usuário "_s + person.BadgeName + u" confirmou sua saída"_s);
        m_display.setConfirmation(false, m_device.messages().Lookup(u"PASSOU"_s));
    }
    if (m_hooks.broadcast)
        m_hooks.broadcast(person.PersonNumber, broadcastPrefix(person.IsEntry));
}

void PassageFeedback::ConfirmPassageAt(const QDateTime& passedAt)
{
    const TUserDados person = m_device.userDados();
    const QString at = PassageJournal::timeText(passedAt);
    bool olderWaiting = false;
    try {
        olderWaiting = !m_journal.isEmpty();
        m_journal.append(JournaledPassage{person.PersonNumber, person.IsEntry, passedAt});
    } catch (const Error& error) {
        logError(u"Guarda passagem"_s, error.message());
        ConfirmPassage();
        return;
    }
    if (olderWaiting) {
        // Written in their order, this one last, and announced by the replay.
        ReplayJournal();
    } else {
        writeLog(u"Registrar passagem para "_s + person.PersonNumber);
        QString failure;
        try {
            xcmRegistroPendente.SetSQL(
                db::StatementText(db::StatementId::RegistroPendente, m_connection.Dialect()));
            xcmRegistroPendente.ParamByName(u"NRPESSOA"_s).SetAsString(person.PersonNumber);
            xcmRegistroPendente.ParamByName(u"IDREGISCATRACA"_s).SetAsString(directionCode(person.IsEntry));
            xcmRegistroPendente.ParamByName(u"DTREGISCATRACA"_s).SetAsString(at);
            xcmRegistroPendente.Execute();
            // Out of the journal only once the row is in; a crash in between leaves one row.
            m_journal.removeFirst();
            writeLog(u"Passagem registrada"_s);
            m_display.setConfirmation(person.IsEntry, m_device.messages().Lookup(u"PASSOU"_s));
            if (m_hooks.broadcast)
                m_hooks.broadcast(person.PersonNumber, broadcastPrefix(person.IsEntry));
        } catch (const Error& error) {
            failure = error.message();
        } catch (const std::exception& error) {
            failure = ErrorText(error);
        }
        if (!failure.isEmpty())
            logError(u"Registra acesso"_s, failure);
    }
    const QList<JournaledPassage>& waiting = m_journal.entries();
    if (std::any_of(waiting.begin(), waiting.end(), [&](const JournaledPassage& p) {
            return p.PersonNumber == person.PersonNumber && p.IsEntry == person.IsEntry &&
                   PassageJournal::timeText(p.PassedAt) == at;
        })) {
        // Written later, by the replay after reconnecting.
        writeLog(u"Passagem guardada para registro posterior: "_s + person.PersonNumber + u" em "_s + at);
        if (m_hooks.reconnect)
            m_hooks.reconnect(true, true);
        return;
    }
    writeLog(u"Usuário "_s + person.BadgeName +
             (person.IsEntry ? u" confirmou sua entrada"_s : u" confirmou sua saída"_s));
}

bool PassageFeedback::RegisterPassage(const QString& personNumber, bool isEntry)
{
    // Taken first: the insert below may hang until the driver gives up.
    const QDateTime passedAt = serverNow();
    ReplayJournal();
    writeLog(u"Registrar passagem para "_s + personNumber);
    QString failure;
    try {
        xcmRegistro.SetSQL(db::StatementText(db::StatementId::Registro, m_connection.Dialect()));
        xcmRegistro.ParamByName(u"NRPESSOA"_s).SetAsString(personNumber);
        xcmRegistro.ParamByName(u"IDREGISCATRACA"_s).SetAsString(directionCode(isEntry));
        xcmRegistro.Execute();
        writeLog(u"Passagem registrada"_s);
        m_databaseTakesWrites = true;
        countRefusals();
        return true;
    } catch (const Error& error) {
        failure = error.message();
    } catch (const std::exception& error) {
        failure = ErrorText(error);
    }
    m_databaseTakesWrites = false;
    m_refusals.clear();
    logError(u"Registra acesso"_s, failure);
    // Kept before anything else is tried, so that neither a reconnect that never returns nor
    // a crash loses the passage.
    const JournaledPassage passage{personNumber, isEntry, passedAt};
    try {
        m_journal.append(passage);
        writeLog(u"Passagem guardada para registro posterior: "_s + personNumber + u" em "_s +
                 PassageJournal::timeText(passedAt));
    } catch (const Error& error) {
        // Held here until the journal or the database takes it; the turnstile stays locked
        // meanwhile (JournalWritable).
        m_unjournaled << passage;
        logError(u"Guarda passagem"_s, error.message());
        journalFailed();
    }
    if (m_hooks.reconnect)
        m_hooks.reconnect(true, true);
    return false;
}

void PassageFeedback::journalFailed()
{
    if (m_journalWritable)
        writeLog(u"Diário de passagens não pode ser gravado: a catraca não será liberada até que possa"_s);
    m_journalWritable = false;
    m_device.ShowStatus(status::GivenText, u"Diário de passagens não gravado - catraca bloqueada"_s);
}

bool PassageFeedback::JournalWritable()
{
    if (m_journalWritable)
        return true;
    try {
        while (!m_unjournaled.isEmpty()) {
            m_journal.append(m_unjournaled.first());
            writeLog(u"Passagem guardada para registro posterior: "_s + m_unjournaled.first().PersonNumber +
                     u" em "_s + PassageJournal::timeText(m_unjournaled.first().PassedAt));
            m_unjournaled.removeFirst();
        }
        m_journal.checkWritable();
    } catch (const Error&) {
        m_device.ShowStatus(status::GivenText, u"Diário de passagens não gravado - catraca bloqueada"_s);
        return false;
    }
    m_journalWritable = true;
    writeLog(u"Diário de passagens gravável novamente"_s);
    return true;
}

bool PassageFeedback::writeKept(const JournaledPassage& passage)
{
    const QString at = PassageJournal::timeText(passage.PassedAt);
    writeLog(u"Registrar passagem pendente para "_s + passage.PersonNumber + u" em "_s + at);
    xcmRegistroPendente.SetSQL(db::StatementText(db::StatementId::RegistroPendente, m_connection.Dialect()));
    xcmRegistroPendente.ParamByName(u"NRPESSOA"_s).SetAsString(passage.PersonNumber);
    xcmRegistroPendente.ParamByName(u"IDREGISCATRACA"_s).SetAsString(directionCode(passage.IsEntry));
    xcmRegistroPendente.ParamByName(u"DTREGISCATRACA"_s).SetAsString(at);
    xcmRegistroPendente.Execute();
    // No row written: an earlier run wrote it and stopped before it could clear the journal,
    // so it was never announced either.
    return xcmRegistroPendente.RowsAffected() == 0;
}

void PassageFeedback::announceKept(const JournaledPassage& passage, bool alreadyThere)
{
    writeLog(alreadyThere ? u"Passagem pendente já estava registrada"_s : u"Passagem registrada"_s);
    // The panel still waiting for this very passage can now say it went through.
    const TUserDados& shown = m_device.userDados();
    if (shown.PersonNumber == passage.PersonNumber && shown.IsEntry == passage.IsEntry)
        m_display.setConfirmation(passage.IsEntry, m_device.messages().Lookup(u"PASSOU"_s));
    if (m_hooks.broadcast)
        m_hooks.broadcast(passage.PersonNumber, broadcastPrefix(passage.IsEntry));
}

int PassageFeedback::ReplayJournal()
{
    // The reconnect asked for by a failed registration may bring the program back here.
    if (m_replaying)
        return 0;
    const QScopedValueRollback guard(m_replaying, true);
    int written = 0;
    try {
        if (!m_connection.Connected())
            return 0;
        // Passages the journal could not take go to the database directly when it can.
        if (!m_unjournaled.isEmpty() && !JournalWritable()) {
            try {
                while (!m_unjournaled.isEmpty()) {
                    const JournaledPassage passage = m_unjournaled.first();
                    const bool alreadyThere = writeKept(passage);
                    m_unjournaled.removeFirst();
                    ++written;
                    announceKept(passage, alreadyThere);
                }
            } catch (const std::exception& error) {
                logError(u"Registra acesso pendente"_s, ErrorText(error));
                return written;
            }
        }
        if (m_journal.isEmpty())
            return written;
        m_refusals.clear();
        int refusedInARow = 0;
        qsizetype index = 0;
        while (index < m_journal.entries().size()) {
            const JournaledPassage passage = m_journal.entries().at(index);
            QString failure;
            try {
                const bool alreadyThere = writeKept(passage);
                m_journal.removeAt(index);
                ++written;
                refusedInARow = 0;
                announceKept(passage, alreadyThere);
                continue;
            } catch (const Error& error) {
                failure = error.message();
            } catch (const std::exception& error) {
                failure = ErrorText(error);
            }
            logError(u"Registra acesso pendente"_s, failure);
            m_refusals << Refusal{passage, failure};
            if (++refusedInARow >= 2 && written == 0 && !m_databaseTakesWrites)
                break;
            ++index;
        }
        // Refusals count now only when the database took another passage in this run; else
        // the registration that follows may show it takes writes (RegisterPassage).
        if (written > 0 || !m_refusals.isEmpty())
            m_databaseTakesWrites = written > 0;
        if (written > 0)
            countRefusals();
    } catch (const Error& error) {
        logError(u"Registra acesso pendente"_s, error.message());
        journalFailed();
    } catch (const std::exception& error) {
        logError(u"Registra acesso pendente"_s, ErrorText(error));
    }
    return written;
}

void PassageFeedback::countRefusals()
{
    const QList<Refusal> refusals = std::exchange(m_refusals, {});
    try {
        for (const Refusal& refusal : refusals) {
            const QList<JournaledPassage>& entries = m_journal.entries();
            const auto same = [&](const JournaledPassage& p) {
                return p.PersonNumber == refusal.passage.PersonNumber &&
                       p.IsEntry == refusal.passage.IsEntry && p.PassedAt == refusal.passage.PassedAt;
            };
            const qsizetype index = std::find_if(entries.cbegin(), entries.cend(), same) - entries.cbegin();
            if (index >= entries.size())
                continue;
            if (m_journal.countAttempt(index) < JournalAttempts)
                continue;
            m_journal.moveToDeadLetter(index, refusal.reason);
            writeLog(u"Passagem pendente para "_s + refusal.passage.PersonNumber + u" em "_s +
                     PassageJournal::timeText(refusal.passage.PassedAt) + u" recusada "_s +
                     QString::number(JournalAttempts) + u" vezes pelo banco de dados; movida para "_s +
                     m_journal.deadLetterPath());
            logError(u"Passagem recusada"_s, refusal.reason);
        }
    } catch (const Error& error) {
        logError(u"Registra acesso pendente"_s, error.message());
        journalFailed();
    }
}

} // namespace zul
