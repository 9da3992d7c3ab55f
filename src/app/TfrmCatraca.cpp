#include "app/TfrmCatraca.h"

#include "app/OnlinePage.h"
#include "app/ZulApplication.h"
#include "device/DeviceBinding.h"
#include "support/Error.h"
#include "support/OperatorDialogs.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace zul {

namespace {

constexpr int ToolbarHeight = 28;
constexpr int StatusRowHeight = 16;
// How often a program started without a notification area looks for one.
constexpr int TrayWatchMs = 5000;

// The program's icon, drawn rather than shipped so the build needs no image files: the hub
// and three arms of a turnstile on a navy disc.
QIcon TurnstileIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 128));
        painter.drawEllipse(QRectF(0.5, 0.5, size - 1.0, size - 1.0));
        const QPointF centre(size / 2.0, size / 2.0);
        QPen arm(Qt::white, size / 8.0, Qt::SolidLine, Qt::RoundCap);
        painter.setPen(arm);
        for (const int angle : {90, 210, 330}) {
            QLineF line = QLineF::fromPolar(size * 0.36, angle);
            line.translate(centre);
            painter.drawLine(line);
        }
        painter.setBrush(Qt::white);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(centre, size / 9.0, size / 9.0);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

TfrmCatraca::TfrmCatraca(const AppEnvironment& env, QWidget* parent)
    : QMainWindow(parent), m_ownCore(std::make_unique<ManagerCore>(env)), m_core(*m_ownCore)
{
    CreateWindow();
}

TfrmCatraca::TfrmCatraca(ManagerCore& core, QWidget* parent) : QMainWindow(parent), m_core(core)
{
    CreateWindow();
}

void TfrmCatraca::CreateWindow()
{
    setObjectName(u"frmCatraca"_s);
    setWindowTitle(u"Gerenciador da Catraca"_s);
    setWindowIcon(TurnstileIcon());

    CreateMenus();
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    CreateToolbar(central);
    CreatePages(central);
    CreateStatusPanel(central);
    layout->addWidget(panToolbar);
    layout->addWidget(pgcCatraca, 1);
    layout->addWidget(panConnect);
    setCentralWidget(central);
    CreateTrayMenu();

    resize(652, ExpandedHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }

    BindToCore();

    // Collapsed at start.
    TogglePanel();
    TogglePanel();
}

TfrmCatraca::~TfrmCatraca()
{
    if (m_tray)
        m_tray->hide();
}

void TfrmCatraca::BindToCore()
{
    ShowStatus();
    ShowLink();
    ShowMounting();
    ShowTimings();
    ShowSchedule();
    mnuLog->setChecked(m_core.LogEnabled());
    mnuStringConex->setText(m_core.ProfileCaption());
    const IdentificationForms forms = m_core.identificationForms();
    mnuTeclado->setChecked(forms.keypad);
    mnuCartao->setChecked(forms.card);
    mnuBiometrico->setChecked(forms.biometric);
    if (m_core.MenusEnabled())
        EnableMenus();

    connect(&m_core, &ManagerCore::statusChanged, this, &TfrmCatraca::ShowStatus);
    connect(&m_core, &ManagerCore::linkChanged, this, &TfrmCatraca::ShowLink);
    connect(&m_core, &ManagerCore::mountingChanged, this, &TfrmCatraca::ShowMounting);
    connect(&m_core, &ManagerCore::timingsChanged, this, &TfrmCatraca::ShowTimings);
    connect(&m_core, &ManagerCore::scheduleChanged, this, &TfrmCatraca::ShowSchedule);
    connect(&m_core, &ManagerCore::menusEnabled, this, &TfrmCatraca::EnableMenus);
    connect(&m_core, &ManagerCore::databaseStateChanged, this, &TfrmCatraca::ShowDbState);
    connect(&m_core, &ManagerCore::logSwitchChanged, mnuLog, &QAction::setChecked);
    // The log switch is the tick of "&Gerar Log", whoever changes it.
    connect(mnuLog, &QAction::toggled, this, [this](bool on) { m_core.SetLogEnabled(on); });
    connect(&m_core, &ManagerCore::profileCaptionChanged, mnuStringConex, &QAction::setText);
    connect(&m_core, &ManagerCore::minimizeRequested, this,
            [this] { setWindowState(windowState() | Qt::WindowMinimized); });
    connect(&m_core, &ManagerCore::closed, this, &TfrmCatraca::closed);
    // The identification forms are the core's; the hidden submenu only shows them.
    for (QAction* action : {mnuTeclado, mnuCartao, mnuBiometrico}) {
        connect(action, &QAction::toggled, this, [this] {
            m_core.setIdentificationForms(
                {mnuTeclado->isChecked(), mnuCartao->isChecked(), mnuBiometrico->isChecked()});
        });
    }

    connect(tcbIniciar, &QPushButton::clicked, this, [this] { Run([this] { m_core.StartConnection(); }); });
    connect(tcbFechar, &QPushButton::clicked, this, [this] { Run([this] { m_core.StopConnection(); }); });
    connect(mnuSincronizar, &QAction::triggered, this, &TfrmCatraca::mnuSincronizarClick);
    connect(mnuAgendSinc, &QAction::triggered, this, &TfrmCatraca::mnuAgendSincClick);
    connect(mnuAgendDesf, &QAction::triggered, this, &TfrmCatraca::mnuAgendDesfClick);
    connect(mnuSincronismo, &QMenu::aboutToShow, this, &TfrmCatraca::mnuSincronismoClick);
    connect(mnuEsvaziar, &QAction::triggered, this, &TfrmCatraca::mnuEsvaziarClick);
}

