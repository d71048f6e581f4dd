#include "shell/main_frame.h"

#include "shell/color_theme.h"
#include "shell/lock_key_state.h"
#include "shell/log_bar.h"
#include "shell/station_icon.h"
#include "shell/toolbar_label.h"
#include "shell/views_bar.h"

#include "viewbase/calidra_view.h"

#include "settings/settings_store.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include <exception>

namespace {

constexpr int lockKeyPollMs = 250;

// The wait cursor for the length of a scope.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

CMainFrame::CMainFrame(calidra::SettingsSection& settings, std::vector<CDemoFeature> features,
                       calidra::EventLog& log, QObject* shared, QWidget* parent)
    : QMainWindow(parent), settings_(settings), features_(std::move(features)), log_(log), shared_(shared),
      colorThemeIndex_(calidra::readSetting(settings, calidra::settings::colorTheme)),
      lockKeys_(calidra::makeLockKeyReader()) {
    setObjectName(QStringLiteral("MainFrame"));
    // The document template's title; the version title replaces it before the window shows.
    setWindowTitle(QStringLiteral("Calidra"));
    setWindowIcon(calidra::stationIcon());
}

CMainFrame::~CMainFrame() = default;

bool CMainFrame::create() {
    if (!createToolBar() || !createStatusBar() || !createPanes())
        return false;
    createViews();
    OnColorTheme();
    return true;
}

bool CMainFrame::createToolBar() {
    auto* toolBar = new QToolBar(tr("Standard"), this);
    toolBar->setObjectName(QStringLiteral("ToolBar"));
    toolBar->setIconSize(QSize(24, 24));
    toolBar->setMovable(true);
    toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);

    back_ = new QAction(style()->standardIcon(QStyle::SP_ArrowBack), tr("&Back"), this);
    back_->setObjectName(QStringLiteral("Back"));
    back_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    back_->setStatusTip(tr("Back to the previous view"));
    connect(back_, &QAction::triggered, this, &CMainFrame::OnBack);

    forward_ = new QAction(style()->standardIcon(QStyle::SP_ArrowForward), tr("Forward"), this);
    forward_->setObjectName(QStringLiteral("Forward"));
    forward_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    forward_->setStatusTip(tr("Forward to the next view"));
    connect(forward_, &QAction::triggered, this, &CMainFrame::OnForward);

    toolBar->addAction(back_);
    toolBar->addAction(forward_);
    toolBar->addSeparator();
    toolBar->addWidget(new CToolbarLabel(tr("Visual theme:"), toolBar));

    themeCombo_ = new QComboBox(toolBar);
    themeCombo_->setObjectName(QStringLiteral("ColorTheme"));
    themeCombo_->setToolTip(tr("Color Theme"));
    themeCombo_->setAccessibleName(tr("Color Theme"));
    for (int index = 0; index < calidra::themeCount; ++index)
        themeCombo_->addItem(calidra::themeName(index));
    const qreal dpiScale = logicalDpiX() / 96.0;
    themeCombo_->setFixedWidth(qRound(themeComboWidth * dpiScale));
    // An index outside the list selects nothing.
    themeCombo_->setCurrentIndex(calidra::themeForIndex(colorThemeIndex_) ? colorThemeIndex_ : -1);
    connect(themeCombo_, QOverload<int>::of(&QComboBox::activated), this, [this] { OnColorTheme(); });
    toolBar->addWidget(themeCombo_);
    addToolBar(Qt::TopToolBarArea, toolBar);

    statusBarToggle_ = new QAction(tr("&Status Bar"), this);
    statusBarToggle_->setCheckable(true);
    statusBarToggle_->setChecked(true);
    statusBarToggle_->setStatusTip(tr("Show or hide the status bar"));
    exit_ = new QAction(tr("E&xit"), this);
    exit_->setStatusTip(tr("Quit the application"));
    connect(exit_, &QAction::triggered, this, &QWidget::close);

