#pragma once

// The biometric operations in virtual time: a device link to an in-process simulator, a SQLite
// database with the person and template tables, and the synchronisation objects on both.
//
//     class MyTest : public zul::test::SyncFixture {};
//     addPerson("0000000001"); addTemplate("0000000001");
//     sim.addUser("0000000099");
//     EXPECT_TRUE(templates.SynchroniseTemplates());

#include "LinkedDevice.h"
#include "QtPrinters.h"
#include "db/XConnection.h"
#include "db/XDataSet.h"
#include "db/XParams.h"
#include "sync/DeviceUserList.h"
#include "sync/SyncUi.h"
#include "sync/TemplateSync.h"

#include <QFile>
#include <gtest/gtest.h>
#include <ostream>
#include <set>

namespace zul::test {

using namespace Qt::StringLiterals;

class FakeSyncUi final : public SyncUi
{
public:
    void setSyncTiming(const QString& text) override { sync = text; }
    void setClearingTiming(const QString& text) override { clearing = text; }
    void setUpdateTiming(const QString& text) override { update = text; }

    QString sync;
    QString clearing;
    QString update;
};

// An 844-byte template holding `code` in bytes 1 to 10; `filler` tells templates apart.
inline QByteArray makeRecord(const QString& code, char filler = '\x5a')
{
    const std::string bytes = sim::Simulator::makeRecord(code.toStdString(), filler);
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

class SyncFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(link.openLink());
        // Held by the online loop: the commands need not open the link.
        ASSERT_NO_FATAL_FAILURE(link.holdAsOnlineLoop());
        const QString file = link.dir.file(u"zul.db"_s);
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.close();
        connection.ChangeServerType(xdtSQLite);
        connection.SetConnectString(u"Data Source="_s + file);
        connection.SetConnected(true);
        exec(u"CREATE TABLE PESSOA (NRPESSOA VARCHAR(10) NOT NULL PRIMARY KEY, "
             "IDACESSOCATRACA CHAR(1) NOT NULL DEFAULT 'N')"_s);
        exec(u"CREATE TABLE DIGITALCATRACA (NRPESSOA VARCHAR(10) NOT NULL, TXDIGITALCATRAC BLOB)"_s);
    }

    void exec(const QString& sql)
    {
        TXCommand c;
        c.SetParamCheck(false);
        c.SetConnection(&connection);
        c.SetSQL(sql);
        c.Execute();
    }

    void addPerson(const QString& number, const QString& access = u"S"_s)
    {
        TXCommand c;
        c.SetConnection(&connection);
        c.SetSQL(u"INSERT INTO PESSOA (NRPESSOA, IDACESSOCATRACA) VALUES (:N, :A)"_s);
        c.ParamByName(u"N"_s).SetAsString(number);
        c.ParamByName(u"A"_s).SetAsString(access);
        c.Execute();
    }

    void addTemplate(const QString& number, const QByteArray& record)
    {
        TXCommand c;
        c.SetConnection(&connection);
        c.SetSQL(u"INSERT INTO DIGITALCATRACA (NRPESSOA, TXDIGITALCATRAC) VALUES (:N, :T)"_s);
        c.ParamByName(u"N"_s).SetAsString(number);
        c.ParamByName(u"T"_s).SetAsBlob(record);
        c.Execute();
    }

    // A person with turnstile access and one template of their own.
    void addEnrolled(const QString& number, char filler = '\x5a')
    {
        addPerson(number);
        addTemplate(number, makeRecord(number, filler));
    }

    std::set<std::string> controllerUsers() const
    {
        std::set<std::string> codes;
        for (const auto& [code, record] : link.sim.simulator().users())
            codes.insert(code);
        return codes;
    }

    QByteArray storedRecord(const std::string& code) const
    {
        const auto stored = link.sim.simulator().users();
        const auto it = stored.find(code);
        return it == stored.end() ? QByteArray()
                                  : QByteArray(it->second.data(), qsizetype(it->second.size()));
    }

    QStringList logged() const { return link.logged(); }

    LinkedDevice link;
    sim::Simulator& sim = link.sim.simulator();
    TXConnection connection;
    DeviceUserList users{link.device};
    FakeSyncUi ui;
    TemplateSync templates{link.device, connection, users, ui};
};

} // namespace zul::test
