#include "app/CMainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QVBoxLayout>

#include "app/ContextMenus.h"
#include "app/EraseRunControl.h"
#include "app/HelpFile.h"
#include "app/MainBars.h"
#include "app/MainCommands.h"
#include "app/MainMenus.h"
#include "app/MessageBoxes.h"
#include "app/PaneViews.h"
#include "app/WindowPlacement.h"
#include "engine/FailureReasons.h"
#include "items/DataMemoryReader.h"
#include "panes/PaneController.h"
#include "panes/PathEdit.h"
#include "panes/TreePaths.h"
#include "platform/AppNames.h"
#include "views/CAboutBox.h"
#include "views/DragListWidget.h"
#include "views/DragTreeWidget.h"

namespace tolvane {
namespace {

constexpr QSize kFirstStartSize(900, 640);

// The pass count of each pass command.
int PassesOf(int command) {
    switch (command) {
        case kCmdPasses0:
            return 0;
        case kCmdPasses1:
            return 1;
        case kCmdPasses2:
            return 2;
        case kCmdPasses3:
            return 3;
        case kCmdPasses4:
            return 4;
        case kCmdPasses5:
            return 5;
        case kCmdPasses6:
            return 6;
        case kCmdPasses7:
            return 7;
        case kCmdPasses8:
            return 8;
        case kCmdPasses9:
            return 9;
        default:
            return -1;
    }
}

}  // namespace

CMainFrame::CMainFrame(MainFrameHooks hooks) : m_hooks(std::move(hooks)), m_shell(m_hooks.shell) {
    m_settings = LoadSettings(m_paneState);
    setWindowTitle(AppDisplayName);
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_bars = std::make_unique<MainBars>(central);
    auto* panesHost = new QWidget(central);
    panesHost->setObjectName("panes");
    m_views = std::make_unique<PaneViews>(panesHost);
    column->addWidget(m_bars->TopBar());
    column->addWidget(panesHost, 1);
    column->addWidget(m_bars->BottomBar());
    setCentralWidget(central);

    // A typed path left by a click elsewhere goes back to the folder shown.
    connect(m_bars->PathEdit(), &QLineEdit::editingFinished, this, [this] {
        QLineEdit* edit = m_bars->PathEdit();
        if (!edit->isReadOnly() && !edit->hasFocus()) {
            edit->setReadOnly(true);
            if (PaneController* controller = Routable()) {
                SetPathText(edit, QString::fromStdString(controller->ShownPath()));
            }
        }
    });
    m_menus = new MainMenus(*this);
    connect(m_menus, &MainMenus::Triggered, this, &CMainFrame::OnCommand);
    m_eraseRun = std::make_unique<EraseRunControl>(EraseRunControl::Window{
        .owner = this,
        .progress = m_bars->Progress(),
        .showProgressText = [this](const QString& text) { m_bars->ShowProgressText(text); },
        .eraseItem = m_menus->Action(kCmdEraseItem),
        .controller = [this] { return Routable(); },
        .passes = [this] { return m_settings.passes; },
        .twoPanes = [this] { return m_views->TwoPanes(); },
        .makeEngine = m_hooks.makeEngine,
        .notify = m_hooks.notify,
        .clock = m_hooks.clock,
    });
    connect(m_eraseRun.get(), &EraseRunControl::Ended, this, &CMainFrame::OnEraseRunEnded);
    // The launcher and the file-manager entries follow their switches at every start (and
    // the launcher learns where this program now is); an entry that cannot be made shows
    // its switch off.
    m_shell.ApplyDesktopShortcut(m_settings.desktopShortcut);
    if (!m_shell.ApplyContextMenu(m_settings.contextMenu, true, this)) {
        m_settings.contextMenu = false;
    }
    CreateViews();
    CreatePaneController();
    ApplyMenuChecks();

    connect(&m_refreshTimer, &QTimer::timeout, this, [this] {
        if (PaneController* controller = Routable()) {
            controller->RefreshLocations();
        }
    });
    m_refreshTimer.start(1000);
    // Runs once the window has been shown: a window maximized before it is shown would
    // have no normal placement under it.
    QTimer::singleShot(0, this, &CMainFrame::OnFirstTick);
    setMinimumSize(MinimumWindowSize());
    if (m_settings.windowRect.Stored()) {
        RestorePlacement(*this, m_settings.windowRect);
    } else {
        resize(kFirstStartSize);
    }
}

CMainFrame::~CMainFrame() {
    m_eraseRun.reset();  // a run still going ends first: it uses the controller
    if (m_paneController) {
        // Nothing may arrive for a window that is gone.
        m_paneController->disconnect(this);
        m_paneController.reset();
    }
}

QSize CMainFrame::MinimumWindowSize() const {
    // Every item of the menu bar on the bar (Erase never in an overflow), the left column at
    // its least with room for the erase list's name and size beside it, and a few rows of
    // each list under the banner strip.
    constexpr int kEraseListLeast = PaneViews::kMinEraseListWidth + 40;
    constexpr int kPanesLeast = 220;
    const int width =
        std::max(menuBar()->sizeHint().width(), PaneViews::kMinLeftWidth + kEraseListLeast);
    const int height = menuBar()->sizeHint().height() + MainBars::kTopHeight +
                       m_bars->BottomBar()->sizeHint().height() + kPanesLeast;
    return {width, height};
}

void CMainFrame::OpenMainWindow() {
    auto* frame = new CMainFrame;
    frame->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(frame, &QObject::destroyed, qApp, &QCoreApplication::quit);
    frame->show();
}

void CMainFrame::CreateViews() {
    const LeftPaneKind kind = m_settings.leftType;
    m_views->Create(m_settings.useRightWindow, kind, m_settings.leftWidth);
    if (CLeftView* left = m_views->LeftView()) {
        left->SetOpenUrl(m_hooks.openUrl);
        left->Setup(kind == LeftPaneKind::Tree, m_settings.showAdvertisement, m_showHint);
    }
    // The browsing pane takes the keys (Enter, Insert), not the path edit.
    QWidget* browser = kind == LeftPaneKind::Tree ? static_cast<QWidget*>(m_views->LeftTree())
                                                  : static_cast<QWidget*>(m_views->LeftList());
    browser->setFocus();
}

void CMainFrame::CreatePaneController() {
    LayoutBars();
    m_paneController =
        m_hooks.makeController ? m_hooks.makeController() : std::make_unique<PaneController>();
    PaneController& controller = *m_paneController;
    const LeftPaneKind kind = m_settings.leftType;
    const bool tree = kind == LeftPaneKind::Tree;
    controller.SetListViews(tree ? nullptr : m_views->LeftList(), m_views->EraseList(), nullptr,
                            kind == LeftPaneKind::BigIcons);
    if (tree) {
        controller.SetTreeViews(m_views->LeftTree(), nullptr);
    }
    controller.AttachPathEdits(m_bars->PathEdit(), nullptr);
    if (!tree) {
        controller.AttachLocationBoxes(m_bars->LocationBox(), nullptr);
    }
    controller.SetShowSpecialFolders(true);
    controller.SetOpenFile(m_hooks.openFile);
    controller.SetFolderRefused([this](const std::string& folder, int error) {
        SayInStatus(DisplayText(folder) + " " +
                    QString::fromStdString(FailureReason("cannot be opened", error)));
    });
    Data::MemoryReader reader(m_paneState);
    controller.LoadPaneState(reader);
    // Emitted on the controller's teardown thread: delivered here through the event loop.
    connect(&controller, &PaneController::PanesClosed, this, &CMainFrame::OnPanesClosed,
            Qt::QueuedConnection);
    controller.Start();
    RouteControls();
}

void CMainFrame::RouteControls() {
    // Each route looks the controller up when it fires and is cut at shutdown, so a control's
    // late notification never reaches a controller that is going.
    auto route = [this](auto* sender, auto signal, auto call) {
        m_routes.push_back(connect(sender, signal, this, [this, call](auto... args) {
            if (PaneController* controller = Routable()) {
                call(*controller, args...);
            }
        }));
    };
    route(m_bars->LocationBox(), &QComboBox::currentIndexChanged,
          [](PaneController& c, int index) { c.OnLocationSelected(index); });
    QList<QAbstractItemView*> menuViews{m_views->LeftList(), m_views->LeftTree(),
                                        m_views->EraseList()};
    for (QAbstractItemView* view : menuViews) {
        if (view != nullptr) {
            view->setContextMenuPolicy(Qt::CustomContextMenu);
            m_routes.push_back(connect(view, &QWidget::customContextMenuRequested, this,
                                       [this, view](QPoint at) { ShowContextMenu(view, at); }));
        }
    }
    // A location chosen by the user: the keys go on in the list it now shows, not in the box,
    // where the arrow keys would switch location again.
    m_routes.push_back(
        connect(m_bars->LocationBox(), &QComboBox::activated, this, [this] { FocusBrowser(); }));
    if (CLeftView* left = m_views->LeftView()) {
        route(left, &CLeftView::DoubleClicked, [](PaneController& c) { c.OpenSelection(); });
        route(left, &CLeftView::TreeSelectionChanged,
              [](PaneController& c, QTreeWidgetItem* item) { c.OnTreeSelectionChanged(item); });
        route(left, &CLeftView::TreeItemExpanding,
              [](PaneController& c, QTreeWidgetItem* item) { c.RefreshTreeFrom(item, nullptr); });
        m_routes.push_back(
            connect(left, &CLeftView::BeginDrag, this, &CMainFrame::OnLeftPaneBeginDrag));
        route(static_cast<DragTreeWidget*>(m_views->EraseList()), &DragTreeWidget::BeginDrag,
              [this](PaneController& c) { c.BeginListDrag(m_views->EraseList()); });
    } else if (QTreeWidget* tree = m_views->LeftTree()) {
        route(tree, &QTreeWidget::itemDoubleClicked,
              [](PaneController& c, QTreeWidgetItem*, int) { c.OpenSelection(); });
        route(tree, &QTreeWidget::currentItemChanged,
              [](PaneController& c, QTreeWidgetItem* item, QTreeWidgetItem*) {
                  c.OnTreeSelectionChanged(item);
              });
        route(tree, &QTreeWidget::itemExpanded,
              [](PaneController& c, QTreeWidgetItem* item) { c.RefreshTreeFrom(item, nullptr); });
        m_routes.push_back(connect(static_cast<DragTreeWidget*>(tree), &DragTreeWidget::BeginDrag,
                                   this, &CMainFrame::OnLeftPaneBeginDrag));
    } else if (QListWidget* list = m_views->LeftList()) {
        route(list, &QListWidget::itemDoubleClicked,
              [](PaneController& c, QListWidgetItem*) { c.OpenSelection(); });
        m_routes.push_back(connect(static_cast<DragListWidget*>(list), &DragListWidget::BeginDrag,
                                   this, &CMainFrame::OnLeftPaneBeginDrag));
    }
}

void CMainFrame::LayoutBars() {
    m_bars->Layout(width(), m_settings.leftType != LeftPaneKind::Tree, m_views->PaneFont());
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    LayoutBars();
}

void CMainFrame::ApplyMenuChecks() {
    static_assert(static_cast<int>(LeftPaneKind::Tree) == 0);
    const int kindItem[] = {kViewTree, kViewBigIcons, kViewList};
    m_menus->CheckRange(kBarView, kViewBigIcons, kViewTree, false);
    m_menus->CheckItem(kBarView, kindItem[static_cast<int>(m_settings.leftType)], true);
    m_menus->CheckItem(kBarView, kViewRightWindow, m_settings.useRightWindow);
    m_menus->CheckItem(kBarView, kViewAdvertisement, m_settings.showAdvertisement);
    m_menus->CheckItem(kBarView, kViewDesktopShortcut, m_settings.desktopShortcut);
    m_menus->CheckItem(kBarView, kViewContextMenu, m_settings.contextMenu);
    m_menus->ShowPasses(m_settings.passes);
}

void CMainFrame::OnCommand(int command) {
    switch (command) {
        case kCmdBigIcons:
            SetLeftKind(LeftPaneKind::BigIcons);
            break;
        case kCmdList:
            SetLeftKind(LeftPaneKind::List);
            break;
        case kCmdTree:
            SetLeftKind(LeftPaneKind::Tree);
            break;
        case kCmdUseRightWindow:
            ToggleRightWindow();
            break;
        case kCmdAdvertisement:
            ToggleAdvertisement();
            break;
        case kCmdExit:
            close();
            break;
        case kCmdInsert:
            if (PaneController* controller = Routable()) {
                controller->AddFocusedSelection();
            }
            break;
        case kCmdDelete:
            if (PaneController* controller = Routable()) {
                controller->RemoveSelectedRows();
            }
            break;
        case kCmdEnter:
            OnEnter();
            break;
        case kCmdGoUp:
        case kCmdGoBack:
        case kCmdGoForward:
        case kCmdRefresh:
            OnMoveCommand(command);
            break;
        case kCmdEditPath:
            BeginPathEdit();
            break;
        case kCmdErase:
        case kCmdEraseItem:
            m_eraseRun->OnErase();
            break;
        case kCmdCancel:
            if (PathEditing()) {
                EndPathEdit();  // Esc in the typed path: back to the folder shown
            } else {
                m_eraseRun->OnCancelErase();
            }
            break;
        case kCmdDesktopShortcut:
            m_settings.desktopShortcut = m_shell.ToggleDesktopShortcut(m_settings.desktopShortcut);
            break;
        case kCmdContextMenu:
            m_settings.contextMenu =
                m_shell.ToggleContextMenu(m_settings.contextMenu, this, m_hooks.openUrl);
            break;
        case kCmdAbout:
        case kCmdInstruction:
        case kCmdHomePage:
            OnHelpCommand(command);
            break;
        default:
            if (int passes = PassesOf(command); passes >= 0) {
                SetPasses(passes);  // also during a run: it is the next run's count
            }
            break;
    }
    // Checkable items flip themselves when chosen; the settings decide what they show.
    ApplyMenuChecks();
}

void CMainFrame::SetLeftKind(LeftPaneKind kind) {
    if (Erasing() || kind == m_settings.leftType) {
        return;
    }
    m_settings.leftType = kind;
    RebuildPanes();
}

void CMainFrame::ToggleRightWindow() {
    if (Erasing()) {
        return;
    }
    m_settings.useRightWindow = !m_settings.useRightWindow;
    RebuildPanes();
}

void CMainFrame::ToggleAdvertisement() {
    m_settings.showAdvertisement = !m_settings.showAdvertisement;
    if (CLeftView* left = m_views->LeftView()) {
        left->Setup(m_settings.leftType == LeftPaneKind::Tree, m_settings.showAdvertisement,
                    m_showHint);
    }
}

void CMainFrame::OnLeftPaneBeginDrag() {
    // Only the control the controller has drags (the list, or in Tree kind the tree); the
    // call returns when the drag has ended.
    if (PaneController* controller = Routable()) {
        controller->BeginListDrag(m_views->LeftList());
        auto* tree = qobject_cast<DragTreeWidget*>(m_views->LeftTree());
        controller->BeginTreeDrag(tree, tree != nullptr ? tree->PressedItem() : nullptr);
    }
    m_showHint = false;
    if (CLeftView* left = m_views->LeftView()) {
        left->Setup(m_settings.leftType == LeftPaneKind::Tree, m_settings.showAdvertisement, false);
    }
}

void CMainFrame::OnEnter() {
    PaneController* controller = Routable();
    if (controller != nullptr && PathEditing()) {
        const QString typed = m_bars->PathEdit()->text().trimmed();
        if (controller->GoToTypedPath(typed.toStdString())) {
            EndPathEdit();
        } else {
            SayInStatus(QStringLiteral("No such file or folder: %1").arg(typed));
        }
    } else if (controller != nullptr && m_views->IsLeftControl(QApplication::focusWidget())) {
        controller->OpenSelection();
    }
}

void CMainFrame::ShowContextMenu(QAbstractItemView* view, QPoint at) {
    PaneController* controller = Routable();
    if (controller == nullptr) {
        return;
    }
    // The menu is about the entry under the pointer: it becomes the selection unless it is
    // part of it already, as in a file manager.
    const QModelIndex index = view->indexAt(at);
    if (index.isValid() && !view->selectionModel()->isSelected(index)) {
        view->setCurrentIndex(index);
    }
    view->setFocus(Qt::PopupFocusReason);
    std::unique_ptr<QMenu> menu;
    if (view == m_views->EraseList()) {
        menu =
            MakeEraseListMenu({.anySelected = !view->selectionModel()->selectedRows().isEmpty(),
                               .anyRows = controller->EraseRows().RowCount() > 0,
                               .editing = !Erasing(),
                               .failureReason = controller->EraseRows().FailureReason(index.row()),
                               .remove = [this] { OnCommand(kCmdDelete); },
                               .erase = [this] { OnCommand(kCmdErase); }},
                              this);
    } else {
        menu = MakeBrowserMenu(
            {.onEntry = index.isValid(),
             .open = [this] { OnCommand(kCmdEnter); },
             .insert = [this] { OnCommand(kCmdInsert); },
             .showContainingFolder = [this, view, index] { ShowContainingFolder(view, index); }},
            this);
    }
    m_contextMenu = std::move(menu);
    m_contextMenu->popup(view->viewport()->mapToGlobal(at));
}

void CMainFrame::ShowContainingFolder(QAbstractItemView* view, const QModelIndex& index) {
    PaneController* controller = Routable();
    if (controller == nullptr) {
        return;
    }
    std::string folder = controller->SideFolder(0);
    if (auto* tree = qobject_cast<QTreeWidget*>(view); tree != nullptr && index.isValid()) {
        QTreeWidgetItem* item = tree->itemFromIndex(index);
        folder = controller->ItemFolder(tree, item);
        if (folder.empty()) {
            folder = controller->ItemPath(tree, item);  // a root: the location itself
        }
    }
    if (!folder.empty()) {
        (void)m_hooks.openUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
    }
}

void CMainFrame::OnMoveCommand(int command) {
    PaneController* controller = Routable();
    if (controller == nullptr) {
        return;
    }
    SayInStatus(QString());
    switch (command) {
        case kCmdGoUp:
            (void)controller->GoUp();
            break;
        case kCmdGoBack:
            (void)controller->GoBack();
            break;
        case kCmdGoForward:
            (void)controller->GoForward();
            break;
        default:
            controller->RefreshLocations();
            controller->RefreshAll();
            break;
    }
    FocusBrowser();
}

void CMainFrame::BeginPathEdit() {
    QLineEdit* edit = m_bars->PathEdit();
    edit->setReadOnly(false);
    edit->selectAll();
    edit->setFocus(Qt::ShortcutFocusReason);
}

bool CMainFrame::PathEditing() const {
    const QLineEdit* edit = m_bars->PathEdit();
    return !edit->isReadOnly() && edit->hasFocus();
}

void CMainFrame::EndPathEdit() {
    QLineEdit* edit = m_bars->PathEdit();
    edit->setReadOnly(true);
    if (PaneController* controller = Routable()) {
        // The folder the browser shows, not a half-typed one.
        SetPathText(edit, QString::fromStdString(controller->ShownPath()));
    }
    FocusBrowser();
}

void CMainFrame::FocusBrowser() {
    QWidget* browser = m_settings.leftType == LeftPaneKind::Tree
                           ? static_cast<QWidget*>(m_views->LeftTree())
                           : static_cast<QWidget*>(m_views->LeftList());
    if (browser != nullptr && !m_views->IsLeftControl(QApplication::focusWidget())) {
        browser->setFocus(Qt::OtherFocusReason);
    }
}

void CMainFrame::SayInStatus(const QString& text) {
    if (!Erasing()) {
        m_bars->ShowProgressText(text);
    }
}

void CMainFrame::OnHelpCommand(int command) {
    if (command == kCmdAbout) {
        CAboutBox about(m_hooks.openUrl, this);
        about.setFont(m_views->PaneFont());
        about.exec();
    } else if (command == kCmdInstruction) {
        (void)OpenHelp(this, QCoreApplication::applicationFilePath(), m_hooks.openUrl);
    } else {
        (void)OpenHomePage(m_hooks.openUrl);  // nothing to open it with: nothing to say
    }
}

void CMainFrame::OnFirstTick() {
    if (m_settings.zoomed && isVisible()) {
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}

void CMainFrame::RebuildPanes() {
    // A controller that is already shutting down (a change made during a rebuild) is
    // replaced by views of the latest settings when its PanesClosed comes.
    if (PaneController* controller = Routable()) {
        m_paneState.Rewind();
        controller->SavePaneState(m_paneState);
        ShutDownController();
    }
}

void CMainFrame::ShutDownController() {
    for (const QMetaObject::Connection& connection : m_routes) {
        disconnect(connection);
    }
    m_routes.clear();
    m_paneController->Shutdown();
}

void CMainFrame::OnPanesClosed() {
    m_paneController.reset();
    if (int width = m_views->Remove(); width >= 0) {
        m_settings.leftWidth = width;
    }
    if (m_closing) {
        m_closed = true;
        close();
        return;
    }
    CreateViews();
    CreatePaneController();
    LayoutBars();
    emit PanesRebuilt();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_closed) {
        event->accept();
        return;
    }
    event->ignore();
    // A second request while the first is under way changes nothing.
    if (m_closing || m_closeAfterRun || m_eraseRun->AskingStop()) {
        return;
    }
    if (Erasing()) {
        // Ending the process under a run would leave a free-space wipe's fill files
        // filling the volume: the run must end first. A run that is stopping already is not
        // asked about again.
        if (!m_eraseRun->AskStopErasing()) {
            return;
        }
        if (Erasing()) {
            m_closeAfterRun = true;
            return;
        }
        // The run ended by itself while the question was open.
    }
    BeginClosing();
}

void CMainFrame::OnEraseRunEnded() {
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        BeginClosing();
    }
}

void CMainFrame::BeginClosing() {
    SaveSettings();
    m_closing = true;
    if (Routable() != nullptr) {
        ShutDownController();
    }
    // Otherwise a rebuild's shutdown is under way, and its PanesClosed finishes the close.
}

void CMainFrame::SaveSettings() {
    if (m_views->TwoPanes()) {
        m_settings.leftWidth = m_views->LeftWidth();
    }
    m_settings.zoomed = isMaximized() && !isMinimized();
    m_settings.windowRect = PlacementToStore(*this, m_settings.windowRect);
    if (PaneController* controller = Routable()) {
        m_paneState.Rewind();
        controller->SavePaneState(m_paneState);
    }
    tolvane::SaveSettings(m_settings, m_paneState);
}

void CMainFrame::SetPasses(int passes) {
    m_settings.passes = passes;
    m_menus->ShowPasses(passes);
}

bool CMainFrame::Erasing() const {
    return m_eraseRun->Running();
}

PaneController* CMainFrame::Routable() const {
    return m_paneController && !m_paneController->ShuttingDown() ? m_paneController.get() : nullptr;
}

}  // namespace tolvane
