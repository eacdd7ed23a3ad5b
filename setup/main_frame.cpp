// The main window and the document's file commands.
#include "setup/main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QWhatsThis>

#include "setup/about_dialog.h"
#include "setup/app_settings.h"
#include "setup/comm_dialog.h"
#include "setup/doc_archive.h"
#include "setup/help_window.h"
#include "setup/import_export_dialog.h"
#include "setup/init_list_dialog.h"
#include "setup/lock_indicators.h"
#include "setup/memory_dialog.h"
#include "setup/message_box.h"
#include "setup/mode_dialog.h"
#include "setup/program_icon.h"
#include "setup/setup_view.h"
#include "setup/target_test_dialog.h"
#include "setup/update_dialog.h"
#include "setup/wait_cursor.h"

namespace tov::setup {
namespace {

bool isSetupFile(const QUrl& url) {
    return url.isLocalFile() && url.toLocalFile().endsWith(kFileExtension, Qt::CaseInsensitive);
}

}  // namespace

bool CMainFrame::acceptsDrop(const QList<QUrl>& urls) {
    return std::any_of(urls.begin(), urls.end(), isSetupFile);
}

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    setWindowIcon(programIcon());
    // The view shows the document read-only; all editing is in dialogs.
    // It scrolls in a small window rather than holding the window at its own size.
    view_ = new CSetupView;
    auto* scroller = new QScrollArea;
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    scroller->setWidget(view_);
    setCentralWidget(scroller);
    connect(view_, &CSetupView::editInitList, this, &CMainFrame::onInitList);
    createMenus();
    createToolBar();
    createStatusBar();
    setAcceptDrops(true);
    resize(720, 560);
    refresh();
}

QAction* CMainFrame::addCommand(QMenu* menu, const QString& name, const QString& text,
                                const QString& statusTip, const QString& toolTip) {
    QAction* act = menu->addAction(text);
    act->setObjectName(name);
    act->setStatusTip(statusTip);
    act->setWhatsThis(statusTip);
    if (!toolTip.isEmpty()) act->setToolTip(toolTip);
    actions_[name] = act;
    return act;
}

QAction* CMainFrame::action(const QString& name) const {
    const auto found = actions_.find(name);
    return found == actions_.end() ? nullptr : found->second;
}

