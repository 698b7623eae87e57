// A whole import against the local fake App Store Connect with a delay on every request:
// 20 apps x 10 versions x 200 reviews, first into an empty store, then unchanged again.
//   import_bench [delay-ms]
// The critical path is the longest chain of requests one app needs (its account's app list,
// its version list, then one review list per version), timed by the fake server itself: its
// delay, its token check and its reply, so that what the wall time adds is the client's own.
// The fake answers from replies it prepared before the timing starts.

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
#include <QSet>
#include <QFutureWatcher>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <QFile>

#include <algorithm>
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

// Resident and peak resident memory of the process, in bytes.
struct Memory {
    qint64 resident = 0;
    qint64 peak = 0;
};

Memory memory()
{
    Memory result;
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return result;
    for (const QByteArray &line : status.readAll().split('\n')) {
        const auto kilobytes = [&] { return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024; };
        if (line.startsWith("VmRSS:"))
            result.resident = kilobytes();
        else if (line.startsWith("VmHWM:"))
            result.peak = kilobytes();
    }
    return result;
}

// Starts the peak over from the present resident size.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

constexpr int apps = 20;
constexpr int versions = 10;
constexpr int reviews = 200;
constexpr double reimportTarget = 1.2;
constexpr double firstImportGrowthTargetMb = 50;

void runOnce(const char *label, platform::store::Container &container, fakes::FakeConnectServer &server, int delayMs,
             QSet<int> &portsSeen)
{
    server.clearRequests();
    DataImporter importer(container.newBackgroundContext(), false);
    resetPeak();
    const Memory before = memory();
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
    const Memory after = memory();
    const double storeMs = double(importer.storeTime().count()) / 1e6;
    const double criticalMs = double(server.criticalPath().count()) / 1e6;
    const double nominalMs = double(delayMs) * (1 + 1 + versions);

    // Between one reply handed over and the app's next request taken up, all is the client's:
    // the reply written and read, decoded, compared, and the next request signed and sent.
    QHash<QString, QList<fakes::RecordedRequest>> byApp;
    int opened = 0;
    int prepared = 0;
    for (const fakes::RecordedRequest &request : server.requests()) {
        if (!request.appId.isEmpty())
            byApp[request.appId].append(request);
        prepared += request.fromPrepared ? 1 : 0;
        if (!portsSeen.contains(request.clientPort)) {
            portsSeen.insert(request.clientPort);
            ++opened;
        }
    }
    std::printf("%s import: wall %.0f ms, %d requests (%d refused, %d answered from prepared replies), new reviews %d\n",
                label, wallMs, server.requestCount(), server.rejectedCount(), prepared, newReviews);
    std::printf("  critical path measured by the server %.1f ms (the delays alone: %d ms x (1 + 1 + %d) = %.0f ms)\n",
                criticalMs, delayMs, versions, nominalMs);
    std::printf("  wall / critical path %.2f (target for the unchanged import: at most %.1f)\n", wallMs / criticalMs,
                reimportTarget);
    // The importer runs the requests of all apps of the account at once, one request per app at a
    // time; the server sees fewer at the same moment while some apps are busy with store work.
    std::printf("  connections: %d opened, %d used; requests at once: %d (one per app), the server saw up to %d "
                "(target: opened at most %d)\n",
                opened, server.connectionCount(), apps, server.peakConcurrency(), apps);
    double gapsMs = 0;
    double longestGapMs = 0;
    int gaps = 0;
    for (QList<fakes::RecordedRequest> &chain : byApp) {
        std::sort(chain.begin(), chain.end(), [](const auto &a, const auto &b) { return a.receivedAt < b.receivedAt; });
        for (qsizetype i = 1; i < chain.size(); ++i) {
            const auto gap = chain[i].receivedAt - (chain[i - 1].receivedAt + chain[i - 1].handlingTime);
            const double ms = double(std::chrono::duration_cast<std::chrono::nanoseconds>(gap).count()) / 1e6;
            gapsMs += ms;
            longestGapMs = std::max(longestGapMs, ms);
            ++gaps;
        }
    }
    std::printf("  between two requests of one app: %.2f ms on average, %.1f ms at most\n", gaps ? gapsMs / gaps : 0.0,
                longestGapMs);
    std::printf("  store work %.0f ms, wall / (critical path + store work) %.2f\n", storeMs,
                wallMs / (criticalMs + storeMs));
    std::printf("  processor time of the process (fake server included) %.0f ms\n", cpuMs);
    // The importer's context is still alive here, as in a program that has just synced.
    std::printf("  memory: the process grew by %.1f MB at its peak, %.1f MB kept after the import (target for "
                "the first import: under %.0f MB at the peak)\n",
                double(after.peak - before.resident) / 1e6, double(after.resident - before.resident) / 1e6,
                firstImportGrowthTargetMb);
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("Vantorel.importer.info=false"));
    const int delayMs = argc > 1 ? std::max(0, atoi(argv[1])) : 20;
    platform::Keychain::useInMemoryBackendForTesting();

    fakes::FakeConnectServer server;
    const fakes::FakeAccount fake = server.addAccount();
    server.setApps(fake.issuerId, fakes::sampleApps(apps, versions, reviews, QStringLiteral("bench")));
    server.setDelay(delayMs);
    server.prepareReplies();
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
    QSet<int> portsSeen;
    runOnce("first", container, server, delayMs, portsSeen);
    runOnce("second (unchanged)", container, server, delayMs, portsSeen);
    const qint64 stored = context->performAndWait([](Context &c) { return c.count(ManagedReview::fetchRequest()); });
    std::printf("reviews in the store: %lld\n", static_cast<long long>(stored));
    return 0;
}
