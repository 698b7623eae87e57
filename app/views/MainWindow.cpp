#include "app/views/MainWindow.h"

#include "app/models/LaunchTask.h"
#include "app/models/SettingsTab.h"
#include "app/models/MainViewModel.h"
#include "app/views/BusyIndicator.h"
#include "app/views/DetailViews.h"
#include "app/views/SidebarView.h"
#include "platform/PresentScreens.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

namespace Vantorel {

namespace {
// The window's area without its frame in the normal (not maximised) state, that area with the
// frame, whether it was maximised, and the sidebar's width.
const QString geometryKey = QStringLiteral("mainWindowGeometry");
const QString frameKey = QStringLiteral("mainWindowFrame");
const QString maximizedKey = QStringLiteral("mainWindowMaximized");
const QString sidebarWidthKey = QStringLiteral("sidebarWidth");
// Frames wider than this come from a damaged settings file, not from a window manager.
constexpr int largestFrameMargin = 200;
}  // namespace

MainWindow::MainWindow(MainViewModel &viewModel, QWidget *parent)
    : QMainWindow(parent),
      m_viewModel(viewModel),
      m_splitter(new QSplitter(Qt::Horizontal, this)),
      m_sidebar(new SidebarView(viewModel, m_splitter)),
      m_detailHolder(new QWidget(m_splitter)),
      m_searchHolder(new QWidget(this)),
      m_busy(new BusyIndicator(this))
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(tr("Vantorel"));
    setUnifiedTitleAndToolBarOnMac(true);

    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(m_sidebar);
    m_splitter->addWidget(m_detailHolder);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({SidebarView::idealColumnWidth, 1000});
    auto *detailLayout = new QVBoxLayout(m_detailHolder);
    detailLayout->setContentsMargins(0, 0, 0, 0);
    setCentralWidget(m_splitter);

    auto *toolbar = new QToolBar(tr("Toolbar"), this);
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    toolbar->toggleViewAction()->setVisible(false);
    m_busy->setObjectName(QStringLiteral("busyIndicator"));
    m_busy->setToolTip(tr("Downloading reviews"));
    m_busyAction = toolbar->addWidget(m_busy);
    auto *spacer = new QWidget(toolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar->addWidget(spacer);
    m_searchHolder->setObjectName(QStringLiteral("searchHolder"));
    // As tall as a search field also while there is none, so the toolbar keeps its height.
    m_searchHolder->setFixedSize(260, QLineEdit().sizeHint().height());
    auto *searchLayout = new QHBoxLayout(m_searchHolder);
    searchLayout->setContentsMargins(0, 0, 0, 0);
    toolbar->addWidget(m_searchHolder);
    addToolBar(Qt::TopToolBarArea, toolbar);

    resize(1040, 700);
    restorePlace();
    // A quit from the menu, the status item or the session closes no window.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &MainWindow::keepPlace);

    // Ctrl+F: to the search field of the summary shown.
    auto *find = new QAction(tr("Search"), this);
    find->setObjectName(QStringLiteral("findAction"));
    find->setShortcut(QKeySequence::Find);
    find->setShortcutContext(Qt::WindowShortcut);
    connect(find, &QAction::triggered, this, [this] {
        if (auto *field = qobject_cast<QLineEdit *>(m_searchField.data())) {
            field->setFocus(Qt::ShortcutFocusReason);
            field->selectAll();
        }
    });
    addAction(find);

    connect(&m_viewModel, &MainViewModel::selectedEntryChanged, this, &MainWindow::updateDetail);
    connect(&m_viewModel, &MainViewModel::accountsWithAppsChanged, this, &MainWindow::updateDetail);
    connect(&m_viewModel, &MainViewModel::performedInitialLoadChanged, this, &MainWindow::updateDetail);
    connect(&m_viewModel, &MainViewModel::isSyncingChanged, this,
            [this] { m_busyAction->setVisible(m_viewModel.isSyncing()); });
    m_busyAction->setVisible(m_viewModel.isSyncing());
    m_sidebar->viewport()->installEventFilter(this);
    updateDetail();
}

MainWindow::~MainWindow() = default;

bool MainWindow::showsBusyIndicator() const
{
    return m_busyAction->isVisible();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (event->spontaneous())
        return;
    emit appeared();
    LaunchTask::run(m_viewModel);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    keepPlace();
    QMainWindow::closeEvent(event);
}

void MainWindow::keepPlace() const
{
    auto &defaults = platform::UserDefaults::standard();
    // The frame is known only once the window manager has put one around the window; the margins
    // of the window as it is now stand in for those of its normal state.
    const QRect normal = normalGeometry();
    const QRect frame = frameGeometry(), inner = geometry();
    const QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                           frame.bottom() - inner.bottom());
    defaults.setValue(geometryKey, normal);
    defaults.setValue(frameKey, normal.marginsAdded(margins));
    defaults.setValue(maximizedKey, isMaximized());
    defaults.setValue(sidebarWidthKey, m_splitter->sizes().value(0));
}