void CMainFrame::createMenus() {
    QStyle* st = style();
    fileMenu_ = menuBar()->addMenu("&File");
    QAction* act = addCommand(fileMenu_, "fileNew", "&New", "Create a new document", "New");
    act->setShortcut(QKeySequence("Ctrl+N"));
    act->setIcon(st->standardIcon(QStyle::SP_FileIcon));
    connect(act, &QAction::triggered, this, &CMainFrame::onFileNew);
    act = addCommand(fileMenu_, "fileOpen", "&Open...", "Open an existing document", "Open");
    act->setShortcut(QKeySequence("Ctrl+O"));
    act->setIcon(st->standardIcon(QStyle::SP_DialogOpenButton));
    connect(act, &QAction::triggered, this, &CMainFrame::onFileOpen);
    act = addCommand(fileMenu_, "fileSave", "&Save", "Save the active document", "Save");
    act->setShortcut(QKeySequence("Ctrl+S"));
    act->setIcon(st->standardIcon(QStyle::SP_DialogSaveButton));
    connect(act, &QAction::triggered, this, &CMainFrame::onFileSave);
    act = addCommand(fileMenu_, "fileSaveAs", "Save &As...",
                     "Save the active document with a new name");
    connect(act, &QAction::triggered, this, &CMainFrame::onFileSaveAs);
    recentSeparator_ = fileMenu_->addSeparator();
    fileMenu_->addSeparator();
    exitAction_ = addCommand(fileMenu_, "fileExit", "E&xit",
                             "Quit the application; prompts to save documents");
    connect(exitAction_, &QAction::triggered, this, &QWidget::close);

    QMenu* setup = menuBar()->addMenu("&Setup");
    act = addCommand(setup, "setupFirmware", "&Firmware...", "Update the TOV-B firmware",
                     "Update Firmware");
    act->setIcon(st->standardIcon(QStyle::SP_BrowserReload));
    connect(act, &QAction::triggered, this, &CMainFrame::onFirmware);
    act = addCommand(setup, "setupCommunication", "&Communication...",
                     "Select and setup the communication channel", "Communication");
    act->setIcon(st->standardIcon(QStyle::SP_DriveNetIcon));
    connect(act, &QAction::triggered, this, &CMainFrame::onCommunication);
    act = addCommand(setup, "setupInitList", "&Init List...",
                     "Edit the initialisation list for the target system", "Edit Initlist");
    act->setIcon(st->standardIcon(QStyle::SP_FileDialogDetailedView));
    connect(act, &QAction::triggered, this, &CMainFrame::onInitList);
    act = addCommand(setup, "setupMode", "&Mode...", "Set the TOV working mode", "Working Mode");
    act->setIcon(st->standardIcon(QStyle::SP_ComputerIcon));
    connect(act, &QAction::triggered, this, &CMainFrame::onMode);
    act = addCommand(setup, "setupImportExport", "&Import/Export...",
                     "Import/Export the setup as text file");
    connect(act, &QAction::triggered, this, &CMainFrame::onImportExport);

    QMenu* tools = menuBar()->addMenu("&Tools");
    act = addCommand(tools, "toolsEdit", "&Edit...", "Edit target memory");
    connect(act, &QAction::triggered, this, &CMainFrame::onMemoryEdit);
    act = addCommand(tools, "toolsTest", "&Test...", "Test target configuration and startup",
                     "Test");
    connect(act, &QAction::triggered, this, &CMainFrame::onTargetTest);

    QMenu* view = menuBar()->addMenu("&View");
    act = addCommand(view, "viewToolbar", "&Toolbar", "Show or hide the toolbar");
    act->setCheckable(true);
    act->setChecked(true);
    act = addCommand(view, "viewStatusBar", "&Status Bar", "Show or hide the status bar");
    act->setCheckable(true);
    act->setChecked(true);
    connect(act, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });

    QMenu* help = menuBar()->addMenu("&Help");
    act = addCommand(help, "helpTopics", "&Help Topics", "List Help topics");
    act->setShortcut(QKeySequence(Qt::Key_F1));
    connect(act, &QAction::triggered, this, &CMainFrame::onHelpTopics);
    act = addCommand(help, "helpAbout", "&About...",
                     "Display program information, version number and copyright", "About");
    act->setIcon(st->standardIcon(QStyle::SP_MessageBoxInformation));
    connect(act, &QAction::triggered, this, &CMainFrame::onAbout);
    act = QWhatsThis::createAction(this);
    act->setObjectName("helpContext");
    act->setShortcut(QKeySequence("Shift+F1"));
    act->setStatusTip("Display help for clicked on buttons, menus and windows");
    actions_["helpContext"] = act;
    addAction(act);
}

void CMainFrame::createToolBar() {
    toolBar_ = addToolBar("Toolbar");
    toolBar_->setObjectName("toolBar");
    toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
    for (const char* name : {"fileNew", "fileOpen", "fileSave", "", "setupFirmware", "",
                             "setupCommunication", "setupInitList", "setupMode", "", "helpAbout",
                             "helpContext"}) {
        if (*name) {
            toolBar_->addAction(action(name));
        } else {
            toolBar_->addSeparator();
        }
    }
    QAction* toggle = action("viewToolbar");
    connect(toggle, &QAction::toggled, toolBar_, &QToolBar::setVisible);
    connect(toolBar_, &QToolBar::visibilityChanged, toggle, &QAction::setChecked);
}

void CMainFrame::createStatusBar() {
    statusBar()->showMessage("Ready");
    locks_ = new LockIndicators(statusBar());
    statusBar()->addPermanentWidget(locks_->caps());
    statusBar()->addPermanentWidget(locks_->num());
    statusBar()->addPermanentWidget(locks_->scroll());
}

QString CMainFrame::documentName() const {
    return path_.isEmpty() ? QString(kUntitled) : QFileInfo(path_).fileName();
}

void CMainFrame::refresh() {
    setWindowTitle(documentName() + "[*] - " + kAppTitle);
    setWindowModified(doc_.isModified());
    view_->showDocument(doc_);
    rebuildRecentMenu();
}

void CMainFrame::rebuildRecentMenu() {
    for (QAction* act : recentActions_) {
        fileMenu_->removeAction(act);
        delete act;
    }
    recentActions_.clear();
    const QStringList files = recentFiles();
    for (int i = 0; i < files.size(); ++i) {
        auto* act = new QAction(QString("&%1 %2").arg(i + 1).arg(files[i]), this);
        act->setObjectName(QString("fileMru%1").arg(i + 1));
        act->setStatusTip("Open this document");
        const QString file = files[i];
        connect(act, &QAction::triggered, this, [this, file] {
            if (saveModified()) openDocument(file);
        });
        fileMenu_->insertAction(exitAction_, act);
        recentActions_ << act;
    }
    recentSeparator_->setVisible(!files.isEmpty());
}

