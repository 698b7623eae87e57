#pragma once

#include "Fennick/Records/StoreApp.h"
#include "app/models/SelectedEntry.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QImage>
#include <QList>
#include <optional>

namespace Vantorel {

class MainViewModel;

// The sidebar's rows over MainViewModel's sections: one top-level row per account (a heading,
// not selectable) holding an "All Apps" row and one row per listed app. A reload that keeps the
// same accounts and apps in the same order changes rows in place (an icon that arrives is a
// DecorationRole change only); any other reload resets the model.
class SidebarModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum class RowKind { account, allApps, app };
    enum Role { KindRole = Qt::UserRole + 1, IsHiddenRole };

    // Logical size of an app row's decoration: the 24 x 24 framed icon, its leading padding
    // and room for its shadow.
    static constexpr int decorationSize = 28;

    explicit SidebarModel(MainViewModel &viewModel, QObject *parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // The selection value of a row; none for an account heading.
    std::optional<SelectedEntry> entry(const QModelIndex &index) const;
    // The row of an entry, found by account id or app object id; invalid when it is not listed.
    QModelIndex indexOf(const SelectedEntry &entry) const;
    // The app of an app row.
    std::optional<Fennick::StoreApp> app(const QModelIndex &index) const;

    // An app icon (null: none) on white, in a rounded 24 x 24 frame with a faint shadow, drawn at
    // twice the resolution.
    static QImage framedIcon(const QImage &icon);

private:
    void update();
    QImage cachedIcon(const Fennick::StoreApp &app) const;

    MainViewModel &m_viewModel;
    QList<Fennick::AccountWithApps> m_sections;
    struct CachedIcon {
        qint64 sourceKey = 0;
        QImage framed;
    };
    mutable QHash<platform::store::ObjectId, CachedIcon> m_icons;
};

}  // namespace Vantorel
