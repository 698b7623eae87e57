#pragma once

#include "platform/store/ObjectId.h"

#include <QMetaType>
#include <QObject>
#include <QSet>

namespace platform::store {

// The rows one save of another context changed, as the view context took them in. Rows that
// went with a deleted owner are among `deleted`.
struct MergedChanges {
    QSet<ObjectId> inserted;
    QSet<ObjectId> updated;
    QSet<ObjectId> deleted;
};

// What the view context announces, on its own thread. Reach it through
// Container::viewContextEvents(); it lives as long as the container.
class ViewContextEvents : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    // A save of a background context of this process has been merged: the view context's objects
    // already hold the saved values. One signal per save; saves of other processes are not
    // announced (they show at the next fetch).
    void changesMerged(const platform::store::MergedChanges &changes);
};

}  // namespace platform::store

Q_DECLARE_METATYPE(platform::store::MergedChanges)
