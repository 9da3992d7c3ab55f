#pragma once

// systemd's side of a Type=notify unit, for tests: a datagram socket named by NOTIFY_SOCKET
// (and the keep-alive interval the unit asks for), read by the test. The variables are removed
// again when it goes. Windows has no such unit: there the socket hears nothing, and the tests
// that need it skip themselves (the program does not notify there).

#include "TempDir.h"

#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <string>
#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace zul::test {

using namespace Qt::StringLiterals;

#ifdef _WIN32
class NotifySocket
{
public:
    explicit NotifySocket(qint64 = 0) {}
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;
    QString path() const { return {}; }
    QStringList received() { return {}; }
};
#else
class NotifySocket
{
public:
    explicit NotifySocket(qint64 keepAliveMs = 0)
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s",
                      m_dir.file(u"notify"_s).toLocal8Bit().constData());
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        m_path = QString::fromLocal8Bit(address.sun_path);
        ::setenv("NOTIFY_SOCKET", address.sun_path, 1);
        if (keepAliveMs > 0) {
            ::setenv("WATCHDOG_USEC", std::to_string(keepAliveMs * 1000).c_str(), 1);
            ::setenv("WATCHDOG_PID", std::to_string(::getpid()).c_str(), 1);
        }
    }
    ~NotifySocket()
    {
        ::unsetenv("NOTIFY_SOCKET");
        ::unsetenv("WATCHDOG_USEC");
        ::unsetenv("WATCHDOG_PID");
        ::close(m_fd);
    }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    QString path() const { return m_path; }

    // Every notification received since the last call, in order.
    QStringList received()
    {
        QStringList all;
        char buffer[512];
        ssize_t n = 0;
        while ((n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
            all << QString::fromUtf8(buffer, n);
        return all;
    }

private:
    TempDir m_dir;
    QString m_path;
    int m_fd = -1;
};
#endif

} // namespace zul::test
