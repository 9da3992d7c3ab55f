#include "access/OnlineLoop.h"

#include "access/PersonLookup.h"
#include "access/TurnstileRelease.h"
#include "device/DeviceBinding.h"
#include "device/DeviceCodes.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/Messages.h"
#include "support/Text.h"
#include "support/Win1252.h"

#include <algorithm>

namespace zul {

using namespace Qt::StringLiterals;

namespace {

constexpr int PassSleepMs = 100;
constexpr int IdentificationLength = 10;

// Control characters (the zero bytes of a short card) would end up raw in the log file.
QString printable(const QString& text)
{
    QString shown = text;
    for (QChar& c : shown) {
        if (c.unicode() < 0x20)
            c = u'?';
    }
    return shown;
}

// Control characters shown as <hex>, so that an odd card reads plainly in the log.
QString visible(const QString& text)
{
    QString shown;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            shown += u'<' + QString::number(c.unicode(), 16).rightJustified(2, u'0').toUpper() + u'>';
        else
            shown += c;
    }
    return shown;
}

QString timeText(const QDateTime& when)
{
    return when.isValid() ? when.toString(u"dd/MM/yyyy HH:mm:ss"_s) : u"sem data"_s;
}

bool isRotationReport(const easyinner::OnlineEvent& event)
{
    return event.Origin == origin::NotPassed || event.Origin == origin::Passed;
}

QString cardNumber(const easyinner::OnlineEvent& event)
{
    return fromWin1252(QByteArray(event.Card, IdentificationLength));
}

QString bracketed(int result)
{
    return u"["_s + QString::number(result) + u"]"_s;
}

} // namespace

OnlineLoop::OnlineLoop(DeviceBinding& device, OnlineLoopSteps& steps)
    : m_device(device), m_steps(steps), m_record(ReleaseRecord::defaultFilePath(device.log().folder()))
{}

QDateTime OnlineLoop::ControllerNow() const
{
    if (m_clockSentAtMs < 0)
        return m_device.clock().now();
    return m_clockSent.addMSecs(m_device.clock().elapsedMs() - m_clockSentAtMs);
}

