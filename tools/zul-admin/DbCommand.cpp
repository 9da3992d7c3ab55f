#include "DbCommand.h"

#include "db/XConnection.h"
#include "db/XDataSet.h"
#include "support/Error.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace zul {

namespace admin {

QStringList SchemaStatements(db::SqlDialect dialect)
{
    QString resource;
    switch (dialect) {
    case db::SqlDialect::SQLite:
        resource = u":/sql/sqlite.sql"_s;
        break;
    case db::SqlDialect::PostgreSQL:
        resource = u":/sql/postgresql.sql"_s;
        break;
    default:
        throw Error(u"No embedded schema for this database product; see docs/sql/"_s);
    }
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(u"Embedded schema "_s + resource + u" is missing"_s);
    QString script;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const qsizetype comment = line.indexOf(u"--"_s);
        script += (comment < 0 ? line : line.left(comment)) + u'\n';
    }
    QStringList statements;
    for (const QString& piece : script.split(u';')) {
        const QString statement = piece.trimmed();
        if (!statement.isEmpty())
            statements << statement;
    }
    return statements;
}

void ApplySchema(TXConnection& connection)
{
    TXCommand command;
    command.SetParamCheck(false);
    command.SetConnection(&connection);
    for (const QString& statement : SchemaStatements(connection.Dialect())) {
        command.SetSQL(statement);
        command.Execute();
    }
}

QByteArray DemoTemplate(const QString& userCode)
{
    QByteArray record(844, '\0');
    record[0] = 0x01;
    const QByteArray code = userCode.toLatin1().left(10);
    for (int i = 0; i < code.size(); ++i)
        record[1 + i] = code.at(i);
    // Stand-in minutiae: deterministic per person, so reloading gives the same bytes.
    quint32 seed = qHash(userCode);
    for (int i = 11; i < record.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        record[i] = static_cast<char>((seed >> 16) & 0xFF);
    }
    return record;
}

namespace {

struct DemoPerson
{
    const char16_t* number;
    const char16_t* cdfunc;
    const char16_t* cdempresa;
    const char16_t* badge;
    char16_t access;
    bool withTemplate;
};

// Visitors have no employee code. Badge names cover the shortening rule: 21 characters
// (unchanged), 20 with blanks (first word), 20 without a blank (shown empty), 19 and 17.
const DemoPerson demoPeople[] = {
    {u"0000000001", u"0001", u"01", u"JOAO DA SILVA", u'S', true},
    {u"0000000002", u"0002", u"01", u"MARIA APARECIDA SOUZ", u'S', true},
    {u"0000000003", u"", u"", u"ANA BEATRIZ CARVALHO", u'S', true},
    {u"0000000004", u"", u"", u"MAXIMILIANOALBUQUERQ", u'S', true},
    {u"0000000005", u"", u"", u"PEDRO HENRIQUE LIM", u'S', true},
    {u"0000000006", u"", u"", u"CARLOS EDUARDO", u'S', false},
    {u"0000000007", u"0007", u"02", u"FERNANDA OLIVEIRA", u'S', true},
    {u"0000000008", u"0008", u"02", u"LUCAS MARTINS", u'N', true},
    {u"0000000009", u"0009", u"01", u"JULIANA COSTA", u'S', true},
    {u"0000000010", u"", u"", u"RAFAEL SANTOS", u'S', false},
    {u"0000000011", u"0011", u"02", u"JOSÉ DA CONCEIÇÃO", u'S', true},
    {u"0000000012", u"", u"", u"ROBERTA GONÇALVES DIAS", u'S', true},
};

QString stamp(const QDateTime& t)
{
    return t.toString(u"yyyy-MM-dd HH:mm:ss"_s);
}

} // namespace

