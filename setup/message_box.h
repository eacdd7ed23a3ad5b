// The program's message boxes, through one function that tests can replace to answer them.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

namespace tov::setup {

// What a message box shows: its text, caption, icon and buttons.
struct MessageRequest {
    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::Information;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};

// Shows a modal message box and gives the button pressed. An empty caption is the program's.
QMessageBox::StandardButton showMessage(QWidget* parent, const MessageRequest& request);

// Replaces the message box (for tests); an empty function restores it.
using MessageHook = std::function<QMessageBox::StandardButton(const MessageRequest&)>;
void setMessageHook(MessageHook hook);

}  // namespace tov::setup
