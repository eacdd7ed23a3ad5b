// The configuration dialog on a real X display (run under xvfb-run with QT_QPA_PLATFORM=xcb) in
// a process that has no Qt application: the library loads its Qt module only when the dialog is
// opened, the module makes the application on the checked platform, and OK writes the keys.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QRadioButton>
#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "loaded_library.h"
#include "rdi/config_table.h"

namespace tov::test {
namespace {

bool mapped(const std::string& text) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find(text) != std::string::npos) return true;
    }
    return false;
}

TEST(ConfigDialogOnDisplay, OpensThroughTheModuleAndOkWritesTheKeys) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    LoadedRdiLibrary library;
    ASSERT_TRUE(library.loaded()) << dlerror();
    EXPECT_FALSE(mapped("libtovrdi_qt.so"));
    ConfigTable config = {};
    rdi::configUpdate(&config, "SERIALPORT", "1");

    // The user: waits for the dialog on the library's own application, then works it.
    std::atomic<bool> done{false};
    std::string platform;
    std::thread user([&] {
        using namespace std::chrono_literals;
        for (int i = 0; i < 1000 && !done; ++i) {
            std::this_thread::sleep_for(20ms);
            QCoreApplication* application = QCoreApplication::instance();
            if (!application) continue;
            QMetaObject::invokeMethod(
                application,
                [&] {
                    QWidget* dialog = QApplication::activeModalWidget();
                    if (done || !dialog || !dialog->isVisible()) return;
                    done = true;
                    platform = QGuiApplication::platformName().toStdString();
                    dialog->grab().save(QStringLiteral(TOV_SCREENSHOT));
                    dialog->findChild<QRadioButton*>(QStringLiteral("116"))->setChecked(true);
                    dialog->findChild<QLineEdit*>(QStringLiteral("102"))->setText("10.1.2.3");
                    dialog->findChild<QPushButton*>(QStringLiteral("1"))->click();
                },
                Qt::QueuedConnection);
        }
    });
    const int result = library.entry<decltype(WinRDI_Config)>("WinRDI_Config")(&config, nullptr);
    done = true;
    user.join();

    EXPECT_EQ(result, 1);
    EXPECT_EQ(platform, "xcb");
    EXPECT_TRUE(mapped("libtovrdi_qt.so"));
    EXPECT_STREQ(rdi::configLookup(&config, "SERIALPORT"), "0");
    EXPECT_STREQ(rdi::configLookup(&config, "ETHERNETTARGET"), "10.1.2.3");
    rdi::configClear(&config);
}

}  // namespace
}  // namespace tov::test
