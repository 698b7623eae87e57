#include "platform/widgethost/WidgetHost.h"

#include "platform/PresentScreens.h"
#include "platform/UserDefaults.h"
#include "platform/widgetkit/WidgetCenter.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QMouseEvent>
#include <QWindow>
#include <QVBoxLayout>
#include <limits>

namespace platform::widgetkit {
namespace {
const QString familyKey = QStringLiteral("widgetFamily");
const QString placeKey = QStringLiteral("widgetPosition");

int millisecondsUntil(const QDateTime &date)
{
    const qint64 ms = QDateTime::currentDateTimeUtc().msecsTo(date);
    return static_cast<int>(std::clamp<qint64>(ms, 0, std::numeric_limits<int>::max()));
}
}  // namespace

WidgetHost::WidgetHost(WidgetConfiguration configuration, QWidget *parent)
    // A plain window without frame: a tool window was at times taken for one at 0,0 under openbox
    // (X11), which then dragged it by that offset.
    : QWidget(parent, Qt::FramelessWindowHint | Qt::Window), m_configuration(std::move(configuration))
{
    setWindowTitle(m_configuration.displayName);
    setLayout(new QVBoxLayout);
    layout()->setContentsMargins(0, 0, 0, 0);

    const auto stored = UserDefaults::standard().value(familyKey);
    const auto family = static_cast<WidgetFamily>(stored.isValid() ? stored.toInt() : 0);
    m_family = m_configuration.supportedFamilies.contains(family) || m_configuration.supportedFamilies.isEmpty()
                   ? family
                   : m_configuration.supportedFamilies.first();
    setFixedSize(displaySize(m_family));
    // The window comes back whole on the screen it mostly lay on; a place on a screen that is
    // gone is left to the window manager.
    if (UserDefaults::standard().hasStoredValue(placeKey)) {
        const QRect kept(UserDefaults::standard().value(placeKey).toPoint(), size());
        if (const auto placed = placeOnPresentScreens(kept))
            move(placed->topLeft());
    }
    m_placeTimer.setSingleShot(true);
    m_placeTimer.setInterval(500);
    connect(&m_placeTimer, &QTimer::timeout, this, &WidgetHost::savePlace);

    m_closeAction = new QAction(QCoreApplication::translate("WidgetHost", "Close"), this);
    m_closeAction->setObjectName(QStringLiteral("closeWidget"));
    connect(m_closeAction, &QAction::triggered, this, &WidgetHost::closeRequested);

    m_entryTimer.setSingleShot(true);
    m_reloadTimer.setSingleShot(true);
    connect(&m_entryTimer, &QTimer::timeout, this, &WidgetHost::showDueEntry);
    connect(&m_reloadTimer, &QTimer::timeout, this, &WidgetHost::reloadTimeline);

    m_entries = {m_configuration.placeholder(context())};
    showDueEntry();
    reloadTimeline();
}

WidgetHost::~WidgetHost()
{
    if (m_placeTimer.isActive())
        savePlace();
}

void WidgetHost::savePlace()
{
    m_placeTimer.stop();
    UserDefaults::standard().setValue(placeKey, pos());
}

void WidgetHost::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    // Only a place the user dragged it to is kept: the window manager places and reports the
    // window on its own too (openbox reported 0,0 for a tool window that stayed where it was put).
    if (m_draggedByUser && isVisible())
        m_placeTimer.start();
}

void WidgetHost::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_draggedByUser = true;
    // The window has no frame to drag: the window manager moves it from anywhere inside, or,
    // where it cannot, the window follows the pointer.
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    m_dragOffset = event->globalPosition().toPoint() - pos();
}

void WidgetHost::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragOffset && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - *m_dragOffset);
    else
        QWidget::mouseMoveEvent(event);
}

void WidgetHost::mouseReleaseEvent(QMouseEvent *event)
{
    m_dragOffset.reset();
    QWidget::mouseReleaseEvent(event);
}

TimelineContext WidgetHost::context() const
{
    return TimelineContext{m_family, displaySize(m_family), false};
}

void WidgetHost::setFamily(WidgetFamily family)
{
    if (family == m_family)
        return;
    m_family = family;
    UserDefaults::standard().setValue(familyKey, static_cast<int>(family));
    setFixedSize(displaySize(family));
    showDueEntry();
}

bool WidgetHost::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString name = WidgetCenter::serverName();
    if (!m_server->listen(name)) {
        // A socket left by a host that crashed: take it over if nobody answers on it.
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(200))
            return false;
        QLocalServer::removeServer(name);
        if (!m_server->listen(name))
            return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                while (socket->canReadLine()) {
                    if (socket->readLine() == WidgetCenter::reloadMessage)
                        reloadTimeline();
                }
            });
        }
    });
    return true;
}

void WidgetHost::reloadTimeline()
{
    ++m_requests;
    const quint64 generation = ++m_generation;
    QPointer<WidgetHost> self(this);
    m_configuration.timeline(context(), [self, generation](AnyTimeline timeline) {
        // The provider answers from any thread; the host lives on the GUI thread.
        QMetaObject::invokeMethod(
            qApp,
            [self, generation, timeline = std::move(timeline)]() mutable {
                if (self && generation == self->m_generation)
                    self->applyTimeline(std::move(timeline));
            },
            Qt::QueuedConnection);
    });
}

void WidgetHost::applyTimeline(AnyTimeline timeline)
{
    if (!timeline.entries.isEmpty())
        m_entries = std::move(timeline.entries);
    showDueEntry();
    m_reloadTimer.start(millisecondsUntil(timeline.policy.date));
    emit timelineApplied();
}

void WidgetHost::showDueEntry()
{
    if (m_entries.isEmpty())
        return;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    qsizetype due = 0;
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].date <= now)
            due = i;
    }
    showEntry(m_entries[due]);
    if (due + 1 < m_entries.size())
        m_entryTimer.start(millisecondsUntil(m_entries[due + 1].date));
}

void WidgetHost::showEntry(const AnyEntry &entry)
{
    delete m_view;
    m_view = m_configuration.makeView(entry, m_family);
    layout()->addWidget(m_view);
}

void WidgetHost::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    auto *group = new QActionGroup(&menu);
    for (WidgetFamily family : m_configuration.supportedFamilies) {
        QAction *action = menu.addAction(familyName(family), this, [this, family] { setFamily(family); });
        action->setCheckable(true);
        action->setChecked(family == m_family);
        group->addAction(action);
    }
    menu.addSeparator();
    menu.addAction(m_closeAction);
    menu.exec(event->globalPos());
}

void WidgetHost::closeEvent(QCloseEvent *event)
{
    // Only the window manager's close is the user's. Quitting closes every window too (not
    // spontaneously), and a session that ends asks while it saves; neither removes the widget.
    if (!event->spontaneous() || qApp->isSavingSession())
        return QWidget::closeEvent(event);
    event->ignore();
    emit closeRequested();
}

void WidgetHost::bringForward()
{
    show();
    raise();
    activateWindow();
}

QImage WidgetHost::render(const WidgetConfiguration &configuration, const AnyEntry &entry, WidgetFamily family)
{
    std::unique_ptr<QWidget> view(configuration.makeView(entry, family));
    view->setFixedSize(displaySize(family));
    view->ensurePolished();
    if (view->layout())
        view->layout()->activate();
    return view->grab().toImage();
}

}  // namespace platform::widgetkit
