// The communication and import/export dialogs: what they take, when the document counts as
// modified, and the conversions without a window giving the dialogs' bytes.
#include <QButtonGroup>
#include <QLineEdit>
#include <QPushButton>
#include <QProcess>
#include <QRadioButton>
#include <functional>

#include "gui_fixture.h"
#include "setup/comm_dialog.h"
#include "setup/connection_parameters.h"
#include "setup/doc_archive.h"
#include "setup/import_export_dialog.h"
#include "setup/text_file.h"

namespace tov::setup::test {
namespace {

using DialogTest = GuiTest;

TEST_F(DialogTest, CommunicationTakesValuesOnlyOnValidOk) {
    CTovDoc doc;
    whenShown<CCommDlg>([](CCommDlg& d) { d.accept(); });
    runCommunicationDialog(doc, nullptr);
    EXPECT_FALSE(doc.isModified());

    whenShown<CCommDlg>([this](CCommDlg& d) {
        screenshot(d, "communication_dialog");
        check(d, "COM2");
        check(d, "57600");
        d.accept();
    });
    runCommunicationDialog(doc, nullptr);
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(doc.comm, (CommSettings{1, 3, "111.111.111.111"}));
    EXPECT_EQ(connectionParameters(), "COM2 57600");

    // The network needs a valid address: the dialog stays open with the message.
    doc.setModified(false);
    whenShown<CCommDlg>([this](CCommDlg& d) {
        check(d, "Network");
        auto* ip = d.findChild<QLineEdit*>();
        EXPECT_EQ(ip->maxLength(), 15);
        ip->setText("10.1.2");
        d.accept();
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(texts(), QStringList{"Invalid IP address!"});
        EXPECT_EQ(messages.back().icon, QMessageBox::Warning);
        d.onTest();
        EXPECT_EQ(messages.size(), 2u);
        ip->setText("10.1.2.3");
        d.accept();
    });
    runCommunicationDialog(doc, nullptr);
    EXPECT_EQ(doc.comm, (CommSettings{4, 3, "10.1.2.3"}));
    EXPECT_EQ(connectionParameters(), "NETWORK 10.1.2.3 1");

    // Cancel drops the values; a serial channel takes any address text.
    whenShown<CCommDlg>([](CCommDlg& d) {
        check(d, "COM4");
        d.findChild<QLineEdit*>()->setText("nonsense");
        EXPECT_TRUE(d.takeValues());
        d.reject();
    });
    runCommunicationDialog(doc, nullptr);
    EXPECT_EQ(doc.comm, (CommSettings{4, 3, "10.1.2.3"}));

    // Channel 5 has no button and survives OK.
    doc.comm.channel = 5;
    doc.setModified(false);
    whenShown<CCommDlg>([](CCommDlg& d) { d.accept(); });
    runCommunicationDialog(doc, nullptr);
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(connectionParameters(), "NETWORK 10.1.2.3 2");
}

// Runs the import/export dialog on `doc` with `act` done to it while shown.
void importExport(CTovDoc& doc, std::function<void(CImportExportDlg&)> act) {
    whenShown<CImportExportDlg>(act);
    runImportExportDialog(doc, nullptr);
}

void press(QDialog& dialog, const QString& text) {
    for (auto* button : dialog.findChildren<QPushButton*>()) {
        if (button->text() == text) return button->click();
    }
    FAIL() << text.toStdString();
}

TEST_F(DialogTest, ImportExportAndTheCommandLineAgree) {
    const QString text = path("board.txt");
    CTovDoc doc;
    doc.mode.setupId = "board";
    doc.initList.append(makeItem(kWm32, 0x10, 0x20, "a; b"));
    ASSERT_EQ(saveDocumentFile(path("board.tov").toStdString(), doc), "");

    importExport(doc, [&](CImportExportDlg& d) {
        EXPECT_EQ(d.statusText(), "");
        d.fileNameEdit()->setText(text);
        press(d, "&Export");
        EXPECT_EQ(d.statusText(), "Setup stored in text file");
        // Replacing asks first; No leaves the file and clears the status.
        answers = {QMessageBox::No};
        press(d, "&Export");
        EXPECT_EQ(texts(), QStringList{"File already exists!   Do you want replace it?"});
        EXPECT_EQ(messages.back().caption, "Confirmed");
        EXPECT_EQ(d.statusText(), "");
        screenshot(d, "import_export_dialog");
        press(d, "Close");
    });
    EXPECT_TRUE(doc.isModified());  // the file name changed
    EXPECT_EQ(doc.textFileName, text.toStdString());

    // The same export from the command line, without any display.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    const auto run = [&](const QStringList& args) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(TOV_SETUP_BIN, args);
        EXPECT_TRUE(process.waitForFinished(30000));
        return std::pair(process.exitCode(), QString(process.readAllStandardError()));
    };
    EXPECT_EQ(run({"--export", path("board.tov"), path("cli.txt")}).first, 0);
    QFile a(text), b(path("cli.txt"));
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), b.readAll());

    // Import into a new document: the dialog, then the command line, give the same file.
    CTovDoc fresh;
    importExport(fresh, [&](CImportExportDlg& d) {
        d.fileNameEdit()->setText(text);
        press(d, "&Import");
        EXPECT_EQ(d.statusText(), "Setup read from text file");
        d.reject();  // Escape after an import keeps it
    });
    EXPECT_TRUE(fresh.isModified());
    EXPECT_EQ(fresh.mode.setupId, "board");
    EXPECT_EQ(fresh.mode.jtagClock, 3u);
    EXPECT_EQ(fresh.initList.texts(), doc.initList.texts());
    ASSERT_EQ(saveDocumentFile(path("dialog.tov").toStdString(), fresh), "");
    const auto imported = run({"--import", text, path("cli.tov")});
    EXPECT_EQ(imported.first, 0);
    EXPECT_EQ(imported.second, "tovsetup: Setup read from text file\n");
    QFile c(path("dialog.tov")), e(path("cli.tov"));
    ASSERT_TRUE(c.open(QIODevice::ReadOnly) && e.open(QIODevice::ReadOnly));
    EXPECT_EQ(c.readAll(), e.readAll());

    const auto failed = run({"--export", path("missing.tov"), path("x.txt")});
    EXPECT_EQ(failed.first, 1);
    EXPECT_TRUE(failed.second.contains("Failed to open document.")) << failed.second.toStdString();
    EXPECT_EQ(run({"--import", path("missing.txt")}).first, 1);
    // A device has no end: refused by name before anything is read.
    for (const char* option : {"--export", "--import"}) {
        const auto endless = run({option, "/dev/zero", path("endless")});
        EXPECT_EQ(endless.first, 1);
        EXPECT_EQ(endless.second, "tovsetup: /dev/zero is not a regular file\n");
    }
    EXPECT_EQ(run({"--help"}).first, 0);

    // A file that cannot be read: the stop-icon message; Escape without an import drops edits.
    messages.clear();
    CTovDoc untouched;
    importExport(untouched, [&](CImportExportDlg& d) {
        d.fileNameEdit()->setText(path("missing.txt"));
        press(d, "&Import");
        d.reject();
    });
    EXPECT_EQ(texts(), QStringList{"File " + path("missing.txt") + " could not be opened !"});
    EXPECT_EQ(messages.back().caption, "File-Error");
    EXPECT_EQ(messages.back().icon, QMessageBox::Critical);
    EXPECT_FALSE(untouched.isModified());
    EXPECT_EQ(untouched.textFileName, "");

    // Close with nothing changed does not mark the document.
    importExport(untouched, [&](CImportExportDlg& d) { press(d, "Close"); });
    EXPECT_FALSE(untouched.isModified());
}

}  // namespace
}  // namespace tov::setup::test
