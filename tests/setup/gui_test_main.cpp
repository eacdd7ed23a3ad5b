// Runs the setup program's widget tests: an offscreen QApplication with its settings in a
// private configuration directory.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDir>

#include "setup/app_settings.h"

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    char pattern[] = "/tmp/tovsetup-config-XXXXXX";
    if (const char* dir = mkdtemp(pattern)) qputenv("XDG_CONFIG_HOME", dir);
    QApplication app(argc, argv);
    tov::setup::setSettingsNames();
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    QDir(pattern).removeRecursively();
    return result;
}
