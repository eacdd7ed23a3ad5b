// "TOV Working Mode": the working mode of a setup, and Transmit, which writes the setup shown
// into the probe.
#pragma once

#include <QDialog>
#include <array>

#include "setup/tov_doc.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tov::setup {

class CHexEdit;

class CModeDlg : public QDialog {
    Q_OBJECT
public:
    // Starts from `values`; the transfer also uses the document's line-rate index and init list.
    CModeDlg(const WorkingMode& values, uint32_t baudIndex, const CCodeList& initList,
             QWidget* parent = nullptr);
    const WorkingMode& values() const { return values_; }
    // Takes the controls' values; false (with the range message shown and the field focused)
    // when a number is outside its range.
    bool takeValues();
    // Whether a transfer runs now.
    bool busy() const { return busy_; }
    QString statusText() const;

public slots:
    void accept() override;
    void reject() override;
    void onTransmit();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct RangedEdit {
        QLineEdit* edit;
        uint32_t WorkingMode::*field;
        uint32_t low;
        uint32_t high;
    };
    void showValues();
    void updateRunTimeEnabled();
    void setStatus(const QString& text);

    WorkingMode values_;
    uint32_t baudIndex_;
    const CCodeList& initList_;
    bool busy_ = false;
    QLineEdit* setupId_;
    QButtonGroup* startup_;
    QButtonGroup* breakMode_;
    QComboBox* cpuType_;
    QComboBox* jtagClock_;
    CHexEdit* workspace_;
    QLineEdit* runTime_;
    QCheckBox* bigEndian_;
    std::array<QCheckBox*, 8> traps_{};  // by bit number, 7 = FIQ ... 0 = RST
    std::array<RangedEdit, 5> ranged_{};
    QLabel* status_;
    QPushButton* transmit_;
    QPushButton* close_;
};

// The mode command: runs the dialog on the document's values; on Close copies them back and
// marks the document modified when any differs. Escape keeps the document as it was.
void runModeDialog(CTovDoc& doc, QWidget* parent);

}  // namespace tov::setup