QDateTime OnlineLoop::EventTime(const easyinner::OnlineEvent& event)
{
    const QDate date(2000 + event.Year, event.Month, event.Day);
    const QTime time(event.Hour, event.Minute, event.Second);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

void OnlineLoop::writeLog(const QString& text) const
{
    m_device.log().write(text);
}

QString OnlineLoop::StateName(int state)
{
    switch (state) {
    case CompleteConnection:
        return u"Completar Conexão"_s;
    case SendConfiguration:
        return u"Enviar configuração Online"_s;
    case SendClock:
        return u"Enviar data e hora"_s;
    case SendStandingText:
        return u"Enviar mensagem principal"_s;
    case SendIdentificationForms:
        return u"Definir formas de entrada pela catraca"_s;
    case Polling:
        return u"¨¨¨¨¨¨¨¨¨¨¨¨¨¨ Pooling ¨¨¨¨¨¨¨¨¨¨¨¨¨¨"_s;
    case SendPassageText:
        return u"Enviar mensagem de passagem"_s;
    case Release:
        return u"Liberar catraca"_s;
    case WaitRotation:
        return u"Verificar giro da catraca"_s;
    default:
        return {};
    }
}

void OnlineLoop::RunOnlineLoop()
{
    BeginRun();
    while (!m_device.IsStopRequested()) {
        if (!RunPass())
            return;
    }
    m_device.ShowStatus(status::Disconnected);
}

void OnlineLoop::BeginRun()
{
    HousekeepingRuns = 0;
    m_lastStateName.clear();
    m_rotationWaitFromMs = m_device.clock().elapsedMs();
    // A run starts with nobody waiting at the turnstile, whatever the previous run left behind
    // (it may have ended between an identification and the rotation); otherwise the pings of
    // state 0, which are skipped while somebody walks through, would never be sent again.
    m_device.EndPassage();
    writeLog(QString());
    writeLog(u"¬¬¬¬¬¬¬¬¬¬¬¬¬¬ Controla Catraca ¬¬¬¬¬¬¬¬¬¬¬¬¬¬¬"_s);
    writeLog(QString());
}

bool OnlineLoop::RunPass()
{
    try {
        const QString name = StateName(m_device.loopState());
        if (name != m_lastStateName) {
            m_lastStateName = name;
            writeLog(u"Estado Atual: \""_s + name + u"\""_s);
        }
        switch (m_device.loopState()) {
        case CompleteConnection:
            completeConnection();
            break;
        case SendConfiguration:
            sendConfiguration();
            break;
        case SendClock:
            sendClock();
            break;
        case SendStandingText:
            sendStandingText();
            break;
        case SendIdentificationForms:
            sendIdentificationForms();
            break;
        case Polling:
            polling();
            break;
        case SendPassageText:
            sendPassageText();
            break;
        case Release:
            release();
            break;
        case WaitRotation:
            waitRotation();
            break;
        default:
            break;
        }
        ProcessMessages();
        m_device.clock().sleep(PassSleepMs);
        return true;
    } catch (const std::exception& error) {
        failRun(ErrorText(error));
        return false;
    }
}

void OnlineLoop::failRun(const QString& message)
{
    m_device.RequestStop();
    writeLog(QString());
    writeLog(u"################ Controla catraca - ERRO: "_s + message);
    writeLog(QString());
    m_device.IniCatraca();
}

// --- states ----------------------------------------------------------------------------------

void OnlineLoop::completeConnection()
{
    ++ConnectAttempts;
    m_device.RecordResult(m_device.PingDevice());
    if (m_device.lastResult() == 0) {
        m_device.SetStatusText(m_device.ShowStatus(status::Connected));
        writeLog(m_device.statusText());
        m_device.EnterState(SendConfiguration);
    } else if (ConnectAttempts < ConnectAttemptsReported) {
        m_device.ShowStatus(status::Trying);
    } else {
        writeLog(u"Mais de "_s + QString::number(ConnectAttempts) +
                 u" tentativas de conectar com a catraca sem sucesso"_s);
        m_device.ShowStatus(status::NotConnected);
        ConnectAttempts = 0;
    }
}

// The configuration states: on success the line `done` and the next state; otherwise the
// line `failed` with the result, and the state is tried again on the next pass.
void OnlineLoop::advanceOnSuccess(const QString& done, const QString& failed, State next)
{
    if (m_device.lastResult() == 0) {
        writeLog(done);
        m_device.EnterState(next);
    } else {
        writeLog(failed + bracketed(m_device.lastResult()));
    }
}

void OnlineLoop::sendConfiguration()
{
    m_device.RecordResult(m_device.SendOnlineConfig());
    advanceOnSuccess(u"Configurações onLine enviadas"_s, u"Erro ao enviar configurações onLine"_s, SendClock);
}

void OnlineLoop::sendClock()
{
    const QDateTime when = m_steps.GetServerTime();
    const QDate date = when.date();
    const QTime time = when.time();
    m_device.Invoke<easyinner::EnviarRelogio>(m_device.deviceNumber(), date.day(), date.month(),
                                              date.year() % 100, time.hour(), time.minute(), time.second());
    m_device.SetStatusText(DefaultDateTimeText(when));
    if (m_device.lastResult() == 0) {
        // The controller keeps whole seconds.
        m_clockSent = when.addMSecs(-when.time().msec());
        m_clockSentAtMs = m_device.clock().elapsedMs();
    }
    advanceOnSuccess(u"Data e Hora ("_s + m_device.statusText() + u") enviadas para a catraca"_s,
                     u"Data e Hora ("_s + m_device.statusText() + u") não enviadas para a catraca. Erro"_s,
                     SendStandingText);
}

void OnlineLoop::sendStandingText()
{
    m_device.RecordResult(m_steps.SendStandingMessage());
    advanceOnSuccess(u"Enviou mensagem principal"_s, u"Não enviou mensagem principal. Erro"_s,
                     SendIdentificationForms);
}

void OnlineLoop::sendIdentificationForms()
{
    const int forms = m_steps.IdentificationFormsCode();
    m_device.Invoke<easyinner::EnviarFormasEntradasOnLine>(m_device.deviceNumber(), 10, 1, forms, 15, 16);
    advanceOnSuccess(u"Formas de entrada definidas"_s, u"Formas de entrada não definidas. Erro"_s, Polling);
}

void OnlineLoop::polling()
{
    housekeeping();
    // The checks may have run a synchronisation and asked for a restart: a loop told to stop
    // makes no further call, and the queue waits for the loop that follows.
    if (m_device.IsStopRequested())
        return;
    // A queued template change goes first, even with people waiting: identifications are read
    // again once the queue is empty.
    if (m_steps.HasPendingUpdate()) {
        m_steps.RunQueueStep();
        return;
    }
    if (m_clockSentAtMs >= 0 && m_device.clock().elapsedMs() - m_clockSentAtMs >= ClockResendIntervalMs) {
        m_device.EnterState(SendClock);
        return;
    }
    identification();
}

void OnlineLoop::housekeeping()
{
    if (LoopPasses >= StatusRefreshPasses) {
        m_device.ShowStatus(status::Connected);
        LoopPasses = 0;
    }
    if (LoopPasses > LoopPassesLimit)
        LoopPasses = 0;
    ++LoopPasses;

    if (HousekeepingPasses >= HousekeepingInterval) {
        if (HousekeepingRuns > HousekeepingLimit)
            HousekeepingRuns = 0;
        m_steps.CheckScheduledSync();
        m_steps.CheckNotificationSocket();
        ++HousekeepingRuns;
        m_steps.CheckDatabaseConnection();
        HousekeepingPasses = 0;
    }
    if (HousekeepingPasses > HousekeepingLimit)
        HousekeepingPasses = 0;
    ++HousekeepingPasses;

    const TMessages& messages = m_device.messages();
    m_steps.SetHousekeepingCaption(messages.Lookup(u"ADO"_s) + QString::number(HousekeepingRuns) + u" -> "_s +
                                   messages.Lookup(u"LOOPS"_s) + QString::number(HousekeepingPasses));
}

void OnlineLoop::identification()
{
    easyinner::OnlineEvent event;
    m_device.Invoke<easyinner::ReceberDadosOnLine>(m_device.deviceNumber(), &event.Origin, &event.Complement,
                                                   event.Card, &event.Day, &event.Month, &event.Year,
                                                   &event.Hour, &event.Minute, &event.Second);
    if (m_device.lastResult() == 0 && isRotationReport(event)) {
        // The end of a release, never an identification: the arm is not released for it.
        strayRotationReport(event);
        m_device.RecordResult(1);
    }
    if (m_device.lastResult() == 0) {
        const QByteArray bytes(event.Card, IdentificationLength);
        int sum = 0;
        for (const char byte : bytes)
            sum += static_cast<unsigned char>(byte);
        if (sum == 0) {
            m_device.RecordResult(1); // nothing was identified
        } else {
            const QString number = fromWin1252(bytes);
            const QString prefix = number.left(3);
            const bool isNumber =
                std::all_of(prefix.begin(), prefix.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
            const int value = prefix.toInt();
            if (!isNumber) {
                // An odd card or a faulty reader: not this system's numbering either.
                writeLog(u"Identificação fora da numeração ignorada: '"_s + visible(number) + u"'"_s);
                m_device.RecordResult(1);
            } else if (value != 0) {
                // Numbers of another numbering (other badges, other sites) are not ours.
                m_device.RecordResult(1);
            } else {
                const QDateTime at = EventTime(event);
                if (!at.isValid() || at.secsTo(ControllerNow()) > IdentificationMaxAgeSeconds) {
                    // Tapped while nobody answered (the program or the link was down).
                    writeLog(u"Identificação antiga ignorada: "_s + printable(number) + u" em "_s +
                             timeText(at));
                    m_device.RecordResult(1);
                } else if (releaseStillOpen()) {
                    writeLog(u"Identificação ignorada durante a passagem anterior: "_s + printable(number));
                    m_device.RecordResult(1);
                } else {
                    m_device.userDados().PersonNumber = number;
                    writeLog(u"Usuário tentando passar: "_s + printable(number));
                    m_identifiedAtMs = m_device.clock().elapsedMs();
                    m_recordWritten = false;
                    PersonFound = m_steps.LookUpPerson();
                    if (PersonFound) {
                        m_steps.ShowPassageWaiting();
                        m_device.BeginPassage();
                    }
                }
            }
        }
    }
    if (m_device.lastResult() == 0)
        m_device.EnterState(SendPassageText);
}

bool OnlineLoop::releaseStillOpen()
{
    QString problem;
    const std::optional<PendingRelease> pending = m_record.pending(&problem);
    if (!problem.isEmpty())
        writeLog(u"Registro de liberação ignorado ("_s + problem + u"): "_s + m_record.filePath());
    if (!pending)
        return false;
    if (pending->ReleasedAt.secsTo(ControllerNow()) * 1000 < RotationReportTimeoutMs)
        return true;
    // The controller would have reported its end by now: the release went unused, or its report
    // was read by a run that stopped before it could close the record (the passage is then in
    // the journal already).
    writeLog(u"Liberação sem giro informado encerrada: "_s + printable(pending->PersonNumber) + u" em "_s +
             timeText(pending->ReleasedAt));
    clearRecord();
    return false;
}

void OnlineLoop::strayRotationReport(const easyinner::OnlineEvent& event)
{
    const QDateTime at = EventTime(event);
    const QString origin = QString::number(event.Origin);
    const std::optional<PendingRelease> pending = m_record.pending();
    if (!pending) {
        writeLog(u"Giro da catraca sem liberação pendente ignorado (origem "_s + origin + u")"_s);
        return;
    }
    if (at.isValid() && at.secsTo(pending->ReleasedAt) > RotationClockSlackSeconds) {
        writeLog(u"Giro da catraca anterior à liberação pendente ignorado (origem "_s + origin + u")"_s);
        return;
    }
    // The controller ends a release within the report time-out; a later rotation is another
    // one (both directions opened for everybody, for example).
    if (at.isValid() &&
        pending->ReleasedAt.secsTo(at) > RotationReportTimeoutMs / 1000 + RotationClockSlackSeconds) {
        writeLog(u"Giro da catraca posterior à liberação pendente ignorado (origem "_s + origin + u")"_s);
        return;
    }
    // The end of the release a previous run made for this person.
    writeLog(u"Giro da catraca da liberação pendente de "_s + printable(pending->PersonNumber) +
             u" (origem "_s + origin + u")"_s);
    m_device.userDados().PersonNumber = pending->PersonNumber;
    m_device.userDados().BadgeName = pending->BadgeName;
    m_device.userDados().IsEntry = pending->IsEntry;
    PersonFound = true;
    rotationReported(event);
}

void OnlineLoop::rotationReported(const easyinner::OnlineEvent& event)
{
    if (event.Origin == origin::Passed) {
        const QDateTime at = EventTime(event);
        // Made durable before the record is closed: a crash in between leaves the passage
        // once, and a record that ages out.
        m_steps.ConfirmPassageAt(at.isValid() ? at : ControllerNow());
    } else {
        m_steps.ShowPassageMissed();
    }
    clearRecord();
}

void OnlineLoop::clearRecord()
{
    try {
        m_record.clear();
    } catch (const Error& error) {
        writeLog(u"Registro de liberação - ERRO: "_s + error.message());
    }
}

void OnlineLoop::giveUpIdentification()
{
    m_device.EndPassage();
    m_device.EnterState(SendStandingText);
}

void OnlineLoop::sendPassageText()
{
    m_device.RecordResult(1);
    if (!PersonFound) {
        // Nobody to let through (unknown number, or the database failed and was re-opened):
        // the standing message and the identification forms are sent again and polling
        // resumes, instead of repeating this state for ever.
        writeLog(u"Pessoa não identificada: "_s + printable(m_device.userDados().PersonNumber));
        m_device.EndPassage();
        m_device.EnterState(SendStandingText);
        return;
    }
    if (m_device.Bound<easyinner::EnviarMensagemTemporariaOnLine>() != nullptr) {
        if (IsBlank(m_device.userDados().BadgeName)) {
            // A person without a usable badge name is refused, and the connection restarts.
            m_device.Call<easyinner::EnviarMensagemTemporariaOnLine>(
                m_device.deviceNumber(), 0, toWin1252(m_device.messages().Lookup(u"ENTR_INV"_s)).constData(),
                5);
            m_device.IniCatraca();
        } else {
            m_device.RecordResult(m_steps.SendPassageMessage(m_device.userDados().IsEntry));
        }
    }
    if (m_device.lastResult() == 0) {
        m_device.EnterState(Release);
        writeLog(u"Enviou mensagem ao usuário"_s);
    } else {
        writeLog(u"Não nviou mensagem ao usuário. Erro"_s + bracketed(m_device.lastResult()));
        if (!m_device.IsStopRequested() &&
            m_device.clock().elapsedMs() - m_identifiedAtMs >= PassageMessageRetryMs) {
            // Whoever tapped will not wait for ever; the arm stays locked.
            writeLog(u"Passagem abandonada, a catraca recusou a mensagem: "_s +
                     printable(m_device.userDados().PersonNumber));
            giveUpIdentification();
        }
    }
}

void OnlineLoop::release()
{
    m_device.RecordResult(1);
    if (PersonFound && !m_steps.JournalWritable()) {
        // Nobody passes whose passage might be lost.
        writeLog(u"Catraca não liberada: diário de passagens não pode ser gravado"_s);
        giveUpIdentification();
        return;
    }
    if (PersonFound) {
        const TUserDados& person = m_device.userDados();
        if (!m_recordWritten) {
            // On record before the arm moves: whatever happens next, the report of its end is
            // matched to this person.
            try {
                m_record.write(
                    PendingRelease{person.PersonNumber, person.BadgeName, person.IsEntry, ControllerNow()});
                m_recordWritten = true;
            } catch (const Error& error) {
                writeLog(u"Registro de liberação - ERRO: "_s + error.message());
                writeLog(u"Catraca não liberada para "_s + printable(person.PersonNumber));
                giveUpIdentification();
                return;
            }
        }
        m_device.RecordResult(ReleaseTurnstile(m_device, person.IsEntry ? 'E' : 'S'));
    }
    if (m_device.lastResult() == 0) {
        m_device.EnterState(WaitRotation);
        m_rotationWaitFromMs = m_device.clock().elapsedMs();
    }
}

void OnlineLoop::waitRotation()
{
    easyinner::OnlineEvent& event = m_rotationEvent;
    m_device.Invoke<easyinner::ReceberDadosOnLine>(m_device.deviceNumber(), &event.Origin, &event.Complement,
                                                   event.Card, &event.Day, &event.Month, &event.Year,
                                                   &event.Hour, &event.Minute, &event.Second);
    if (m_device.lastResult() != 0) {
        if (m_device.clock().elapsedMs() - m_rotationWaitFromMs >= RotationReportTimeoutMs) {
            // The release stays on record: the next run matches a late report to it.
            throw Error(u"Catraca não informou o giro em "_s +
                        QString::number(RotationReportTimeoutMs / 1000) + u" segundos"_s);
        }
        return;
    }
    if (!isRotationReport(event)) {
        // Somebody else tapped while the arm is released for this person: answered by nobody,
        // that person taps again once the turnstile is free.
        const QString number = cardNumber(event);
        if (number.count(QChar(0)) != number.size())
            writeLog(u"Identificação ignorada durante a passagem: "_s + visible(number));
        m_device.RecordResult(1);
        return;
    }
    if (PersonFound)
        rotationReported(event);
    m_device.EndPassage();
    m_device.EnterState(SendStandingText);
}

} // namespace zul
