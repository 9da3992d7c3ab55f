// Person look-up as the online loop does it for one identification: the person, then the
// employee's last punch or everybody else's last passage. 100 000 people, 5 000 000 passages
// and 5 000 000 punches in SQLite; median and 99th percentile per look-up, first without the
// schema's indexes on the movement tables, then with them.
#include "db/Statements.h"
#include "db/XConnection.h"
#include "db/XDataSet.h"
#include "db/XFields.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <random>

using namespace Qt::StringLiterals;

namespace {

constexpr int People = 100'000;
constexpr int Passages = 5'000'000;
constexpr int Punches = 5'000'000;

QString number(int i)
{
    return u"%1"_s.arg(i, 10, 10, QChar(u'0'));
}

QString employeeCode(int i)
{
    return u"%1"_s.arg(i, 6, 10, QChar(u'0'));
}

bool isEmployee(int person)
{
    return person % 3 == 0;
}

QString stamp(qint64 second)
{
    static const QDateTime base(QDate(2025, 1, 1), QTime(0, 0));
    return base.addSecs(second).toString(u"yyyy-MM-dd HH:mm:ss"_s);
}

// The database is built once per run, in a temporary file, in one transaction with prepared
// inserts and the journal off.
struct Database
{
    QTemporaryDir dir;
    QString file;
    double buildSeconds = 0;

    Database()
    {
        file = dir.filePath(u"bench.db"_s);
        QElapsedTimer timer;
        timer.start();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"bench-build"_s);
            db.setDatabaseName(file);
            db.open();
            QSqlQuery q(db);
            q.exec(u"PRAGMA journal_mode = OFF"_s);
            q.exec(u"PRAGMA synchronous = OFF"_s);
            q.exec(
                u"CREATE TABLE PESSOA (NRPESSOA VARCHAR(10) NOT NULL PRIMARY KEY, CDFUNC VARCHAR(10), "
                u"CDEMPRESA VARCHAR(2), NMCRACHAPESSOA VARCHAR(40), IDACESSOCATRACA CHAR(1) NOT NULL DEFAULT 'N')"_s);
            q.exec(
                u"CREATE TABLE REGISCATRACA (NRPESSOA VARCHAR(10) NOT NULL, IDREGISCATRACA CHAR(1) NOT NULL, "
                u"DTREGISCATRACA TEXT NOT NULL)"_s);
            q.exec(u"CREATE TABLE BATIDAPONTO (CDFUNC VARCHAR(10) NOT NULL, CDEMPRESA VARCHAR(2) NOT NULL, "
                   u"IDSENTBATIDA CHAR(1) NOT NULL, DTBATIDAPTO TEXT NOT NULL)"_s);
            db.transaction();
            std::mt19937 random(42);
            QSqlQuery person(db);
            person.prepare(u"INSERT INTO PESSOA VALUES (?, ?, ?, ?, 'S')"_s);
            for (int i = 1; i <= People; ++i) {
                person.bindValue(0, number(i));
                person.bindValue(1, isEmployee(i) ? employeeCode(i) : QString());
                person.bindValue(2, isEmployee(i) ? u"01"_s : QString());
                person.bindValue(3, u"PESSOA NUMERO %1"_s.arg(i));
                person.exec();
            }
            QSqlQuery passage(db);
            passage.prepare(u"INSERT INTO REGISCATRACA VALUES (?, ?, ?)"_s);
            for (int i = 0; i < Passages; ++i) {
                passage.bindValue(0, number(static_cast<int>(random() % People) + 1));
                passage.bindValue(1, i % 2 ? u"S"_s : u"E"_s);
                passage.bindValue(2, stamp(i * 6));
                passage.exec();
            }
            QSqlQuery punch(db);
            punch.prepare(u"INSERT INTO BATIDAPONTO VALUES (?, '01', ?, ?)"_s);
            for (int i = 0; i < Punches; ++i) {
                const int employee = (static_cast<int>(random() % (People / 3)) + 1) * 3;
                punch.bindValue(0, employeeCode(employee));
                punch.bindValue(1, i % 2 ? u"2"_s : u"1"_s);
                punch.bindValue(2, stamp(i * 6));
                punch.exec();
            }
            db.commit();
        }
        QSqlDatabase::removeDatabase(u"bench-build"_s);
        buildSeconds = timer.elapsed() / 1000.0;
    }

    static Database& instance()
    {
        static Database db;
        return db;
    }
};

