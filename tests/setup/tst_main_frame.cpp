// The main window: menus, title, save prompts, recent files, position and start-up.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTextBrowser>
#include <QToolBar>
#include <QTreeWidget>

#include "gui_fixture.h"
#include "setup/about_dialog.h"
#include "setup/app_settings.h"
#include "setup/doc_archive.h"
#include "setup/init_list_dialog.h"
#include "setup/main_frame.h"
#include "setup/mode_dialog.h"
#include "setup/setup_view.h"

namespace tov::setup::test {
namespace {

using MainFrameTest = GuiTest;

// A display line's tab-separated fields as the view shows them: the comment keeps its tabs.
QStringList storedToShownFields(const std::string& line) {
    const QStringList fields = QString::fromStdString(line).split('\t');
    return fields.mid(0, 3) << fields.mid(3).join('\t');
}

QStringList menuTexts(QMenu* menu) {
    QStringList out;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator() || !a->isVisible()) continue;
        QString text = a->text();
        if (!a->shortcut().isEmpty()) text += "\t" + a->shortcut().toString();
        out << text;
    }
    return out;
}

TEST_F(MainFrameTest, MenusToolbarAndStatusBar) {
    CMainFrame frame;
    QStringList menus;
    std::vector<QMenu*> menuList;
    for (QAction* a : frame.menuBar()->actions()) {
        menus << a->text();
        menuList.push_back(a->menu());
    }
    EXPECT_EQ(menus, (QStringList{"&File", "&Setup", "&Tools", "&View", "&Help"}));
    EXPECT_EQ(menuTexts(menuList[0]), (QStringList{"&New\tCtrl+N", "&Open...\tCtrl+O",
                                                   "&Save\tCtrl+S", "Save &As...", "E&xit"}));
    EXPECT_EQ(menuTexts(menuList[1]),
              (QStringList{"&Firmware...", "&Communication...", "&Init List...", "&Mode...",
                           "&Import/Export..."}));
    EXPECT_EQ(menuTexts(menuList[2]), (QStringList{"&Edit...", "&Test..."}));
    EXPECT_EQ(menuTexts(menuList[3]), (QStringList{"&Toolbar", "&Status Bar"}));
    EXPECT_EQ(menuTexts(menuList[4]), (QStringList{"&Help Topics\tF1", "&About..."}));
    EXPECT_EQ(frame.action("helpContext")->shortcut(), QKeySequence("Shift+F1"));

    // Every dialog command is enabled.
    for (const char* name : {"setupCommunication", "setupInitList", "setupMode", "setupFirmware",
                             "toolsEdit", "toolsTest"}) {
        EXPECT_TRUE(frame.action(name)->isEnabled()) << name;
    }
    EXPECT_EQ(frame.action("setupFirmware")->statusTip(), "Update the TOV-B firmware");
    EXPECT_EQ(frame.action("setupCommunication")->statusTip(),
              "Select and setup the communication channel");
    EXPECT_EQ(frame.action("setupInitList")->statusTip(),
              "Edit the initialisation list for the target system");
    EXPECT_EQ(frame.action("setupMode")->statusTip(), "Set the TOV working mode");
    EXPECT_EQ(frame.action("setupImportExport")->statusTip(),
              "Import/Export the setup as text file");
    EXPECT_EQ(frame.action("toolsEdit")->statusTip(), "Edit target memory");
    EXPECT_EQ(frame.action("toolsTest")->statusTip(), "Test target configuration and startup");
    EXPECT_EQ(frame.action("setupFirmware")->toolTip(), "Update Firmware");
    EXPECT_EQ(frame.action("setupInitList")->toolTip(), "Edit Initlist");
    EXPECT_EQ(frame.action("setupMode")->toolTip(), "Working Mode");
    EXPECT_EQ(frame.action("toolsTest")->toolTip(), "Test");

    const auto* bar = frame.findChild<QToolBar*>("toolBar");
    ASSERT_NE(bar, nullptr);
    QStringList order;
    for (QAction* a : bar->actions()) order << (a->isSeparator() ? "|" : a->objectName());
    EXPECT_EQ(order, (QStringList{"fileNew", "fileOpen", "fileSave", "|", "setupFirmware", "|",
                                  "setupCommunication", "setupInitList", "setupMode", "|",
                                  "helpAbout", "helpContext"}));

    frame.show();
    frame.action("viewStatusBar")->trigger();
    EXPECT_FALSE(frame.statusBar()->isVisible());
    frame.action("viewToolbar")->trigger();
    EXPECT_FALSE(bar->isVisible());
    frame.action("viewToolbar")->trigger();
    frame.action("viewStatusBar")->trigger();
    EXPECT_TRUE(frame.statusBar()->isVisible());
    QStringList panes;
    for (auto* label : frame.statusBar()->findChildren<QLabel*>()) panes << label->text();
    EXPECT_TRUE(panes.contains("CAP") && panes.contains("NUM") && panes.contains("SCRL"));
    frame.resize(560, 260);
    screenshot(frame, "main_window", false);

    CAboutDlg about(&frame);
    QStringList aboutTexts;
    for (auto* label : about.findChildren<QLabel*>()) aboutTexts << label->text();
    EXPECT_EQ(about.windowTitle(), "About TOV-Setup");
    EXPECT_TRUE(aboutTexts.contains("TOV-B Setup for ARM11") &&
                aboutTexts.contains("Version 1.00"));
    screenshot(about, "about_box");
    frame.action("helpTopics")->trigger();
    auto* help = frame.findChild<QDialog*>("helpWindow");
    ASSERT_NE(help, nullptr);
    const auto* page = help->findChild<QTextBrowser*>();
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->toPlainText().contains("tovsetup --import board.txt board.tov"));
    screenshot(*help, "help_window", false);
    help->close();
}

