#pragma once

#include "Fennick/GroupIdentifier.h"
#include "platform/store/Container.h"

namespace Fennick {

// Owner of the one store of the process: "Vantorel.sqlite" in the app-group folder that the
// application and the widget share, or in the application's data folder when the group is
// unavailable.
class PersistenceController {
public:
    // Built at first use, once, also when several threads ask at the same time. When the store
    // cannot be loaded this throws, now and on every later call, a platform::Error whose text is
    // "Unresolved error " + the error's description + ", " + its details; the process goes on and
    // the file is left as it was.
    static PersistenceController &shared();

    platform::store::Container &container() { return *m_container; }

    static inline const QString containerName = QStringLiteral("Vantorel");
    static inline const QString &appGroup = appGroupIdentifier;
    static inline const QString storeFileName = QStringLiteral("Vantorel.sqlite");

    // Where the store file lies for this process.
    static QString storePath();

private:
    explicit PersistenceController(std::unique_ptr<platform::store::Container> container);
    std::unique_ptr<platform::store::Container> m_container;
};

}  // namespace Fennick
