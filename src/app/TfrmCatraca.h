#pragma once

#include "manager/ManagerCore.h"

#include <QMainWindow>
#include <QString>
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

class OnlinePage;

// The main window: a view of the manager core. It shows the core's state (status line, menus,
// the display messages, the status panel) and hands the operator's commands to it; it holds
// no state of the manager itself, only that of the window (panel, tray, window state).
class TfrmCatraca : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr int ExpandedHeight = 313;
    static constexpr int CollapsedHeight = 297;
    static constexpr int ExpandedPanelHeight = 32;
    static constexpr int CollapsedPanelHeight = 16;

    // The window of `core`, which outlives it.
    explicit TfrmCatraca(ManagerCore& core, QWidget* parent = nullptr);
    // The window with a core of its own, made from `env`.
    explicit TfrmCatraca(const AppEnvironment& env, QWidget* parent = nullptr);
    ~TfrmCatraca() override;

    ManagerCore& core() const { return m_core; }

    // The core's creation, then the window's own part: it goes to the notification area.
    void FormCreate();
    // Completes start-up once the run mode is known: the core's part, then the tray icon and
    // what the service's window may not do.
    void Initialize(bool serviceMode);
    // The first activation: a duplicate copy closes itself.
    void FormActivate();

    void TogglePanel();
    bool PanelExpanded() const { return m_panelExpanded; }

    // Menu commands: the core carries them out; an error escaping one is reported by the
    // core's exception handler, never thrown through Qt.
    void mnuSincronizarClick();
    void mnuAgendSincClick();
    void mnuAgendDesfClick();
    void mnuSincronismoClick();
    void mnuEsvaziarClick();

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

    OnlinePage& onlinePage() const { return *m_onlinePage; }

Q_SIGNALS:
    // The window accepted a close: the application ends.
    void closed();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void CreateWindow();
    void CreateMenus();
    void CreateToolbar(QWidget* parent);
    void CreatePages(QWidget* parent);
    void CreateStatusPanel(QWidget* parent);
    void CreateTrayMenu();
    void BindToCore();
    void ShowStatus();
    void ShowLink();
    void ShowMounting();
    void ShowDbState(bool connected);
    void ShowTimings();
    void ShowSchedule();
    void EnableMenus();
    void RefreshTrayTip();
    void Restore();
    void Minimize();
    // Runs a command of the operator: an error escaping it goes to the core's exception handler.
    template <class Command> void Run(Command&& command) { m_core.Guarded(std::forward<Command>(command)); }

    std::unique_ptr<ManagerCore> m_ownCore;
    ManagerCore& m_core;
    OnlinePage* m_onlinePage = nullptr;
    bool m_activated = false;
    bool m_panelExpanded = false;
    QSystemTrayIcon* m_tray = nullptr;
    QTimer* m_trayWatch = nullptr;
};

} // namespace zul
