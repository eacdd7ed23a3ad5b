// The init-list editor: new, edit, copy, paste and delete on display lines; the document's list
// is rebuilt from the lines on OK.
#include "setup/init_list_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

#include "setup/dialog_font.h"
#include "setup/dialog_text.h"
#include "setup/init_list_clipboard.h"
#include "setup/item_dialog.h"
#include "setup/message_box.h"

namespace tov::setup {
namespace {

constexpr size_t kMaxSelected = 256;
constexpr const char* kCaption = "Initlist";
constexpr int kLineRole = Qt::UserRole;
// Tab stops of the columns in dialog units (a quarter of the font's average character width).
constexpr int kTabStops[] = {32, 80, 128};

// The stops in pixels. Fonts with wide digits get wider units, so that the address column
// (48 units) always holds a full "0x" and eight digits.
int tabStopPixels(const QFontMetrics& metrics, int index) {
    constexpr int kAddressUnits = 48;
    const int fit = metrics.horizontalAdvance("0x00000000") + metrics.averageCharWidth();
    const int unitTimes4 = std::max(metrics.averageCharWidth(), 4 * fit / kAddressUnits + 1);
    return kTabStops[index] * unitTimes4 / 4;
}

// Draws a display line's tab-separated fields at the column tab stops.
class TabbedLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        opt.widget->style()->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        painter->save();
        painter->setPen(opt.palette.color(opt.state & QStyle::State_Selected
                                              ? QPalette::HighlightedText
                                              : QPalette::Text));
        const QStringList fields = text.split('\t');
        const int left = opt.rect.left() + 2;
        for (int i = 0; i < fields.size(); ++i) {
            // Fields past the last tab stop run on after one blank, as a tab would put them.
            const int x = i == 0 ? left : left + tabStopPixels(opt.fontMetrics, std::min(i, 3) - 1);
            const int end = i < 3 && i + 1 < fields.size()
                                ? left + tabStopPixels(opt.fontMetrics, i)
                                : opt.rect.right();
            const QString shown = i < 3 ? fields[i] : fields.mid(i).join(' ');
            painter->drawText(QRect(x, opt.rect.top(), end - x, opt.rect.height()),
                              Qt::AlignVCenter | Qt::AlignLeft, shown);
            if (i >= 3) break;
        }
        painter->restore();
    }
};

// The column headings, placed at the same tab stops as the lines.
class ColumnHeadings : public QWidget {
public:
    explicit ColumnHeadings(QWidget* parent = nullptr) : QWidget(parent) {
        setMinimumHeight(fontMetrics().height() + 2);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const char* headings[] = {"Type", "Address", "Value", "Comment"};
        const int left = 4;
        for (int i = 0; i < 4; ++i) {
            const int x = i == 0 ? left : left + tabStopPixels(fontMetrics(), i - 1);
            painter.drawText(QRect(x, 0, width() - x, height()), Qt::AlignVCenter, headings[i]);
        }
    }
};

bool clipboardOffersList() {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    return data && data->hasFormat(kInitListFormat);
}

}  // namespace

CInitListDlg::CInitListDlg(CCodeList& initList, QWidget* parent)
    : QDialog(parent),
      initList_(initList),
      list_(new QListWidget),
      new_(new QPushButton("&New")),
      copy_(new QPushButton("&Copy")),
      paste_(new QPushButton("&Paste")),
      edit_(new QPushButton("&Edit")),
      delete_(new QPushButton("&Delete")) {
    setFont(dialogFont());
    setWindowTitle("Startup Init List");
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setItemDelegate(new TabbedLineDelegate(list_));
    list_->setMinimumWidth(420);
    for (size_t i = 0; i < initList.size(); ++i) {
        insertLine(list_->count(), displayLine(initList.at(i)));
    }

    auto* ok = new QPushButton("OK");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel");
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {new_, copy_, paste_, edit_, delete_}) buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    connect(new_, &QPushButton::clicked, this, &CInitListDlg::onNew);
    connect(copy_, &QPushButton::clicked, this, &CInitListDlg::onCopy);
    connect(paste_, &QPushButton::clicked, this, &CInitListDlg::onPaste);
    connect(edit_, &QPushButton::clicked, this, &CInitListDlg::onEdit);
    connect(delete_, &QPushButton::clicked, this, &CInitListDlg::onDelete);
    connect(ok, &QPushButton::clicked, this, &CInitListDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CInitListDlg::reject);
    connect(list_, &QListWidget::itemSelectionChanged, this, &CInitListDlg::updateButtons);
    connect(list_, &QListWidget::itemDoubleClicked, this, &CInitListDlg::onEdit);
    // Lines copied in another setup program while this editor is open can be pasted at once.
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this,
            &CInitListDlg::updateButtons);

    auto* left = new QVBoxLayout;
    left->addWidget(new ColumnHeadings);
    left->addWidget(list_);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(buttons);
    updateButtons();
}

