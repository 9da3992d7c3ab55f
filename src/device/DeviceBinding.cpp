#include "device/DeviceBinding.h"

#include "device/DeviceCodes.h"
#include "device/DeviceUi.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/Error.h"
#include "support/Messages.h"
#include "support/Text.h"

#include <QStringList>
#include <array>

namespace zul {

using namespace Qt::StringLiterals;

namespace {

// Catalogue keys of the status codes 0 to 24; code 6 has none and shows an empty line.
constexpr std::array<const char*, 25> StatusKeys = {
    "TENTANDO",
    "CONECTADA",
    "NAO_CONECTOU",
    "FECHE_CONEX",
    "DESCONECT",
    "FALHA_DESCON",
    nullptr,
    "FALHA_DLL",
    "CONFIG_OFF",
    "CONFIG_OFF_OK",
    "ERRO_CONFIG_OFF",
    "MESSAGE_OFF",
    "MESSAGE_OFF_OK",
    "ERRO_MESSAGE_OFF",
    "MESSAGE_CONFIG_OK",
    "SINCRONIZANDO",
    "SINCRONISMO_OK",
    "SINCRONISMO_ERRO",
    "BD_EXCLUINDO",
    "BD_EXCLUIDO_OK",
    "BD_EXCLUIDO_ERRO",
    "ATUALIZA_CATRACA",
    "ATUALIZA_OK",
    "ATUALIZA_ERRO",
    "PREPARANDO_SINC",
};

constexpr qsizetype TrayTipLength = 63;

} // namespace

QString DeviceBinding::defaultLibraryName()
{
#ifdef _WIN32
    return u"EasyInner.dll"_s;
#else
    return u"libEasyInner.so"_s;
#endif
}

DeviceBinding::DeviceBinding(Clock& clock, const ActivityLog& log, const TMessages& messages, DeviceUi& ui,
                             QString libraryFileName)
    : m_clock(clock), m_log(log), m_messages(messages), m_ui(ui),
      m_libraryFileName(std::move(libraryFileName))
{
    // A start asked for while the link was owned runs from the window's own message loop, a
    // second after the owner has finished, as every restart does.
    m_link.onFreeWithDeferredStart = [this] {
        try {
            m_ui.startInicializaTimer();
        } catch (const std::exception& error) {
            writeLog(u"IniCatraca - ERRO: "_s + ErrorText(error));
        }
    };
}

DeviceBinding::~DeviceBinding() = default;

void DeviceBinding::writeLog(const QString& text) const
{
    m_log.write(text);
}

// --- library ---------------------------------------------------------------------------------

quintptr DeviceBinding::LoadDeviceLibrary()
{
    if (m_library.isLoaded())
        m_library.unload();
    m_libraryHandle = 0;
    writeLog(u"Carregando biblioteca da catraca..."_s);
    if (m_library.load(m_libraryFileName.toLocal8Bit().toStdString()))
        m_libraryHandle = m_library.nativeHandle();
    resolveEntryPoints();
    if (m_libraryHandle != 0)
        writeLog(u"Biblioteca carregada: \""_s + m_libraryFileName + u"\" Handle: "_s +
                 QString::number(m_libraryHandle));
    return m_libraryHandle;
}

void DeviceBinding::UnloadDeviceLibrary()
{
    if (m_libraryHandle == 0)
        return;
    m_library.unload();
    // Nothing may be called through a library that is gone.
    m_libraryHandle = 0;
    m_entryPoints.fill(nullptr);
}

QString DeviceBinding::libraryNotFoundText() const
{
    return m_messages.Format(u"DLL_NOT_FOUND"_s, {m_libraryFileName});
}

QString DeviceBinding::libraryErrorText() const
{
    return m_messages.Format(u"DLL_ERRO"_s, {m_libraryFileName});
}

// Each entry point is looked up by name here and only here: the calls go through the table.
void DeviceBinding::resolveEntryPoints()
{
    m_entryPoints.fill(nullptr);
    // Handles up to 32 are error values on Windows, never a loaded module.
    if (m_libraryHandle <= 32)
        return;
    for (std::size_t slot = 0; slot < m_entryPoints.size(); ++slot) {
        try {
            m_entryPoints[slot] = m_library.symbol(easyinner::EntryPointNames[slot]);
        } catch (...) {
            m_entryPoints[slot] = nullptr;
        }
    }
}

// --- status line and link settings -----------------------------------------------------------

QString DeviceBinding::statusKey(int code)
{
    if (code < 0 || code >= int(StatusKeys.size()) || StatusKeys[std::size_t(code)] == nullptr)
        return {};
    return QString::fromLatin1(StatusKeys[std::size_t(code)]);
}

QString DeviceBinding::shortHint(const QString& caption)
{
    const qsizetype bar = caption.indexOf(u'|');
    return (bar < 0 ? caption : caption.left(bar)).left(TrayTipLength);
}

QString DeviceBinding::ShowStatus(int code, const QString& text)
{
    try {
        QString caption;
        if (code == status::GivenText)
            caption = text;
        else if (const QString key = statusKey(code); !key.isEmpty())
            caption = m_messages.Lookup(key);
        m_ui.setStatusLine(caption);
    } catch (const std::exception& error) {
        writeLog(u"Mensagens - ERRO: "_s + ErrorText(error));
    }
    const QString shown = m_ui.statusLine();
    m_ui.setStatusHints(shown, shortHint(shown));
    return shown;
}

int DeviceBinding::currentLinkType() const
{
    return m_ui.linkMenu().tcpTicked ? 1 : 0;
}

void DeviceBinding::ReadDevicePort()
{
    const LinkMenu menu = m_ui.linkMenu();
    const QString caption = menu.serialTicked ? menu.serialCaption : menu.tcpCaption;
    const QString digits = DigitsOf(caption);
    bool ok = false;
    const int port = digits.toInt(&ok);
    if (!ok)
        throw Error(u"'%1' is not a valid integer value"_s.arg(digits));
    m_devicePort = port;
}

// --- link operations -------------------------------------------------------------------------

void DeviceBinding::IniCatraca()
{
    try {
        m_stopRequested = true;
        m_ui.startInicializaTimer();
        m_ui.enableMenus();
    } catch (const std::exception& error) {
        writeLog(u"IniCatraca - ERRO: "_s + ErrorText(error));
    }
}

bool DeviceBinding::LogStatusIfChanged(const QString& text)
{
    if (text == m_lastLoggedStatus)
        return false;
    m_lastLoggedStatus = text;
    writeLog(text);
    return true;
}

int DeviceBinding::PingDevice()
{
    // While somebody identified is walking through, the controller is busy with the passage.
    if (!m_passageIdle)
        return 0;
    int result = NotCalled;
    try {
        result = Call<easyinner::Ping>(DeviceNumber).value_or(NotCalled);
        m_clock.sleep(500);
        if (result == 0) {
            m_failedPings = 0;
            m_statusText = u"Encontrou catraca"_s;
        } else {
            if (m_failedPings >= ReopenAfterFailedPings) {
                m_statusText = u"Catraca não foi encontrada durante mais de "_s +
                               QString::number(m_failedPings) + u" tentativas"_s;
                reopenLink();
            }
            ++m_failedPings;
        }
        LogStatusIfChanged(m_statusText);
    } catch (const std::exception& error) {
        writeLog(u"Ping - ERRO: "_s + ErrorText(error));
    }
    return result;
}

// The pauses of a reopen dispatch window messages: the operator's "Fechar Cone&xão" or a
// restart may come in between, and the port must then stay as they left it.
void DeviceBinding::reopenLink()
{
    const auto stopped = [this] {
        if (!m_stopRequested)
            return false;
        writeLog(u"Reabertura da porta de comunicação cancelada: conexão encerrada"_s);
        return true;
    };
    if (stopped())
        return;
    Call<easyinner::DefinirTipoConexao>(m_linkType);
    m_clock.sleep(1000);
    if (stopped())
        return;
    Call<easyinner::FecharPortaComunicacao>();
    m_clock.sleep(1000);
    if (stopped())
        return;
    Invoke<easyinner::AbrirPortaComunicacao>(m_devicePort);
    m_failedPings = 0;
}

bool DeviceBinding::ConnectDevice()
{
    // The online loop holds the link already: what runs now runs on it. The program's own
    // state says so; the status line may show anything (a queue step's outcome, or CONECTADA
    // left over from a loop that ended through its error path).
    if (m_link.loopHoldsLink())
        return true;

    m_linkType = currentLinkType();
    Call<easyinner::FecharPortaComunicacao>();
    m_clock.sleep(1);
    Call<easyinner::DefinirTipoConexao>(m_linkType);
    m_clock.sleep(1);

    if (Invoke<easyinner::AbrirPortaComunicacao>(m_devicePort) != 0)
        return false;

    // The Clock's tick is monotonic and 64 bits wide, so the deadline cannot be passed by a
    // wrapping millisecond counter.
    RecordResult(NotCalled);
    const qint64 deadline = m_clock.elapsedSeconds() + ConnectDeadlineSeconds;
    ProcessMessages();
    while (m_clock.elapsedSeconds() <= deadline && m_lastResult != 0) {
        m_clock.sleep(100);
        Invoke<easyinner::Ping>(DeviceNumber);
        ProcessMessages();
    }

    if (m_lastResult == 0)
        writeLog(u"Funcão conectar terminou OK"_s);
    else
        writeLog(u"Funcão conectar terminou com o erro["_s + QString::number(m_lastResult) + u"]"_s);
    return m_lastResult == 0;
}

int DeviceBinding::SendOnlineConfig()
{
    using namespace easyinner;
    try {
        QStringList missing;
        const auto bound = [&]<class EntryPoint>(EntryPoint) {
            const typename EntryPoint::Pointer proc = Bound<EntryPoint>();
            if (proc == nullptr)
                missing << QString::fromLatin1(EntryPoint::name);
            return proc;
        };
        const auto configurarInnerOnLine = bound(ConfigurarInnerOnLine{});
        const auto habilitarTeclado = bound(HabilitarTeclado{});
        const auto configurarAcionamento1 = bound(ConfigurarAcionamento1{});
        const auto configurarTipoLeitor = bound(ConfigurarTipoLeitor{});
        const auto configurarLeitor1 = bound(ConfigurarLeitor1{});
        const auto definirQuantidadeDigitosCartao = bound(DefinirQuantidadeDigitosCartao{});
        const auto receberDataHoraDadosOnLine = bound(ReceberDataHoraDadosOnLine{});
        const auto definirFuncaoDefaultSensorBiometria = bound(DefinirFuncaoDefaultSensorBiometria{});
        // The second reader is not among them: it keeps its own settings.
        const auto enviarConfiguracoes = bound(EnviarConfiguracoes{});

        // The settings are handed over only when all of them can be, and then sent.
        if (!missing.isEmpty())
            throw Error(u"Ponto de entrada não encontrado na biblioteca da catraca: "_s +
                        missing.join(u", "_s));

        configurarInnerOnLine();
        habilitarTeclado(0, 1);
        configurarAcionamento1(1, 5);
        configurarTipoLeitor(0);
        configurarLeitor1(3);
        definirQuantidadeDigitosCartao(10);
        receberDataHoraDadosOnLine(1);
        definirFuncaoDefaultSensorBiometria(12);
        return enviarConfiguracoes(DeviceNumber) & 0xFF;
    } catch (const std::exception& error) {
        writeLog(u"Config Online - ERRO: "_s + ErrorText(error));
        return 1;
    }
}

void DeviceBinding::StartConnection(const std::function<bool()>& databaseConnected,
                                    const std::function<void()>& runOnlineLoop)
{
    // Started from a wait of the operation that owns the link (a timer or the button dispatched
    // there), a start would close the port under it or run a second loop inside the first.
    std::optional<LinkOwnership::Claim> claim = m_link.claim(LinkHolder::Connection);
    if (!claim) {
        if (m_link.deferStart())
            writeLog(u"Início da conexão adiado: catraca em uso ("_s +
                     LinkOwnership::holderName(m_link.holder()) + u")"_s);
        return;
    }

    const bool connected = databaseConnected();
    writeLog(u"Inicialização da catraca..."_s);
    if (!connected)
        return;

    const easyinner::FecharPortaComunicacao::Pointer closePort = Bound<easyinner::FecharPortaComunicacao>();
    if (closePort == nullptr) {
        ShowStatus(status::Blank);
        m_ui.enableMenus();
        throw Error(m_messages.Lookup(u"FALHA_DLL"_s));
    }
    closePort();
    ShowStatus(status::Trying);

    m_linkType = currentLinkType();
    Call<easyinner::DefinirTipoConexao>(m_linkType);
    const LinkMenu menu = m_ui.linkMenu();
    m_statusText = m_linkType == 1 ? menu.tcpCaption : menu.serialCaption;
    writeLog(u"Tipo de comunicação: "_s + m_statusText);

    m_loopState = 0;
    Call<easyinner::DefinirPadraoCartao>(1);

    writeLog(u"Abrir porta de comunicação"_s);
    if (const int opened = Invoke<easyinner::AbrirPortaComunicacao>(m_devicePort); opened != 0) {
        writeLog(u"Erro ao abrir porta de comunicação["_s + QString::number(opened) + u"]"_s);
        return;
    }

    if (m_statusText != m_lastLoggedStatus) {
        m_lastLoggedStatus = m_statusText;
        m_statusText = u"Porta de comunicação aberta"_s;
    }
    writeLog(m_statusText);
    m_stopRequested = false;
    claim->becomes(LinkHolder::OnlineLoop);
    runOnlineLoop();
}

void DeviceBinding::StopConnection()
{
    m_ui.stopReconnectTimer();
    writeLog(u"Fechando a porta de comunicação com a catraca"_s);
    m_stopRequested = true;
    m_link.cancelDeferredStart();
    m_ui.enableMenus();
    if (Call<easyinner::FecharPortaComunicacao>())
        ShowStatus(status::Disconnected);
    else
        ShowStatus(status::DisconnectFailed);
}

} // namespace zul
