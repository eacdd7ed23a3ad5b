// The yield of a version-150 debugger without a yield callback: one pass of the Qt event loop,
// so that a Qt debugger stays responsive while its target runs.
#include <QCoreApplication>
#include <QThread>

#include "rdi/qt_module.h"

namespace tov::rdi {

void qtEventPass() {
    QCoreApplication* application = QCoreApplication::instance();
    if (application && application->thread() == QThread::currentThread()) {
        QCoreApplication::processEvents();
    }
}

}  // namespace tov::rdi
