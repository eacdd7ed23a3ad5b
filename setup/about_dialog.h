// "About TOV-Setup": the program icon, its name and version.
#pragma once

#include <QDialog>

namespace tov::setup {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace tov::setup
