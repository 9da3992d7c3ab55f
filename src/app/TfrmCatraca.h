#pragma once

#include "access/OnlineLoop.h"
#include "app/AppEnvironment.h"
#include "db/DatabaseUi.h"
#include "device/DeviceUi.h"
#include "support/Messages.h"
#include "support/Settings.h"
#include "sync/ScheduleMenu.h"
#include "sync/SyncUi.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <memory>

class QAction;
class QActionGroup;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QSystemTrayIcon;
class QTabWidget;
class QTimer;
class QToolButton;

namespace zul {

class DeviceBinding;
class DeviceClearing;
class DeviceUserList;
class ManagerDatabase;
class NotificationServer;
class OnlinePage;
class PassageFeedback;
class PassageJournal;
class PendingUpdates;
class PersonLookup;
class ScheduledSync;
class TemplateSync;

// The link the operator chose in the "Tipos de Conexão" menu: 0 = serial, 1 = TCP/IP, and the
// decimal digits of the ticked item's caption. The device layer turns the digits into the
// port number; an empty text is its conversion error, not the menu's.
struct DeviceLinkChoice
{
    int linkType = 1;
    QString portDigits;
};

// The notification-area tip for a status line: its short hint (the part before the first
// "|") cut to the 63 characters the tip field holds.
QString TrayTipFor(const QString& statusLine);

// The main window. It owns every component of the manager (the device link, the database
// connection, the online loop, the notification socket, the synchronisation) and is the window
// each of them talks to through its own small interface.
class TfrmCatraca : public QMainWindow,
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

    static constexpr int ExpandedHeight = 313;
    static constexpr int CollapsedHeight = 297;
    static constexpr int ExpandedPanelHeight = 32;
    static constexpr int CollapsedPanelHeight = 16;

    explicit TfrmCatraca(const AppEnvironment& env, QWidget* parent = nullptr);
    ~TfrmCatraca() override;

    // The creation handler: the start-up sequence, up to the database connection. Called once,
    // right after construction. An error raised here (the device library missing or broken)
    // ends the sequence and reaches the caller, which shows it.
    void FormCreate();
    // Completes start-up once the run mode is known; called once, before the message loop.
    void Initialize(bool serviceMode);
    bool ServiceMode() const { return m_serviceMode; }
    // Whether creation ran to its end (the window then starts hidden in the notification area).
    bool StartedMinimized() const { return m_startupComplete; }
    bool DuplicateInstance() const { return m_duplicateInstance; }

    // The first activation: a duplicate copy closes itself.
    void FormActivate();
    // Windows logoff or shutdown really taking place: logged, nothing else.
    void EndSession();
    // A stop of the service, or SIGTERM: ends a running online loop and the application,
    // without the question a closing operator gets.
    void RequestQuit();
    bool QuitRequested() const { return m_quitRequested; }

    // Handlers of the window's timers.
    void tmrInicializaTimer();
    void tmrAtualizaTimer();

    // The online connection: opens the link and runs the online loop until it ends.
    void StartConnection();
    virtual void StopConnection();
    virtual void ReadDevicePort();

    // One line of the day's activity log (nothing while "&Gerar Log" is unticked).
    void WriteLog(const QString& text) const;

    void EnableMenus() override;
    void ShowDbState(bool connected) override;
    // raise = true abandons the current operation: the error ends in the application's
    // exception handler, which logs it. raise = false shows the error box.
    void ReportError(const QString& text, bool raise);
    static bool IsBlank(const QString& text);

    void TogglePanel();
    bool PanelExpanded() const { return m_panelExpanded; }

    // The status line (`lblConnect`), repeated as the panel's hint and the tray tip.
    void SetStatusLine(const QString& text);
    QString StatusLine() const;

    DeviceLinkChoice deviceLinkChoice() const;

    // The application exception handler: an error that escaped an event handler.
    void onExcept(const QString& message) const;

    const TMessages& messages() const { return msgPadrao; }
    SettingsStore& settings() { return m_settings; }
    DeviceBinding& device() { return *m_device; }
    ManagerDatabase& database() { return *m_database; }
    QStringList& PendingQueue();
    OnlinePage& onlinePage() { return *m_onlinePage; }
    NotificationServer& notificationServer() { return *m_notify; }
    PersonLookup& personLookup() { return *m_lookup; }
    PassageFeedback& passageFeedback() { return *m_feedback; }
    TemplateSync& templateSync() { return *m_templates; }
    OnlineLoop& onlineLoop() { return *m_loop; }
    const AppEnvironment& environment() const { return m_env; }

    // --- DeviceUi
    QString statusLine() const override;
    void setStatusLine(const QString& caption) override;
    void setStatusHints(const QString& hint, const QString& trayTip) override;
    LinkMenu linkMenu() const override;
    bool normalMounting() const override;
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
    int SendStandingMessage() override;
    int SendPassageMessage(bool isEntry) override;
    int IdentificationFormsCode() override;
    void CheckScheduledSync() override;
    void CheckNotificationSocket() override;
    void CheckDatabaseConnection() override;
    bool HasPendingUpdate() override;
    void RunQueueStep() override;
    void SetHousekeepingCaption(const QString& caption) override;

