// Long probe work inside a dialog: the wait cursor, the dialog's buttons held off so no second
// operation can start, and the window kept repainting between the steps.
#pragma once

#include <QAbstractButton>
#include <QCoreApplication>
#include <QList>
#include <QPointer>
#include <QWidget>

#include "setup/wait_cursor.h"

namespace tov::setup {

class BusyScope {
public:
    // Disables every enabled button of `dialog` (and the widgets in `also`) until the scope ends.
    explicit BusyScope(QWidget* dialog, const QList<QWidget*>& also = {}) {
        QList<QWidget*> widgets = also;
        for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) widgets << button;
        for (QWidget* w : widgets) {
            if (w->isEnabled()) {
                w->setEnabled(false);
                disabled_ << w;
            }
        }
        pump();
    }
    ~BusyScope() {
        for (const QPointer<QWidget>& w : disabled_) {
            if (w) w->setEnabled(true);
        }
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

    // Lets the window repaint and show what changed, without taking the user's input.
    static void pump() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

private:
    WaitCursor wait_;
    QList<QPointer<QWidget>> disabled_;
};

// Marks a dialog busy for the length of a scope, so that it refuses to close meanwhile.
class BusyFlag {
public:
    explicit BusyFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyFlag() { flag_ = false; }
    BusyFlag(const BusyFlag&) = delete;
    BusyFlag& operator=(const BusyFlag&) = delete;

private:
    bool& flag_;
};

}  // namespace tov::setup