// LookUpPerson's database part, through the access layer and the SQLite statements.
struct Lookup
{
    zul::TXConnection connection;
    zul::TXQuery pessoa, sentido, batida;

    explicit Lookup(const QString& file)
    {
        connection.ChangeServerType(zul::xdtSQLite);
        connection.SetConnectString(u"Data Source="_s + file);
        connection.SetConnected(true);
        for (auto [query, id] : {std::pair{&pessoa, zul::db::StatementId::Pessoa},
                                 std::pair{&sentido, zul::db::StatementId::Sentido},
                                 std::pair{&batida, zul::db::StatementId::BatidaPonto}}) {
            query->SetConnection(&connection);
            query->SetSQL(zul::db::StatementText(id, zul::db::SqlDialect::SQLite));
        }
    }

    bool run(const QString& person)
    {
        pessoa.Close();
        pessoa.ParamByName(u"P_NRPESSOA"_s).SetAsString(person);
        pessoa.Open();
        if (pessoa.IsEmpty())
            return false;
        const QString cdfunc = pessoa.FieldByName(u"CDFUNC"_s)->AsString();
        const QString cdempresa = pessoa.FieldByName(u"CDEMPRESA"_s)->AsString();
        if (QString(cdfunc + cdempresa).trimmed().isEmpty()) {
            sentido.Close();
            sentido.ParamByName(u"P_NRPESSOA"_s).SetAsString(person);
            sentido.ParamByName(u"P_NRPESSOA2"_s).SetAsString(person);
            sentido.Open();
            return sentido.IsEmpty() || sentido.FieldByName(u"IDREGISCATRACA"_s)->AsString() != u"E";
        }
        batida.Close();
        batida.ParamByName(u"P_CDFUNC"_s).SetAsString(cdfunc);
        batida.ParamByName(u"P_CDEMPRESA"_s).SetAsString(cdempresa);
        batida.ParamByName(u"P_CDFUNC2"_s).SetAsString(cdfunc);
        batida.ParamByName(u"P_CDEMPRESA2"_s).SetAsString(cdempresa);
        batida.Open();
        return batida.IsEmpty() || batida.FieldByName(u"IDSENTBATIDA"_s)->AsString() == u"2";
    }
};

void setIndexes(bool on)
{
    const Database& data = Database::instance();
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"bench-index"_s);
    db.setDatabaseName(data.file);
    db.open();
    QSqlQuery q(db);
    if (on) {
        q.exec(
            u"CREATE INDEX IF NOT EXISTS IX_REGISCATRACA_PESSOA_DATA ON REGISCATRACA (NRPESSOA, DTREGISCATRACA)"_s);
        q.exec(
            u"CREATE INDEX IF NOT EXISTS IX_BATIDAPONTO_FUNC_DATA ON BATIDAPONTO (CDFUNC, CDEMPRESA, DTBATIDAPTO)"_s);
    } else {
        q.exec(u"DROP INDEX IF EXISTS IX_REGISCATRACA_PESSOA_DATA"_s);
        q.exec(u"DROP INDEX IF EXISTS IX_BATIDAPONTO_FUNC_DATA"_s);
    }
    q.exec(u"ANALYZE"_s);
    q = QSqlQuery();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(u"bench-index"_s);
}

void BM_PersonLookup(benchmark::State& state)
{
    const bool indexed = state.range(0) != 0;
    const int lookups = static_cast<int>(state.range(1));
    Database& data = Database::instance();
    QElapsedTimer indexTimer;
    indexTimer.start();
    setIndexes(indexed);
    const double indexSeconds = indexTimer.elapsed() / 1000.0;

    Lookup lookup(data.file);
    std::mt19937 random(7);
    std::vector<double> micros;
    for (auto _ : state) {
        micros.clear();
        for (int i = 0; i < lookups; ++i) {
            const QString person = number(static_cast<int>(random() % People) + 1);
            const auto start = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(lookup.run(person));
            micros.push_back(
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        }
    }
    std::sort(micros.begin(), micros.end());
    state.counters["lookups"] = lookups;
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
    state.counters["build_s"] = data.buildSeconds;
    state.counters["index_s"] = indexSeconds;
}

// Without indexes each look-up scans millions of rows, so fewer of them are timed.
BENCHMARK(BM_PersonLookup)
    ->ArgNames({"indexed", "lookups"})
    ->Args({0, 40})
    ->Args({1, 20000})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace
