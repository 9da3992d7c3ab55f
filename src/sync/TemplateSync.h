#pragma once

#include "db/DataPacket.h"
#include "db/MemTable.h"
#include "db/XDataSet.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <functional>
#include <optional>

using namespace Qt::StringLiterals;

namespace zul {

class DeviceBinding;
class DeviceUserList;
class SyncUi;
class TXConnection;

// Keeps the controller's biometric users in line with the database's templates, and the
// per-user operations (store, delete, replace one person) that notifications and the clearing
// use.
class TemplateSync
{
public:
    // The size of one template as the controller stores it; bytes 1 to 10 hold the user code.
    static constexpr int RecordSize = 844;
    static inline const QString NRPESSOA = u"NRPESSOA"_s;
    static inline const QString TXDIGITALCATRAC = u"TXDIGITALCATRAC"_s;

    TemplateSync(DeviceBinding& device, TXConnection& connection, DeviceUserList& users, SyncUi& ui);
    TemplateSync(const TemplateSync&) = delete;
    TemplateSync& operator=(const TemplateSync&) = delete;

    // `SendStandingMessage`: the standing message back on the display after the manual command.
    void setStandingMessage(std::function<int()> sendStandingMessage)
    {
        m_sendStandingMessage = std::move(sendStandingMessage);
    }

    // Every template of people with turnstile access (no person number), or the templates of
    // every person whose number occurs in "_" + number + "_". The empty packet when the query
    // failed.
    DataPacket GetTemplates(const std::optional<QString>& personNumber);

    // Stores one user: the database's current template of `userCode`, or `record` itself when
    // the code is blank. 0 when the controller confirms, else its code or 1.
    int IncludeDeviceUser(const QByteArray& record, const QString& userCode);
    // 0 when the controller confirms the deletion, else its code or 1.
    int DeleteDeviceUser(const QString& userCode);
    // Deletion, a 100 ms pause, inclusion; the inclusion's result.
    int UpdateDeviceUser(const QString& userCode);

    // One full synchronisation with the turnstile standing free. True only when the templates
    // could be read, the controller's list could be read, and every inclusion and deletion was
    // confirmed. Always ends with IniCatraca. Throws Error, touching nothing and restarting
    // nothing, while another operation works on the link: a scheduled run then stays due.
    bool SynchroniseTemplates();
    // "Sincroniz&ar Agora": opens the link if needed and synchronises. False when the link could
    // not be opened, is in use by another operation, or the synchronisation failed.
    bool SynchroniseNow();

    // The user code inside a record: bytes 1 to 10, up to the first zero byte.
    static QString RecordUserCode(const QByteArray& record);

    TXQuery xqrTemplatesAll;
    TXQuery xqrTemplates;
    TXQuery xqrTemplatesOfPerson;
    TXQuery xqrTemplateNumbers;
    DataSetProvider dspTemplatesAll;
    DataSetProvider dspTemplates;
    DataSetProvider dspTemplatesOfPerson;
    DataSetProvider dspTemplateNumbers;
    MemTable cdsTemplates;

private:
    // SynchroniseTemplates with the link already claimed.
    bool synchronise();
    void prepareQueries();
    DataPacket syncTemplates(bool listRead);
    bool everyRowListed(const DataPacket& numbers);
    QByteArray currentTemplate(const QString& userCode);
    static QByteArray checkedTemplate(const QString& userCode, const QByteArray& record);
    QString standingFree() const;

    DeviceBinding& m_device;
    TXConnection& m_connection;
    DeviceUserList& m_users;
    SyncUi& m_ui;
    std::function<int()> m_sendStandingMessage;
    std::optional<int> m_preparedDialect;
    // The first template row of `userCode` in the rows the running synchronisation read, if
    // any; nothing when none runs or the code has no row there.
    std::optional<QByteArray> fetchedTemplate(const QString& userCode);

    // While a synchronisation runs: the rows of the one query of all templates it made, so that
    // an inclusion does not query its person again, and the first row of each person in them,
    // indexed at the first inclusion (an unchanged controller needs none).
    DataPacket m_syncTemplates;
    std::optional<QHash<QString, QByteArray>> m_fetched;
};

} // namespace zul