void TfrmCatraca::ShowStatus()
{
    lblConnect->setText(m_core.StatusLine());
    panConnect->setToolTip(m_core.StatusHint());
    if (m_tray)
        m_tray->setToolTip(m_core.TrayTip());
}

void TfrmCatraca::ShowLink()
{
    const LinkMenu link = m_core.linkMenu();
    mnuSerial->setText(link.serialCaption);
    mnuTCP->setText(link.tcpCaption);
    (link.tcpTicked ? mnuTCP : mnuSerial)->setChecked(true);
}

void TfrmCatraca::ShowMounting()
{
    (m_core.normalMounting() ? mnuNormal : mnuInvertido)->setChecked(true);
}

void TfrmCatraca::ShowTimings()
{
    lblADO->setText(m_core.HousekeepingCaption());
    lblSinc->setText(m_core.SyncTiming());
    lblEsv->setText(m_core.ClearingTiming());
    lblAtu->setText(m_core.UpdateTiming());
}

void TfrmCatraca::ShowSchedule()
{
    mnuAgendSinc->setText(m_core.scheduleCaption());
    mnuAgendSinc->setChecked(m_core.scheduleTicked());
}

void TfrmCatraca::mnuSincronizarClick()
{
    Run([this] { m_core.SynchroniseNow(); });
}

void TfrmCatraca::mnuAgendSincClick()
{
    Run([this] { m_core.ScheduleSync(); });
    // The item's own tick follows the schedule, not the click.
    ShowSchedule();
}

void TfrmCatraca::mnuAgendDesfClick()
{
    Run([this] { m_core.UndoSchedule(); });
}

void TfrmCatraca::mnuSincronismoClick()
{
    Run([this] { m_core.RefreshSyncMenu(); });
}

void TfrmCatraca::mnuEsvaziarClick()
{
    Run([this] { m_core.ClearDevice(); });
}

