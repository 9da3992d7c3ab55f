#pragma once

#include "access/OnlineLoop.h"
#include "db/DatabaseUi.h"
#include "device/DeviceUi.h"
#include "manager/AppEnvironment.h"
#include "support/Messages.h"
#include "support/Settings.h"
#include "sync/ScheduleMenu.h"
#include "sync/SyncUi.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>

namespace zul {

using namespace Qt::StringLiterals;

class DeviceBinding;
class DeviceClearing;
class DeviceUserList;
class ManagerDatabase;
class NotificationServer;
struct NotificationAccess;
class OnlineDisplay;
class PassageFeedback;
class PassageJournal;
class PendingUpdates;
class PersonLookup;
class ScheduledSync;
class TemplateSync;

// The link the operator chose in the "Tipos de Conexão" menu: 0 = serial, 1 = TCP/IP, and the
// decimal digits of the chosen item's caption. The device layer turns the digits into the
// port number; an empty text is its conversion error, not the menu's.
struct DeviceLinkChoice
{
    int linkType = 1;
    QString portDigits;
};

// The identification forms the controller accepts, fixed for the whole run (the hidden
// "A&utenticações" submenu): keypad, card, fingerprint.
struct IdentificationForms
{
    bool keypad = false;
    bool card = false;
    bool biometric = true;
};

// The notification-area tip for a status line: its short hint (the part before the first
// "|") cut to the 63 characters the tip field holds.
QString TrayTipFor(const QString& statusLine);

// The turnstile manager without its window: it owns every subsystem (the device link, the
// database connection, the online loop, the notification socket, the synchronisation), the
// state the operator sets through the menus (link and port, mounting, identification forms,
// the display messages, the log switch, the profile code) and the state the window shows (the
// status line and its hints, the timings, the database state). The main window is a view of
// it; a headless or service run creates the core alone. Everything runs on the main thread.
//
// Its operations may throw the program's Error where the operation is abandoned
// (`ReportError(text, true)`); its own timers catch and report what escapes them, and the
// window does the same for the menu commands, so nothing is thrown through Qt's frames.
class ManagerCore : public QObject,
                    public DeviceUi,
                    public DatabaseUi,
                    public OnlineLoopSteps,
                    public SyncUi,
                    public ScheduleMenu
{
    Q_OBJECT
public:
    static constexpr int InicializaIntervalMs = 1000;
    static constexpr int AtualizaIntervalMs = 20000;
    // The profile code used while none is stored.
    static constexpr const char16_t* DefaultProfileCode = u"211";

    explicit ManagerCore(const AppEnvironment& env, QObject* parent = nullptr);
    ~ManagerCore() override;

    // The creation handler: the start-up sequence, up to the database connection. Called once,
    // right after construction. An error raised here (the device library missing or broken)
    // ends the sequence and reaches the caller, which shows it.
    void FormCreate();
    // Completes start-up once the run mode is known; called once, before the message loop.
    void Initialize(bool serviceMode);
    bool ServiceMode() const { return m_serviceMode; }
    // Whether creation ran to its end (a window then starts hidden in the notification area).
    bool StartedMinimized() const { return m_startupComplete; }
    bool DuplicateInstance() const { return m_duplicateInstance; }

    // An ordinary close of the window: decides it (a service's window is not closed; an online
    // turnstile asks first) and, when it goes ahead, stops the loop and signals `closed`.
    bool FormClose();
    // Windows logoff or shutdown really taking place: logged, nothing else.
    void EndSession();
    // A stop of the service, or SIGTERM: ends a running online loop and the application,
    // without the question a closing operator gets.
    void RequestQuit();
    bool QuitRequested() const { return m_quitRequested; }

    // Handlers of the timers.
    void tmrInicializaTimer();
    void tmrAtualizaTimer();

    // The online connection: opens the link and runs the online loop until it ends.
    void StartConnection();
    void StopConnection();
    void ReadDevicePort();

    // One line of the day's activity log (nothing while the log switch is off).
    void WriteLog(const QString& text) const;

    void EnableMenus() override;
    bool MenusEnabled() const { return m_menusEnabled; }
    void ShowDbState(bool connected) override;
    bool DatabaseShownConnected() const { return m_databaseShownConnected; }
    // raise = true abandons the current operation: the error ends in the application's
    // exception handler, which logs it. raise = false shows the error box.
    void ReportError(const QString& text, bool raise);

    // The status line, with the hint of the status panel and the tip of the tray icon.
    void SetStatusLine(const QString& text);
    QString StatusLine() const { return m_statusLine; }
    QString StatusHint() const { return m_statusHint; }
    QString TrayTip() const { return m_trayTip; }

    // The link menu: captions and the chosen item.
    DeviceLinkChoice deviceLinkChoice() const;
    // The caption of "Porta Soc&ket (211)", the profile code in use.
    QString ProfileCaption() const { return m_profileCaption; }
    IdentificationForms identificationForms() const { return m_forms; }
    void setIdentificationForms(const IdentificationForms& forms) { m_forms = forms; }
    // The log switch ("&Gerar Log").
    bool LogEnabled() const { return m_logEnabled; }
    void SetLogEnabled(bool on);

    // The second row of the status panel.
    QString HousekeepingCaption() const { return m_housekeepingCaption; }
    QString SyncTiming() const { return m_syncTiming; }
    QString ClearingTiming() const { return m_clearingTiming; }
    QString UpdateTiming() const { return m_updateTiming; }

    // The application exception handler: an error that escaped an event handler.
    void onExcept(const QString& message) const;
    // Runs `operation` as an event handler: an error escaping it goes to onExcept.
    template <class Operation> void Guarded(Operation&& operation)
    {
        try {
            operation();
        } catch (const std::exception& error) {
            reportEscaped(error);
        }
    }

    // --- operator commands -------------------------------------------------------------------

    // "&Serial" (tcp = false) or "TCP/&IP": asks for the port; a valid answer changes the
    // caption and the choice. Throws Error (PORTA_INV) for an answer with other than digits.
    void ChooseLink(bool tcp);
    // "&Normal" or "&Invertido": the mounting, and with it the default direction texts.
    void ChooseDirection(bool normal);
    // The log switch changed by the operator: stored.
    void StoreLogSwitch();
    // "&Dados" opened: the log switch and the profile code as stored.
    void RefreshDataMenu();
    // "Porta Soc&ket": stops the connection and asks for the profile code. Throws Error
    // (PORTA_INV) for an answer with other than digits.
    void ChangeProfileCode();
    void SynchroniseNow();
    void ScheduleSync();
    void UndoSchedule();
    void RefreshSyncMenu();
    void ClearDevice();

    // --- subsystems --------------------------------------------------------------------------

    const TMessages& messages() const { return msgPadrao; }
    SettingsStore& settings() { return m_settings; }
    DeviceBinding& device() { return *m_device; }
    ManagerDatabase& database() { return *m_database; }
    QStringList& PendingQueue();
    OnlineDisplay& onlineDisplay() { return *m_display; }
    NotificationServer& notificationServer() { return *m_notify; }
    PersonLookup& personLookup() { return *m_lookup; }
    PassageFeedback& passageFeedback() { return *m_feedback; }
    TemplateSync& templateSync() { return *m_templates; }
    OnlineLoop& onlineLoop() { return *m_loop; }
    const AppEnvironment& environment() const { return m_env; }

    // --- DeviceUi
    QString statusLine() const override { return m_statusLine; }
    void setStatusLine(const QString& caption) override;
    void setStatusHints(const QString& hint, const QString& trayTip) override;
    LinkMenu linkMenu() const override { return m_link; }
    bool normalMounting() const override { return m_normalMounting; }
    void enableMenus() override { EnableMenus(); }
    void startInicializaTimer() override;
    void stopReconnectTimer() override;

    // --- DatabaseUi
    void ShowErrorBox(const QString& text) override { ReportError(text, false); }
    void ShowMessageAndRelease(const QString& text) override;
    bool OperatorPresent() const override { return !m_env.headless && !m_serviceMode; }

    // --- OnlineLoopSteps
    QDateTime GetServerTime() override;
    bool LookUpPerson() override;
    void ShowPassageWaiting() override;
    void ShowPassageMissed() override;
    void ConfirmPassage() override;
    void ConfirmPassageAt(const QDateTime& passedAt) override;
    int SendStandingMessage() override;
    int SendPassageMessage(bool isEntry) override;
    int IdentificationFormsCode() override;
    void CheckScheduledSync() override;
    void CheckNotificationSocket() override;
    void CheckDatabaseConnection() override;
    bool HasPendingUpdate() override;
    void RunQueueStep() override;
    void SetHousekeepingCaption(const QString& caption) override;
    bool JournalWritable() override;

    // --- SyncUi
    void setSyncTiming(const QString& text) override;
    void setClearingTiming(const QString& text) override;
    void setUpdateTiming(const QString& text) override;

    // --- ScheduleMenu
    QString scheduleCaption() const override { return m_scheduleCaption; }
    void setScheduleCaption(const QString& caption) override;
    bool scheduleTicked() const override { return m_scheduleTicked; }
    void setScheduleTicked(bool ticked) override;

    QTimer* tmrInicializa = nullptr;
    QTimer* tmrAtualiza = nullptr;

Q_SIGNALS:
    // The status line, its hint or the tray tip changed.
    void statusChanged();
    void menusEnabled();
    void databaseStateChanged(bool connected);
    void linkChanged();
    void mountingChanged(bool normal);
    void logSwitchChanged(bool on);
    void profileCaptionChanged(const QString& caption);
    // The second row of the status panel or the schedule item changed.
    void timingsChanged();
    void scheduleChanged();
    // Start-up has reached the point where the window goes to the notification area.
    void minimizeRequested();
    // The close was accepted or a quit was requested: the application ends.
    void closed();

private:
    // Shows `text` in one of the status panel's timing fields.
    void showTiming(QString& panel, const QString& text);
    void FormDestroy();
    void PutDirectionTexts();
    void RefreshDisplayDates();
    void RunOnlineLoop();
    bool Reconnect(bool force, bool report);
    void CreateSubsystems();
    NotificationAccess ReadNotificationAccess();
    void reportEscaped(const std::exception& error) const;

    const AppEnvironment m_env;
    TMessages msgPadrao;
    SettingsStore m_settings;
    std::unique_ptr<OnlineDisplay> m_display;
    std::unique_ptr<DeviceBinding> m_device;
    std::unique_ptr<ManagerDatabase> m_database;
    std::unique_ptr<NotificationServer> m_notify;
    std::unique_ptr<PersonLookup> m_lookup;
    std::unique_ptr<PassageJournal> m_journal;
    std::unique_ptr<PassageFeedback> m_feedback;
    std::unique_ptr<DeviceUserList> m_users;
    std::unique_ptr<TemplateSync> m_templates;
    std::unique_ptr<DeviceClearing> m_clearing;
    std::unique_ptr<PendingUpdates> m_pending;
    std::unique_ptr<ScheduledSync> m_schedule;
    std::unique_ptr<OnlineLoop> m_loop;

    bool m_serviceMode = false;
    bool m_quitRequested = false;
    bool m_duplicateInstance = false;
    bool m_startupComplete = false;
    bool m_menusEnabled = false;
    bool m_databaseShownConnected = false;

    // Design state of the menus and the status panel.
    LinkMenu m_link{u"&Serial   (Porta 1)"_s, u"TCP/&IP (Porta 3570)"_s, false, true};
    bool m_normalMounting = false;
    IdentificationForms m_forms;
    bool m_logEnabled = true;
    QString m_profileCaption = u"Porta Soc&ket (211)"_s;
    QString m_statusLine = u"Catraca desconectada"_s;
    QString m_statusHint = m_statusLine;
    QString m_trayTip;
    QString m_housekeepingCaption = u"Loops ADO"_s;
    QString m_syncTiming = u"Sincronismo: 00:00:00"_s;
    QString m_clearingTiming = u"Esvaziar BD: 00:00:00"_s;
    QString m_updateTiming = u"AtuBio: 00:00:00"_s;
    QString m_scheduleCaption = u"Agendar &Horário"_s;
    bool m_scheduleTicked = true;
};

} // namespace zul
