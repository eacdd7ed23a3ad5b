// "BDM Link Test": connects to the probe's firmware, shows the probe information and the
// target's state, halts a running target, and resets the target on request.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QListWidget;
class QPushButton;

namespace tov::setup {

class CTargetTestDlg : public QDialog {
    Q_OBJECT
public:
    explicit CTargetTestDlg(QWidget* parent = nullptr);

    // The progress list's lines, top to bottom.
    QStringList lines() const;
    bool busy() const { return busy_; }

public slots:
    void onStart();
    void onResetTarget();
    void reject() override;

private:
    // Shows "text ..." while `call` runs, then "text passed" or "text failed".
    template <typename Call>
    bool step(const QString& text, Call&& call);
    void addLine(const QString& text);
    void begin();

    QListWidget* progress_;
    QLabel* info_;
    QPushButton* start_;
    QPushButton* reset_;
    bool busy_ = false;
};

// The test command: runs the dialog modally.
void runTargetTestDialog(QWidget* parent);

}  // namespace tov::setup
