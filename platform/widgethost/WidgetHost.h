#pragma once

#include "platform/widgetkit/Timeline.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <optional>

class QAction;
class QLocalServer;

namespace platform::widgetkit {

// Shows one widget in a small frameless window: the placeholder first, then the entries of the
// provider's timeline, each at its date, and a new timeline once the reload date has passed or
// the application asked for it. The family is chosen from the context menu and remembered, and so
// is the place the window was dragged to.
// Closing it (the menu's "Close", or the window manager's) only asks: closeRequested() is for the
// program to end on.
class WidgetHost : public QWidget {
    Q_OBJECT
public:
    explicit WidgetHost(WidgetConfiguration configuration, QWidget *parent = nullptr);
    ~WidgetHost() override;

    WidgetFamily family() const { return m_family; }
    void setFamily(WidgetFamily family);
    // Listens for WidgetCenter::reloadAllTimelines(); false when the socket cannot be taken.
    bool listen();
    void reloadTimeline();
    // Shows the window on top, for a later start of the same widget.
    void bringForward();

    int timelineRequests() const { return m_requests; }
    QWidget *currentView() const { return m_view; }
    // The menu's "Close" (object name "closeWidget").
    QAction *closeAction() const { return m_closeAction; }

    // Draws one entry of `configuration` for `family` without showing a window.
    static QImage render(const WidgetConfiguration &configuration, const AnyEntry &entry, WidgetFamily family);

signals:
    void timelineApplied();
    void closeRequested();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void applyTimeline(AnyTimeline timeline);
    void showDueEntry();
    void showEntry(const AnyEntry &entry);
    TimelineContext context() const;
    void savePlace();

    WidgetConfiguration m_configuration;
    WidgetFamily m_family;
    QList<AnyEntry> m_entries;
    QPointer<QWidget> m_view;
    QTimer m_entryTimer;
    QTimer m_reloadTimer;
    QTimer m_placeTimer;  // a drag moves the window many times; its place is written once
    std::optional<QPoint> m_dragOffset;  // pointer to window corner, while we follow the pointer
    bool m_draggedByUser = false;  // from the first press on: the window's moves are the user's
    QLocalServer *m_server = nullptr;
    QAction *m_closeAction = nullptr;
    int m_requests = 0;
    quint64 m_generation = 0;  // a timeline that arrives after a newer request is dropped
};

}  // namespace platform::widgetkit
