#include "Fennick/ReviewStateTracker.h"

#include "Fennick/Analytics.h"
#include "Fennick/Log.h"
#include "Fennick/Persistence/ManagedReview.h"
#include "Fennick/Persistence/PersistenceController.h"
#include "platform/Error.h"

namespace Fennick {

ReviewStateTracker &ReviewStateTracker::shared()
{
    static ReviewStateTracker tracker;
    return tracker;
}

void ReviewStateTracker::markAsOld(const platform::store::ObjectId &review)
{
    m_idsToMarkAsOld.append(review);
}

void ReviewStateTracker::processMarks()
{
    try {
        auto &context = PersistenceController::shared().container().viewContext();
        for (const auto &id : std::as_const(m_idsToMarkAsOld)) {
            if (auto *review = context.existingObject<ManagedReview>(id))
                review->setIsNew(false);
        }
        context.save();
    } catch (const std::exception &error) {
        TrackError(error, QStringLiteral("ProcessMarks"));
        qCCritical(Log::model(), "Could not process marks: %s",
                   qUtf8Printable(platform::Error::from(error).localizedDescription()));
    }
}

}  // namespace Fennick
