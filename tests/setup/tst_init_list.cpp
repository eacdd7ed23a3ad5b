// The init-list editor and the item dialog, offscreen: button states, the private clipboard,
// the 256 limit, delete, edit, and what reaches the document.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>

#include "gui_fixture.h"
#include "setup/hex_edit.h"
#include "setup/init_list_dialog.h"
#include "setup/item_dialog.h"
#include "setup/main_frame.h"

namespace tov::setup::test {
namespace {

using InitList = GuiTest;

QPushButton* button(QWidget& d, const QString& text) {
    for (auto* b : d.findChildren<QPushButton*>()) {
        if (b->text() == text) return b;
    }
    return nullptr;
}

QString buttonStates(QWidget& d) {
    QString states;
    for (const char* name : {"&Copy", "&New", "&Delete", "&Edit", "&Paste"}) {
        states += button(d, name)->isEnabled() ? '1' : '0';
    }
    return states;
}

void select(CInitListDlg& d, std::initializer_list<int> rows) {
    d.list()->clearSelection();
    for (int row : rows) d.list()->item(row)->setSelected(true);
}

void fill(CCodeList& list, int count) {
    for (int i = 0; i < count; ++i) list.append(makeItem(kWm8, 0x1000 + i, i, "c"));
}

TEST_F(InitList, ButtonStatesClipboardAndDelete) {
    QApplication::clipboard()->clear();
    CCodeList list;
    fill(list, 5);
    CInitListDlg d(list);
    EXPECT_EQ(d.windowTitle(), "Startup Init List");
    // Copy, New, Delete, Edit, Paste by selection.
    EXPECT_EQ(buttonStates(d), "01000");
    select(d, {1});
    EXPECT_EQ(buttonStates(d), "11110");
    select(d, {1, 2});
    EXPECT_EQ(buttonStates(d), "10100");

    d.onCopy();
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    ASSERT_TRUE(mime->hasFormat("CF_TOV_INITLIST"));
    EXPECT_EQ(mime->data("CF_TOV_INITLIST").back(), '\0');
    EXPECT_TRUE(mime->text().startsWith("WM8"));
    EXPECT_EQ(buttonStates(d), "01001");
    const auto before = d.lines();

    d.onPaste();  // nothing selected: at the end
    ASSERT_EQ(d.list()->count(), 7);
    EXPECT_EQ(d.lines()[5], before[1]);
    EXPECT_EQ(d.lines()[6], before[2]);
    select(d, {2});
    d.onPaste();  // before the selected line
    EXPECT_EQ(d.lines()[2], before[1]);
    EXPECT_EQ(d.lines()[3], before[2]);
    EXPECT_EQ(d.lines()[4], before[2]);
    ASSERT_EQ(d.list()->count(), 9);

    // One line goes without a question; several only after Yes.
    select(d, {0});
    d.onDelete();
    EXPECT_EQ(d.list()->count(), 8);
    EXPECT_TRUE(messages.empty());
    select(d, {0, 1});
    answers = {QMessageBox::No};
    d.onDelete();
    EXPECT_EQ(d.list()->count(), 8);
    answers = {QMessageBox::Yes};
    d.onDelete();
    EXPECT_EQ(d.list()->count(), 6);
    EXPECT_EQ(messages.back().text, "Do you really want delete the selected items ?");
    screenshot(d, "init_list_editor");
}

TEST_F(InitList, MoreThan256SelectedAreRefused) {
    CCodeList list;
    fill(list, 300);
    CInitListDlg d(list);
    d.list()->selectAll();
    d.onDelete();
    EXPECT_EQ(d.list()->count(), 300);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "To match items selected (max 256 allowed)");
    EXPECT_EQ(messages[0].caption, "Initlist");
    EXPECT_EQ(messages[0].icon, QMessageBox::Critical);
    QApplication::clipboard()->clear();
    d.onCopy();
    EXPECT_EQ(messages.size(), 2u);
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    EXPECT_FALSE(mime && mime->hasFormat("CF_TOV_INITLIST"));
    EXPECT_TRUE(d.list()->selectedItems().isEmpty());
}

TEST_F(InitList, ItemDialogWidthsAndDelayKept) {
    CItemDlg delay({kDelay, 0, 45000, "wait"});
    EXPECT_EQ(delay.values(), (ItemFields{kDelay, 0, 45000, "wait"}));
    screenshot(delay, "item_dialog_delay");

    CItemDlg wide({kWm32, 0x20000000, 0x12345678, ""});
    wide.setType(kWm8);
    auto edits = wide.findChildren<CHexEdit*>();
    ASSERT_EQ(edits.size(), 2);
    EXPECT_EQ(edits[1]->text(), "78");
    EXPECT_EQ(edits[1]->maxLength(), 2);
    EXPECT_EQ(wide.values().value, 0x78u);
    wide.setType(kWcp15);
    EXPECT_EQ(edits[0]->text(), "0000");
    wide.setType(kWgpr);
    EXPECT_FALSE(edits[0]->isEnabled());
    screenshot(wide, "item_dialog");

    // Typed characters that cannot be hexadecimal are dropped.
    CHexEdit hex;
    hex.setNumber(0, 8);
    hex.clear();
    for (QChar c : QString("1g2x-")) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(&hex, &press);
    }
    EXPECT_EQ(hex.text(), "12-");
}

TEST_F(InitList, EditThenCancelOrOk) {
    CTovDoc doc;
    doc.initList.append(makeItem(kDelay, 0, 45000, "wait"));
    whenShown<CInitListDlg>([](CInitListDlg& d) {
        d.setItemEditor([](ItemFields&) { return true; });  // OK without a change
        select(d, {0});
        d.onEdit();
        d.onNew();
        EXPECT_EQ(d.list()->count(), 2);
        d.reject();
    });
    runInitListDialog(doc, nullptr);
    EXPECT_EQ(doc.initList.size(), 1u);
    EXPECT_FALSE(doc.isModified());

    whenShown<CInitListDlg>([](CInitListDlg& d) {
        d.setItemEditor([](ItemFields&) { return true; });
        select(d, {0});
        d.onEdit();
        d.accept();
    });
    runInitListDialog(doc, nullptr);
    ASSERT_EQ(doc.initList.size(), 1u);
    EXPECT_EQ(readItem(doc.initList.at(0)).value, 45000u);
    EXPECT_TRUE(doc.isModified());
}

TEST_F(InitList, MenuCommandMarksTheWindowModified) {
    CMainFrame frame;
    whenShown<CInitListDlg>([](CInitListDlg& d) { d.accept(); });
    frame.action("setupInitList")->trigger();
    EXPECT_TRUE(frame.document().isModified());
    EXPECT_TRUE(frame.isWindowModified());
}

}  // namespace
}  // namespace tov::setup::test
