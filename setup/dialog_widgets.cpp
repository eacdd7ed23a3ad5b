// The shared widget builders of the dialogs.
#include "setup/dialog_widgets.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace tov::setup {

QGroupBox* radioGroup(const QString& title, const QStringList& labels, QButtonGroup* group,
                      int checked) {
    auto* box = new QGroupBox(title);
    auto* layout = new QVBoxLayout(box);
    for (int i = 0; i < labels.size(); ++i) {
        auto* radio = new QRadioButton(labels[i]);
        group->addButton(radio, i);
        layout->addWidget(radio);
        radio->setChecked(i == checked);
    }
    layout->addStretch();
    return box;
}

QLineEdit* digitsEdit() {
    auto* edit = new QLineEdit;
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
    return edit;
}

}  // namespace tov::setup