void TfrmCatraca::CreateMenus()
{
    mmnCatraca = menuBar();
    mmnCatraca->setObjectName(u"mmnCatraca"_s);

    auto named = [](QAction* action, const char* name) {
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };
    auto menu = [](QWidget* parent, const char* name, const QString& caption) {
        auto* m = new QMenu(caption, parent);
        m->setObjectName(QString::fromLatin1(name));
        m->menuAction()->setObjectName(QString::fromLatin1(name));
        return m;
    };
    auto radio = [this, &named](QMenu* in, QActionGroup* group, const char* name, const QString& caption) {
        QAction* action = named(in->addAction(caption), name);
        action->setCheckable(true);
        group->addAction(action);
        return action;
    };

    mnuOpcoes = menu(this, "mnuOpcoes", u"&Opções"_s);
    mnuTipoConex = menu(mnuOpcoes, "mnuTipoConex", u"&Tipos de Conexão"_s);
    grpTipoConex = new QActionGroup(this);
    grpTipoConex->setExclusive(true);
    mnuSerial = radio(mnuTipoConex, grpTipoConex, "mnuSerial", u"&Serial   (Porta 1)"_s);
    mnuTCP = radio(mnuTipoConex, grpTipoConex, "mnuTCP", u"TCP/&IP (Porta 3570)"_s);
    mnuTCP->setChecked(true);
    mnuOpcoes->addMenu(mnuTipoConex);
    sep1 = named(mnuOpcoes->addSeparator(), "sep1");
    mnuSentido = menu(mnuOpcoes, "mnuSentido", u"Sentido da &Catraca"_s);
    grpSentido = new QActionGroup(this);
    grpSentido->setExclusive(true);
    mnuInvertido = radio(mnuSentido, grpSentido, "mnuInvertido", u"&Invertido"_s);
    mnuNormal = radio(mnuSentido, grpSentido, "mnuNormal", u"&Normal"_s);
    mnuInvertido->setChecked(true);
    mnuOpcoes->addMenu(mnuSentido);
    // The identification forms are fixed for the whole run: the submenu is never shown and
    // its ticks are only read by the online loop.
    mnuAutentica = menu(mnuOpcoes, "mnuAutentica", u"A&utenticações"_s);
    mnuTeclado = named(mnuAutentica->addAction(u"&Teclado + Biométrico"_s), "mnuTeclado");
    mnuCartao = named(mnuAutentica->addAction(u"&Cartão + Biométrico"_s), "mnuCartao");
    mnuBiometrico = named(mnuAutentica->addAction(u"Somente &Biométrico"_s), "mnuBiometrico");
    for (QAction* action : {mnuTeclado, mnuCartao, mnuBiometrico})
        action->setCheckable(true);
    mnuBiometrico->setChecked(true);
    mnuOpcoes->addMenu(mnuAutentica);
    mnuAutentica->menuAction()->setVisible(false);

    mnuBase = menu(this, "mnuBase", u"&Dados"_s);
    mnuSincronismo = menu(mnuBase, "mnuSincronismo", u"&Sincronismo de Dados"_s);
    mnuSincronizar = named(mnuSincronismo->addAction(u"Sincroniz&ar Agora"_s), "mnuSincronizar");
    sep2 = named(mnuSincronismo->addSeparator(), "sep2");
    mnuAgendSinc = named(mnuSincronismo->addAction(u"Agendar &Horário"_s), "mnuAgendSinc");
    mnuAgendSinc->setCheckable(true);
    mnuAgendSinc->setChecked(true);
    mnuAgendDesf = named(mnuSincronismo->addAction(u"Des&fazer Agendamento"_s), "mnuAgendDesf");
    mnuBase->addMenu(mnuSincronismo);
    mnuEsvaziar = named(mnuBase->addAction(u"&Limpar BD da Catraca"_s), "mnuEsvaziar");
    sep4 = named(mnuBase->addSeparator(), "sep4");
    mnuStringConex = named(mnuBase->addAction(u"Porta Soc&ket (211)"_s), "mnuStringConex");
    mnuLog = named(mnuBase->addAction(u"&Gerar Log"_s), "mnuLog");
    mnuLog->setCheckable(true);
    mnuLog->setChecked(true);

    mmnCatraca->addMenu(mnuOpcoes);
    mmnCatraca->addMenu(mnuBase);
    // Until the start-up has settled, nothing may be changed from the menus.
    mnuOpcoes->menuAction()->setEnabled(false);
    mnuBase->menuAction()->setEnabled(false);

    connect(mnuSerial, &QAction::triggered, this, &TfrmCatraca::mnuSerialClick);
    connect(mnuTCP, &QAction::triggered, this, &TfrmCatraca::mnuTCPClick);
    connect(mnuInvertido, &QAction::triggered, this, &TfrmCatraca::mnuInvertidoClick);
    connect(mnuNormal, &QAction::triggered, this, &TfrmCatraca::mnuNormalClick);
    connect(mnuLog, &QAction::triggered, this, &TfrmCatraca::mnuLogClick);
    connect(mnuStringConex, &QAction::triggered, this, &TfrmCatraca::mnuStringConexClick);
    connect(mnuBase, &QMenu::aboutToShow, this, &TfrmCatraca::mnuBaseClick);
}

