// Message boxes of the setup program.
#include "setup/message_box.h"

#include "setup/tov_doc.h"

namespace tov::setup {
namespace {

MessageHook& hook() {
    static MessageHook current;
    return current;
}

}  // namespace

void setMessageHook(MessageHook replacement) {
    hook() = std::move(replacement);
}

QMessageBox::StandardButton showMessage(QWidget* parent, const MessageRequest& request) {
    MessageRequest shown = request;
    if (shown.caption.isEmpty()) shown.caption = QString::fromUtf8(kAppTitle);
    if (hook()) return hook()(shown);
    QMessageBox box(shown.icon, shown.caption, shown.text, shown.buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace tov::setup
