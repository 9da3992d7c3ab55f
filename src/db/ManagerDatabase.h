#pragma once

#include "db/XConnection.h"
#include "db/XDataSet.h"
#include "support/Error.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

namespace zul {

using namespace Qt::StringLiterals;

class DatabaseUi;
class DeviceBinding;
class OperatorDialogs;
class SettingsStore;
class TMessages;

// Points the database layer at the connection profiles this process read at start-up
// (ReadConnectionProfiles): the server type of a profile code and the pooling settings. Called
// once, before any connection component exists.
void UseProcessConnectionProfiles();

// The main window's one database connection: where its connection string comes from, how it
// is opened and re-opened, how a failure reaches the operator and the people at the turnstile,
// and the quiet retry every second while the database is down.
class ManagerDatabase : public QObject
{
    Q_OBJECT
public:
    static constexpr int ReconnectIntervalMs = 1000;
    static inline const QString DefaultProfileCode = u"211"_s;

    // The connection's server type is fixed here, from the profiles installed for the layer
    // (db::SetProfileSource); the profile code chosen later changes only the connection string.
    ManagerDatabase(DeviceBinding& device, const TMessages& messages, SettingsStore& settings,
                    OperatorDialogs& dialogs, DatabaseUi& ui, QObject* parent = nullptr);
    ~ManagerDatabase() override;

    // The connection string of the profile named by "PortaADOCatraca", asking the operator for
    // the code when none is stored. A refused answer leaves profile "211". Throws ProfileError
    // when the profile used cannot be decrypted (or the registry store cannot be read), so
    // that no driver is handed a string that is not the profile's.
    QString GetDatabaseConnectString();

    // (Re)connects; true when the connection is open afterwards. `force` re-opens an open
    // connection. `report` is the operator mode (error box, "Conexão Ativa"); without it a
    // success restarts the turnstile. Never throws.
    bool ConnectDatabase(bool force, bool report);

    // The periodic check of the online loop's housekeeping. A connection that looks open is
    // asked a cheap statement (xcmVerifica): a server that has gone is noticed here and the
    // connection re-opened, before a passage needs it.
    void CheckDatabaseConnection();

    // The `report` argument of the latest ConnectDatabase call.
    bool ReportMode() const { return m_reportMode; }

    // The handler of `tmrReconnect`.
    void tmrReconnectTimer();

    // Closes the connection for good (the window's destruction).
    void Close();

    TXConnection xcnCatraca;
    TXCommand xcmVerifica;
    QTimer tmrReconnect;
    // Called each time ConnectDatabase has (re)opened the connection.
    std::function<void()> AfterConnect;
    // Called when the periodic check found the connection working without re-opening it.
    std::function<void()> AfterCheck;
    // The application's exception handler, for an error escaping the handler of `tmrReconnect`.
    ExceptionHandler OnExcept;

private:
    void writeLog(const QString& text) const;
    QString askProfileCode();
    // The server's answer to xcmVerifica: empty when it answered, else the error text.
    QString verify();

    DeviceBinding& m_device;
    const TMessages& m_messages;
    SettingsStore& m_settings;
    OperatorDialogs& m_dialogs;
    DatabaseUi& m_ui;
    bool m_reportMode = false;
    int m_opens = 0;
};

} // namespace zul
