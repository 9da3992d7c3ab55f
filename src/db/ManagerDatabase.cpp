#include "db/ManagerDatabase.h"

#include "db/DatabaseUi.h"
#include "db/ProfileSource.h"
#include "db/Statements.h"
#include "dbconfig/ConnectionProfiles.h"
#include "device/DeviceBinding.h"
#include "device/DeviceCodes.h"
#include "support/ActivityLog.h"
#include "support/Error.h"
#include "support/Messages.h"
#include "support/OperatorDialogs.h"
#include "support/Settings.h"
#include "support/Win1252.h"

#include <algorithm>
#include <optional>

namespace zul {

using namespace Qt::StringLiterals;

namespace {

bool isBlank(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c == u' '; });
}

bool allDigits(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

} // namespace

void UseProcessConnectionProfiles()
{
    db::SetProfileSource({[](const QString& code) { return ServerTypeForProfile(code); },
                          [] { return ProfilePooling(); }, [] { return int(ProfileMaxPoolSize()); },
                          [] { return int(ProfileMinPoolSize()); }});
}

ManagerDatabase::ManagerDatabase(DeviceBinding& device, const TMessages& messages, SettingsStore& settings,
                                 OperatorDialogs& dialogs, DatabaseUi& ui, QObject* parent)
    : QObject(parent), m_device(device), m_messages(messages), m_settings(settings), m_dialogs(dialogs),
      m_ui(ui)
{
    xcnCatraca.setObjectName(u"xcnCatraca"_s);
    xcmVerifica.setObjectName(u"xcmVerifica"_s);
    xcmVerifica.SetParamCheck(false);
    xcmVerifica.SetConnection(&xcnCatraca);
    tmrReconnect.setObjectName(u"tmrReconnect"_s);
    tmrReconnect.setInterval(ReconnectIntervalMs);
    connect(&tmrReconnect, &QTimer::timeout, this,
            [this] { RunGuarded(OnExcept, [this] { tmrReconnectTimer(); }); });
}

ManagerDatabase::~ManagerDatabase() = default;

void ManagerDatabase::writeLog(const QString& text) const
{
    m_device.log().write(text);
}

QString ManagerDatabase::askProfileCode()
{
    if (!m_ui.OperatorPresent()) {
        // A service or headless run cannot answer the question; it takes the profile the
        // question would have proposed.
        writeLog(m_messages.Lookup(u"PORTA_ADO_TITULO"_s) + u": perfil "_s + DefaultProfileCode +
                 u" usado sem operador"_s);
        return DefaultProfileCode;
    }
    const std::optional<QString> answer = m_dialogs.input(
        m_messages.Lookup(u"PORTA_ADO_TITULO"_s), m_messages.Lookup(u"PORTA_ADO_INF"_s), DefaultProfileCode);
    if (!answer)
        return DefaultProfileCode;
    if (!allDigits(*answer)) {
        m_ui.EnableMenus();
        throw Error(m_messages.Lookup(u"PORTA_INV"_s));
    }
    return answer->isEmpty() ? DefaultProfileCode : *answer;
}

QString ManagerDatabase::GetDatabaseConnectString()
{
    QString result;
    // The profile whose string is taken last decides: one that cannot be decrypted is
    // reported instead of handing the driver an empty string (or another profile's) and
    // showing the driver's confusing error.
    std::optional<ProfileError> unusable;
    const auto take = [&](const QString& code) {
        try {
            result = GetProfileConnectString(code);
            unusable.reset();
        } catch (const ProfileError& error) {
            result.clear();
            unusable = error;
        }
    };
    // Without a readable store there is neither a profile nor a stored code: asking the
    // operator for one would only lead to the same empty string.
    if (const QString& problem = processConnectionProfiles().storeProblem(); !problem.isEmpty())
        throw ProfileError(problem);
    try {
        // A usable string exists whatever happens next.
        take(DefaultProfileCode);
        const QString code = m_settings.readProfileCode();
        if (!code.isEmpty())
            take(code);
        if (isBlank(code)) {
            const QString chosen = askProfileCode();
            m_settings.writeProfileCode(chosen);
            take(chosen);
        }
    } catch (const std::exception& error) {
        writeLog(u"String Conexão - ERRO: "_s + ErrorText(error));
    }
    if (unusable)
        throw *unusable;
    return result;
}

