// tovsetup: converts setup files from the command line, or starts the setup program's window
// with a named file, the newest recent file or a new document.
#include <QApplication>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "setup/app_settings.h"
#include "setup/batch_mode.h"
#include "setup/main_frame.h"

namespace {

int run(int argc, char* argv[]) {
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

}  // namespace

int main(int argc, char* argv[]) {
    // Nothing may end the program without a word: the one place that says why.
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tovsetup: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "tovsetup: unexpected failure\n");
    }
    return 1;
}