void TfrmCatraca::CreateToolbar(QWidget* parent)
{
    panToolbar = new QFrame(parent);
    panToolbar->setObjectName(u"panToolbar"_s);
    panToolbar->setFixedHeight(ToolbarHeight);
    auto* layout = new QHBoxLayout(panToolbar);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(1);

    struct ButtonSpec
    {
        QToolButton** member;
        const char* name;
        const char16_t* hint;
        QStyle::StandardPixmap pixmap;
    };
    const ButtonSpec buttons[] = {
        {&sbtConfirmar, "sbtConfirmar", u"Confirmar", QStyle::SP_DialogApplyButton},
        {&sbtCancelar, "sbtCancelar", u"Cancelar", QStyle::SP_DialogCancelButton},
        {&sbtIncluir, "sbtIncluir", u"Incluir", QStyle::SP_FileDialogNewFolder},
        {&sbtAlterar, "sbtAlterar", u"Alterar", QStyle::SP_FileDialogDetailedView},
        {&sbtExcluir, "sbtExcluir", u"Excluir", QStyle::SP_TrashIcon},
        {&sbtProcurar, "sbtProcurar", u"Procurar", QStyle::SP_FileDialogContentsView},
        {&sbtAtualizar, "sbtAtualizar", u"Atualizar", QStyle::SP_BrowserReload},
        {&sbtOrdenar, "sbtOrdenar", u"Ordenar", QStyle::SP_ArrowDown},
        {&sbtAjuda, "sbtAjuda", u"Ajuda", QStyle::SP_MessageBoxQuestion},
        {&sbtImprimir, "sbtImprimir", u"Imprimir", QStyle::SP_DriveFDIcon},
        {&sbtFechar, "sbtFechar", u"Fechar", QStyle::SP_DialogCloseButton},
    };
    for (const ButtonSpec& item : buttons) {
        auto* button = new QToolButton(panToolbar);
        button->setObjectName(QString::fromLatin1(item.name));
        button->setAutoRaise(true);
        button->setToolTip(QString::fromUtf16(item.hint));
        button->setIcon(style()->standardIcon(item.pixmap));
        button->setFixedSize(ToolbarHeight - 2, ToolbarHeight - 2);
        button->setEnabled(false);
        layout->addWidget(button);
        *item.member = button;
    }
    layout->addStretch(1);
    sbtAjuda->setEnabled(true);
    sbtFechar->setEnabled(true);
    connect(sbtFechar, &QToolButton::clicked, this, &QWidget::close);
}

void TfrmCatraca::CreatePages(QWidget* parent)
{
    pgcCatraca = new QTabWidget(parent);
    pgcCatraca->setObjectName(u"pgcCatraca"_s);
    m_onlinePage = new OnlinePage(m_core.onlineDisplay(), pgcCatraca);
    tshOnline = m_onlinePage;
    tshOnline->setObjectName(u"tshOnline"_s);
    pgcCatraca->addTab(tshOnline, u"Online"_s);
    tcbIniciar = m_onlinePage->tcbIniciar;
    tcbFechar = m_onlinePage->tcbFechar;
}

