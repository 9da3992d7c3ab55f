#include "notify/NotificationAccess.h"

#include "support/Text.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace zul {

namespace {

// A client reached over an IPv6 socket from an IPv4 host arrives as ::ffff:a.b.c.d; the
// allowed networks are written in the form people know.
QHostAddress plain(const QHostAddress& address)
{
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        bool isV4 = false;
        const quint32 v4 = address.toIPv4Address(&isV4);
        if (isV4)
            return QHostAddress(v4);
    }
    return address;
}

} // namespace

QStringList NotificationAccess::splitList(const QString& clients)
{
    static const QRegularExpression separators(u"[,;\\s]+"_s);
    return clients.split(separators, Qt::SkipEmptyParts);
}

std::optional<QPair<QHostAddress, int>> NotificationAccess::parseNetwork(const QString& text)
{
    const QString entry = text.trimmed();
    const qsizetype slash = entry.indexOf(u'/');
    const QString addressPart = slash < 0 ? entry : entry.left(slash);
    const auto address = parseAddress(addressPart);
    if (!address)
        return std::nullopt;
    const int width = address->protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128;
    int prefix = width;
    if (slash >= 0) {
        static const QRegularExpression digits(u"^[0-9]{1,3}$"_s);
        const QString prefixPart = entry.mid(slash + 1);
        if (!digits.match(prefixPart).hasMatch())
            return std::nullopt;
        prefix = prefixPart.toInt();
        if (prefix > width)
            return std::nullopt;
    }
    return QPair<QHostAddress, int>(*address, prefix);
}

std::optional<QHostAddress> NotificationAccess::parseAddress(const QString& text)
{
    // Whole dotted quads only: the short forms the system's parser takes ("10.1" for 10.0.0.1)
    // are more likely a slip than meant.
    static const QRegularExpression quad(u"^[0-9]{1,3}(\\.[0-9]{1,3}){3}$"_s);
    const QString entry = text.trimmed();
    if (entry.isEmpty() || (!entry.contains(u':') && !quad.match(entry).hasMatch()))
        return std::nullopt;
    const QHostAddress address(entry);
    if (address.isNull())
        return std::nullopt;
    return plain(address);
}

std::optional<QHostAddress> NotificationAccess::parseListenAddress(const QString& text)
{
    if (IsBlank(text))
        return QHostAddress(QHostAddress::Any);
    return parseAddress(text);
}

NotificationAccess NotificationAccess::fromSettings(const QString& listen, const QString& clients)
{
    NotificationAccess access;
    if (const auto address = parseListenAddress(listen)) {
        access.listenAddress = *address;
    } else {
        access.listenInvalid = true;
        access.problems.append(u'\'' + listen + u'\'');
    }
    const QStringList entries = splitList(clients);
    access.restricted = !entries.isEmpty();
    for (const QString& entry : entries) {
        if (const auto network = parseNetwork(entry))
            access.allowed.append(*network);
        else
            access.problems.append(u'\'' + entry + u'\'');
    }
    return access;
}

bool NotificationAccess::allows(const QHostAddress& peer) const
{
    if (!restricted)
        return true;
    const QHostAddress address = plain(peer);
    for (const auto& network : allowed)
        if (address.isInSubnet(network.first, network.second))
            return true;
    return false;
}

} // namespace zul
