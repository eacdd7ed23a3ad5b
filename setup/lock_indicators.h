// The Caps Lock, Num Lock and Scroll Lock panes of the status bar.
#pragma once

#include <QLabel>
#include <QTimer>

namespace tov::setup {

// Three panes that show a lock's name while it is on; the states are read from the keyboard
// LEDs the kernel exposes (/sys/class/leds), so the panes follow the keyboard on any display.
class LockIndicators : public QObject {
    Q_OBJECT
public:
    explicit LockIndicators(QWidget* parent);
    QLabel* caps() const { return caps_; }
    QLabel* num() const { return num_; }
    QLabel* scroll() const { return scroll_; }

public slots:
    void refresh();

private:
    QLabel* caps_;
    QLabel* num_;
    QLabel* scroll_;
    QTimer timer_;
};

}  // namespace tov::setup
