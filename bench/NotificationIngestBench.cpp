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
#include <benchmark/benchmark.h>
#include <functional>
#include <memory>
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