    QMenu* fileMenu = menuBar()->addMenu(tr("&File"));
    fileMenu->addAction(exit_);
    QMenu* viewMenu = menuBar()->addMenu(tr("&View"));
    viewMenu->addAction(statusBarToggle_);
    viewMenu->addAction(back_);
    viewMenu->addAction(forward_);
    return true;
}

bool CMainFrame::createStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    auto* idle = new QLabel(tr("Ready"), bar);
    bar->addWidget(idle, 1);
    // What the views keep saying (the camera in use), beside the lock keys.
    viewStatus_ = new QLabel(bar);
    viewStatus_->setObjectName(QStringLiteral("ViewStatus"));
    bar->addPermanentWidget(viewStatus_);
    const QString texts[] = {QStringLiteral("CAP"), QStringLiteral("NUM"), QStringLiteral("SCRL")};
    for (int index = 0; index < 3; ++index) {
        auto* pane = new QLabel(texts[index], bar);
        pane->setAlignment(Qt::AlignCenter);
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(texts[index]) + 12);
        pane->setEnabled(false);
        bar->addPermanentWidget(pane);
        lockKeyPanes_[index] = pane;
    }
    connect(statusBarToggle_, &QAction::toggled, bar, &QWidget::setVisible);

    lockKeyTimer_ = new QTimer(this);
    lockKeyTimer_->setInterval(lockKeyPollMs);
    connect(lockKeyTimer_, &QTimer::timeout, this, &CMainFrame::refreshLockKeys);
    lockKeyTimer_->start();
    refreshLockKeys();
    return true;
}

void CMainFrame::setLockKeyReader(std::unique_ptr<calidra::LockKeyReader> reader) {
    lockKeys_ = std::move(reader);
    refreshLockKeys();
}

void CMainFrame::refreshLockKeys() {
    const calidra::LockKeys keys = lockKeys_ ? lockKeys_->read() : calidra::LockKeys{};
    lockKeyPanes_[0]->setEnabled(keys.capsLock);
    lockKeyPanes_[1]->setEnabled(keys.numLock);
    lockKeyPanes_[2]->setEnabled(keys.scrollLock);
}

bool CMainFrame::createPanes() {
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);
    // The views pane runs the full height; the log pane sits beside it under the client area.
    setCorner(Qt::TopLeftCorner, Qt::LeftDockWidgetArea);
    setCorner(Qt::BottomLeftCorner, Qt::LeftDockWidgetArea);

    viewsBar_ = new CViewsBar(features_, this);
    viewsBar_->setAllowedAreas(Qt::AllDockWidgetAreas);
    addDockWidget(Qt::LeftDockWidgetArea, viewsBar_);
    connect(viewsBar_, &CViewsBar::navigationChanged, this, &CMainFrame::updateNavigationCommands);

    logBar_ = new CLogBar(log_, this);
    logBar_->setAllowedAreas(Qt::AllDockWidgetAreas);
    addDockWidget(Qt::BottomDockWidgetArea, logBar_);

    resizeDocks({viewsBar_}, {200}, Qt::Horizontal);
    resizeDocks({logBar_}, {200}, Qt::Vertical);
    updateNavigationCommands();
    return true;
}

void CMainFrame::createViews() {
    clientArea_ = new QStackedWidget(this);
    // The framework's own blank view fills the client area until the first real view is selected.
    templateView_ = new CCalidraView(clientArea_);
    clientArea_->addWidget(templateView_);
    setCentralWidget(clientArea_);

    for (int viewNumber = 1;; ++viewNumber) { // as many as the views pane lists
        const calidra::ViewClass viewClass = viewsBar_->viewClassFor(viewNumber);
        if (!viewClass)
            break;
        CCalidraView* view = nullptr;
        try {
            view = viewClass(calidra::ViewEnvironment{clientArea_, &log_, &settings_, shared_});
        } catch (const std::exception&) {
            // A view that cannot be made leaves its slot empty; the station runs without it.
            view = nullptr;
        }
        if (view) {
            clientArea_->addWidget(view);
            connect(view, &CCalidraView::statusMessage, this, [this](const QString& text, int timeoutMs) {
                statusBar()->showMessage(text, timeoutMs);
            });
            connect(view, &CCalidraView::statusMessageWithdrawn, this, [this](const QString& text) {
                if (statusBar()->currentMessage() == text)
                    statusBar()->clearMessage();
            });
            connect(view, &CCalidraView::statusTextChanged, viewStatus_, &QLabel::setText);
        }
        views_.push_back(view);
    }
    viewsBar_->SelectByNumber(currentViewNumber_);
}

