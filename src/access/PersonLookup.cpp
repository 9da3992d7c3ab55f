#include "access/PersonLookup.h"

#include "access/PassageJournal.h"
#include "db/Statements.h"
#include "db/XConnection.h"
#include "db/XFields.h"
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
using db::StatementId;

namespace {

// The text of `field` in the current row; empty without a row or for NULL.
QString text(const TXQuery& query, const QString& field)
{
    if (query.IsEmpty())
        return {};
    return query.FieldByName(field)->AsString();
}

} // namespace

QString DefaultDateTimeText(const QDateTime& when)
{
    return when.toString(u"dd/MM/yyyy HH:mm:ss"_s);
}

PersonLookup::PersonLookup(TXConnection& connection, DeviceBinding& device)
    : m_connection(connection), m_device(device)
{
    for (TXQuery* query : {&xqrPessoa, &xqrSentido, &xqrBatidaPonto, &xqrHoraServ})
        query->SetConnection(&m_connection);
}

void PersonLookup::writeLog(const QString& text) const
{
    m_device.log().write(text);
}

void PersonLookup::prepareStatements()
{
    const db::SqlDialect dialect = m_connection.Dialect();
    const auto prepare = [dialect](TXQuery& query, StatementId id) {
        const QStringList sql = db::StatementText(id, dialect);
        if (query.SQL() != sql)
            query.SetSQL(sql);
    };
    prepare(xqrPessoa, StatementId::Pessoa);
    prepare(xqrSentido, StatementId::Sentido);
    prepare(xqrBatidaPonto, StatementId::BatidaPonto);
    prepare(xqrHoraServ, StatementId::HoraServ);
}

std::optional<JournaledPassage> PersonLookup::journaledPassage(const QString& number) const
{
    if (!journal)
        return std::nullopt;
    try {
        return journal->lastOf(number);
    } catch (const Error& error) {
        // An unreadable journal is no reason to refuse the person; the database decides.
        writeLog(u"Diário de passagens - ERRO: "_s + error.message());
        return std::nullopt;
    }
}

bool PersonLookup::LookUpPerson()
{
    TUserDados& user = m_device.userDados();
    const QString number = user.PersonNumber;
    try {
        writeLog(u"Nome da pessoa(Crachá):"_s);
        prepareStatements();

        xqrPessoa.Close();
        xqrPessoa.ParamByName(u"P_NRPESSOA"_s).SetAsString(number);
        xqrPessoa.Open();
        const QString name = text(xqrPessoa, u"NMCRACHAPESSOA"_s);
        writeLog(name);
        if (xqrPessoa.IsEmpty())
            return false;

        const QString employee = text(xqrPessoa, u"CDFUNC"_s);
        const QString company = text(xqrPessoa, u"CDEMPRESA"_s);
        bool isEntry = false;
        if (IsBlank(employee + company)) {
            writeLog(u"Não é funcionário"_s);
            xqrSentido.Close();
            xqrSentido.ParamByName(u"P_NRPESSOA"_s).SetAsString(number);
            xqrSentido.ParamByName(u"P_NRPESSOA2"_s).SetAsString(number);
            xqrSentido.Open();
            // Whoever left last, or never passed, comes in now.
            QString last = text(xqrSentido, u"IDREGISCATRACA"_s);
            if (const std::optional<JournaledPassage> kept = journaledPassage(number)) {
                last = kept->IsEntry ? u"E"_s : u"S"_s;
                writeLog(u"Última passagem ainda no diário: "_s + last + u" em "_s +
                         PassageJournal::timeText(kept->PassedAt));
            }
            isEntry = last == u"S"_s || IsBlank(last);
        } else {
            writeLog(u"É funcionário   Código: "_s + employee + u"   Empresa: "_s + company);
            xqrBatidaPonto.Close();
            xqrBatidaPonto.ParamByName(u"P_CDFUNC"_s).SetAsString(employee);
            xqrBatidaPonto.ParamByName(u"P_CDEMPRESA"_s).SetAsString(company);
            xqrBatidaPonto.ParamByName(u"P_CDFUNC2"_s).SetAsString(employee);
            xqrBatidaPonto.ParamByName(u"P_CDEMPRESA2"_s).SetAsString(company);
            xqrBatidaPonto.Open();
            // The time clock, not the turnstile, knows whether an employee is at work: after a
            // punch of type 2, or before the first punch, the next passage is an entry.
            const QString last = text(xqrBatidaPonto, u"IDSENTBATIDA"_s);
            isEntry = last == u"2"_s || IsBlank(last);
        }
        user.IsEntry = isEntry;
        user.BadgeName = name;
        user.PersonNumber = number;
        return true;
    } catch (const std::exception& error) {
        writeLog(QString());
        writeLog(u"Dados entrada - ERRO: "_s + ErrorText(error));
        writeLog(QString());
        // The people at the turnstile learn why nobody is let through.
        m_device.RecordResult(1);
        m_device.Call<easyinner::EnviarMensagemPadraoOnLine>(
            m_device.deviceNumber(), 0,
            toWin1252(m_device.messages().Lookup(u"ORACLE_OFFLINE"_s)).constData());
        if (reconnect)
            reconnect(true, true);
        return false;
    }
}

QDateTime PersonLookup::GetServerTime()
{
    QDateTime result = m_device.clock().now();
    try {
        writeLog(u"Buscar hora do servidor"_s);
        prepareStatements();
        xqrHoraServ.Close();
        xqrHoraServ.Open();
        const QDateTime server =
            xqrHoraServ.IsEmpty() ? QDateTime() : xqrHoraServ.FieldByName(u"HORAATUAL"_s)->AsDateTime();
        // The controller's clock and every stamp follow this value: an unreadable one must not
        // replace the local time.
        if (!server.isValid())
            throw Error(u"Hora do servidor inválida"_s);
        const QDateTime local = m_device.clock().now();
        result = server;
        m_serverOffsetMs = local.msecsTo(server);
        writeLog(u"Hora do servidor: "_s + DefaultDateTimeText(result));
    } catch (const std::exception& error) {
        writeLog(QString());
        writeLog(u"Hora Servidor - ERRO: "_s + ErrorText(error));
        writeLog(QString());
        if (reportMode && reportMode() && reconnect)
            reconnect(true, true);
    }
    return result;
}

QDateTime PersonLookup::ServerNow() const
{
    return m_device.clock().now().addMSecs(m_serverOffsetMs);
}

} // namespace zul
