// A whole import against the local fake App Store Connect with a delay on every request:
// 20 apps x 10 versions x 200 reviews, first into an empty store, then unchanged again.
//   import_bench [delay-ms]
// The critical path is the longest chain of requests one app needs (its account's app list,
// its version list, then one review list per version), each costing at least the delay.

#include "Fennick/Account.h"
#include "Fennick/DataImporter/DataImporter.h"
#include "Fennick/Endpoints.h"
#include "Fennick/Persistence/ManagedAccount.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/Persistence/StoreModel.h"
#include "platform/keychain/Keychain.h"
#include "platform/store/Container.h"

#include "FakeConnectServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

using namespace Fennick;
using platform::store::Context;

namespace {

// User and system time of the whole process (the fake server included), in milliseconds.
double processCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

constexpr int apps = 20;
constexpr int versions = 10;
constexpr int reviews = 200;

void runOnce(const char *label, platform::store::Container &container, fakes::FakeConnectServer &server, int delayMs)
{
    const int requestsBefore = server.requestCount();
    DataImporter importer(container.newBackgroundContext(), false);
    const double cpuBefore = processCpuMs();
    QElapsedTimer timer;
    timer.start();
    // As the application does: the GUI thread turns its event loop (and takes the view
    // context's merges) while the import runs elsewhere.
    QFuture<int> future = importer.importData();
    QFutureWatcher<int> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcher<int>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished())
        loop.exec();
    const int newReviews = future.result();
    const double wallMs = double(timer.nsecsElapsed()) / 1e6;
    const double cpuMs = processCpuMs() - cpuBefore;
    const double storeMs = double(importer.storeTime().count()) / 1e6;
    const double criticalMs = double(delayMs) * (1 + 1 + versions);
    std::printf("%s import: wall %.0f ms, %d requests, new reviews %d\n", label, wallMs,
                server.requestCount() - requestsBefore, newReviews);
    std::printf("  critical path %.0f ms (%d ms x (1 + 1 + %d)), wall / critical path %.2f\n", criticalMs, delayMs,
                versions, wallMs / criticalMs);
    std::printf("  store work %.0f ms, wall / (critical path + store work) %.2f\n", storeMs,
                wallMs / (criticalMs + storeMs));
    std::printf("  processor time of the process (fake server included) %.0f ms\n", cpuMs);
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int delayMs = argc > 1 ? std::max(0, atoi(argv[1])) : 20;
    platform::Keychain::useInMemoryBackendForTesting();

    fakes::FakeConnectServer server;
    const fakes::FakeAccount fake = server.addAccount();
    server.setApps(fake.issuerId, fakes::sampleApps(apps, versions, reviews, QStringLiteral("bench")));
    server.setDelay(delayMs);
    Endpoints::setBaseUrl(Endpoints::Service::connect, server.baseUrl());

    QTemporaryDir dir;
    platform::store::Container container(QStringLiteral("Vantorel"), storeModel(),
                                         dir.filePath(QStringLiteral("bench.sqlite")));
    auto context = container.newBackgroundContext();
    const auto accountId = context->performAndWait([](Context &c) {
        auto *row = c.insert<ManagedAccount>();
        row->setName(QStringLiteral("Bench"));
        c.save();
        return row->objectId();
    });
    Account account(std::nullopt, QStringLiteral("Bench"), fake.issuerId, fake.keyId, fake.privateKeyPem);
    account.saveToKeychain(accountId.uriString());

    std::printf("%d apps x %d versions x %d reviews, %d ms per request\n", apps, versions, reviews, delayMs);
    runOnce("first", container, server, delayMs);
    runOnce("second (unchanged)", container, server, delayMs);
    const qint64 stored = context->performAndWait([](Context &c) { return c.count(ManagedReview::fetchRequest()); });
    std::printf("reviews in the store: %lld\n", static_cast<long long>(stored));
    return 0;
}
