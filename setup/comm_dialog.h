// "Communication Setup": the channel, line rate and IP address of a setup, and the link test.
#pragma once

#include <QDialog>

#include "setup/tov_doc.h"

class QButtonGroup;
class QLineEdit;
class QPushButton;

namespace tov::setup {

class CCommDlg : public QDialog {
    Q_OBJECT
public:
    // Starts from `values`; values() holds what was taken on OK.
    explicit CCommDlg(const CommSettings& values, QWidget* parent = nullptr);
    const CommSettings& values() const { return values_; }

    // Takes the controls' values; false (with the message shown) for a network channel
    // whose IP address is not valid.
    bool takeValues();

public slots:
    void accept() override;
    void onTest();

private:
    CommSettings values_;
    QButtonGroup* channels_;
    QButtonGroup* rates_;
    QLineEdit* ipAddress_;
    QPushButton* test_;
};

// The communication command: runs the dialog on the document's settings, takes them on OK
// (marking the document modified when one differs) and rebuilds the connection parameters
// from the document however the dialog closed.
void runCommunicationDialog(CTovDoc& doc, QWidget* parent);

}  // namespace tov::setup