std::vector<std::string> CInitListDlg::lines() const {
    std::vector<std::string> out;
    for (int i = 0; i < list_->count(); ++i) out.push_back(lineAt(i));
    return out;
}

std::string CInitListDlg::lineAt(int row) const {
    return list_->item(row)->data(kLineRole).toByteArray().toStdString();
}

void CInitListDlg::insertLine(int row, const std::string& line) {
    auto* item = new QListWidgetItem(storedToShown(line));
    item->setData(kLineRole, QByteArray::fromStdString(line));
    list_->insertItem(row, item);
}

std::vector<int> CInitListDlg::selectedRows() const {
    std::vector<int> rows;
    for (int i = 0; i < list_->count(); ++i) {
        if (list_->item(i)->isSelected()) rows.push_back(i);
    }
    return rows;
}

void CInitListDlg::updateButtons() {
    const size_t n = selectedRows().size();
    copy_->setEnabled(n >= 1);
    new_->setEnabled(n <= 1);
    delete_->setEnabled(n >= 1);
    edit_->setEnabled(n == 1);
    paste_->setEnabled(n <= 1 && clipboardOffersList());
}

bool CInitListDlg::editItem(ItemFields& fields) {
    if (editor_) return editor_(fields);
    CItemDlg dialog(fields, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    fields = dialog.values();
    return true;
}

bool CInitListDlg::tooManySelected(size_t count) {
    if (count <= kMaxSelected) return false;
    showMessage(this, {"To match items selected (max 256 allowed)", kCaption,
                       QMessageBox::Critical});
    return true;
}

void CInitListDlg::onNew() {
    const std::vector<int> rows = selectedRows();
    const int at = rows.empty() ? list_->count() : rows.front();
    ItemFields fields{kNop, 0, 0, "Comment"};
    if (!editItem(fields)) return;
    insertLine(at, displayLine(makeItem(fields.type, fields.address, fields.value, fields.comment)));
    list_->clearSelection();
    updateButtons();
}

void CInitListDlg::onEdit() {
    const std::vector<int> rows = selectedRows();
    if (rows.empty()) return;
    const int at = rows.front();
    ItemFields fields = readItem(itemFromDisplayLine(lineAt(at)));
    if (!editItem(fields)) return;
    insertLine(at, displayLine(makeItem(fields.type, fields.address, fields.value, fields.comment)));
    delete list_->takeItem(at + 1);
    list_->clearSelection();
    list_->item(at)->setSelected(true);
    updateButtons();
}

void CInitListDlg::onCopy() {
    const std::vector<int> rows = selectedRows();
    if (tooManySelected(rows.size())) {
        list_->clearSelection();
        updateButtons();
        return;
    }
    std::vector<std::string> chosen;
    for (int row : rows) chosen.push_back(lineAt(row));
    const std::string data = clipboardData(chosen);
    auto* mime = new QMimeData;
    mime->setData(kInitListFormat, QByteArray(data.data(), static_cast<qsizetype>(data.size())));
    // The same lines as plain text for other programs (without the closing NUL).
    mime->setText(storedToShown(data.substr(0, data.size() - 1)));
    QApplication::clipboard()->setMimeData(mime);
    list_->clearSelection();
    updateButtons();
}

void CInitListDlg::onPaste() {
    const QMimeData* mime = QApplication::clipboard()->mimeData();
    if (!mime || !mime->hasFormat(kInitListFormat)) return;
    const QByteArray data = mime->data(kInitListFormat);
    const std::vector<int> rows = selectedRows();
    int at = rows.empty() ? list_->count() : rows.front();
    for (const std::string& line : clipboardLines(std::string_view(data.data(), data.size()))) {
        insertLine(at++, displayLine(itemFromDisplayLine(line)));
    }
    list_->clearSelection();
    updateButtons();
}

void CInitListDlg::onDelete() {
    const std::vector<int> rows = selectedRows();
    if (rows.empty() || tooManySelected(rows.size())) return;
    if (rows.size() > 1 &&
        showMessage(this, {"Do you really want delete the selected items ?", kCaption,
                           QMessageBox::Question, QMessageBox::Yes | QMessageBox::No}) !=
            QMessageBox::Yes) {
        return;
    }
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) delete list_->takeItem(*row);
    updateButtons();
}

void CInitListDlg::accept() {
    initList_.removeAll();
    for (const std::string& line : lines()) {
        if (!line.empty()) initList_.append(itemFromDisplayLine(line));
    }
    QDialog::accept();
}

void runInitListDialog(CTovDoc& doc, QWidget* parent) {
    CInitListDlg dialog(doc.initList, parent);
    if (dialog.exec() == QDialog::Accepted) doc.setModified();
}

}  // namespace tov::setup