bool CMainFrame::openDocument(const QString& path) {
    std::string message;
    {
        WaitCursor wait;
        message = openDocumentFile(path.toStdString(), doc_);
    }
    if (!message.empty()) {
        path_.clear();
        if (message != kBadFormatText) removeRecentFile(path);
        refresh();
        showMessage(this, {QString::fromStdString(message), {}, QMessageBox::Critical});
        return false;
    }
    path_ = QFileInfo(path).absoluteFilePath();
    addRecentFile(path_);
    refresh();
    return true;
}

bool CMainFrame::saveDocument(const QString& path) {
    std::string message;
    {
        WaitCursor wait;
        message = saveDocumentFile(path.toStdString(), doc_);
    }
    if (!message.empty()) {
        showMessage(this, {QString::fromStdString(message), {}, QMessageBox::Critical});
        return false;
    }
    path_ = QFileInfo(path).absoluteFilePath();
    doc_.setModified(false);
    addRecentFile(path_);
    refresh();
    return true;
}

bool CMainFrame::saveModified() {
    if (!doc_.isModified()) return true;
    const auto answer =
        showMessage(this, {QString("Save changes to %1?").arg(documentName()), {},
                           QMessageBox::Warning,
                           QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel});
    if (answer == QMessageBox::Cancel) return false;
    if (answer == QMessageBox::No) return true;
    return onFileSave();
}

void CMainFrame::onFileNew() {
    if (!saveModified()) return;
    doc_.deleteContents();
    doc_.setModified(false);
    path_.clear();
    refresh();
}

void CMainFrame::onFileOpen() {
    if (!saveModified()) return;
    const QString path = QFileDialog::getOpenFileName(this, QString(), QString(),
                                                      QString(kFileFilter) + ";;All Files (*)");
    if (!path.isEmpty()) openDocument(path);
}

bool CMainFrame::onFileSave() {
    if (path_.isEmpty()) return onFileSaveAs();
    return saveDocument(path_);
}

bool CMainFrame::onFileSaveAs() {
    const QString start = path_.isEmpty() ? QString(kDefaultBaseName) + kFileExtension : path_;
    QString path = QFileDialog::getSaveFileName(this, "Save As", start, kFileFilter);
    if (path.isEmpty()) return false;
    if (QFileInfo(path).suffix().isEmpty()) path += kFileExtension;
    return saveDocument(path);
}

template <typename Fn>
void CMainFrame::runCommand(Fn&& fn) {
    fn();
    refresh();
}

void CMainFrame::onFirmware() {
    runCommand([this] { runUpdateDialog(doc_, this); });
}

void CMainFrame::onCommunication() {
    runCommand([this] { runCommunicationDialog(doc_, this); });
}

void CMainFrame::onInitList() {
    runCommand([this] { runInitListDialog(doc_, this); });
}

void CMainFrame::onMode() {
    runCommand([this] { runModeDialog(doc_, this); });
}

void CMainFrame::onImportExport() {
    runCommand([this] { runImportExportDialog(doc_, this); });
}

void CMainFrame::onMemoryEdit() {
    runCommand([this] { runMemoryEditor(doc_, this); });
}

void CMainFrame::onTargetTest() {
    runTargetTestDialog(this);
}

void CMainFrame::onHelpTopics() {
    showHelpWindow(this);
}

void CMainFrame::onAbout() {
    CAboutDlg about(this);
    about.exec();
}

bool CMainFrame::startUp(const QStringList& arguments) {
    restorePosition();
    if (!arguments.isEmpty()) return openDocument(arguments.first());
    const QStringList recent = recentFiles();
    if (!recent.isEmpty() && QFileInfo(recent.first()).isFile()) openDocument(recent.first());
    return true;
}

void CMainFrame::restorePosition() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    if (const auto rect = usableWindowRect(screen->availableVirtualGeometry())) {
        setGeometry(*rect);
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!saveModified()) {
        event->ignore();
        return;
    }
    if (!isMaximized() && !isMinimized() && !isFullScreen()) storeWindowRect(geometry());
    event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (acceptsDrop(event->mimeData()->urls())) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    if (openDropped(event->mimeData()->urls())) event->acceptProposedAction();
}

bool CMainFrame::openDropped(const QList<QUrl>& urls) {
    const auto found = std::find_if(urls.begin(), urls.end(), isSetupFile);
    if (found == urls.end()) return false;
    activateWindow();
    if (saveModified()) openDocument(found->toLocalFile());
    return true;
}

}  // namespace tov::setup
