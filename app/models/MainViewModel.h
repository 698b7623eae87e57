#pragma once

#include "Fennick/Records/StoreApp.h"
#include "app/models/SelectedEntry.h"
#include "app/models/StoreChanges.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <memory>
#include <optional>

namespace Vantorel {

// The application's central model, one per process: the sidebar's sections, the selection and
// the full sync with its end steps. GUI thread only; store, keychain and network work runs on
// background contexts and pools.
class MainViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool performedInitialLoad READ performedInitialLoad NOTIFY performedInitialLoadChanged)
    Q_PROPERTY(bool isSyncing READ isSyncing NOTIFY isSyncingChanged)
    Q_PROPERTY(bool includeHiddenApps READ includeHiddenApps WRITE setIncludeHiddenApps NOTIFY includeHiddenAppsChanged)
    Q_PROPERTY(bool includeAppsWithNoReviews READ includeAppsWithNoReviews WRITE setIncludeAppsWithNoReviews NOTIFY
                   includeAppsWithNoReviewsChanged)

public:
    explicit MainViewModel(QObject *parent = nullptr);
    ~MainViewModel() override;

    const std::optional<SelectedEntry> &selectedEntry() const;
    void setSelectedEntry(const std::optional<SelectedEntry> &entry);

    // One section per account, numbered from 1, as last loaded.
    const QList<Fennick::AccountWithApps> &accountsWithApps() const;
    // True once the first sidebar load has ended, whether it succeeded or not.
    bool performedInitialLoad() const;
    bool isSyncing() const;

    // Stored under "includeHiddenApps" / "includeAppsWithNoReviews"; setting one reloads the sidebar.
    bool includeHiddenApps() const;
    void setIncludeHiddenApps(bool value);
    bool includeAppsWithNoReviews() const;
    void setIncludeAppsWithNoReviews(bool value);

    // Both finish on the GUI thread after the model's state is published; neither fails.
    QFuture<void> reloadSidebar();
    // Returns at once when a sync already runs. Finishes when the end steps up to the widget
    // reload are done; the icon refresh goes on afterwards (see iconRefreshFinished).
    QFuture<void> sync();

signals:
    void objectWillChange();
    void selectedEntryChanged();
    void accountsWithAppsChanged();
    void performedInitialLoadChanged();
    void isSyncingChanged();
    void includeHiddenAppsChanged();
    void includeAppsWithNoReviewsChanged();
    // The icon refresh that a sync started has ended; `changed` when it started downloads.
    void iconRefreshFinished(bool changed);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace Vantorel
