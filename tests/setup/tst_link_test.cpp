// The communication dialog's link test against the simulator on a pseudo-terminal, reached as
// COM1 through TOV_COM1, and against a line where nothing answers.
#include <pty.h>
#include <stdlib.h>
#include <unistd.h>

#include "gui_fixture.h"
#include "setup/comm_dialog.h"
#include "setup/connection_parameters.h"
#include "tests/support/sim_fixture.h"

namespace tov::setup::test {
namespace {

using LinkTest = GuiTest;

TEST_F(LinkTest, LinkTestReportsSuccessAndFailure) {
    tov::test::SimOnPty sim(tov::test::simAt(9600));
    ASSERT_TRUE(sim.started());
    // COM2 is a line where nothing answers.
    int master = -1;
    int slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    setenv("TOV_COM1", sim.path().c_str(), 1);
    setenv("TOV_COM2", ttyname(slave), 1);
    close(slave);

    CTovDoc doc;
    doc.comm.baudIndex = 4;
    whenShown<CCommDlg>([this](CCommDlg& d) {
        d.onTest();
        EXPECT_EQ(texts(), QStringList{"Link to TOV successful tested!"});
        EXPECT_EQ(messages.back().caption, "Communication Test");
        EXPECT_EQ(messages.back().icon, QMessageBox::Information);
        check(d, "COM2");
        d.onTest();
        EXPECT_EQ(texts().last(), "Link test failed with error -1201");
        EXPECT_EQ(messages.back().icon, QMessageBox::Warning);
        EXPECT_EQ(connectionParameters(), "COM2 115200");
        d.reject();
    });
    runCommunicationDialog(doc, nullptr);
    // Cancel after the tests: the parameters are the document's again.
    EXPECT_EQ(connectionParameters(), "COM1 115200");
    EXPECT_FALSE(doc.isModified());
    close(master);
    unsetenv("TOV_COM1");
    unsetenv("TOV_COM2");
}

}  // namespace
}  // namespace tov::setup::test
