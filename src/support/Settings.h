#pragma once

#include "platform/Registry.h"

#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>

namespace zul {

class TMessages;

// The manager's values under HKEY_LOCAL_MACHINE\Software\VORLUND\Sistemas Integrados
// Vorlund\WebSrv. The value names come from the catalogue at each access; nothing is cached.
// Failures throw Error with "Falha ao buscar dados de '%s'", "Tipo de dado inválido para '%s'"
// or "Falha ao atribuir dados ao '%s'".
class SettingsStore
{
public:
    static constexpr const char* KeyPath = "Software\\VORLUND\\Sistemas Integrados Vorlund\\WebSrv";

    SettingsStore(const TMessages& messages, platform::RegistryStore store);

    const platform::RegistryStore& store() const { return m_store; }

    // "LogCatraca": nothing when the key cannot be opened or the value is not a REG_DWORD.
    std::optional<bool> readLogSwitch() const;
    void writeLogSwitch(bool on);

    // "PortaADOCatraca": a missing value (or a key that cannot be opened) reads as the empty
    // text; a value of another type throws.
    QString readProfileCode() const;
    void writeProfileCode(const QString& code);

    // The change-notification socket: "SocketEnderecoCatraca", the address it listens on, and
    // "SocketClientesCatraca", the client addresses or networks allowed to connect. Both are
    // REG_SZ; missing (or a key that cannot be opened) reads as the empty text, which means all
    // addresses and every client. A value of another type throws. Writing the empty text
    // removes the value.
    static constexpr const char* NotificationListenValue = "SocketEnderecoCatraca";
    static constexpr const char* NotificationClientsValue = "SocketClientesCatraca";
    QString readNotificationListenAddress() const;
    void writeNotificationListenAddress(const QString& address);
    QString readNotificationClients() const;
    void writeNotificationClients(const QString& clients);

    // "DTHRAgeBio" exists, whatever it holds.
    bool hasScheduledSync() const;
    // "DTHRAgeBio": nothing when absent; throws when present but not 8 bytes of REG_BINARY.
    std::optional<QDateTime> readScheduledSync() const;
    void writeScheduledSync(const QDateTime& when);
    void deleteScheduledSync();

    // Days since 30 December 1899 with the time of day as the fraction.
    static double toOleDate(const QDateTime& when);
    // Invalid for a number that is no date (not finite, outside the years 100 to 9999).
    static QDateTime fromOleDate(double days);

private:
    // Opened (and created) afresh at each access, closed when the pointer goes.
    std::unique_ptr<platform::RegistryKey> openKey() const;
    QString valueName(const char16_t* catalogueKey) const;
    QString readText(const QString& name) const;
    void writeText(const QString& name, const QString& text);

    const TMessages& m_messages;
    platform::RegistryStore m_store;
};

} // namespace zul
