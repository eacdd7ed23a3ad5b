// Shared parts of the setup program's widget tests: answered message boxes, a scratch
// directory, clean settings and screenshots into the build tree.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QWidget>
#include <deque>
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

}  // namespace tov::setup::test
