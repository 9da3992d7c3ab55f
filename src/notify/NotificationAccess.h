#pragma once

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

namespace zul {

// Who may talk to the change-notification socket and where it listens, from the two settings
// of the registry key: the address to listen on and the client addresses or networks allowed.
// Both unset (blank) is how the socket has always been: all local addresses, every client.
struct NotificationAccess
{
    // Blank: all local addresses.
    QHostAddress listenAddress{QHostAddress::Any};
    // Set when the allowed list is not blank: only the networks below may connect. A list of
    // which nothing could be read lets nobody in rather than everybody.
    bool restricted = false;
    QList<QPair<QHostAddress, int>> allowed;
    // Entries of the settings that could not be read, each as "'entry'", for the log.
    QStringList problems;
    // The listen setting could not be read: the socket must not listen anywhere else instead.
    bool listenInvalid = false;

    static NotificationAccess fromSettings(const QString& listen, const QString& clients);

    // An address (IPv4 or IPv6) or a network in address/prefix form ("192.168.0.0/24").
    static std::optional<QPair<QHostAddress, int>> parseNetwork(const QString& text);
    // One address, IPv4 as a whole dotted quad or IPv6.
    static std::optional<QHostAddress> parseAddress(const QString& text);
    // The entries of an allowed list: separated by commas, semicolons or blanks.
    static QStringList splitList(const QString& clients);
    // An address to listen on; blank is all addresses.
    static std::optional<QHostAddress> parseListenAddress(const QString& text);

    bool allows(const QHostAddress& peer) const;
};

} // namespace zul
