// The "TOV Configuration" dialog of the loaded library, driven as a user drives it: OK after
// changing controls, Cancel, and closing from the window menu.
#include <gtest/gtest.h>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "loaded_library.h"
#include "rdi/config_table.h"

namespace tov::test {
namespace {

// Runs WinRDI_Config and acts on the dialog once it shows.
int configureWith(const LoadedRdiLibrary& library, ConfigTable* config,
                  const std::function<void(QWidget*)>& act) {
    QTimer::singleShot(0, [act] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        act(dialog);
    });
    return library.entry<decltype(WinRDI_Config)>("WinRDI_Config")(config, nullptr);
}

template <typename T>
T* control(QWidget* dialog, const char* id) {
    T* found = dialog->findChild<T*>(QString::fromLatin1(id));
    EXPECT_NE(found, nullptr) << id;
    return found;
}

TEST(ConfigDialog, OkCancelAndClose) {
    LoadedRdiLibrary library;
    ASSERT_TRUE(library.loaded()) << dlerror();
    ConfigTable config = {};
    rdi::configUpdate(&config, "SERIALPORT", "2");
    rdi::configUpdate(&config, "SERIALLINESPEED", "57600");
    rdi::configUpdate(&config, "TOVSTARTUP", "1");

    // Closed from the window menu: 1, the values as loaded written back (default host too).
    EXPECT_EQ(
        configureWith(library, &config,
                      [](QWidget* dialog) {
                          EXPECT_EQ(dialog->windowTitle(), "TOV Configuration");
                          EXPECT_TRUE(control<QRadioButton>(dialog, "124")->isChecked());   // COM2
                          EXPECT_TRUE(control<QRadioButton>(dialog, "119")->isChecked());   // 57600
                          EXPECT_TRUE(control<QRadioButton>(dialog, "1001")->isChecked());  // Halt
                          EXPECT_EQ(control<QLineEdit>(dialog, "102")->text(), "TOV-B01");
                          EXPECT_EQ(control<QLineEdit>(dialog, "102")->maxLength(), 23);
                          EXPECT_EQ(control<QLineEdit>(dialog, "103")->maxLength(), 259);
                          control<QRadioButton>(dialog, "116")->setChecked(true);
                          dialog->close();
                      }),
        1);
    EXPECT_STREQ(rdi::configLookup(&config, "SERIALPORT"), "2");
    EXPECT_STREQ(rdi::configLookup(&config, "ETHERNETTARGET"), "TOV-B01");
    EXPECT_STREQ(rdi::configLookup(&config, "COMMANDPATH"), "");

    // Cancel: 0 and nothing written.
    EXPECT_EQ(configureWith(library, &config,
                            [](QWidget* dialog) {
                                control<QRadioButton>(dialog, "116")->setChecked(true);
                                control<QPushButton>(dialog, "2")->click();
                            }),
              0);
    EXPECT_STREQ(rdi::configLookup(&config, "SERIALPORT"), "2");

    // OK: the checked buttons become numbers, the texts are taken as typed.
    EXPECT_EQ(configureWith(library, &config,
                            [](QWidget* dialog) {
                                control<QRadioButton>(dialog, "116")->setChecked(true);
                                control<QRadioButton>(dialog, "120")->setChecked(true);
                                control<QRadioButton>(dialog, "1000")->setChecked(true);
                                control<QLineEdit>(dialog, "102")->setText("192.168.10.20");
                                control<QLineEdit>(dialog, "103")->setText("/home/user/commands/");
                                control<QPushButton>(dialog, "1")->click();
                            }),
              1);
    EXPECT_STREQ(rdi::configLookup(&config, "SERIALPORT"), "0");
    EXPECT_STREQ(rdi::configLookup(&config, "SERIALLINESPEED"), "115200");
    EXPECT_STREQ(rdi::configLookup(&config, "TOVSTARTUP"), "0");
    EXPECT_STREQ(rdi::configLookup(&config, "ETHERNETTARGET"), "192.168.10.20");
    EXPECT_STREQ(rdi::configLookup(&config, "COMMANDPATH"), "/home/user/commands/");
    rdi::configClear(&config);
}

}  // namespace
}  // namespace tov::test

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
