#include "app/models/ModelSupport.h"

#include "Fennick/Analytics.h"
#include "Fennick/Log.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "platform/Error.h"
#include "platform/UserDefaults.h"

namespace Vantorel::ModelSupport {

namespace {
const QString translationSwitchKey = QStringLiteral("enableTranslationSupport");
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

void observeTranslationSwitch(QObject *model, std::function<void()> willChange)
{
    // Queued even when the switch is set on the GUI thread: the notice goes out after the new
    // value is stored, and never to a model that is gone by then.
    QObject::connect(
        &platform::UserDefaults::standard(), &platform::UserDefaults::valueChanged, model,
        [willChange = std::move(willChange)](const QString &key) {
            if (key == translationSwitchKey)
                willChange();
        },
        Qt::QueuedConnection);
}

void startSearchDebounce(QTimer &timer, QObject *model, std::function<void()> load)
{
    timer.setSingleShot(true);
    timer.setInterval(searchDebounceMilliseconds);
    QObject::connect(&timer, &QTimer::timeout, model, [load = std::move(load)] {
        qCInfo(Fennick::Log::app(), "Loading during search");
        load();
    });
    timer.start();
}

}  // namespace Vantorel::ModelSupport
