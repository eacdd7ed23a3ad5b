// Long probe work inside a dialog: the wait cursor, the dialog's buttons held off so no second
// operation can start, the user's input dropped rather than queued, and the window kept
// repainting between the steps or while a worker thread does the work.
#pragma once

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEventLoop>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <QWidget>
#include <functional>
#include <utility>

#include "setup/wait_cursor.h"

namespace tov::setup {

// Drops every keyboard, mouse, wheel and touch event of the program for the length of a scope,
// so that a key pressed during long work is not acted on after it (an Escape would close the
// dialog whose result the user waited for). Paint, timer and queued events still run.
class InputDiscard : public QObject {
public:
    InputDiscard() {
        QCoreApplication::instance()->installEventFilter(this);
        ++active_;
    }
    ~InputDiscard() override {
        // Input that arrived since the last pass is taken from the queue and dropped here.
        QCoreApplication::processEvents();
        --active_;
        QCoreApplication::instance()->removeEventFilter(this);
    }
    InputDiscard(const InputDiscard&) = delete;
    InputDiscard& operator=(const InputDiscard&) = delete;

    static bool active() { return active_ > 0; }
    static bool isUserInput(QEvent::Type type);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (isUserInput(event->type())) return true;
        return QObject::eventFilter(watched, event);
    }

private:
    static inline int active_ = 0;
};

inline bool InputDiscard::isUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::InputMethod:
            return true;
        default:
            return false;
    }
}

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

    // Lets the window repaint and show what changed. Inside a busy scope the input that waited
    // meanwhile is dropped; outside one it stays queued for the program's own loop.
    static void pump() {
        QCoreApplication::processEvents(
            InputDiscard::active() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    }

private:
    WaitCursor wait_;
    InputDiscard discard_;
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

// Runs `work` on a worker thread while this thread's window repaints and its input is dropped,
// and returns its result. `work` must touch no widget; it may post to this thread.
template <typename Work>
auto runOffThread(Work&& work) -> decltype(work()) {
    using Result = decltype(work());
    Result result{};
    QThread* worker = QThread::create([&result, &work] { result = work(); });
    {
        InputDiscard discard;
        QEventLoop loop;
        QObject::connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
        worker->start();
        loop.exec();
        worker->wait();
    }
    delete worker;
    return result;
}

}  // namespace tov::setup
