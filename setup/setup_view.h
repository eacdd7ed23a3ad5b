// The main window's view: the open setup shown read-only, the working mode as label and value
// lines and the init list as the init-list editor lists it.
#pragma once

#include <QWidget>

#include "setup/tov_doc.h"

class QFormLayout;
class QTreeWidget;

namespace tov::setup {

class CSetupView : public QWidget {
    Q_OBJECT
public:
    explicit CSetupView(QWidget* parent = nullptr);

    // Shows the document's current values; called whenever the document may have changed.
    void showDocument(const CTovDoc& doc);
    // The shown value of a summary line by its label; empty when there is none.
    QString value(const QString& label) const;
    QTreeWidget* initList() const { return initList_; }

signals:
    // An init line was double-clicked: the user wants to edit the list.
    void editInitList();

private:
    QFormLayout* mode_;
    QTreeWidget* initList_;
};

}  // namespace tov::setup
