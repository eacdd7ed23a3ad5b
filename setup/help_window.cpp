// Help Topics: the program's help page in a text browser.
#include "setup/help_window.h"

#include <QDialog>
#include <QPointer>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "setup/program_icon.h"

namespace tov::setup {

void showHelpWindow(QWidget* parent) {
    static QPointer<QDialog> window;
    ensureResources();
    if (!window) {
        window = new QDialog(parent);
        window->setObjectName("helpWindow");
        window->setWindowTitle("TOV-B Setup for ARM11 Help");
        window->setAttribute(Qt::WA_DeleteOnClose);
        auto* browser = new QTextBrowser;
        browser->setOpenExternalLinks(true);
        browser->setSource(QUrl("qrc:/tovsetup/help.html"));
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(browser);
        window->resize(620, 520);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace tov::setup
