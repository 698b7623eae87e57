#pragma once

#include "platform/store/ObjectId.h"

#include <QList>

namespace Fennick {

// Remembers the new reviews the user has seen and clears their mark when the application ends.
// GUI thread only.
class ReviewStateTracker {
public:
    static ReviewStateTracker &shared();

    void markAsOld(const platform::store::ObjectId &review);
    // Clears the new mark of every remembered review through the view context and saves; a
    // failed save is reported and logged, and the changes stay unsaved.
    void processMarks();

private:
    ReviewStateTracker() = default;
    QList<platform::store::ObjectId> m_idsToMarkAsOld;
};

}  // namespace Fennick
