#include "app/models/SidebarModel.h"

#include "app/models/MainViewModel.h"

#include <QPainter>
#include <QPainterPath>

namespace Vantorel {

namespace {

constexpr quintptr headingId = 0;  // internal id of top-level rows; children carry section + 1

QImage blankDecoration()
{
    static const QImage blank = [] {
        QImage image(QSize(SidebarModel::decorationSize, SidebarModel::decorationSize) * 2,
                     QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2);
        image.fill(Qt::transparent);
        return image;
    }();
    return blank;
}

bool sameShape(const QList<Fennick::AccountWithApps> &a, const QList<Fennick::AccountWithApps> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].id() != b[i].id() || a[i].apps.size() != b[i].apps.size())
            return false;
        for (qsizetype j = 0; j < a[i].apps.size(); ++j) {
            if (a[i].apps[j].id != b[i].apps[j].id)
                return false;
        }
    }
    return true;
}

QString accountName(const Fennick::AccountWithApps &section)
{
    return section.account ? section.account->name() : QString();
}

}  // namespace

SidebarModel::SidebarModel(MainViewModel &viewModel, QObject *parent) : QAbstractItemModel(parent), m_viewModel(viewModel)
{
    m_sections = m_viewModel.accountsWithApps();
    connect(&m_viewModel, &MainViewModel::accountsWithAppsChanged, this, &SidebarModel::update);
}

void SidebarModel::update()
{
    const QList<Fennick::AccountWithApps> &sections = m_viewModel.accountsWithApps();
    if (!sameShape(m_sections, sections)) {
        beginResetModel();
        m_sections = sections;
        m_icons.clear();
        endResetModel();
        return;
    }
    const QList<Fennick::AccountWithApps> old = std::exchange(m_sections, sections);
    for (qsizetype i = 0; i < sections.size(); ++i) {
        if (accountName(old[i]) != accountName(sections[i])) {
            const QModelIndex heading = index(int(i), 0);
            emit dataChanged(heading, heading, {Qt::DisplayRole});
        }
        const QModelIndex parent = index(int(i), 0);
        for (qsizetype j = 0; j < sections[i].apps.size(); ++j) {
            const Fennick::StoreApp &before = old[i].apps[j];
            const Fennick::StoreApp &after = sections[i].apps[j];
            QList<int> roles;
            if (before.name != after.name)
                roles << Qt::DisplayRole;
            if (before.icon.cacheKey() != after.icon.cacheKey())
                roles << Qt::DecorationRole;
            if (before.isHidden != after.isHidden)
                roles << IsHiddenRole;
            if (!roles.isEmpty()) {
                const QModelIndex row = index(int(j) + 1, 0, parent);
                emit dataChanged(row, row, roles);
            }
        }
    }
}

QModelIndex SidebarModel::index(int row, int column, const QModelIndex &parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row < m_sections.size() ? createIndex(row, 0, headingId) : QModelIndex();
    if (parent.internalId() != headingId || parent.row() >= m_sections.size())
        return {};
    if (row > m_sections[parent.row()].apps.size())
        return {};
    return createIndex(row, 0, quintptr(parent.row()) + 1);
}

QModelIndex SidebarModel::parent(const QModelIndex &child) const
{
    if (!child.isValid() || child.internalId() == headingId)
        return {};
    return createIndex(int(child.internalId() - 1), 0, headingId);
}

int SidebarModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return int(m_sections.size());
    if (parent.internalId() != headingId || parent.column() != 0)
        return 0;
    return int(m_sections[parent.row()].apps.size()) + 1;  // "All Apps" first
}

int SidebarModel::columnCount(const QModelIndex &) const
{
    return 1;
}

Qt::ItemFlags SidebarModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    if (index.internalId() == headingId)
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

QVariant SidebarModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    if (index.internalId() == headingId) {
        const Fennick::AccountWithApps &section = m_sections[index.row()];
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return accountName(section);
        case KindRole:
            return QVariant::fromValue(int(RowKind::account));
        default:
            return {};
        }
    }
    if (index.row() == 0) {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return tr("All Apps");
        case Qt::DecorationRole:
            return blankDecoration();  // keeps the text in line with the app names below
        case KindRole:
            return QVariant::fromValue(int(RowKind::allApps));
        default:
            return {};
        }
    }
    const Fennick::StoreApp &app = m_sections[index.internalId() - 1].apps[index.row() - 1];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
    case Qt::ToolTipRole:
        return app.name;
    case Qt::DecorationRole:
        return cachedIcon(app);
    case KindRole:
        return QVariant::fromValue(int(RowKind::app));
    case IsHiddenRole:
        return app.isHidden;
    default:
        return {};
    }
}

std::optional<SelectedEntry> SidebarModel::entry(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this || index.internalId() == headingId)
        return std::nullopt;
    const Fennick::AccountWithApps &section = m_sections[index.internalId() - 1];
    if (index.row() == 0)
        return SelectedEntry::account(section.account);
    return SelectedEntry::app(section.apps[index.row() - 1]);
}

QModelIndex SidebarModel::indexOf(const SelectedEntry &entry) const
{
    for (qsizetype i = 0; i < m_sections.size(); ++i) {
        const QModelIndex parent = index(int(i), 0);
        if (entry.isAccount()) {
            const auto &account = entry.accountValue();
            if (account && m_sections[i].account && account->id() == m_sections[i].account->id())
                return index(0, 0, parent);
            continue;
        }
        const QList<Fennick::StoreApp> &apps = m_sections[i].apps;
        for (qsizetype j = 0; j < apps.size(); ++j) {
            if (apps[j].id == entry.appValue().id)
                return index(int(j) + 1, 0, parent);
        }
    }
    return {};
}

std::optional<Fennick::StoreApp> SidebarModel::app(const QModelIndex &index) const
{
    const std::optional<SelectedEntry> selected = entry(index);
    if (!selected || !selected->isApp())
        return std::nullopt;
    return selected->appValue();
}

QImage SidebarModel::cachedIcon(const Fennick::StoreApp &app) const
{
    CachedIcon &cached = m_icons[app.id];
    if (cached.framed.isNull() || cached.sourceKey != app.icon.cacheKey()) {
        cached.sourceKey = app.icon.cacheKey();
        cached.framed = framedIcon(app.icon);
    }
    return cached.framed;
}

QImage SidebarModel::framedIcon(const QImage &icon)
{
    constexpr qreal scale = 2.0;
    QImage image(QSize(decorationSize, decorationSize) * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);

    const QRectF frame(2, 1, 24, 24);  // 2 points of leading padding; the shadow falls below
    constexpr qreal radius = 6;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    // A soft shadow 1 point down: a few widening rings whose alpha adds up to about 12 %.
    for (const qreal spread : {2.0, 1.4, 0.8, 0.3}) {
        QPainterPath ring;
        ring.addRoundedRect(frame.translated(0, 1).adjusted(-spread, -spread, spread, spread), radius + spread,
                            radius + spread);
        painter.fillPath(ring, QColor(0, 0, 0, 8));
    }
    QPainterPath rounded;
    rounded.addRoundedRect(frame, radius, radius);
    painter.fillPath(rounded, Qt::white);
    if (!icon.isNull()) {
        painter.setClipPath(rounded);
        QSizeF size = icon.size();
        size.scale(frame.size(), Qt::KeepAspectRatio);
        QRectF target(QPointF(), size);
        target.moveCenter(frame.center());
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, icon);
    }
    return image;
}

}  // namespace Vantorel