bool ManagerDatabase::ConnectDatabase(bool force, bool report)
{
    bool result = false;
    m_reportMode = report;
    m_device.SetStatusText(report ? u"[Exceção Ativa]"_s : u"[Exceção Inativa]"_s);
    bool opened = false;
    try {
        if (force || !xcnCatraca.Connected()) {
            m_device.LogStatusIfChanged(u"Conectando banco de dados"_s + m_device.statusText());
            xcnCatraca.SetConnected(false);
            xcnCatraca.SetConnectString(QString());
            xcnCatraca.SetConnectString(GetDatabaseConnectString());
            xcnCatraca.SetConnected(true);
            opened = true;
            ++m_opens;
        }
        result = xcnCatraca.Connected();
        if (result) {
            if (report) {
                writeLog(u"Conexão Ativa"_s);
            } else {
                writeLog(u"Preparando inicialização da catraca"_s);
                m_device.IniCatraca();
                tmrReconnect.stop();
            }
        }
    } catch (const std::exception& error) {
        result = false;
        const QString message = ErrorText(error);
        m_ui.ShowMessageAndRelease(QString());
        m_device.RequestStop();
        const QString disconnected = m_device.ShowStatus(status::Disconnected);
        tmrReconnect.start();
        if (report) {
            writeLog(u"Erro ao conectar Banco de Dados:"_s);
            writeLog(u"Erro: "_s + message);
            m_ui.EnableMenus();
            m_ui.ShowErrorBox(m_messages.Lookup(u"ERRO_ORA"_s) + u'\r' +
                              m_messages.Format(u"ERRO_DESCRICAO"_s, {message}));
        }
        m_device.ShowStatus(status::GivenText, disconnected + m_messages.Lookup(u"NAO_CONN_BD"_s));
    }
    // Outside the connection's error handling: what follows a connection is not its failure.
    if (result && opened && AfterConnect)
        AfterConnect();
    return result;
}

void ManagerDatabase::tmrReconnectTimer()
{
    tmrReconnect.stop();
    const bool connected = ConnectDatabase(true, false);
    m_ui.ShowDbState(connected);
}

QString ManagerDatabase::verify()
{
    try {
        xcmVerifica.SetSQL(db::StatementText(db::StatementId::Verifica, xcnCatraca.Dialect()));
        xcmVerifica.Execute();
        return {};
    } catch (const std::exception& error) {
        return ErrorText(error);
    }
}

void ManagerDatabase::CheckDatabaseConnection()
{
    try {
        writeLog(u"Verificar conexão com ADO"_s);
        // The driver still calls a connection open when the server behind it has gone.
        bool force = false;
        if (xcnCatraca.Connected()) {
            const QString failure = verify();
            if (!failure.isEmpty()) {
                writeLog(u"Confere ADO - ERRO: "_s + failure);
                force = true;
            }
        }
        const int opensBefore = m_opens;
        const bool connected = ConnectDatabase(force, true);
        m_ui.ShowDbState(connected);
        if (!connected) {
            m_device.Invoke<easyinner::EnviarMensagemPadraoOnLine>(
                m_device.deviceNumber(), 0, toWin1252(m_messages.Lookup(u"DESCONECTOU"_s)).constData());
        } else if (m_opens == opensBefore && AfterCheck) {
            AfterCheck();
        }
    } catch (const std::exception& error) {
        writeLog(u"Confere ADO - ERRO: "_s + ErrorText(error));
    }
}

void ManagerDatabase::Close()
{
    tmrReconnect.stop();
    try {
        xcnCatraca.SetConnected(false);
    } catch (const std::exception& error) {
        writeLog(u"Fechar conexão - ERRO: "_s + ErrorText(error));
    }
}

} // namespace zul