TEST_F(MainFrameTest, TitleSavePromptAndRecentFiles) {
    CMainFrame frame;
    EXPECT_EQ(frame.windowTitle(), "Untitled[*] - TOV-B Setup for ARM11");
    frame.document().mode.runTime = 5;
    frame.document().setModified();
    frame.refresh();
    EXPECT_TRUE(frame.isWindowModified());

    // New on a modified document asks; Cancel keeps it, No drops it.
    answers = {QMessageBox::Cancel};
    frame.onFileNew();
    EXPECT_EQ(texts(), QStringList{"Save changes to Untitled?"});
    EXPECT_EQ(frame.document().mode.runTime, 5u);
    answers = {QMessageBox::No};
    frame.onFileNew();
    EXPECT_EQ(frame.document().mode.runTime, 2000u);
    EXPECT_FALSE(frame.isWindowModified());

    // Saving and opening fills the recent list, newest first, four at most.
    for (int i = 1; i <= 5; ++i) {
        frame.document().mode.runTime = static_cast<uint32_t>(i);
        ASSERT_TRUE(frame.saveDocument(path(QString("s%1.tov").arg(i))));
    }
    EXPECT_EQ(frame.windowTitle(), "s5.tov[*] - TOV-B Setup for ARM11");
    EXPECT_EQ(recentFiles(),
              (QStringList{path("s5.tov"), path("s4.tov"), path("s3.tov"), path("s2.tov")}));
    EXPECT_EQ(QSettings().value("Recent File List/File1").toString(), path("s5.tov"));
    ASSERT_TRUE(frame.openDocument(path("s3.tov")));
    EXPECT_EQ(frame.document().mode.runTime, 3u);
    EXPECT_EQ(recentFiles().first(), path("s3.tov"));
    EXPECT_NE(frame.findChild<QAction*>("fileMru1"), nullptr);
    QStringList fileMenu;
    for (QAction* a : frame.menuBar()->actions().first()->menu()->actions()) {
        if (!a->isSeparator()) fileMenu << a->text();
    }
    EXPECT_EQ(fileMenu.mid(4, 4).first(), "&1 " + path("s3.tov"));

    // A modified document asks before Save prompts and Exit; Yes saves into its file.
    frame.document().mode.runTime = 33;
    frame.document().setModified();
    answers = {QMessageBox::Yes};
    messages.clear();
    frame.close();
    EXPECT_EQ(texts(), QStringList{"Save changes to s3.tov?"});
    CTovDoc back;
    EXPECT_EQ(openDocumentFile(path("s3.tov").toStdString(), back), "");
    EXPECT_EQ(back.mode.runTime, 33u);

    // A dropped setup file is opened after the save prompt; other files are refused.
    frame.document().setModified(false);
    const QList<QUrl> dropped = {QUrl::fromLocalFile(path("notes.txt")),
                                 QUrl::fromLocalFile(path("s1.tov"))};
    EXPECT_TRUE(CMainFrame::acceptsDrop(dropped));
    EXPECT_FALSE(CMainFrame::acceptsDrop({QUrl::fromLocalFile(path("notes.txt"))}));
    EXPECT_TRUE(frame.openDropped(dropped));
    EXPECT_EQ(frame.documentPath(), path("s1.tov"));
    EXPECT_EQ(frame.document().mode.runTime, 1u);

    // A damaged file: the message, and an untitled default document.
    QFile damaged(path("bad.tov"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("\x03\x00\x01", 3);
    damaged.close();
    messages.clear();
    EXPECT_FALSE(frame.openDocument(path("bad.tov")));
    EXPECT_EQ(texts(), QStringList{"Unexpected file format."});
    EXPECT_EQ(frame.document().mode.runTime, 2000u);
    EXPECT_EQ(frame.windowTitle(), "Untitled[*] - TOV-B Setup for ARM11");
}

TEST_F(MainFrameTest, TheViewShowsTheOpenSetupAndFollowsEdits) {
    {
        CTovDoc doc;
        doc.mode.setupId = "Board 7";
        doc.mode.startupMode = 1;
        doc.mode.runTime = 1500;
        doc.mode.breakMode = 1;
        doc.mode.jtagClock = 5;
        doc.mode.trapMask = 0x18;
        doc.mode.bigEndian = 1;
        doc.mode.scanPredCount = 2;
        doc.mode.scanPredIrLength = 9;
        doc.initList.append(makeItem(kWm32, 0x48000000, 0x12, "clocks"));
        doc.initList.append(makeItem(kDelay, 0, 10, ""));
        ASSERT_EQ(saveDocumentFile(path("board.tov").toStdString(), doc), "");
    }
    CMainFrame frame;
    ASSERT_TRUE(frame.openDocument(path("board.tov")));
    const CSetupView* view = frame.view();
    EXPECT_EQ(view->value("Identification"), "Board 7");
    EXPECT_EQ(view->value("CPU Type"), "ARM1136");
    EXPECT_EQ(view->value("JTAG Clock"), "500 kHz");
    EXPECT_EQ(view->value("Startup"), "Stop, run time 1500 ms");
    EXPECT_EQ(view->value("Breakpoint"), "Hardware");
    EXPECT_EQ(view->value("Memory format"), "Big Endian");
    EXPECT_EQ(view->value("Trap Exceptions"), "DABT PABT");
    EXPECT_EQ(view->value("JTAG Scan Chain"),
              "Predecessor 2, IR length 9; Successor 0, IR length 0");
    // The init list as the editor lists it, one column per field.
    QTreeWidget* list = view->initList();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    const QStringList first = storedToShownFields(displayLine(frame.document().initList.at(0)));
    for (int c = 0; c < 4; ++c) EXPECT_EQ(list->topLevelItem(0)->text(c), first.value(c));
    EXPECT_EQ(list->topLevelItem(0)->text(3), "clocks");
    screenshot(frame, "main_window_setup", false);

    // An edit in the working-mode dialog shows at once; a double-click opens the init list.
    whenShown<CModeDlg>([](CModeDlg& d) {
        check(d, "Run");
        d.accept();
    });
    frame.onMode();
    EXPECT_EQ(view->value("Startup"), "Run");
    bool editorOpened = false;
    whenShown<CInitListDlg>([&](CInitListDlg& d) {
        editorOpened = true;
        d.reject();
    });
    emit list->itemDoubleClicked(list->topLevelItem(1), 0);
    EXPECT_TRUE(editorOpened);
    EXPECT_TRUE(messages.empty()) << texts().join("; ").toStdString();
}

TEST_F(MainFrameTest, StartUpAndWindowPosition) {
    {
        CMainFrame first;
        first.document().mode.setupId = "reopened";
        ASSERT_TRUE(first.saveDocument(path("last.tov")));
        first.show();
        first.setGeometry(40, 50, 500, 300);
        first.close();
    }
    EXPECT_EQ(QSettings().value("WindowPos/leftPos").toInt(), 40);
    EXPECT_EQ(QSettings().value("WindowPos/bottomPos").toInt(), 350);

    CMainFrame second;
    ASSERT_TRUE(second.startUp({}));
    EXPECT_EQ(second.document().mode.setupId, "reopened");
    EXPECT_EQ(second.documentPath(), path("last.tov"));
    EXPECT_EQ(second.geometry(), QRect(40, 50, 500, 300));
    // Closing maximised leaves the stored position alone.
    second.showMaximized();
    second.close();
    EXPECT_EQ(QSettings().value("WindowPos/rightPos").toInt(), 540);

    // A named file wins; a missing one fails the start; a vanished recent file is skipped.
    CMainFrame third;
    EXPECT_FALSE(third.startUp({path("none.tov")}));
    QFile::remove(path("last.tov"));
    CMainFrame fourth;
    EXPECT_TRUE(fourth.startUp({}));
    EXPECT_EQ(fourth.documentName(), "Untitled");

    // A position partly outside the desktop is ignored.
    const QRect desktop = QGuiApplication::primaryScreen()->availableVirtualGeometry();
    storeWindowRect(QRect(desktop.right() - 100, 10, 400, 300));
    EXPECT_FALSE(usableWindowRect(desktop).has_value());
    storeWindowRect(QRect(desktop.left() + 10, desktop.top() + 10, 200, 100));
    EXPECT_EQ(usableWindowRect(desktop), QRect(desktop.left() + 10, desktop.top() + 10, 200, 100));
}

}  // namespace
}  // namespace tov::setup::test
