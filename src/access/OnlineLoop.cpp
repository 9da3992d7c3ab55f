#include "access/OnlineLoop.h"

#include "access/PersonLookup.h"
#include "access/TurnstileRelease.h"
#include "device/DeviceBinding.h"
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

QString bracketed(int result)
{
    return u"["_s + QString::number(result) + u"]"_s;
}

} // namespace

OnlineLoop::OnlineLoop(DeviceBinding& device, OnlineLoopSteps& steps) : m_device(device), m_steps(steps) {}

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
    while (!m_device.StopFlag) {
        if (!RunPass())
            return;
    }
    m_device.ShowStatus(4);
}

void OnlineLoop::BeginRun()
{
    HousekeepingRuns = 0;
    m_lastStateName.clear();
    // A run starts with nobody waiting at the turnstile, whatever the previous run left behind
    // (it may have ended between an identification and the rotation); otherwise the pings of
    // state 0, which are skipped while somebody walks through, would never be sent again.
    m_device.PassageIdle = true;
    writeLog(QString());
    writeLog(u"¬¬¬¬¬¬¬¬¬¬¬¬¬¬ Controla Catraca ¬¬¬¬¬¬¬¬¬¬¬¬¬¬¬"_s);
    writeLog(QString());
}

bool OnlineLoop::RunPass()
{
    try {
        const QString name = StateName(m_device.LoopState);
        if (name != m_lastStateName) {
            m_lastStateName = name;
            writeLog(u"Estado Atual: \""_s + name + u"\""_s);
        }
        switch (m_device.LoopState) {
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
    m_device.StopFlag = true;
    writeLog(QString());
    writeLog(u"################ Controla catraca - ERRO: "_s + message);
    writeLog(QString());
    m_device.IniCatraca();
}

// --- states ----------------------------------------------------------------------------------

void OnlineLoop::completeConnection()
{
    ++ConnectAttempts;
    m_device.LastDeviceResult = 1;
    m_device.LastDeviceResult = m_device.PingDevice();
    if (m_device.LastDeviceResult == 0) {
        m_device.StatusText = m_device.ShowStatus(1);
        writeLog(m_device.StatusText);
        m_device.LoopState = SendConfiguration;
    } else if (ConnectAttempts < ConnectAttemptsReported) {
        m_device.ShowStatus(0);
    } else {
        writeLog(u"Mais de "_s + QString::number(ConnectAttempts) +
                 u" tentativas de conectar com a catraca sem sucesso"_s);
        m_device.ShowStatus(2);
        ConnectAttempts = 0;
    }
}

// The configuration states: on success the line `done` and the next state; otherwise the
// line `failed` with the result, and the state is tried again on the next pass.
void OnlineLoop::advanceOnSuccess(const QString& done, const QString& failed, State next)
{
    if (m_device.LastDeviceResult == 0) {
        writeLog(done);
        m_device.LoopState = next;
    } else {
        writeLog(failed + bracketed(m_device.LastDeviceResult));
    }
}

void OnlineLoop::sendConfiguration()
{
    m_device.LastDeviceResult = 1;
    m_device.LastDeviceResult = m_device.SendOnlineConfig();
    advanceOnSuccess(u"Configurações onLine enviadas"_s, u"Erro ao enviar configurações onLine"_s, SendClock);
}

void OnlineLoop::sendClock()
{
    const QDateTime when = m_steps.GetServerTime();
    const QDate date = when.date();
    const QTime time = when.time();
    m_device.LastDeviceResult = 1;
    m_device.CallInto<easyinner::EnviarRelogio>(m_device.LastDeviceResult, m_device.DeviceNumber, date.day(),
                                                date.month(), date.year() % 100, time.hour(), time.minute(),
                                                time.second());
    m_device.StatusText = DefaultDateTimeText(when);
    advanceOnSuccess(u"Data e Hora ("_s + m_device.StatusText + u") enviadas para a catraca"_s,
                     u"Data e Hora ("_s + m_device.StatusText + u") não enviadas para a catraca. Erro"_s,
                     SendStandingText);
}

void OnlineLoop::sendStandingText()
{
    m_device.LastDeviceResult = 1;
    m_device.LastDeviceResult = m_steps.SendStandingMessage();
    advanceOnSuccess(u"Enviou mensagem principal"_s, u"Não enviou mensagem principal. Erro"_s,
                     SendIdentificationForms);
}

void OnlineLoop::sendIdentificationForms()
{
    const int forms = m_steps.IdentificationFormsCode();
    m_device.LastDeviceResult = 1;
    m_device.CallInto<easyinner::EnviarFormasEntradasOnLine>(m_device.LastDeviceResult, m_device.DeviceNumber,
                                                             10, 1, forms, 15, 16);
    advanceOnSuccess(u"Formas de entrada definidas"_s, u"Formas de entrada não definidas. Erro"_s, Polling);
}

void OnlineLoop::polling()
{
    housekeeping();
    // The checks may have run a synchronisation and asked for a restart: a loop told to stop
    // makes no further call, and the queue waits for the loop that follows.
    if (m_device.StopFlag)
        return;
    // A queued template change goes first, even with people waiting: identifications are read
    // again once the queue is empty.
    if (m_steps.HasPendingUpdate()) {
        m_steps.RunQueueStep();
        return;
    }
    identification();
}

void OnlineLoop::housekeeping()
{
    if (LoopPasses >= StatusRefreshPasses) {
        m_device.ShowStatus(1);
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
    m_device.LastDeviceResult = 1;
    m_device.CallInto<easyinner::ReceberDadosOnLine>(
        m_device.LastDeviceResult, m_device.DeviceNumber, &event.Origin, &event.Complement, event.Card,
        &event.Day, &event.Month, &event.Year, &event.Hour, &event.Minute, &event.Second);
    if (m_device.LastDeviceResult == 0) {
        const QByteArray bytes(event.Card, IdentificationLength);
        int sum = 0;
        for (const char byte : bytes)
            sum += static_cast<unsigned char>(byte);
        if (sum == 0) {
            m_device.LastDeviceResult = 1; // nothing was identified
        } else {
            const QString number = fromWin1252(bytes);
            const QString prefix = number.left(3);
            bool isNumber = false;
            const int value = prefix.toInt(&isNumber, 10);
            if (!isNumber)
                throw Error(u"'"_s + printable(prefix) + u"' is not a valid integer value"_s);
            if (value != 0) {
                // Numbers of another numbering (other badges, other sites) are not ours.
                m_device.LastDeviceResult = 1;
            } else {
                m_device.UserDados.PersonNumber = number;
                writeLog(u"Usuário tentando passar: "_s + printable(number));
                PersonFound = m_steps.LookUpPerson();
                if (PersonFound) {
                    m_steps.ShowPassageWaiting();
                    m_device.PassageIdle = false;
                }
            }
        }
    }
    if (m_device.LastDeviceResult == 0)
        m_device.LoopState = SendPassageText;
}

void OnlineLoop::sendPassageText()
{
    m_device.LastDeviceResult = 1;
    if (!PersonFound) {
        // Nobody to let through (unknown number, or the database failed and was re-opened):
        // the standing message and the identification forms are sent again and polling
        // resumes, instead of repeating this state for ever.
        writeLog(u"Pessoa não identificada: "_s + printable(m_device.UserDados.PersonNumber));
        m_device.PassageIdle = true;
        m_device.LoopState = SendStandingText;
        return;
    }
    easyinner::EnviarMensagemTemporariaOnLine::Pointer temporaryMessage = nullptr;
    if (m_device.BindEntryPoint(temporaryMessage, easyinner::EnviarMensagemTemporariaOnLine::name)) {
        if (IsBlank(m_device.UserDados.BadgeName)) {
            // A person without a usable badge name is refused, and the connection restarts.
            m_device.Call<easyinner::EnviarMensagemTemporariaOnLine>(
                m_device.DeviceNumber, 0, toWin1252(m_device.messages().Lookup(u"ENTR_INV"_s)).constData(),
                5);
            m_device.IniCatraca();
        } else {
            m_device.LastDeviceResult = m_steps.SendPassageMessage(m_device.UserDados.IsEntry);
        }
    }
    if (m_device.LastDeviceResult == 0) {
        m_device.LoopState = Release;
        writeLog(u"Enviou mensagem ao usuário"_s);
    } else {
        writeLog(u"Não nviou mensagem ao usuário. Erro"_s + bracketed(m_device.LastDeviceResult));
    }
}

void OnlineLoop::release()
{
    m_device.LastDeviceResult = 1;
    if (PersonFound)
        m_device.LastDeviceResult = ReleaseTurnstile(m_device, m_device.UserDados.IsEntry ? 'E' : 'S');
    if (m_device.LastDeviceResult == 0)
        m_device.LoopState = WaitRotation;
}

void OnlineLoop::waitRotation()
{
    easyinner::OnlineEvent& event = m_device.SharedEvent;
    m_device.LastDeviceResult = 1;
    m_device.CallInto<easyinner::ReceberDadosOnLine>(
        m_device.LastDeviceResult, m_device.DeviceNumber, &event.Origin, &event.Complement, event.Card,
        &event.Day, &event.Month, &event.Year, &event.Hour, &event.Minute, &event.Second);
    if (m_device.LastDeviceResult != 0)
        return;
    if (event.Origin == 5) {
        if (PersonFound)
            m_steps.ShowPassageMissed();
    } else if (event.Origin == 6) {
        if (PersonFound)
            m_steps.ConfirmPassage();
    }
    m_device.PassageIdle = true;
    m_device.LoopState = SendStandingText;
}

} // namespace zul