void TfrmCatraca::CreateStatusPanel(QWidget* parent)
{
    panConnect = new QFrame(parent);
    panConnect->setObjectName(u"panConnect"_s);
    panConnect->setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(panConnect);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* row1 = new QHBoxLayout;
    row1->setContentsMargins(4, 0, 0, 0);
    lblConnect = new QLabel(u"Catraca desconectada"_s, panConnect);
    lblConnect->setObjectName(u"lblConnect"_s);
    btfAbaixo = new QToolButton(panConnect);
    btfAbaixo->setObjectName(u"btfAbaixo"_s);
    btfAbaixo->setText(u"v"_s);
    btfAbaixo->setAutoRaise(true);
    btfAbaixo->setFixedSize(StatusRowHeight, StatusRowHeight);
    row1->addWidget(lblConnect, 1);
    row1->addWidget(btfAbaixo);
    auto* row1Widget = new QWidget(panConnect);
    row1Widget->setLayout(row1);
    row1Widget->setFixedHeight(StatusRowHeight);

    bvlConnect = new QFrame(panConnect);
    bvlConnect->setObjectName(u"bvlConnect"_s);
    bvlConnect->setFrameShape(QFrame::HLine);
    bvlConnect->setFrameShadow(QFrame::Sunken);
    bvlConnect->setFixedHeight(2);

    auto* row2Widget = new QWidget(panConnect);
    row2Widget->setObjectName(u"panConnectRow2"_s);
    panConnectRow2 = row2Widget;
    row2Widget->setFixedHeight(ExpandedPanelHeight - StatusRowHeight - 2);
    auto* row2 = new QHBoxLayout(row2Widget);
    row2->setContentsMargins(4, 0, 4, 0);
    lblADO = new QLabel(u"Loops ADO"_s, row2Widget);
    lblADO->setObjectName(u"lblADO"_s);
    lblEsv = new QLabel(u"Esvaziar BD: 00:00:00"_s, row2Widget);
    lblEsv->setObjectName(u"lblEsv"_s);
    lblSinc = new QLabel(u"Sincronismo: 00:00:00"_s, row2Widget);
    lblSinc->setObjectName(u"lblSinc"_s);
    lblAtu = new QLabel(u"AtuBio: 00:00:00"_s, row2Widget);
    lblAtu->setObjectName(u"lblAtu"_s);
    row2->addWidget(lblADO, 1);
    row2->addWidget(lblEsv);
    row2->addSpacing(12);
    row2->addWidget(lblSinc);
    row2->addSpacing(12);
    row2->addWidget(lblAtu);

    layout->addWidget(row1Widget);
    layout->addWidget(bvlConnect);
    layout->addWidget(row2Widget);
    panConnect->setToolTip(lblConnect->text());

    connect(btfAbaixo, &QToolButton::clicked, this, &TfrmCatraca::TogglePanel);
    actTogglePanel = new QAction(this);
    actTogglePanel->setObjectName(u"actTogglePanel"_s);
    actTogglePanel->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    actTogglePanel->setShortcutContext(Qt::WindowShortcut);
    addAction(actTogglePanel);
    connect(actTogglePanel, &QAction::triggered, this, &TfrmCatraca::TogglePanel);
}

void TfrmCatraca::CreateTrayMenu()
{
    ppmCatraca = new QMenu(this);
    ppmCatraca->setObjectName(u"ppmCatraca"_s);
    mnuRestaurar = ppmCatraca->addAction(u"&Restaurar"_s);
    mnuRestaurar->setObjectName(u"mnuRestaurar"_s);
    mnuMinimizar = ppmCatraca->addAction(u"&Minimizar"_s);
    mnuMinimizar->setObjectName(u"mnuMinimizar"_s);
    sep3 = ppmCatraca->addSeparator();
    sep3->setObjectName(u"sep3"_s);
    mnuSair = ppmCatraca->addAction(u"&Sair"_s);
    mnuSair->setObjectName(u"mnuSair"_s);

    connect(mnuRestaurar, &QAction::triggered, this, &TfrmCatraca::Restore);
    connect(mnuMinimizar, &QAction::triggered, this, &TfrmCatraca::Minimize);
    connect(mnuSair, &QAction::triggered, this, &QWidget::close);
}

void TfrmCatraca::FormCreate()
{
    m_core.FormCreate();
}

void TfrmCatraca::Initialize(bool serviceMode)
{
    m_core.Initialize(serviceMode);
    sbtFechar->setEnabled(!serviceMode);
    sep3->setVisible(!serviceMode);
    mnuSair->setVisible(!serviceMode);
    try {
        AddTrayIcon();
        // The service's window cannot be closed by its frame: the service ends it.
        if (serviceMode)
            setWindowFlag(Qt::WindowCloseButtonHint, false);
    } catch (const std::exception& error) {
        m_core.WriteLog(u"Initialize - ERRO: "_s + ErrorText(error));
    }
}