void InsertDemoData(TXConnection& connection)
{
    TXCommand person;
    person.SetConnection(&connection);
    person.SetSQL(u"INSERT INTO PESSOA (NRPESSOA, CDFUNC, CDEMPRESA, NMCRACHAPESSOA, IDACESSOCATRACA) "
                  u"VALUES (:NRPESSOA, :CDFUNC, :CDEMPRESA, :NMCRACHAPESSOA, :IDACESSOCATRACA)"_s);
    TXCommand templ;
    templ.SetConnection(&connection);
    templ.SetSQL(
        u"INSERT INTO DIGITALCATRACA (NRPESSOA, TXDIGITALCATRAC) VALUES (:NRPESSOA, :TXDIGITALCATRAC)"_s);
    TXCommand passage;
    passage.SetConnection(&connection);
    passage.SetSQL(u"INSERT INTO REGISCATRACA (NRPESSOA, IDREGISCATRACA, DTREGISCATRACA) "
                   u"VALUES (:NRPESSOA, :IDREGISCATRACA, :DTREGISCATRACA)"_s);
    TXCommand punch;
    punch.SetConnection(&connection);
    punch.SetSQL(u"INSERT INTO BATIDAPONTO (CDFUNC, CDEMPRESA, IDSENTBATIDA, DTBATIDAPTO) "
                 u"VALUES (:CDFUNC, :CDEMPRESA, :IDSENTBATIDA, :DTBATIDAPTO)"_s);

    const QDateTime morning(QDate::currentDate().addDays(-1), QTime(8, 0));
    connection.StartTransaction();
    try {
        for (const DemoPerson& p : demoPeople) {
            const QString number = QString::fromUtf16(p.number);
            person.ParamByName(u"NRPESSOA"_s).SetAsString(number);
            person.ParamByName(u"CDFUNC"_s).SetAsString(QString::fromUtf16(p.cdfunc));
            person.ParamByName(u"CDEMPRESA"_s).SetAsString(QString::fromUtf16(p.cdempresa));
            person.ParamByName(u"NMCRACHAPESSOA"_s).SetAsString(QString::fromUtf16(p.badge));
            person.ParamByName(u"IDACESSOCATRACA"_s).SetAsString(QString(QChar(p.access)));
            person.Execute();
            if (p.withTemplate) {
                templ.ParamByName(u"NRPESSOA"_s).SetAsString(number);
                templ.ParamByName(u"TXDIGITALCATRAC"_s).SetAsBlob(DemoTemplate(number));
                templ.Execute();
            }
        }
        // Visitors: 3 last went in (leaves next), 5 last went out (enters next), 4 and 12
        // entered, 6 and 10 never passed.
        const struct
        {
            const char16_t* number;
            char16_t direction;
            int minutes;
        } passages[] = {
            {u"0000000003", u'S', 0},   {u"0000000003", u'E', 60}, {u"0000000005", u'E', 10},
            {u"0000000005", u'S', 480}, {u"0000000004", u'E', 15}, {u"0000000012", u'E', 20},
        };
        for (const auto& r : passages) {
            passage.ParamByName(u"NRPESSOA"_s).SetAsString(QString::fromUtf16(r.number));
            passage.ParamByName(u"IDREGISCATRACA"_s).SetAsString(QString(QChar(r.direction)));
            passage.ParamByName(u"DTREGISCATRACA"_s).SetAsString(stamp(morning.addSecs(r.minutes * 60)));
            passage.Execute();
        }
        // Employees: 1 punched in last ("1", leaves next), 2 punched out ("2", enters next),
        // 9 and 11 have a day of punches, 7 and 8 none.
        const struct
        {
            const char16_t* cdfunc;
            const char16_t* cdempresa;
            char16_t direction;
            int minutes;
        } punches[] = {
            {u"0001", u"01", u'1', 0},  {u"0002", u"01", u'1', 5},   {u"0002", u"01", u'2', 545},
            {u"0009", u"01", u'1', 2},  {u"0009", u"01", u'2', 240}, {u"0009", u"01", u'1', 300},
            {u"0011", u"02", u'1', 30}, {u"0011", u"02", u'2', 570},
        };
        for (const auto& b : punches) {
            punch.ParamByName(u"CDFUNC"_s).SetAsString(QString::fromUtf16(b.cdfunc));
            punch.ParamByName(u"CDEMPRESA"_s).SetAsString(QString::fromUtf16(b.cdempresa));
            punch.ParamByName(u"IDSENTBATIDA"_s).SetAsString(QString(QChar(b.direction)));
            punch.ParamByName(u"DTBATIDAPTO"_s).SetAsString(stamp(morning.addSecs(b.minutes * 60)));
            punch.Execute();
        }
        connection.Commit();
    } catch (...) {
        connection.Rollback();
        throw;
    }
}

} // namespace admin

int runDbCommand(const QStringList& arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = arguments;
    if (!args.isEmpty() && args.first() == u"db")
        args.removeFirst();
    const auto usage = [&err] {
        err << "usage: zul-admin db init (--sqlite FILE | --postgres CONNECTION) [--demo]\n";
        return 2;
    };
    if (args.isEmpty() || args.takeFirst() != u"init")
        return usage();

    TXDBType type = xdtSQLite;
    QString target;
    bool demo = false;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if ((arg == u"--sqlite" || arg == u"--postgres") && !args.isEmpty() && target.isEmpty()) {
            type = arg == u"--sqlite" ? xdtSQLite : xdtPostgreSQL;
            target = args.takeFirst();
        } else if (arg == u"--demo") {
            demo = true;
        } else {
            return usage();
        }
    }
    if (target.isEmpty())
        return usage();

    try {
        if (type == xdtSQLite && !QFileInfo::exists(target)) {
            QFile file(target);
            if (!file.open(QIODevice::WriteOnly))
                throw Error(u"Cannot create "_s + target + u": "_s + file.errorString());
        }
        TXConnection connection;
        connection.ChangeServerType(type);
        connection.SetConnectString(type == xdtSQLite ? u"Data Source="_s + target : target);
        connection.SetConnected(true);
        admin::ApplySchema(connection);
        out << "Schema created\n";
        if (demo) {
            admin::InsertDemoData(connection);
            out << "Demonstration data inserted\n";
        }
        connection.SetConnected(false);
    } catch (const Error& e) {
        err << "zul-admin db: " << e.message() << '\n';
        return 1;
    }
    return 0;
}

} // namespace zul
