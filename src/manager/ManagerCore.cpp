#include "manager/ManagerCore.h"

#include "access/DisplayTexts.h"
#include "access/OnlineDisplay.h"
#include "access/PassageFeedback.h"
#include "access/PassageJournal.h"
#include "access/PersonLookup.h"
#include "access/TurnstileRelease.h"
#include "db/ManagerDatabase.h"
#include "device/DeviceBinding.h"
#include "device/DeviceCodes.h"
#include "manager/DuplicateInstance.h"
#include "notify/NotificationServer.h"
#include "notify/PendingUpdates.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/OperatorDialogs.h"
#include "support/Text.h"
#include "support/Win1252.h"
#include "sync/DeviceClearing.h"
#include "sync/DeviceUserList.h"
#include "sync/ScheduledSync.h"
#include "sync/TemplateSync.h"

namespace zul {

using namespace Qt::StringLiterals;

namespace {

QString Separator()
{
    return QString(47, u'-');
}

} // namespace

QString TrayTipFor(const QString& statusLine)
{
    return DeviceBinding::shortHint(statusLine);
}

ManagerCore::ManagerCore(const AppEnvironment& env, QObject* parent)
    : QObject(parent), m_env(env), m_settings(msgPadrao, env.registry),
      m_display(std::make_unique<OnlineDisplay>(env.clock))
{
    setObjectName(u"frmCatraca"_s);
    m_trayTip = TrayTipFor(m_statusLine);
    m_env.log.setEnabled(m_logEnabled);

    m_device = std::make_unique<DeviceBinding>(
        m_env.clock, m_env.log, msgPadrao, *this,
        m_env.deviceLibrary.isEmpty() ? DeviceBinding::defaultLibraryName() : m_env.deviceLibrary);
    m_database = std::make_unique<ManagerDatabase>(*m_device, msgPadrao, m_settings, m_env.dialogs, *this);
    m_database->tmrReconnect.setInterval(ManagerDatabase::ReconnectIntervalMs * m_env.timerIntervalFactor);
    CreateSubsystems();

    // Errors escaping a timer's handler are reported here rather than thrown through Qt.
    tmrInicializa = new QTimer(this);
    tmrInicializa->setObjectName(u"tmrInicializa"_s);
    tmrInicializa->setInterval(InicializaIntervalMs * m_env.timerIntervalFactor);
    connect(tmrInicializa, &QTimer::timeout, this, [this] { Guarded([this] { tmrInicializaTimer(); }); });
    tmrAtualiza = new QTimer(this);
    tmrAtualiza->setObjectName(u"tmrAtualiza"_s);
    tmrAtualiza->setInterval(AtualizaIntervalMs * m_env.timerIntervalFactor);
    connect(tmrAtualiza, &QTimer::timeout, this, [this] { Guarded([this] { tmrAtualizaTimer(); }); });
    tmrAtualiza->start();
}

ManagerCore::~ManagerCore()
{
    FormDestroy();
}

void ManagerCore::CreateSubsystems()
{
    TXConnection& connection = m_database->xcnCatraca;
    m_notify = std::make_unique<NotificationServer>(m_env.log, m_env.clock, m_env.notificationPort,
                                                    ReadNotificationAccess());
    m_notify->setExceptionHandler([this](const QString& message) { onExcept(message); });
    const auto broadcast = [this](const QString& text, const QString& prefix) {
        m_notify->BroadcastToClients(text, prefix);
    };
    const auto reconnect = [this](bool force, bool report) { return Reconnect(force, report); };

    m_lookup = std::make_unique<PersonLookup>(connection, *m_device);
    m_lookup->reconnect = reconnect;
    m_lookup->reportMode = [this] { return m_database->ReportMode(); };
    m_display->SetServerTimeSource([this] { return m_lookup->ServerNow(); });

    m_journal = std::make_unique<PassageJournal>(PassageJournal::defaultFilePath(m_env.log.folder()));
    m_feedback = std::make_unique<PassageFeedback>(
        *m_device, *m_display, connection, *m_journal,
        PassageHooks{broadcast, reconnect, [this] { return m_lookup->ServerNow(); }});
    // Passages the database refused go in as soon as it is back, and at every periodic check.
    m_database->AfterConnect = [this] { m_feedback->ReplayJournal(); };
    m_database->OnExcept = [this](const QString& message) { onExcept(message); };
    m_database->AfterCheck = [this] { m_feedback->ReplayJournal(); };
    m_lookup->journal = m_journal.get();

    m_users = std::make_unique<DeviceUserList>(*m_device);
    m_templates = std::make_unique<TemplateSync>(*m_device, connection, *m_users, *this);
    m_templates->setStandingMessage([this] { return SendStandingMessage(); });
    m_clearing = std::make_unique<DeviceClearing>(*m_device, *m_users, *m_templates, *this, m_env.dialogs);
    m_clearing->setStandingMessage([this] { return SendStandingMessage(); });
    m_pending = std::make_unique<PendingUpdates>(
        *m_device, *m_templates, *this, m_notify->PendingQueue(),
        PendingUpdates::Hooks{broadcast, [this] { return SendStandingMessage(); }});
    m_schedule = std::make_unique<ScheduledSync>(
        m_settings, msgPadrao, m_env.log, m_env.dialogs, *this,
        ScheduledSyncHooks{[this] { m_templates->SynchroniseTemplates(); },
                           [this] { return m_lookup->GetServerTime(); }, [this] { m_device->IniCatraca(); }});
    m_loop = std::make_unique<OnlineLoop>(*m_device, *this);
}

bool ManagerCore::Reconnect(bool force, bool report)
{
    const bool connected = m_database->ConnectDatabase(force, report);
    ShowDbState(connected);
    return connected;
}

NotificationAccess ManagerCore::ReadNotificationAccess()
{
    // Read once, when the socket is made: who may connect does not change under a running
    // manager.
    QString listen;
    QString clients;
    try {
        listen = m_settings.readNotificationListenAddress();
        clients = m_settings.readNotificationClients();
    } catch (const std::exception& error) {
        // A value that cannot be read must not open the socket to everyone.
        WriteLog(u"Socket TCP - ERRO: "_s + ErrorText(error));
        NotificationAccess closed;
        closed.restricted = true;
        return closed;
    }
    return NotificationAccess::fromSettings(listen, clients);
}

// --- start-up and shutdown -------------------------------------------------------------------

void ManagerCore::FormCreate()
{
    m_duplicateInstance = CheckDuplicateInstance(m_env.log, m_env.processImagePaths);
    WriteLog(Separator());
    if (m_duplicateInstance) {
        WriteLog(u"Tentativa de executar a aplicação mais de uma vez"_s);
        WriteLog(Separator());
        m_env.dialogs.message(OperatorDialogs::Icon::Error, u"Erro"_s, msgPadrao.Lookup(u"LOADED"_s));
        m_device->RequestStop();
        return;
    }
    WriteLog(u"           Inicializando programa"_s);
    WriteLog(Separator());
    WriteLog(QString());

    m_device->ResetFailedPings();

    // A log switch that cannot be read leaves the log on.
    try {
        if (const std::optional<bool> logOn = m_settings.readLogSwitch())
            SetLogEnabled(*logOn);
    } catch (const Error&) {
    }

    RefreshDisplayDates();

    quintptr handle = 0;
    try {
        handle = m_device->LoadDeviceLibrary();
    } catch (const std::exception&) {
        EnableMenus();
        const QString text = m_device->libraryErrorText();
        WriteLog(text);
        ReportError(text, true);
    }
    if (handle == 0) {
        EnableMenus();
        const QString text = m_device->libraryNotFoundText();
        WriteLog(text);
        ReportError(text, true);
    }

    m_device->ReadDevicePort();
    if (m_env.installExceptionHandler)
        m_env.installExceptionHandler([this](const QString& message) { onExcept(message); });
    CheckNotificationSocket();
    PendingQueue().clear();
    PutDirectionTexts();
    Q_EMIT minimizeRequested();

    const bool connected = m_database->ConnectDatabase(false, true);
    ShowDbState(connected);
    if (connected)
        m_database->tmrReconnect.start();
    else
        m_device->IniCatraca();
    m_startupComplete = true;
}

void ManagerCore::Initialize(bool serviceMode)
{
    m_serviceMode = serviceMode;
    WriteLog(serviceMode ? u" \u2022 Inicialização do programa como serviço do windows"_s
                         : u" \u2022 Inicialização do programa em modo normal"_s);
}

void ManagerCore::FormDestroy()
{
    WriteLog(Separator());
    if (m_duplicateInstance) {
        WriteLog(u" Programa finalizado em função de duplicidade"_s);
    } else {
        WriteLog(u"    O programa foi finalizado normalmente"_s);
        m_device->Call<easyinner::EnviarMensagemPadraoOnLine>(
            m_device->deviceNumber(), 0, toWin1252(msgPadrao.Lookup(u"FORA_DO_AR"_s)).constData());
    }
    WriteLog(Separator());
    WriteLog(QString());
    m_device->UnloadDeviceLibrary();
    m_database->Close();
    PendingQueue().clear();
    // No handler may reach a core that is going.
    if (m_env.installExceptionHandler)
        m_env.installExceptionHandler({});
}

bool ManagerCore::FormClose()
{
    // The service's window is closed only by stopping the service.
    if (m_serviceMode) {
        m_env.dialogs.message(OperatorDialogs::Icon::Warning, msgPadrao.Lookup(u"SAIR_TITLE"_s),
                              msgPadrao.Lookup(u"SAIR_SERV"_s));
        return false;
    }
    if (!m_device->IsStopRequested()) {
        const bool online = m_statusLine != msgPadrao.Lookup(u"TENTANDO"_s) &&
                            m_statusLine != msgPadrao.Lookup(u"DESCONECT"_s);
        if (online && !m_env.dialogs.ask(OperatorDialogs::Icon::Warning, msgPadrao.Lookup(u"SAIR_TITLE"_s),
                                         msgPadrao.Lookup(u"SAIR"_s), false))
            return false;
        m_device->ShowStatus(status::Closing);
        m_device->RequestStop();
    }
    Q_EMIT closed();
    return true;
}

void ManagerCore::RequestQuit()
{
    m_quitRequested = true;
    m_device->RequestStop();
    Q_EMIT closed();
}

void ManagerCore::EndSession()
{
    WriteLog(Separator());
    WriteLog(u"     Encerramento do Windows (WMEndSession)"_s);
    WriteLog(Separator());
}

// --- timers and the online connection --------------------------------------------------------

void ManagerCore::tmrInicializaTimer()
{
    tmrInicializa->stop();
    StartConnection();
    EnableMenus();
}

void ManagerCore::tmrAtualizaTimer()
{
    RefreshDisplayDates();
}

void ManagerCore::StartConnection()
{
    m_device->StartConnection([this] { return Reconnect(false, true); }, [this] { RunOnlineLoop(); });
}

void ManagerCore::StopConnection()
{
    m_device->StopConnection();
}

void ManagerCore::ReadDevicePort()
{
    m_device->ReadDevicePort();
}

void ManagerCore::RunOnlineLoop()
{
    m_loop->RunOnlineLoop();
}

void ManagerCore::PutDirectionTexts()
{
    zul::PutDirectionTexts(*m_display, msgPadrao, m_normalMounting);
}

void ManagerCore::RefreshDisplayDates()
{
    zul::RefreshDisplayDates(*m_display, m_env.clock);
}

// --- common operations -----------------------------------------------------------------------

void ManagerCore::WriteLog(const QString& text) const
{
    if (m_logEnabled)
        m_env.log.write(text);
}

void ManagerCore::EnableMenus()
{
    m_menusEnabled = true;
    Q_EMIT menusEnabled();
}

void ManagerCore::ShowDbState(bool connected)
{
    m_databaseShownConnected = connected;
    Q_EMIT databaseStateChanged(connected);
}

void ManagerCore::ReportError(const QString& text, bool raise)
{
    if (raise)
        throw Error(text);
    m_env.dialogs.message(OperatorDialogs::Icon::Error, u"Erro"_s, text);
}

void ManagerCore::SetStatusLine(const QString& text)
{
    m_statusLine = text;
    setStatusHints(text, TrayTipFor(text));
}

void ManagerCore::setStatusLine(const QString& caption)
{
    m_statusLine = caption;
    Q_EMIT statusChanged();
}

void ManagerCore::setStatusHints(const QString& hint, const QString& trayTip)
{
    m_statusHint = hint;
    m_trayTip = trayTip;
    Q_EMIT statusChanged();
}

DeviceLinkChoice ManagerCore::deviceLinkChoice() const
{
    const bool tcp = m_link.tcpTicked;
    return {tcp ? 1 : 0, DigitsOf(tcp ? m_link.tcpCaption : m_link.serialCaption)};
}

void ManagerCore::SetLogEnabled(bool on)
{
    if (m_logEnabled == on)
        return;
    m_logEnabled = on;
    m_env.log.setEnabled(on);
    Q_EMIT logSwitchChanged(on);
}

void ManagerCore::onExcept(const QString& message) const
{
    WriteLog(Separator());
    WriteLog(u" Exceção detectada pela aplicação(Captador ) "_s);
    WriteLog(u" Mensagem: "_s + message);
    WriteLog(Separator());
}

void ManagerCore::reportEscaped(const std::exception& error) const
{
    onExcept(ErrorText(error));
}

void ManagerCore::startInicializaTimer()
{
    tmrInicializa->start();
}

void ManagerCore::stopReconnectTimer()
{
    m_database->tmrReconnect.stop();
}

void ManagerCore::ShowMessageAndRelease(const QString& text)
{
    zul::ShowMessageAndRelease(*m_device, text);
}

// --- operator commands -----------------------------------------------------------------------

void ManagerCore::ChooseLink(bool tcp)
{
    QString& caption = tcp ? m_link.tcpCaption : m_link.serialCaption;
    const std::optional<QString> answer = m_env.dialogs.input(
        msgPadrao.Lookup(u"PORTA_TITULO"_s), msgPadrao.Lookup(u"PORTA"_s), DigitsOf(caption));
    if (!answer)
        return;
    if (!AllDigits(*answer)) {
        EnableMenus();
        ReportError(msgPadrao.Lookup(u"PORTA_INV"_s), true);
    }
    caption = msgPadrao.Format(tcp ? u"TCP"_s : u"SERIAL"_s, {*answer});
    m_link.tcpTicked = tcp;
    m_link.serialTicked = !tcp;
    Q_EMIT linkChanged();
    ReadDevicePort();
}

void ManagerCore::ChooseDirection(bool normal)
{
    m_normalMounting = normal;
    Q_EMIT mountingChanged(normal);
    SwapDirectionTexts(*m_display, msgPadrao, normal);
}

void ManagerCore::StoreLogSwitch()
{
    try {
        m_settings.writeLogSwitch(m_logEnabled);
    } catch (const Error& error) {
        WriteLog(u"MenuLog ERRO: "_s + error.message());
    }
}

void ManagerCore::RefreshDataMenu()
{
    const QString code = m_settings.readProfileCode();
    if (const std::optional<bool> logOn = m_settings.readLogSwitch())
        SetLogEnabled(*logOn);
    if (IsBlank(code)) {
        m_settings.writeProfileCode(QString::fromUtf16(DefaultProfileCode));
    } else {
        m_profileCaption = msgPadrao.Format(u"MNUPORTAADO"_s, {code});
        Q_EMIT profileCaptionChanged(m_profileCaption);
    }
}

void ManagerCore::ChangeProfileCode()
{
    StopConnection();
    QString code = m_settings.readProfileCode();
    m_profileCaption = msgPadrao.Format(u"MNUPORTAADO"_s, {code});
    Q_EMIT profileCaptionChanged(m_profileCaption);
    const std::optional<QString> answer = m_env.dialogs.input(msgPadrao.Lookup(u"PORTA_ADO_TITULO"_s),
                                                              msgPadrao.Lookup(u"PORTA_ADO_INF"_s), code);
    if (answer) {
        if (!AllDigits(*answer)) {
            EnableMenus();
            ReportError(msgPadrao.Lookup(u"PORTA_INV"_s), true);
        }
        code = answer->isEmpty() ? QString::fromUtf16(DefaultProfileCode) : *answer;
    }
    m_settings.writeProfileCode(code);
}

void ManagerCore::SynchroniseNow()
{
    m_templates->SynchroniseNow();
}

void ManagerCore::ScheduleSync()
{
    m_schedule->mnuAgendSincClick();
}

void ManagerCore::UndoSchedule()
{
    m_schedule->mnuAgendDesfClick();
}

void ManagerCore::RefreshSyncMenu()
{
    m_schedule->mnuSincronismoClick();
}

void ManagerCore::ClearDevice()
{
    m_clearing->ClearNow();
}

// --- what the subsystems ask of the manager --------------------------------------------------

QStringList& ManagerCore::PendingQueue()
{
    return m_notify->PendingQueue();
}

QDateTime ManagerCore::GetServerTime()
{
    return m_lookup->GetServerTime();
}

bool ManagerCore::LookUpPerson()
{
    return m_lookup->LookUpPerson();
}

void ManagerCore::ShowPassageWaiting()
{
    m_feedback->ShowPassageWaiting();
}

void ManagerCore::ShowPassageMissed()
{
    m_feedback->ShowPassageMissed();
}

void ManagerCore::ConfirmPassage()
{
    m_feedback->ConfirmPassage();
}

void ManagerCore::ConfirmPassageAt(const QDateTime& passedAt)
{
    m_feedback->ConfirmPassageAt(passedAt);
}

int ManagerCore::SendStandingMessage()
{
    return zul::SendStandingMessage(*m_device, *m_display);
}

int ManagerCore::SendPassageMessage(bool isEntry)
{
    return zul::SendPassageMessage(*m_device, *m_display, isEntry);
}

int ManagerCore::IdentificationFormsCode()
{
    return m_forms.keypad && m_forms.card && !m_forms.biometric ? forms::KeypadAndCard : forms::Biometric;
}

void ManagerCore::CheckScheduledSync()
{
    m_schedule->CheckScheduledSync();
}

void ManagerCore::CheckNotificationSocket()
{
    m_notify->CheckNotificationSocket();
}

void ManagerCore::CheckDatabaseConnection()
{
    m_database->CheckDatabaseConnection();
}

bool ManagerCore::JournalWritable()
{
    return m_feedback->JournalWritable();
}

bool ManagerCore::HasPendingUpdate()
{
    return m_pending->HasPendingUpdate();
}

void ManagerCore::RunQueueStep()
{
    m_pending->RunQueueStep();
}

void ManagerCore::showTiming(QString& panel, const QString& text)
{
    panel = text;
    Q_EMIT timingsChanged();
}

void ManagerCore::SetHousekeepingCaption(const QString& caption)
{
    showTiming(m_housekeepingCaption, caption);
}

void ManagerCore::setSyncTiming(const QString& text)
{
    showTiming(m_syncTiming, text);
}

void ManagerCore::setClearingTiming(const QString& text)
{
    showTiming(m_clearingTiming, text);
}

void ManagerCore::setUpdateTiming(const QString& text)
{
    showTiming(m_updateTiming, text);
}

void ManagerCore::setScheduleCaption(const QString& caption)
{
    m_scheduleCaption = caption;
    Q_EMIT scheduleChanged();
}

void ManagerCore::setScheduleTicked(bool ticked)
{
    m_scheduleTicked = ticked;
    Q_EMIT scheduleChanged();
}

} // namespace zul
