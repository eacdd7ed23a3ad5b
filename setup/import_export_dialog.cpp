// The import/export dialog over the setup text file's reader and writer.
#include "setup/import_export_dialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "setup/dialog_font.h"
#include "setup/dialog_text.h"
#include "setup/message_box.h"
#include "setup/text_file.h"
#include "setup/wait_cursor.h"

namespace tov::setup {
namespace {

void fileError(QWidget* parent, const std::string& message) {
    showMessage(parent, {QString::fromStdString(message), kFileErrorCaption, QMessageBox::Critical});
}

}  // namespace

CImportExportDlg::CImportExportDlg(CTovDoc& doc, QWidget* parent)
    : QDialog(parent),
      doc_(doc),
      mode_(doc.mode),
      textFileName_(doc.textFileName),
      fileName_(new QLineEdit),
      status_(new QLabel) {
    setFont(dialogFont());
    setWindowTitle("Import / Export");
    fileName_->setText(storedToShown(textFileName_));
    fileName_->setMinimumWidth(320);
    auto* change = new QPushButton("&Change...");
    auto* fileBox = new QGroupBox("File name");
    auto* fileRow = new QHBoxLayout(fileBox);
    fileRow->addWidget(fileName_);
    fileRow->addWidget(change);

    auto* importButton = new QPushButton("&Import");
    auto* exportButton = new QPushButton("&Export");
    auto* close = new QPushButton("Close");
    close->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(importButton);
    buttons->addWidget(exportButton);
    buttons->addStretch();
    buttons->addWidget(close);

    status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    status_->setMinimumHeight(status_->sizeHint().height() + 4);
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(new QLabel("Status"));
    statusRow->addWidget(status_, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fileBox);
    layout->addLayout(statusRow);
    layout->addLayout(buttons);

    connect(change, &QPushButton::clicked, this, &CImportExportDlg::onChange);
    connect(importButton, &QPushButton::clicked, this, &CImportExportDlg::onImport);
    connect(exportButton, &QPushButton::clicked, this, &CImportExportDlg::onExport);
    connect(close, &QPushButton::clicked, this, &CImportExportDlg::onClose);
}

QString CImportExportDlg::statusText() const {
    return status_->text();
}

void CImportExportDlg::takeFileName() {
    textFileName_ = shownToStored(fileName_->text(), textFileName_);
}

void CImportExportDlg::onChange() {
    const QString chosen = QFileDialog::getSaveFileName(
        this, QString(), fileName_->text(), "TOV Setup (*.txt *.cfg);;all (*.*)", nullptr,
        QFileDialog::DontConfirmOverwrite);
    if (!chosen.isEmpty()) fileName_->setText(chosen);
}

void CImportExportDlg::onExport() {
    takeFileName();
    status_->clear();
    if (QFileInfo::exists(fileName_->text()) &&
        showMessage(this, {"File already exists!   Do you want replace it?", "Confirmed",
                           QMessageBox::Question, QMessageBox::Yes | QMessageBox::No}) !=
            QMessageBox::Yes) {
        return;
    }
    std::string message;
    {
        WaitCursor wait;
        message = exportTextFile(textFileName_, mode_, doc_.initList);
    }
    if (message.empty()) {
        status_->setText("Setup stored in text file");
    } else {
        fileError(this, message);
    }
}

void CImportExportDlg::onImport() {
    takeFileName();
    status_->clear();
    std::string message;
    ImportOutcome outcome;
    {
        WaitCursor wait;
        message = importTextFile(textFileName_, mode_, doc_.initList, outcome);
    }
    if (outcome.listReplaced) {
        imported_ = true;
        doc_.setModified();
    }
    // The mode copies may have changed even when the read failed part way.
    imported_ = imported_ || message.empty() || message == cannotReadText(textFileName_);
    if (message.empty()) {
        status_->setText("Setup read from text file");
    } else {
        fileError(this, message);
    }
}

void CImportExportDlg::onClose() {
    takeFileName();
    if (!(mode_ == doc_.mode) || textFileName_ != doc_.textFileName) {
        doc_.mode = mode_;
        doc_.textFileName = textFileName_;
        doc_.setModified();
    }
    QDialog::accept();
}

void CImportExportDlg::reject() {
    if (imported_) {
        onClose();
    } else {
        QDialog::reject();
    }
}

void runImportExportDialog(CTovDoc& doc, QWidget* parent) {
    CImportExportDlg dialog(doc, parent);
    dialog.exec();
}

}  // namespace tov::setup