    // --- SyncUi
    void setSyncTiming(const QString& text) override;
    void setClearingTiming(const QString& text) override;
    void setUpdateTiming(const QString& text) override;

    // --- ScheduleMenu
    QString scheduleCaption() const override;
    void setScheduleCaption(const QString& caption) override;
    bool scheduleTicked() const override;
    void setScheduleTicked(bool ticked) override;

    // Menu commands of "&Dados".
    void mnuSincronizarClick();
    void mnuAgendSincClick();
    void mnuAgendDesfClick();
    void mnuSincronismoClick();
    void mnuEsvaziarClick();

    // Menu commands.
    void mnuSerialClick();
    void mnuTCPClick();
    void mnuInvertidoClick();
    void mnuNormalClick();
    void mnuLogClick();
    void mnuBaseClick();
    void mnuStringConexClick();

    // Components, named as the rest of the program refers to them.
    QMenuBar* mmnCatraca = nullptr;
    QMenu* mnuOpcoes = nullptr;
    QMenu* mnuTipoConex = nullptr;
    QAction* mnuSerial = nullptr;
    QAction* mnuTCP = nullptr;
    QAction* sep1 = nullptr;
    QMenu* mnuSentido = nullptr;
    QAction* mnuInvertido = nullptr;
    QAction* mnuNormal = nullptr;
    QMenu* mnuAutentica = nullptr;
    QAction* mnuTeclado = nullptr;
    QAction* mnuCartao = nullptr;
    QAction* mnuBiometrico = nullptr;
    QMenu* mnuBase = nullptr;
    QMenu* mnuSincronismo = nullptr;
    QAction* mnuSincronizar = nullptr;
    QAction* sep2 = nullptr;
    QAction* mnuAgendSinc = nullptr;
    QAction* mnuAgendDesf = nullptr;
    QAction* mnuEsvaziar = nullptr;
    QAction* sep4 = nullptr;
    QAction* mnuStringConex = nullptr;
    QAction* mnuLog = nullptr;
    QActionGroup* grpTipoConex = nullptr;
    QActionGroup* grpSentido = nullptr;

    QFrame* panToolbar = nullptr;
    QToolButton* sbtConfirmar = nullptr;
    QToolButton* sbtCancelar = nullptr;
    QToolButton* sbtIncluir = nullptr;
    QToolButton* sbtAlterar = nullptr;
    QToolButton* sbtExcluir = nullptr;
    QToolButton* sbtProcurar = nullptr;
    QToolButton* sbtAtualizar = nullptr;
    QToolButton* sbtOrdenar = nullptr;
    QToolButton* sbtAjuda = nullptr;
    QToolButton* sbtImprimir = nullptr;
    QToolButton* sbtFechar = nullptr;

    QTabWidget* pgcCatraca = nullptr;
    QWidget* tshOnline = nullptr;
    QPushButton* tcbIniciar = nullptr;
    QPushButton* tcbFechar = nullptr;

    QFrame* panConnect = nullptr;
    QLabel* lblConnect = nullptr;
    QToolButton* btfAbaixo = nullptr;
    QFrame* bvlConnect = nullptr;
    QWidget* panConnectRow2 = nullptr; // the second row, shown only while expanded
    QLabel* lblADO = nullptr;
    QLabel* lblEsv = nullptr;
    QLabel* lblSinc = nullptr;
    QLabel* lblAtu = nullptr;
    QAction* actTogglePanel = nullptr;

    QMenu* ppmCatraca = nullptr;
    QAction* mnuRestaurar = nullptr;
    QAction* mnuMinimizar = nullptr;
    QAction* sep3 = nullptr;
    QAction* mnuSair = nullptr;
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    // Adds the notification-area icon, or keeps looking for a notification area (trayWatch)
    // while the desktop has none.
    void AddTrayIcon();
    QTimer* trayWatch() const { return m_trayWatch; }

    QTimer* tmrInicializa = nullptr;
    QTimer* tmrAtualiza = nullptr;

Q_SIGNALS:
    // The window accepted a close: the application ends.
    void closed();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    // Decides an ordinary close; true when the window may close.
    bool FormClose();
    void FormDestroy();
    void PutDirectionTexts();
    void RefreshDisplayDates();
    void RunOnlineLoop();
    bool Reconnect(bool force, bool report);
    void CreateSubsystems();
    void InstallExceptionHandler();

    void CreateMenus();
    void CreateToolbar(QWidget* parent);
    void CreatePages(QWidget* parent);
    void CreateStatusPanel(QWidget* parent);
    void CreateTrayMenu();
    void RefreshTrayTip();
    void Restore();
    void Minimize();
    void ChooseLink(QAction* item, const QString& captionKey);
    void ChooseDirection(bool normal);

    const AppEnvironment m_env;
    TMessages msgPadrao;
    SettingsStore m_settings;
    std::unique_ptr<DeviceBinding> m_device;
    std::unique_ptr<ManagerDatabase> m_database;
    OnlinePage* m_onlinePage = nullptr;
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
    bool m_activated = false;
    bool m_panelExpanded = false;
    QAction* m_linkTicked = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    QTimer* m_trayWatch = nullptr;
};

} // namespace zul
