#include "Fennick/WorkerPools.h"

#include "platform/ThreadPools.h"

#include <QThreadPool>

namespace Fennick::WorkerPools {

QThreadPool &importRuns()
{
    static QThreadPool *pool = platform::newLongLivedPool(QStringLiteral("DataImporter runs"), 4);
    return *pool;
}

QThreadPool &importApps()
{
    // One page lists at most 200 apps, so this cap never holds an app back.
    static QThreadPool *pool = platform::newLongLivedPool(QStringLiteral("DataImporter apps"), 200);
    return *pool;
}

QThreadPool &iconDownloads()
{
    static QThreadPool *pool = platform::newLongLivedPool(QStringLiteral("IconDownloads"), 16);
    return *pool;
}

QThreadPool &iconRunners()
{
    static QThreadPool *pool = platform::newLongLivedPool(QStringLiteral("IconDownloaders"), 2);
    return *pool;
}

QThreadPool &keychainReads()
{
    static QThreadPool *pool = platform::newLongLivedPool(QStringLiteral("KeychainReads"), 4);
    return *pool;
}

QThreadPool &widgetRequests()
{
    static QThreadPool *pool = platform::newLongLivedPool(QStringLiteral("WidgetRequests"), 4);
    return *pool;
}

QThreadPool &reviewCardRequests()
{
    static QThreadPool *pool = platform::newLongLivedPool(QStringLiteral("ReviewCard"), 4);
    return *pool;
}

QThreadPool &signIns()
{
    static QThreadPool *pool = platform::newLongLivedPool(QStringLiteral("sign-in"), 2);
    return *pool;
}

QThreadPool &feedbackRequests()
{
    static QThreadPool *pool = platform::newLongLivedPool(QStringLiteral("Feedback"), 2);
    return *pool;
}

}  // namespace Fennick::WorkerPools
