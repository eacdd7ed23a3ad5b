// The main window of the setup program: menus, toolbar, status bar, the one document's file
// commands, recent files, the remembered position and dropped files.
#pragma once

#include <QMainWindow>
#include <QList>
#include <QString>
#include <QUrl>
#include <map>

#include "setup/tov_doc.h"

class QAction;
class QMenu;
class QToolBar;

namespace tov::setup {

class CSetupView;
class LockIndicators;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);

    CTovDoc& document() { return doc_; }
    CSetupView* view() const { return view_; }
    // The path of the document's file; empty for an untitled document.
    const QString& documentPath() const { return path_; }
    // "Untitled" or the file's name.
    QString documentName() const;
    // The action of a command by its object name ("fileNew", "setupCommunication", ...).
    QAction* action(const QString& name) const;

    // Loads a setup file; false (with the message shown) leaves an untitled default document.
    bool openDocument(const QString& path);
    // Stores into `path`; false with the message shown.
    bool saveDocument(const QString& path);
    // Asks "Save changes to ...?" for a modified document: false when the user cancels.
    bool saveModified();
    // Start-up: opens the file named on the command line (false when that fails), or else the
    // newest recent file when it still exists, or else keeps the new document.
    bool startUp(const QStringList& arguments);
    // Applies the stored window position if it lies wholly inside the desktop.
    void restorePosition();
    // Whether files dragged over the window include a setup file.
    static bool acceptsDrop(const QList<QUrl>& urls);
    // Opens the first setup file of dropped files (after the save prompt): false when none is.
    bool openDropped(const QList<QUrl>& urls);
    // Puts the title, the modified mark, the view and the recent-file menu in step with the
    // document.
    void refresh();

public slots:
    void onFileNew();
    void onFileOpen();
    bool onFileSave();
    bool onFileSaveAs();
    void onFirmware();
    void onCommunication();
    void onInitList();
    void onMode();
    void onImportExport();
    void onMemoryEdit();
    void onTargetTest();
    void onHelpTopics();
    void onAbout();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QAction* addCommand(QMenu* menu, const QString& name, const QString& text,
                        const QString& statusTip, const QString& toolTip = {});
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void rebuildRecentMenu();
    // Runs a dialog command and brings the title up to date afterwards.
    template <typename Fn>
    void runCommand(Fn&& fn);

    CTovDoc doc_;
    QString path_;
    std::map<QString, QAction*> actions_;
    QMenu* fileMenu_ = nullptr;
    QAction* recentSeparator_ = nullptr;
    QAction* exitAction_ = nullptr;
    QList<QAction*> recentActions_;
    QToolBar* toolBar_ = nullptr;
    LockIndicators* locks_ = nullptr;
    CSetupView* view_ = nullptr;
};

}  // namespace tov::setup
