// The Qt view of the configuration dialog.
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "rdi/config_dialog.h"
#include "rdi/qt_module.h"

namespace tov::rdi {
namespace {

// Ends with Accepted without reading the controls when closed from the window's menu.
class ConfigDialog : public QDialog {
public:
    ConfigDialog(ConfigDialogModel& model, QWidget* parent) : QDialog(parent), model_(model) {
        setWindowTitle(QStringLiteral("TOV Configuration"));
        setObjectName(QStringLiteral("TovConfiguration"));
        auto* layout = new QGridLayout(this);
        static const char* channels[] = {"COM1", "COM2", "COM3", "COM4", "Network"};
        static const int channelIds[] = {123, 124, 125, 115, 116};
        static const char* speeds[] = {"9600", "19200", "38400", "57600", "115200"};
        static const int speedIds[] = {126, 127, 128, 119, 120};
        layout->addWidget(group("Channel", channels, channelIds, 5, channel_), 0, 0, 2, 1);
        layout->addWidget(group("Baudrate", speeds, speedIds, 5, speed_), 0, 1, 2, 1);
        static const char* startups[] = {"Reset", "Halt"};
        static const int startupIds[] = {1000, 1001};
        layout->addWidget(group("Startup", startups, startupIds, 2, startup_), 0, 2);
        ip_ = textField(layout, 2, "IP Address:", "102", model.networkTarget(),
                        ConfigDialogModel::kNetworkTargetCapacity);
        path_ = textField(layout, 3, "Command Path:", "103", model.commandPath(),
                          ConfigDialogModel::kCommandPathCapacity);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("1"));
        buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("2"));
        layout->addWidget(buttons, 4, 0, 1, 3);
        connect(buttons, &QDialogButtonBox::accepted, this, [this] { confirm(); });
        connect(buttons, &QDialogButtonBox::rejected, this, [this] { done(Rejected); });

        channel_.button(channelIds[model.checkedChannel()])->setChecked(true);
        speed_.button(speedIds[model.checkedSpeed()])->setChecked(true);
        startup_.button(model.haltChecked() ? 1001 : 1000)->setChecked(true);
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        event->accept();
        done(Accepted);
    }

private:
    QGroupBox* group(const char* title, const char* const* labels, const int* ids, int count,
                     QButtonGroup& buttons) {
        auto* box = new QGroupBox(QString::fromLatin1(title), this);
        auto* column = new QVBoxLayout(box);
        for (int i = 0; i < count; ++i) {
            auto* radio = new QRadioButton(QString::fromLatin1(labels[i]), box);
            radio->setObjectName(QString::number(ids[i]));
            buttons.addButton(radio, ids[i]);
            column->addWidget(radio);
        }
        return box;
    }

    // A labelled edit field that takes at most `capacity` characters, or the whole configured
    // text when that is longer already, so that nothing configured is cut by showing it.
    QLineEdit* textField(QGridLayout* layout, int row, const char* label, const char* id,
                         const std::string& text, size_t capacity) {
        layout->addWidget(new QLabel(QString::fromLatin1(label), this), row, 0);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(id));
        edit->setMaxLength(static_cast<int>(std::max(capacity, text.size())));
        edit->setText(QString::fromLocal8Bit(text.c_str()));
        layout->addWidget(edit, row, 1, 1, 2);
        return edit;
    }

    void confirm() {
        static const int channelIds[] = {123, 124, 125, 115, 116};
        static const int speedIds[] = {126, 127, 128, 119, 120};
        int channel = 4;
        for (int i = 0; i < 4; ++i) {
            if (channel_.button(channelIds[i])->isChecked()) {
                channel = i;
                break;
            }
        }
        int speed = 0;
        for (int i = 1; i < 5; ++i) {
            if (speed_.button(speedIds[i])->isChecked()) {
                speed = i;
                break;
            }
        }
        model_.confirm(channel, speed, startup_.button(1001)->isChecked(),
                       ip_->text().toLocal8Bit().toStdString(),
                       path_->text().toLocal8Bit().toStdString());
        done(Accepted);
    }

    ConfigDialogModel& model_;
    QButtonGroup channel_;
    QButtonGroup speed_;
    QButtonGroup startup_;
    QLineEdit* ip_ = nullptr;
    QLineEdit* path_ = nullptr;
};

}  // namespace

int showConfigDialog(ConfigDialogModel& model, void* parent, std::string& why) {
    if (!dialogApplication(why)) return -1;
    ConfigDialog dialog(model, static_cast<QWidget*>(parent));
    return dialog.exec() == QDialog::Accepted ? 1 : 0;
}

}  // namespace tov::rdi
