// "Startup Init List": the init-list editor over display lines, with its private clipboard.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "setup/tov_doc.h"

class QListWidget;
class QPushButton;

namespace tov::setup {

class CInitListDlg : public QDialog {
    Q_OBJECT
public:
    // Shows the list's items; the list changes only in accept().
    CInitListDlg(CCodeList& initList, QWidget* parent = nullptr);

    QListWidget* list() const { return list_; }
    // The display lines, as stored bytes, in list order.
    std::vector<std::string> lines() const;
    // Sets the buttons' enabled states from the selection and the clipboard.
    void updateButtons();
    // Runs the item dialog for this item at the insertion or edit point; tests replace it.
    using ItemEditor = std::function<bool(ItemFields&)>;
    void setItemEditor(ItemEditor editor) { editor_ = std::move(editor); }

public slots:
    void onNew();
    void onEdit();
    void onCopy();
    void onPaste();
    void onDelete();
    void accept() override;

private:
    // Selected rows in ascending order.
    std::vector<int> selectedRows() const;
    void insertLine(int row, const std::string& line);
    std::string lineAt(int row) const;
    bool editItem(ItemFields& fields);
    // Shows the 256 limit's message when more lines are selected: true when it did.
    bool tooManySelected(size_t count);

    CCodeList& initList_;
    QListWidget* list_;
    QPushButton* new_;
    QPushButton* copy_;
    QPushButton* paste_;
    QPushButton* edit_;
    QPushButton* delete_;
    ItemEditor editor_;
};

// The init-list command: runs the editor; OK rebuilds the document's list and marks the
// document modified (also without a change); Cancel leaves the document as it was.
void runInitListDialog(CTovDoc& doc, QWidget* parent);

}  // namespace tov::setup