void TfrmCatraca::AddTrayIcon()
{
    // Qt re-adds the icon by itself when the shell's tray is recreated. A program started
    // before the desktop has no notification area yet: it looks again until one appears.
    if (m_core.environment().headless)
        return;
    if (!(m_core.environment().trayAvailable ? m_core.environment().trayAvailable()
                                             : QSystemTrayIcon::isSystemTrayAvailable())) {
        if (!m_trayWatch) {
            m_trayWatch = new QTimer(this);
            m_trayWatch->setInterval(TrayWatchMs * m_core.environment().timerIntervalFactor);
            connect(m_trayWatch, &QTimer::timeout, this, &TfrmCatraca::AddTrayIcon);
        }
        m_trayWatch->start();
        return;
    }
    if (m_trayWatch)
        m_trayWatch->stop();
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(windowIcon(), this);
        m_tray->setContextMenu(ppmCatraca);
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::DoubleClick)
                Restore();
        });
    }
    RefreshTrayTip();
    m_tray->show();
}

void TfrmCatraca::Minimize()
{
    // Hidden in the notification area the window is already as small as it gets; minimizing
    // it again would bring back its taskbar button.
    if (isHidden() && m_tray && m_tray->isVisible())
        return;
    showMinimized();
}

void TfrmCatraca::RefreshTrayTip()
{
    if (m_tray)
        m_tray->setToolTip(m_core.TrayTip());
}

void TfrmCatraca::Restore()
{
    if (m_core.environment().headless)
        return;
    showNormal();
    raise();
    activateWindow();
}

void TfrmCatraca::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // Minimized, the manager lives in the notification area only, without a taskbar button;
    // where there is no notification area it stays an ordinary minimized window.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && m_tray && m_tray->isVisible())
        QTimer::singleShot(0, this, &QWidget::hide);
}

void TfrmCatraca::closeEvent(QCloseEvent* event)
{
    // Every close of the frame (close box, Alt+F4, the system menu) arrives here; the core
    // decides it and, when it goes ahead, signals the end of the application.
    bool accepted = false;
    Run([&] { accepted = m_core.FormClose(); });
    if (!accepted) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

bool TfrmCatraca::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && !m_activated) {
        m_activated = true;
        // Closed once the activation has been handled: closing from inside it is refused.
        QTimer::singleShot(0, this, &TfrmCatraca::FormActivate);
    }
    return QMainWindow::event(event);
}

void TfrmCatraca::FormActivate()
{
    if (m_core.DuplicateInstance())
        close();
}

void TfrmCatraca::EnableMenus()
{
    mnuOpcoes->menuAction()->setEnabled(true);
    mnuBase->menuAction()->setEnabled(true);
}

void TfrmCatraca::ShowDbState(bool connected)
{
    QPalette palette = btfAbaixo->palette();
    const QColor colour = connected ? QColor(0, 0, 128) : QColor(255, 0, 0);
    palette.setColor(QPalette::ButtonText, colour);
    palette.setColor(QPalette::WindowText, colour);
    btfAbaixo->setPalette(palette);
}

void TfrmCatraca::TogglePanel()
{
    m_panelExpanded = !m_panelExpanded;
    const int panelHeight = m_panelExpanded ? ExpandedPanelHeight : CollapsedPanelHeight;
    bvlConnect->setVisible(m_panelExpanded);
    panConnectRow2->setVisible(m_panelExpanded);
    panConnect->setFixedHeight(panelHeight);
    resize(width(), m_panelExpanded ? ExpandedHeight : CollapsedHeight);
}

void TfrmCatraca::mnuSerialClick()
{
    Run([this] { m_core.ChooseLink(false); });
    // The menu has already moved the tick to the item clicked; it belongs to the chosen link.
    ShowLink();
}

void TfrmCatraca::mnuTCPClick()
{
    Run([this] { m_core.ChooseLink(true); });
    ShowLink();
}

void TfrmCatraca::mnuInvertidoClick()
{
    Run([this] { m_core.ChooseDirection(false); });
}

void TfrmCatraca::mnuNormalClick()
{
    Run([this] { m_core.ChooseDirection(true); });
}

void TfrmCatraca::mnuLogClick()
{
    // The tick, and with it the log switch, has already changed: it is stored.
    Run([this] { m_core.StoreLogSwitch(); });
}

void TfrmCatraca::mnuBaseClick()
{
    Run([this] { m_core.RefreshDataMenu(); });
}

void TfrmCatraca::mnuStringConexClick()
{
    Run([this] { m_core.ChangeProfileCode(); });
}

} // namespace zul
