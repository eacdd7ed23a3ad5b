// "Import / Export": the working mode and init list of a setup to and from a text file.
#pragma once

#include <QDialog>

#include "setup/tov_doc.h"

class QLabel;
class QLineEdit;

namespace tov::setup {

class CImportExportDlg : public QDialog {
    Q_OBJECT
public:
    // Works on copies of the document's working mode and text-file name and on the document's
    // init list itself; Close hands the copies back.
    CImportExportDlg(CTovDoc& doc, QWidget* parent = nullptr);

    QString statusText() const;
    QLineEdit* fileNameEdit() const { return fileName_; }

public slots:
    void onChange();
    void onImport();
    void onExport();
    // Close: the document takes the copies, marked modified when one differs.
    void onClose();
    // Escape after an import keeps it as Close does; the list changed in the document already.
    void reject() override;

private:
    void takeFileName();

    CTovDoc& doc_;
    WorkingMode mode_;
    std::string textFileName_;
    bool imported_ = false;
    QLineEdit* fileName_;
    QLabel* status_;
};

void runImportExportDialog(CTovDoc& doc, QWidget* parent);

}  // namespace tov::setup
