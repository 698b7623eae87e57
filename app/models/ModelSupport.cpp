#include "app/models/ModelSupport.h"
#include "app/models/SettingsKeys.h"

#include "Fennick/Analytics.h"
#include "Fennick/Log.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "platform/Error.h"
#include "platform/UserDefaults.h"

#include <QPointer>

namespace Vantorel::ModelSupport {

namespace {
constexpr int searchDebounceMilliseconds = 500;
}  // namespace

void reportFailure(const std::exception &error, const QString &name, const QString &message)
{
    Fennick::TrackError(error, name);
    qCCritical(Fennick::Log::model(), "%s",
               qUtf8Printable(message.arg(platform::Error::from(error).localizedDescription())));
}

ReviewList reviewRecords(const QList<Fennick::ManagedReview *> &rows)
{
    ReviewList records;
    records.reserve(rows.size());
    for (const Fennick::ManagedReview *row : rows)
        records.append(std::make_shared<Fennick::StoreReview>(*row));
    return records;
}

void SummaryTriggers::start(QObject *model, std::function<void()> reload, std::function<void()> searchLoad,
                            std::function<void()> willChange)
{
    storeSubscription = observeStoreChanges([model = QPointer(model), reload = std::move(reload)](const QString &) {
        if (!model)
            return;
        qCInfo(Fennick::Log::app(), "Reloading summary content");
        reload();
    });

    searchDebounce.setSingleShot(true);
    searchDebounce.setInterval(searchDebounceMilliseconds);
    QObject::connect(&searchDebounce, &QTimer::timeout, model, [searchLoad = std::move(searchLoad)] {
        qCInfo(Fennick::Log::app(), "Loading during search");
        searchLoad();
    });
    searchDebounce.start();

    // Queued even when the switch is set on the GUI thread: the notice goes out after the new
    // value is stored, and never to a model that is gone by then.
    QObject::connect(
        &platform::UserDefaults::standard(), &platform::UserDefaults::valueChanged, model,
        [willChange = std::move(willChange)](const QString &key) {
            if (key == SettingsKey::enableTranslationSupport)
                willChange();
        },
        Qt::QueuedConnection);
}

}  // namespace Vantorel::ModelSupport