void MainWindow::restorePlace()
{
    auto &defaults = platform::UserDefaults::standard();
    if (defaults.hasStoredValue(sidebarWidthKey)) {
        const int width = std::clamp(int(defaults.integerValue(sidebarWidthKey)), int(SidebarView::minimumColumnWidth),
                                     int(SidebarView::maximumColumnWidth));
        m_splitter->setSizes({width, 1000});
    }
    const QRect kept = defaults.value(geometryKey).toRect();
    if (kept.isValid()) {
        // The whole frame must fit; a frame that cannot be the window's is taken as none.
        const QRect keptFrame = defaults.value(frameKey).toRect();
        QMargins margins(kept.left() - keptFrame.left(), kept.top() - keptFrame.top(),
                         keptFrame.right() - kept.right(), keptFrame.bottom() - kept.bottom());
        const auto sane = [](int margin) { return margin >= 0 && margin <= largestFrameMargin; };
        if (!keptFrame.isValid() || !sane(margins.left()) || !sane(margins.top()) || !sane(margins.right()) ||
            !sane(margins.bottom()))
            margins = {};
        // Kept on a screen that is gone: the default size where the window manager puts it.
        if (const auto placed = platform::placeOnPresentScreens(kept.marginsAdded(margins)))
            setGeometry(placed->marginsRemoved(margins));
    }
    if (defaults.boolValue(maximizedKey))
        setWindowState(windowState() | Qt::WindowMaximized);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (m_firstFramePending && event->type() == QEvent::Paint && watched == m_sidebar->viewport() &&
        m_viewModel.performedInitialLoad()) {
        m_firstFramePending = false;
        // Reported once this paint is done.
        QMetaObject::invokeMethod(this, &MainWindow::firstFilledFramePainted, Qt::QueuedConnection);
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::updateDetail()
{
    const std::optional<SelectedEntry> &selected = m_viewModel.selectedEntry();
    if (m_viewModel.accountsWithApps().isEmpty() && m_viewModel.performedInitialLoad()) {
        if (m_case != DetailCase::addAccount || !m_detail)
            replaceDetail(DetailCase::addAccount, makeAddAccount(), nullptr);
        m_shownEntry.reset();
        return;
    }
    if (selected) {
        // A summary is made anew only for another account or app record; an equal one keeps
        // its search text and list.
        const DetailCase wanted = selected->isAccount() ? DetailCase::accountSummary : DetailCase::appSummary;
        if (m_case == wanted && m_shownEntry && *m_shownEntry == *selected && m_detail)
            return;
        const DetailContent content = selected->isAccount() ? makeAccountSummary(selected->accountValue(), this)
                                                            : makeAppSummary(selected->appValue(), this);
        replaceDetail(wanted, content.view, content.searchField);
        m_shownEntry = selected;
        return;
    }
    if (m_case != DetailCase::nothingSelected || !m_detail)
        replaceDetail(DetailCase::nothingSelected, makeHint(), nullptr);
    m_shownEntry.reset();
}

void MainWindow::replaceDetail(DetailCase detailCase, QWidget *view, QWidget *searchField)
{
    delete m_detail;
    delete m_searchField;
    m_case = detailCase;
    m_detail = view;
    m_searchField = searchField;
    // Shown at once, not at the next turn of the event loop, so that the window never paints
    // without its detail.
    m_detailHolder->layout()->addWidget(m_detail);
    m_detail->show();
    if (m_searchField) {
        m_searchHolder->layout()->addWidget(m_searchField);
        m_searchField->show();
        // Reading order: the search field above the detail column comes before its controls.
        QWidget::setTabOrder(m_sidebar, m_searchField);
    }
}

QWidget *MainWindow::makeAddAccount()
{
    auto *holder = new QWidget(this);
    auto *button = new QPushButton(tr("Add an Account\u2026"), holder);
    button->setObjectName(QStringLiteral("addAccount"));
    auto *layout = new QHBoxLayout(holder);
    layout->addStretch();
    layout->addWidget(button);
    layout->addStretch();
    connect(button, &QPushButton::clicked, this, [this] {
        // The settings window opens on the Accounts tab even when it was left on another.
        storeSettingsTab(Tab::accounts);
        emit settingsWindowRequested();
    });
    return holder;
}

QWidget *MainWindow::makeHint()
{
    auto *hint = new QLabel(tr("Select an item from the sidebar"), this);
    hint->setObjectName(QStringLiteral("selectHint"));
    hint->setAlignment(Qt::AlignCenter);
    hint->setForegroundRole(QPalette::PlaceholderText);
    return hint;
}

}  // namespace Vantorel
