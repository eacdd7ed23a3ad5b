// tovsetup: converts setup files from the command line, or starts the setup program's window
// with a named file, the newest recent file or a new document.
#include <QApplication>
#include <string>
#include <vector>

#include "setup/app_settings.h"
#include "setup/batch_mode.h"
#include "setup/main_frame.h"

int main(int argc, char* argv[]) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    // The conversions need no display, so they run before the GUI exists.
    if (const auto code = tov::setup::runBatch(args)) return *code;

    QApplication app(argc, argv);
    tov::setup::setSettingsNames();
    tov::setup::CMainFrame frame;
    if (!frame.startUp(QApplication::arguments().mid(1))) return 1;
    frame.show();
    return QApplication::exec();
}
