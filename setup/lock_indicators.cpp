// Lock-state panes fed from the keyboard LEDs.
#include "setup/lock_indicators.h"

#include <QDir>
#include <QFile>

namespace tov::setup {
namespace {

// True when any keyboard's LED of this kind is lit.
bool ledOn(const QString& suffix) {
    const QDir leds("/sys/class/leds");
    for (const QString& name : leds.entryList({"*::" + suffix}, QDir::Dirs | QDir::System)) {
        QFile brightness(leds.filePath(name + "/brightness"));
        if (brightness.open(QIODevice::ReadOnly) && brightness.readAll().trimmed() != "0") {
            return true;
        }
    }
    return false;
}

QLabel* pane(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(text) + 8);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return label;
}

void show(QLabel* label, bool on) {
    label->setEnabled(on);
    label->setProperty("lockOn", on);
}

}  // namespace

LockIndicators::LockIndicators(QWidget* parent)
    : QObject(parent),
      caps_(pane("CAP", parent)),
      num_(pane("NUM", parent)),
      scroll_(pane("SCRL", parent)) {
    connect(&timer_, &QTimer::timeout, this, &LockIndicators::refresh);
    timer_.start(500);
    refresh();
}

void LockIndicators::refresh() {
    show(caps_, ledOn("capslock"));
    show(num_, ledOn("numlock"));
    show(scroll_, ledOn("scrolllock"));
}

}  // namespace tov::setup
