// Shared parts of the setup program's widget tests: answered message boxes, a scratch
// directory, clean settings and screenshots into the build tree.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <vector>

#include "setup/message_box.h"

namespace tov::setup::test {

class GuiTest : public testing::Test {
protected:
    void SetUp() override {
        QSettings().clear();
        setMessageHook([this](const MessageRequest& request) {
            messages.push_back(request);
            if (answers.empty()) return QMessageBox::Ok;
            const QMessageBox::StandardButton answer = answers.front();
            answers.pop_front();
            return answer;
        });
    }
    void TearDown() override { setMessageHook({}); }

    QString path(const QString& name) const { return dir.filePath(name); }
    QStringList texts() const {
        QStringList out;
        for (const MessageRequest& m : messages) out << m.text;
        return out;
    }

    // Saves a picture of the widget for a reviewer (the build tree's screenshots folder).
    // Dialogs are shrunk to their contents; windows keep their size.
    static void screenshot(QWidget& widget, const QString& name, bool fit = true) {
        QDir().mkpath(TOV_SCREENSHOT_DIR);
        widget.show();
        if (fit) widget.adjustSize();
        QApplication::processEvents();
        widget.grab().save(QString(TOV_SCREENSHOT_DIR) + "/" + name + ".png");
    }

    QTemporaryDir dir;
    std::vector<MessageRequest> messages;
    std::deque<QMessageBox::StandardButton> answers;
};

// Acts on the modal dialog once it runs. A dialog that keeps repainting while it reads the probe
// in its constructor lets the timer fire early; then it waits on until the dialog is shown.
template <typename Dialog>
void whenShown(std::function<void(Dialog&)> act, int triesLeft = 500) {
    QTimer::singleShot(triesLeft == 500 ? 0 : 10, [act, triesLeft] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dialog && triesLeft > 0) {
            whenShown<Dialog>(act, triesLeft - 1);
            return;
        }
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
    });
}

// Checks the radio button with this text.
inline void check(QWidget& dialog, const QString& text) {
    for (auto* radio : dialog.findChildren<QRadioButton*>()) {
        if (radio->text() == text) radio->setChecked(true);
    }
}

}  // namespace tov::setup::test