void CMainFrame::initialUpdateViews() {
    for (CCalidraView* view : views_) {
        if (view && !view->initialUpdateDone())
            view->OnInitialUpdate();
    }
    // From now on the pane's choices switch the client area.
    connect(viewsBar_, &CViewsBar::viewChosen, this, &CMainFrame::SelectView, Qt::UniqueConnection);
}

CCalidraView* CMainFrame::activeView() const {
    return clientArea_ ? qobject_cast<CCalidraView*>(clientArea_->currentWidget()) : nullptr;
}

void CMainFrame::SelectView(int viewNumber) {
    // A number outside the array shows the first view.
    std::size_t index = static_cast<std::size_t>(viewNumber - 1);
    if (viewNumber < 1 || index >= views_.size())
        index = 0;
    if (views_.empty() || !views_[index])
        return;
    CCalidraView* view = views_[index];
    if (!activeView())
        return;
    // The number of the view actually shown, so that Back and Forward count from it.
    currentViewNumber_ = static_cast<int>(index) + 1;
    if (view != activeView()) {
        clientArea_->setCurrentWidget(view);
        view->setFocus(Qt::OtherFocusReason);
    }
    QMetaObject::invokeMethod(this, &CMainFrame::repaintWholeFrame, Qt::QueuedConnection);
}

QWidget* CMainFrame::clientArea() const {
    return clientArea_;
}

void CMainFrame::layOutViews() {
    if (!clientArea_)
        return;
    // The stack keeps the framework's blank view first and the views in number order after it.
    int position = 1;
    for (CCalidraView* view : views_) {
        if (!view)
            continue;
        if (clientArea_->indexOf(view) < 0 && view->parentWidget() == clientArea_)
            clientArea_->insertWidget(position, view);
        if (clientArea_->indexOf(view) >= 0)
            ++position;
    }
    const std::size_t shown = static_cast<std::size_t>(currentViewNumber_ - 1);
    if (shown < views_.size() && views_[shown] && clientArea_->indexOf(views_[shown]) >= 0)
        clientArea_->setCurrentWidget(views_[shown]);
    QMetaObject::invokeMethod(this, &CMainFrame::repaintWholeFrame, Qt::QueuedConnection);
}

void CMainFrame::repaintWholeFrame() {
    update();
    const auto children = findChildren<QWidget*>();
    for (QWidget* child : children)
        child->update();
}

void CMainFrame::OnColorTheme() {
    WaitCursor waiting;
    colorThemeIndex_ = themeCombo_->currentIndex();
    if (const std::optional<calidra::VisualTheme> theme = calidra::themeForIndex(colorThemeIndex_))
        calidra::applyVisualTheme(*theme);
    for (CCalidraView* view : views_) {
        if (!view)
            continue;
        view->OnChangeVisualManager();
        if (view->isVisible())
            view->repaint();
    }
    calidra::writeSetting(settings_, calidra::settings::colorTheme, colorThemeIndex_);
}

void CMainFrame::OnBack() {
    int viewNumber = currentViewNumber_;
    do {
        --viewNumber;
    } while (!viewsBar_->SelectByNumber(viewNumber) && viewNumber >= 1);
}

void CMainFrame::OnForward() {
    int viewNumber = currentViewNumber_;
    do {
        ++viewNumber;
    } while (!viewsBar_->SelectByNumber(viewNumber) && viewNumber < viewsBar_->entryCount());
}

void CMainFrame::updateNavigationCommands() {
    if (back_)
        back_->setEnabled(viewsBar_ && viewsBar_->hasPrevious());
    if (forward_)
        forward_->setEnabled(viewsBar_ && viewsBar_->hasNext());
}
