#include "app/TfrmCatraca.h"

#include "access/DisplayTexts.h"
#include "access/OnlinePage.h"
#include "access/PassageFeedback.h"
#include "access/PassageJournal.h"
#include "access/PersonLookup.h"
#include "access/TurnstileRelease.h"
#include "app/DuplicateInstance.h"
#include "app/ZulApplication.h"
#include "db/ManagerDatabase.h"
#include "device/DeviceBinding.h"
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

namespace zul {

namespace {

constexpr int ToolbarHeight = 28;
constexpr int StatusRowHeight = 16;
constexpr int TrayTipLength = 63;
// How often a program started without a notification area looks for one.
constexpr int TrayWatchMs = 5000;

QString Separator()
{
    return QString(47, u'-');
}

QString DigitsOf(const QString& text)
{
    QString digits;
    for (const QChar c : text)
        if (c >= u'0' && c <= u'9')
            digits += c;
    return digits;
}

bool AllDigits(const QString& text)
{
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

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

QString TrayTipFor(const QString& statusLine)
{
    return statusLine.section(u'|', 0, 0).left(TrayTipLength);
}

TfrmCatraca::TfrmCatraca(const AppEnvironment& env, QWidget* parent)
    : QMainWindow(parent), m_env(env), m_settings(msgPadrao, env.registry)
{
    setObjectName(QStringLiteral("frmCatraca"));
    setWindowTitle(QStringLiteral("Gerenciador da Catraca"));
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

    // The log switch is the tick of "&Gerar Log", whoever changes it.
    m_env.log.setEnabled(mnuLog->isChecked());
    connect(mnuLog, &QAction::toggled, this, [this](bool on) { m_env.log.setEnabled(on); });

    m_device = std::make_unique<DeviceBinding>(
        m_env.clock, m_env.log, msgPadrao, *this,
        m_env.deviceLibrary.isEmpty() ? DeviceBinding::defaultLibraryName() : m_env.deviceLibrary);
    m_database = std::make_unique<ManagerDatabase>(*m_device, msgPadrao, m_settings, m_env.dialogs, *this);
    m_database->tmrReconnect.setInterval(ManagerDatabase::ReconnectIntervalMs * m_env.timerIntervalFactor);
    CreateSubsystems();

    tmrInicializa = new QTimer(this);
    tmrInicializa->setObjectName(QStringLiteral("tmrInicializa"));
    tmrInicializa->setInterval(InicializaIntervalMs * m_env.timerIntervalFactor);
    connect(tmrInicializa, &QTimer::timeout, this, &TfrmCatraca::tmrInicializaTimer);
    tmrAtualiza = new QTimer(this);
    tmrAtualiza->setObjectName(QStringLiteral("tmrAtualiza"));
    tmrAtualiza->setInterval(AtualizaIntervalMs * m_env.timerIntervalFactor);
    connect(tmrAtualiza, &QTimer::timeout, this, &TfrmCatraca::tmrAtualizaTimer);
    tmrAtualiza->start();

    connect(tcbIniciar, &QPushButton::clicked, this, &TfrmCatraca::StartConnection);
    connect(tcbFechar, &QPushButton::clicked, this, &TfrmCatraca::StopConnection);

    // Collapsed at start.
    TogglePanel();
    TogglePanel();
}

TfrmCatraca::~TfrmCatraca()
{
    FormDestroy();
}

void TfrmCatraca::CreateSubsystems()
{
    TXConnection& connection = m_database->xcnCatraca;
    m_notify = std::make_unique<NotificationServer>(m_env.log, m_env.notificationPort);
    const auto broadcast = [this](const QString& text, const QString& prefix) {
        m_notify->BroadcastToClients(text, prefix);
    };
    const auto reconnect = [this](bool force, bool report) { return Reconnect(force, report); };

    m_lookup = std::make_unique<PersonLookup>(connection, *m_device);
    m_lookup->reconnect = reconnect;
    m_lookup->reportMode = [this] { return m_database->ReportMode(); };
    m_onlinePage->SetServerTimeSource([this] { return m_lookup->ServerNow(); });

    m_journal = std::make_unique<PassageJournal>(PassageJournal::defaultFilePath(m_env.log.folder()));
    m_feedback = std::make_unique<PassageFeedback>(
        *m_device, *m_onlinePage, connection, *m_journal,
        PassageHooks{broadcast, reconnect, [this] { return m_lookup->ServerNow(); }});
    // Passages the database refused go in as soon as it is back.
    m_database->AfterConnect = [this] { m_feedback->ReplayJournal(); };

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

    connect(mnuSincronizar, &QAction::triggered, this, &TfrmCatraca::mnuSincronizarClick);
    connect(mnuAgendSinc, &QAction::triggered, this, &TfrmCatraca::mnuAgendSincClick);
    connect(mnuAgendDesf, &QAction::triggered, this, &TfrmCatraca::mnuAgendDesfClick);
    connect(mnuSincronismo, &QMenu::aboutToShow, this, &TfrmCatraca::mnuSincronismoClick);
    connect(mnuEsvaziar, &QAction::triggered, this, &TfrmCatraca::mnuEsvaziarClick);
}

bool TfrmCatraca::Reconnect(bool force, bool report)
{
    const bool connected = m_database->ConnectDatabase(force, report);
    ShowDbState(connected);
    return connected;
}

QStringList& TfrmCatraca::PendingQueue()
{
    return m_notify->PendingQueue();
}

QDateTime TfrmCatraca::GetServerTime()
{
    return m_lookup->GetServerTime();
}

bool TfrmCatraca::LookUpPerson()
{
    return m_lookup->LookUpPerson();
}

void TfrmCatraca::ShowPassageWaiting()
{
    m_feedback->ShowPassageWaiting();
}

void TfrmCatraca::ShowPassageMissed()
{
    m_feedback->ShowPassageMissed();
}

void TfrmCatraca::ConfirmPassage()
{
    m_feedback->ConfirmPassage();
}

int TfrmCatraca::SendStandingMessage()
{
    return zul::SendStandingMessage(*m_device, *m_onlinePage);
}

int TfrmCatraca::SendPassageMessage(bool isEntry)
{
    return zul::SendPassageMessage(*m_device, *m_onlinePage, isEntry);
}

int TfrmCatraca::IdentificationFormsCode()
{
    return mnuTeclado->isChecked() && mnuCartao->isChecked() && !mnuBiometrico->isChecked() ? 12 : 11;
}

void TfrmCatraca::CheckScheduledSync()
{
    m_schedule->CheckScheduledSync();
}

void TfrmCatraca::CheckNotificationSocket()
{
    m_notify->CheckNotificationSocket();
}

void TfrmCatraca::CheckDatabaseConnection()
{
    m_database->CheckDatabaseConnection();
}

bool TfrmCatraca::HasPendingUpdate()
{
    return m_pending->HasPendingUpdate();
}

void TfrmCatraca::RunQueueStep()
{
    m_pending->RunQueueStep();
}

void TfrmCatraca::SetHousekeepingCaption(const QString& caption)
{
    lblADO->setText(caption);
}

void TfrmCatraca::setSyncTiming(const QString& text)
{
    lblSinc->setText(text);
}

void TfrmCatraca::setClearingTiming(const QString& text)
{
    lblEsv->setText(text);
}

void TfrmCatraca::setUpdateTiming(const QString& text)
{
    lblAtu->setText(text);
}

QString TfrmCatraca::scheduleCaption() const
{
    return mnuAgendSinc->text();
}

void TfrmCatraca::setScheduleCaption(const QString& caption)
{
    mnuAgendSinc->setText(caption);
}

bool TfrmCatraca::scheduleTicked() const
{
    return mnuAgendSinc->isChecked();
}

void TfrmCatraca::setScheduleTicked(bool ticked)
{
    mnuAgendSinc->setChecked(ticked);
}

void TfrmCatraca::mnuSincronizarClick()
{
    m_templates->SynchroniseNow();
}

void TfrmCatraca::mnuAgendSincClick()
{
    m_schedule->mnuAgendSincClick();
}

void TfrmCatraca::mnuAgendDesfClick()
{
    m_schedule->mnuAgendDesfClick();
}

void TfrmCatraca::mnuSincronismoClick()
{
    m_schedule->mnuSincronismoClick();
}

void TfrmCatraca::mnuEsvaziarClick()
{
    m_clearing->ClearNow();
}

void TfrmCatraca::CreateMenus()
{
    mmnCatraca = menuBar();
    mmnCatraca->setObjectName(QStringLiteral("mmnCatraca"));

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

    mnuOpcoes = menu(this, "mnuOpcoes", QStringLiteral("&Opções"));
    mnuTipoConex = menu(mnuOpcoes, "mnuTipoConex", QStringLiteral("&Tipos de Conexão"));
    grpTipoConex = new QActionGroup(this);
    grpTipoConex->setExclusive(true);
    mnuSerial = radio(mnuTipoConex, grpTipoConex, "mnuSerial", QStringLiteral("&Serial   (Porta 1)"));
    mnuTCP = radio(mnuTipoConex, grpTipoConex, "mnuTCP", QStringLiteral("TCP/&IP (Porta 3570)"));
    mnuTCP->setChecked(true);
    m_linkTicked = mnuTCP;
    mnuOpcoes->addMenu(mnuTipoConex);
    sep1 = named(mnuOpcoes->addSeparator(), "sep1");
    mnuSentido = menu(mnuOpcoes, "mnuSentido", QStringLiteral("Sentido da &Catraca"));
    grpSentido = new QActionGroup(this);
    grpSentido->setExclusive(true);
    mnuInvertido = radio(mnuSentido, grpSentido, "mnuInvertido", QStringLiteral("&Invertido"));
    mnuNormal = radio(mnuSentido, grpSentido, "mnuNormal", QStringLiteral("&Normal"));
    mnuInvertido->setChecked(true);
    mnuOpcoes->addMenu(mnuSentido);
    // The identification forms are fixed for the whole run: the submenu is never shown and
    // its ticks are only read by the online loop.
    mnuAutentica = menu(mnuOpcoes, "mnuAutentica", QStringLiteral("A&utenticações"));
    mnuTeclado = named(mnuAutentica->addAction(QStringLiteral("&Teclado + Biométrico")), "mnuTeclado");
    mnuCartao = named(mnuAutentica->addAction(QStringLiteral("&Cartão + Biométrico")), "mnuCartao");
    mnuBiometrico = named(mnuAutentica->addAction(QStringLiteral("Somente &Biométrico")), "mnuBiometrico");
    for (QAction* action : {mnuTeclado, mnuCartao, mnuBiometrico})
        action->setCheckable(true);
    mnuBiometrico->setChecked(true);
    mnuOpcoes->addMenu(mnuAutentica);
    mnuAutentica->menuAction()->setVisible(false);

    mnuBase = menu(this, "mnuBase", QStringLiteral("&Dados"));
    mnuSincronismo = menu(mnuBase, "mnuSincronismo", QStringLiteral("&Sincronismo de Dados"));
    mnuSincronizar = named(mnuSincronismo->addAction(QStringLiteral("Sincroniz&ar Agora")), "mnuSincronizar");
    sep2 = named(mnuSincronismo->addSeparator(), "sep2");
    mnuAgendSinc = named(mnuSincronismo->addAction(QStringLiteral("Agendar &Horário")), "mnuAgendSinc");
    mnuAgendSinc->setCheckable(true);
    mnuAgendSinc->setChecked(true);
    mnuAgendDesf = named(mnuSincronismo->addAction(QStringLiteral("Des&fazer Agendamento")), "mnuAgendDesf");
    mnuBase->addMenu(mnuSincronismo);
    mnuEsvaziar = named(mnuBase->addAction(QStringLiteral("&Limpar BD da Catraca")), "mnuEsvaziar");
    sep4 = named(mnuBase->addSeparator(), "sep4");
    mnuStringConex = named(mnuBase->addAction(QStringLiteral("Porta Soc&ket (211)")), "mnuStringConex");
    mnuLog = named(mnuBase->addAction(QStringLiteral("&Gerar Log")), "mnuLog");
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
    panToolbar->setObjectName(QStringLiteral("panToolbar"));
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
    pgcCatraca->setObjectName(QStringLiteral("pgcCatraca"));
    m_onlinePage = new OnlinePage(m_env.clock, pgcCatraca);
    tshOnline = m_onlinePage;
    tshOnline->setObjectName(QStringLiteral("tshOnline"));
    pgcCatraca->addTab(tshOnline, QStringLiteral("Online"));
    tcbIniciar = m_onlinePage->tcbIniciar;
    tcbFechar = m_onlinePage->tcbFechar;
}

void TfrmCatraca::CreateStatusPanel(QWidget* parent)
{
    panConnect = new QFrame(parent);
    panConnect->setObjectName(QStringLiteral("panConnect"));
    panConnect->setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(panConnect);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* row1 = new QHBoxLayout;
    row1->setContentsMargins(4, 0, 0, 0);
    lblConnect = new QLabel(QStringLiteral("Catraca desconectada"), panConnect);
    lblConnect->setObjectName(QStringLiteral("lblConnect"));
    btfAbaixo = new QToolButton(panConnect);
    btfAbaixo->setObjectName(QStringLiteral("btfAbaixo"));
    btfAbaixo->setText(QStringLiteral("v"));
    btfAbaixo->setAutoRaise(true);
    btfAbaixo->setFixedSize(StatusRowHeight, StatusRowHeight);
    row1->addWidget(lblConnect, 1);
    row1->addWidget(btfAbaixo);
    auto* row1Widget = new QWidget(panConnect);
    row1Widget->setLayout(row1);
    row1Widget->setFixedHeight(StatusRowHeight);

    bvlConnect = new QFrame(panConnect);
    bvlConnect->setObjectName(QStringLiteral("bvlConnect"));
    bvlConnect->setFrameShape(QFrame::HLine);
    bvlConnect->setFrameShadow(QFrame::Sunken);
    bvlConnect->setFixedHeight(2);

    auto* row2Widget = new QWidget(panConnect);
    row2Widget->setObjectName(QStringLiteral("panConnectRow2"));
    panConnectRow2 = row2Widget;
    row2Widget->setFixedHeight(ExpandedPanelHeight - StatusRowHeight - 2);
    auto* row2 = new QHBoxLayout(row2Widget);
    row2->setContentsMargins(4, 0, 4, 0);
    lblADO = new QLabel(QStringLiteral("Loops ADO"), row2Widget);
    lblADO->setObjectName(QStringLiteral("lblADO"));
    lblEsv = new QLabel(QStringLiteral("Esvaziar BD: 00:00:00"), row2Widget);
    lblEsv->setObjectName(QStringLiteral("lblEsv"));
    lblSinc = new QLabel(QStringLiteral("Sincronismo: 00:00:00"), row2Widget);
    lblSinc->setObjectName(QStringLiteral("lblSinc"));
    lblAtu = new QLabel(QStringLiteral("AtuBio: 00:00:00"), row2Widget);
    lblAtu->setObjectName(QStringLiteral("lblAtu"));
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
    actTogglePanel->setObjectName(QStringLiteral("actTogglePanel"));
    actTogglePanel->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    actTogglePanel->setShortcutContext(Qt::WindowShortcut);
    addAction(actTogglePanel);
    connect(actTogglePanel, &QAction::triggered, this, &TfrmCatraca::TogglePanel);
}

void TfrmCatraca::CreateTrayMenu()
{
    ppmCatraca = new QMenu(this);
    ppmCatraca->setObjectName(QStringLiteral("ppmCatraca"));
    mnuRestaurar = ppmCatraca->addAction(QStringLiteral("&Restaurar"));
    mnuRestaurar->setObjectName(QStringLiteral("mnuRestaurar"));
    mnuMinimizar = ppmCatraca->addAction(QStringLiteral("&Minimizar"));
    mnuMinimizar->setObjectName(QStringLiteral("mnuMinimizar"));
    sep3 = ppmCatraca->addSeparator();
    sep3->setObjectName(QStringLiteral("sep3"));
    mnuSair = ppmCatraca->addAction(QStringLiteral("&Sair"));
    mnuSair->setObjectName(QStringLiteral("mnuSair"));

    connect(mnuRestaurar, &QAction::triggered, this, &TfrmCatraca::Restore);
    connect(mnuMinimizar, &QAction::triggered, this, &TfrmCatraca::Minimize);
    connect(mnuSair, &QAction::triggered, this, &QWidget::close);
}

void TfrmCatraca::Initialize(bool serviceMode)
{
    m_serviceMode = serviceMode;
    WriteLog(serviceMode ? QStringLiteral(" \u2022 Inicialização do programa como serviço do windows")
                         : QStringLiteral(" \u2022 Inicialização do programa em modo normal"));
    sbtFechar->setEnabled(!serviceMode);
    sep3->setVisible(!serviceMode);
    mnuSair->setVisible(!serviceMode);
    try {
        AddTrayIcon();
        // The service's window cannot be closed by its frame: the service ends it.
        if (serviceMode)
            setWindowFlag(Qt::WindowCloseButtonHint, false);
    } catch (const Error& error) {
        WriteLog(QStringLiteral("Initialize - ERRO: ") + error.message());
    } catch (const std::exception& error) {
        WriteLog(QStringLiteral("Initialize - ERRO: ") + ErrorText(error));
    }
}

void TfrmCatraca::AddTrayIcon()
{
    // Qt re-adds the icon by itself when the shell's tray is recreated. A program started
    // before the desktop has no notification area yet: it looks again until one appears.
    if (m_env.headless)
        return;
    if (!(m_env.trayAvailable ? m_env.trayAvailable() : QSystemTrayIcon::isSystemTrayAvailable())) {
        if (!m_trayWatch) {
            m_trayWatch = new QTimer(this);
            m_trayWatch->setInterval(TrayWatchMs * m_env.timerIntervalFactor);
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
        m_tray->setToolTip(TrayTipFor(StatusLine()));
}

void TfrmCatraca::Restore()
{
    if (m_env.headless)
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
    // Every close of the frame (close box, Alt+F4, the system menu) arrives here. The service's
    // window is closed only by stopping the service.
    if (m_serviceMode) {
        event->ignore();
        m_env.dialogs.message(OperatorDialogs::Icon::Warning, msgPadrao.Lookup(QStringLiteral("SAIR_TITLE")),
                              msgPadrao.Lookup(QStringLiteral("SAIR_SERV")));
        return;
    }
    if (!FormClose()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT closed();
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

bool TfrmCatraca::FormClose()
{
    if (m_device->StopFlag)
        return true;
    const QString caption = lblConnect->text();
    const bool online = caption != msgPadrao.Lookup(QStringLiteral("TENTANDO")) &&
                        caption != msgPadrao.Lookup(QStringLiteral("DESCONECT"));
    if (online &&
        !m_env.dialogs.ask(OperatorDialogs::Icon::Warning, msgPadrao.Lookup(QStringLiteral("SAIR_TITLE")),
                           msgPadrao.Lookup(QStringLiteral("SAIR")), false))
        return false;
    m_device->ShowStatus(3);
    m_device->StopFlag = true;
    return true;
}

void TfrmCatraca::FormActivate()
{
    if (m_duplicateInstance)
        close();
}

void TfrmCatraca::RequestQuit()
{
    m_quitRequested = true;
    m_device->StopFlag = true;
    Q_EMIT closed();
}

void TfrmCatraca::EndSession()
{
    WriteLog(Separator());
    WriteLog(QStringLiteral("     Encerramento do Windows (WMEndSession)"));
    WriteLog(Separator());
}

void TfrmCatraca::WriteLog(const QString& text) const
{
    if (mnuLog->isChecked())
        m_env.log.write(text);
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

void TfrmCatraca::ReportError(const QString& text, bool raise)
{
    if (raise)
        throw Error(text);
    m_env.dialogs.message(OperatorDialogs::Icon::Error, QStringLiteral("Erro"), text);
}

bool TfrmCatraca::IsBlank(const QString& text)
{
    return zul::IsBlank(text);
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

QString TfrmCatraca::statusLine() const
{
    return lblConnect->text();
}

void TfrmCatraca::setStatusLine(const QString& caption)
{
    lblConnect->setText(caption);
}

void TfrmCatraca::setStatusHints(const QString& hint, const QString& trayTip)
{
    panConnect->setToolTip(hint);
    if (m_tray)
        m_tray->setToolTip(trayTip);
}

LinkMenu TfrmCatraca::linkMenu() const
{
    return {mnuSerial->text(), mnuTCP->text(), mnuSerial->isChecked(), mnuTCP->isChecked()};
}

bool TfrmCatraca::normalMounting() const
{
    return mnuNormal->isChecked();
}

void TfrmCatraca::startInicializaTimer()
{
    tmrInicializa->start();
}

void TfrmCatraca::stopReconnectTimer()
{
    m_database->tmrReconnect.stop();
}

void TfrmCatraca::ShowMessageAndRelease(const QString& text)
{
    zul::ShowMessageAndRelease(*m_device, text);
}

void TfrmCatraca::SetStatusLine(const QString& text)
{
    lblConnect->setText(text);
    panConnect->setToolTip(text);
    RefreshTrayTip();
}

QString TfrmCatraca::StatusLine() const
{
    return lblConnect->text();
}

DeviceLinkChoice TfrmCatraca::deviceLinkChoice() const
{
    const bool tcp = mnuTCP->isChecked();
    return {tcp ? 1 : 0, DigitsOf((tcp ? mnuTCP : mnuSerial)->text())};
}

void TfrmCatraca::onExcept(const QString& message) const
{
    WriteLog(Separator());
    WriteLog(QStringLiteral(" Exceção detectada pela aplicação(Captador ) "));
    WriteLog(QStringLiteral(" Mensagem: ") + message);
    WriteLog(Separator());
}

void TfrmCatraca::mnuSerialClick()
{
    ChooseLink(mnuSerial, QStringLiteral("SERIAL"));
}

void TfrmCatraca::mnuTCPClick()
{
    ChooseLink(mnuTCP, QStringLiteral("TCP"));
}

void TfrmCatraca::ChooseLink(QAction* item, const QString& captionKey)
{
    // The menu has already moved the tick to the item clicked; it belongs to the ticked link
    // until a valid port is confirmed.
    m_linkTicked->setChecked(true);

    const std::optional<QString> answer =
        m_env.dialogs.input(msgPadrao.Lookup(QStringLiteral("PORTA_TITULO")),
                            msgPadrao.Lookup(QStringLiteral("PORTA")), DigitsOf(item->text()));
    if (!answer)
        return;
    if (!AllDigits(*answer)) {
        EnableMenus();
        ReportError(msgPadrao.Lookup(QStringLiteral("PORTA_INV")), true);
    }
    item->setText(msgPadrao.Format(captionKey, {*answer}));
    item->setChecked(true);
    m_linkTicked = item;
    ReadDevicePort();
}

void TfrmCatraca::mnuInvertidoClick()
{
    ChooseDirection(false);
}

void TfrmCatraca::mnuNormalClick()
{
    ChooseDirection(true);
}

void TfrmCatraca::ChooseDirection(bool normal)
{
    (normal ? mnuInvertido : mnuNormal)->setChecked(false);
    (normal ? mnuNormal : mnuInvertido)->setChecked(true);
    SwapDirectionTexts(*m_onlinePage, msgPadrao, normal);
}

void TfrmCatraca::mnuLogClick()
{
    // The tick has already changed, and with it the log switch.
    try {
        m_settings.writeLogSwitch(mnuLog->isChecked());
    } catch (const Error& error) {
        WriteLog(QStringLiteral("MenuLog ERRO: ") + error.message());
    }
}

void TfrmCatraca::mnuBaseClick()
{
    const QString code = m_settings.readProfileCode();
    if (const std::optional<bool> logOn = m_settings.readLogSwitch())
        mnuLog->setChecked(*logOn);
    if (IsBlank(code))
        m_settings.writeProfileCode(QStringLiteral("211"));
    else
        mnuStringConex->setText(msgPadrao.Format(QStringLiteral("MNUPORTAADO"), {code}));
}

void TfrmCatraca::mnuStringConexClick()
{
    StopConnection();
    QString code = m_settings.readProfileCode();
    mnuStringConex->setText(msgPadrao.Format(QStringLiteral("MNUPORTAADO"), {code}));
    const std::optional<QString> answer =
        m_env.dialogs.input(msgPadrao.Lookup(QStringLiteral("PORTA_ADO_TITULO")),
                            msgPadrao.Lookup(QStringLiteral("PORTA_ADO_INF")), code);
    if (answer) {
        if (!AllDigits(*answer)) {
            EnableMenus();
            ReportError(msgPadrao.Lookup(QStringLiteral("PORTA_INV")), true);
        }
        code = answer->isEmpty() ? QStringLiteral("211") : *answer;
    }
    m_settings.writeProfileCode(code);
}

void TfrmCatraca::FormCreate()
{
    m_duplicateInstance = CheckDuplicateInstance(m_env.log, m_env.processImagePaths);
    WriteLog(Separator());
    if (m_duplicateInstance) {
        WriteLog(QStringLiteral("Tentativa de executar a aplicação mais de uma vez"));
        WriteLog(Separator());
        m_env.dialogs.message(OperatorDialogs::Icon::Error, QStringLiteral("Erro"),
                              msgPadrao.Lookup(QStringLiteral("LOADED")));
        m_device->StopFlag = true;
        return;
    }
    WriteLog(QStringLiteral("           Inicializando programa"));
    WriteLog(Separator());
    WriteLog(QString());

    m_device->FailedPings = 0;

    // A log switch that cannot be read leaves "&Gerar Log" ticked.
    try {
        if (const std::optional<bool> logOn = m_settings.readLogSwitch())
            mnuLog->setChecked(*logOn);
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
    m_device->DeviceNumber = 1;
    InstallExceptionHandler();
    CheckNotificationSocket();
    PendingQueue().clear();
    PutDirectionTexts();
    setWindowState(windowState() | Qt::WindowMinimized);

    const bool connected = m_database->ConnectDatabase(false, true);
    ShowDbState(connected);
    if (connected)
        m_database->tmrReconnect.start();
    else
        m_device->IniCatraca();
    m_startupComplete = true;
}

void TfrmCatraca::InstallExceptionHandler()
{
    if (auto* application = qobject_cast<ZulApplication*>(QCoreApplication::instance()))
        application->setExceptionHandler([this](const QString& message) { onExcept(message); });
}

void TfrmCatraca::FormDestroy()
{
    WriteLog(Separator());
    if (m_duplicateInstance) {
        WriteLog(QStringLiteral(" Programa finalizado em função de duplicidade"));
    } else {
        WriteLog(QStringLiteral("    O programa foi finalizado normalmente"));
        m_device->Call<easyinner::EnviarMensagemPadraoOnLine>(
            m_device->DeviceNumber, 0, toWin1252(msgPadrao.Lookup(QStringLiteral("FORA_DO_AR"))).constData());
    }
    WriteLog(Separator());
    WriteLog(QString());
    m_device->UnloadDeviceLibrary();
    m_database->Close();
    PendingQueue().clear();
    if (m_tray)
        m_tray->hide();
    // No handler may reach a window that is going.
    if (auto* application = qobject_cast<ZulApplication*>(QCoreApplication::instance()))
        application->setExceptionHandler({});
}

void TfrmCatraca::tmrInicializaTimer()
{
    tmrInicializa->stop();
    StartConnection();
    EnableMenus();
}

void TfrmCatraca::tmrAtualizaTimer()
{
    RefreshDisplayDates();
}

void TfrmCatraca::StartConnection()
{
    m_device->StartConnection(
        [this] {
            const bool connected = m_database->ConnectDatabase(false, true);
            ShowDbState(connected);
            return connected;
        },
        [this] { RunOnlineLoop(); });
}

void TfrmCatraca::StopConnection()
{
    m_device->StopConnection();
}

void TfrmCatraca::ReadDevicePort()
{
    m_device->ReadDevicePort();
}

void TfrmCatraca::PutDirectionTexts()
{
    zul::PutDirectionTexts(*m_onlinePage, msgPadrao, mnuNormal->isChecked());
}

void TfrmCatraca::RefreshDisplayDates()
{
    zul::RefreshDisplayDates(*m_onlinePage, m_env.clock);
}

void TfrmCatraca::RunOnlineLoop()
{
    m_loop->RunOnlineLoop();
}

} // namespace zul
