// Notification ingestion: 50 clients on loopback (under the server's client limit) send 10
// notifications each, CR LF after each, to the notification server, which queues all 500 (its
// queue limit; every text checked against the waiting ones, letter case ignored). Timed from
// the first write until the last notification is queued, with each notification written on its
// own and with each client's ten written as one burst (every read then cut into its
// notifications). A second benchmark times the queueing alone, without sockets, to show what the
// duplicate test costs as the queue grows to its limit.
#include "notify/NotificationFraming.h"
#include "notify/NotificationServer.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <ctime>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

QByteArray notification(int client, int index)
{
    return "[INS]" + QByteArray::number(client * 1000 + index).rightJustified(10, '0') + "\r\n";
}

// Runs the event loop until `done` holds; false after a minute, which means something broke.
bool runUntil(const std::function<bool()>& done)
{
    QElapsedTimer limit;
    limit.start();
    while (!done()) {
        if (limit.elapsed() > 60'000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

void BM_NotificationIngest(benchmark::State& state)
{
    const int clientCount = static_cast<int>(state.range(0));
    const int perClient = static_cast<int>(state.range(1));
    const bool burst = state.range(2) != 0;
    const int total = clientCount * perClient;

    QTemporaryDir dir;
    zul::ManualClock clock;
    zul::ActivityLog log(clock, dir.path());
    double connectMs = 0;
    qint64 queued = 0;

    for (auto _ : state) {
        state.PauseTiming();
        zul::NotificationServer server(log, clock, 0);
        server.CheckNotificationSocket();
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        QElapsedTimer connectTimer;
        connectTimer.start();
        for (int c = 0; c < clientCount; ++c) {
            clients.push_back(std::make_unique<QTcpSocket>());
            clients.back()->connectToHost(QHostAddress::LocalHost, server.serverPort());
        }
        if (!runUntil([&] { return server.clientCount() == clientCount; })) {
            state.SkipWithError("clients did not connect");
            return;
        }
        connectMs = double(connectTimer.nsecsElapsed()) / 1e6;
        state.ResumeTiming();

        for (int c = 0; c < clientCount; ++c) {
            if (burst) {
                QByteArray all;
                for (int i = 0; i < perClient; ++i)
                    all += notification(c, i);
                clients[c]->write(all);
            } else {
                for (int i = 0; i < perClient; ++i)
                    clients[c]->write(notification(c, i));
            }
        }
        if (!runUntil([&] { return server.PendingQueue().size() == total; })) {
            state.SkipWithError("notifications were lost");
            return;
        }

        state.PauseTiming();
        queued = server.PendingQueue().size();
        clients.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * total);
    state.counters["queued"] = double(queued);
    state.counters["connect_ms"] = connectMs;
}

BENCHMARK(BM_NotificationIngest)
    ->ArgNames({"clients", "each", "burst"})
    ->Args({50, 10, 0})
    ->Args({50, 10, 1})
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Runs the event loop, sleeping between events, until `done` holds; false after a minute. A
// spinning loop would charge its own turns to the thread whose CPU time is measured.
bool waitUntil(const std::function<bool()>& done)
{
    QTimer tick;
    tick.start(20);
    QElapsedTimer limit;
    limit.start();
    while (!done()) {
        if (limit.elapsed() > 60'000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// 10 000 notifications from 100 clients, measured as the CPU time of the server's thread alone:
// the clients are plain sockets on a thread of their own. The queue holds at most
// MaxQueueLength, so the clients come in groups that fill it once (5 clients of 100
// notifications each), and between groups the queue is emptied from its front as the queue
// step does. Accepting, reading, cutting and queueing are all in the figure.
void BM_HundredClientsTenThousand(benchmark::State& state)
{
    constexpr int Clients = 100;
    constexpr int PerClient = 100;
    constexpr int GroupClients = int(zul::NotificationServer::MaxQueueLength) / PerClient;
    QTemporaryDir dir;
    zul::ManualClock clock;
    zul::ActivityLog log(clock, dir.path());
    double cpuMs = 0;
    int queued = 0;
    for (auto _ : state) {
        zul::NotificationServer server(log, clock, 0);
        server.CheckNotificationSocket();
        const quint16 port = server.serverPort();
        cpuMs = 0;
        queued = 0;
        for (int first = 0; first < Clients; first += GroupClients) {
            const double before = threadCpuMs();
            std::thread senders([port, first] {
                std::vector<int> sockets;
                for (int c = first; c < first + GroupClients; ++c) {
                    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
                    sockaddr_in address{};
                    address.sin_family = AF_INET;
                    address.sin_port = htons(port);
                    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
                        continue;
                    QByteArray all;
                    for (int i = 0; i < PerClient; ++i)
                        all += notification(c, i);
                    for (qsizetype at = 0; at < all.size();) {
                        const ssize_t sent =
                            ::send(fd, all.constData() + at, std::size_t(all.size() - at), 0);
                        if (sent <= 0)
                            break;
                        at += sent;
                    }
                    sockets.push_back(fd);
                }
                for (const int fd : sockets)
                    ::close(fd);
            });
            const bool done = waitUntil([&] {
                return server.PendingQueue().size() == GroupClients * PerClient && server.clientCount() == 0;
            });
            cpuMs += threadCpuMs() - before;
            senders.join();
            if (!done) {
                state.SkipWithError("notifications were lost");
                return;
            }
            queued += int(server.PendingQueue().size());
            while (!server.PendingQueue().isEmpty())
                server.PendingQueue().removeFirst();
        }
    }
    state.counters["queued"] = queued;
    state.counters["server_cpu_ms"] = cpuMs;
}

BENCHMARK(BM_HundredClientsTenThousand)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// The queueing step alone: `size` notifications queued one at a time into a queue that starts
// empty, each checked against every one already waiting.
void BM_QueueNotification(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    zul::ManualClock clock;
    zul::ActivityLog log(clock, dir.path());
    QStringList texts;
    for (int i = 0; i < size; ++i)
        texts.append(QString::fromLatin1(notification(i / 100, i % 100).trimmed()));

    for (auto _ : state) {
        zul::NotificationServer server(log, clock, 0);
        for (const QString& text : texts)
            server.QueueNotification(text);
        benchmark::DoNotOptimize(server.PendingQueue().size());
    }
    state.SetItemsProcessed(state.iterations() * size);
}

BENCHMARK(BM_QueueNotification)
    ->Arg(100)
    ->Arg(int(zul::NotificationServer::MaxQueueLength))
    ->Unit(benchmark::kMillisecond);

// The framing alone: 1 MiB of what a client sent, cut into notifications, in reads of the
// given size; half of it notifications, half lines far too long.
void BM_Framing(benchmark::State& state)
{
    const qsizetype readSize = state.range(0);
    QByteArray received;
    for (int i = 0; received.size() < 1024 * 1024; ++i)
        received += notification(i / 100, i % 100) + QByteArray(200, 'x') + '\n';
    for (auto _ : state) {
        zul::NotificationFraming framing;
        qsizetype pieces = 0;
        for (qsizetype at = 0; at < received.size(); at += readSize)
            pieces +=
                framing.feed(QByteArrayView(received).sliced(at, std::min(readSize, received.size() - at)))
                    .size();
        benchmark::DoNotOptimize(pieces);
    }
    state.SetBytesProcessed(state.iterations() * received.size());
}

BENCHMARK(BM_Framing)->Arg(1)->Arg(1460)->Arg(16 * 1024)->Unit(benchmark::kMillisecond);

} // namespace
