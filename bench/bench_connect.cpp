// Costs of the App Store Connect client against the local fake: token signing, one page of 200
// reviews (request, decoding, matching), and many pages from parallel threads.
//   bench_connect [rounds]

#include "Fennick/Connect/ConnectAPI.h"
#include "Fennick/Endpoints.h"

#include "FakeConnectServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QtConcurrent>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 200;

    fakes::FakeConnectServer server;
    const fakes::FakeAccount account = server.addAccount();
    const QList<fakes::FakeApp> apps = fakes::sampleApps(4, 2, 200, QStringLiteral("bench"));
    server.setApps(account.issuerId, apps);
    Fennick::Endpoints::setBaseUrl(Fennick::Endpoints::Service::connect, server.baseUrl());
    const Fennick::Credentials credentials = account.credentials();
    const Fennick::ConnectAPI api;

    QElapsedTimer timer;
    timer.start();
    for (int round = 0; round < rounds * 10; ++round)
        (void)api.signRequest(credentials);
    std::printf("signRequest: %d tokens, %.1f us per token\n", rounds * 10,
                double(timer.nsecsElapsed()) / 1000.0 / (rounds * 10));

    const QString version = apps[0].versions[0].id;
    timer.restart();
    qsizetype reviews = 0;
    for (int round = 0; round < rounds; ++round)
        reviews += api.loadAppVersionReviews(version, credentials).size();
    std::printf("loadAppVersionReviews (200 reviews, one thread): %d pages, %.2f ms per page\n", rounds,
                double(timer.nsecsElapsed()) / 1e6 / rounds);

    constexpr int threads = 8;
    constexpr int delayMs = 20;
    server.setDelay(delayMs);
    QList<int> jobs(threads);
    std::iota(jobs.begin(), jobs.end(), 0);
    QThreadPool pool;
    pool.setMaxThreadCount(threads);
    const int perThread = std::max(1, rounds / threads);
    timer.restart();
    QtConcurrent::blockingMap(&pool, jobs, [&](int job) {
        const QString id = apps[job % apps.size()].versions[job % 2].id;
        for (int round = 0; round < perThread; ++round)
            (void)api.loadAppVersionReviews(id, credentials);
    });
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("loadAppVersionReviews (%d threads, %d ms server delay): %d pages in %.2f s, %.1f pages/s "
                "(delay alone allows %.1f)\n",
                threads, delayMs, threads * perThread, seconds, threads * perThread / seconds,
                threads * 1000.0 / delayMs);
    std::printf("requests served: %d, refused: %d\n", server.requestCount(), server.rejectedCount());
    return reviews == qsizetype(rounds) * 200 && server.rejectedCount() == 0 ? 0 : 1;
}
