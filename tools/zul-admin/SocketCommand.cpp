#include "SocketCommand.h"

#include "Console.h"
#include "notify/NotificationAccess.h"
#include "notify/NotificationServer.h"
#include "support/Error.h"
#include "support/Messages.h"
#include "support/Settings.h"
#include "support/Text.h"

#include <cstdio>
#include <optional>

namespace zul {

namespace {

using namespace Qt::StringLiterals;

using namespace zul::admin;

int socketShow(const SettingsStore& settings, const QStringList& args)
{
    if (!args.isEmpty())
        return usage(u"socket show: unexpected argument '%1'"_s.arg(args.first()));
    QString listen;
    QString clients;
    try {
        listen = settings.readNotificationListenAddress();
        clients = settings.readNotificationClients();
    } catch (const Error& error) {
        err(error.message());
        return ExitFailure;
    }
    const NotificationAccess access = NotificationAccess::fromSettings(listen, clients);
    out(u"port:     %1 (fixed)"_s.arg(NotificationServer::DefaultPort));
    if (IsBlank(listen))
        out(u"listen:   all local addresses (%1 not set)"_s.arg(
            QLatin1StringView(SettingsStore::NotificationListenValue)));
    else
        out(u"listen:   %1%2"_s.arg(
            listen.trimmed(),
            access.listenInvalid ? u"  (not an address: the manager will not listen)"_s : QString()));
    if (!access.restricted) {
        out(u"clients:  everyone (%1 not set)"_s.arg(
            QLatin1StringView(SettingsStore::NotificationClientsValue)));
    } else {
        out(u"clients:  %1"_s.arg(NotificationAccess::splitList(clients).join(u", "_s)));
        if (access.allowed.isEmpty())
            out(u"          (nothing readable in the list: every client is refused)"_s);
    }
    for (const QString& problem : access.problems)
        err(u"cannot be read, ignored by the manager: %1"_s.arg(problem));
    return ExitOk;
}

int socketSet(SettingsStore& settings, QStringList args)
{
    std::optional<QString> listen;
    std::optional<QString> clients;
    while (!args.isEmpty()) {
        const QString option = args.takeFirst();
        if (option != u"--listen" && option != u"--allow")
            return usage(u"socket set: unknown argument '%1'"_s.arg(option));
        if (args.isEmpty())
            return usage(u"socket set: %1 needs a value"_s.arg(option));
        const QString value = args.takeFirst();
        if (option == u"--listen") {
            if (value == u"all") {
                listen = QString();
            } else if (const auto address = NotificationAccess::parseAddress(value)) {
                listen = address->toString();
            } else {
                return usage(u"socket set: '%1' is not an IPv4 or IPv6 address"_s.arg(value));
            }
        } else {
            if (value == u"everyone") {
                clients = QString();
                continue;
            }
            QStringList entries;
            for (const QString& entry : NotificationAccess::splitList(value)) {
                const auto network = NotificationAccess::parseNetwork(entry);
                if (!network)
                    return usage(
                        u"socket set: '%1' is not an address or a network (address/prefix)"_s.arg(entry));
                entries.append(network->first.toString() +
                               (entry.contains(u'/') ? u'/' + QString::number(network->second) : QString()));
            }
            if (entries.isEmpty())
                return usage(u"socket set: --allow needs addresses or networks, or 'everyone'"_s);
            clients = entries.join(u", "_s);
        }
    }
    if (!listen && !clients)
        return usage(u"socket set: expected --listen ADDRESS and/or --allow LIST"_s);
    try {
        if (listen)
            settings.writeNotificationListenAddress(*listen);
        if (clients)
            settings.writeNotificationClients(*clients);
    } catch (const Error& error) {
        err(error.message());
        return ExitFailure;
    }
    out(u"written; the manager reads it when it starts"_s);
    return socketShow(settings, {});
}

} // namespace

int runSocketCommand(const platform::RegistryStore& store, QStringList args)
{
    if (args.isEmpty())
        return usage(u"socket: expected 'show' or 'set'"_s);
    const QString verb = args.takeFirst();
    TMessages messages;
    SettingsStore settings(messages, store);
    if (verb == u"show")
        return socketShow(settings, args);
    if (verb == u"set")
        return socketSet(settings, args);
    return usage(u"socket: unknown command '%1'"_s.arg(verb));
}

} // namespace zul
