// The yield of a version-150 debugger without a yield callback: one pass of the Qt event loop,
// so that a Qt debugger stays responsive while its target runs.
#include <QCoreApplication>
#include <QThread>

#include "rdi/rdi_session.h"

namespace tov::rdi {
namespace {

void qtEventPass() {
    QCoreApplication* application = QCoreApplication::instance();
    if (application && application->thread() == QThread::currentThread()) {
        QCoreApplication::processEvents();
    }
}

[[maybe_unused]] const bool installed = (session().setEventPass(qtEventPass), true);

}  // namespace
}  // namespace tov::rdi
