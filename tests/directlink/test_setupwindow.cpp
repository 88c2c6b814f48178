// The set-up window and the menu command, driven like a user would, against the simulated logger.
#include "SarnicFixture.h"

#include "core/Shared.h"
#include "lang/LangText.h"
#include "directlink/SarnicMenu.h"
#include "directlink/frmSarnicGraph.h"
#include "directlink/frmSarnicRead.h"
#include "directlink/frmSarnicSetup.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cstdlib>

using namespace directlink;
using Fault = SarnicSimulator::Fault;

namespace {
class SetupWindow : public SarnicFixture {
protected:
    QString text(int id) { return LoadLangString(id); }
    bool actionsEnabled(const frmSarnicSetup& f) {
        return f.cmdDisconnect->isEnabled() && f.cmdReadLogger->isEnabled() && f.cmdCheckSensor->isEnabled() &&
               f.cmdGetGraph->isEnabled() && f.cmdSleep->isEnabled();
    }
    bool actionsDisabled(const frmSarnicSetup& f) {
        return !f.cmdDisconnect->isEnabled() && !f.cmdReadLogger->isEnabled() && !f.cmdCheckSensor->isEnabled() &&
               !f.cmdGetGraph->isEnabled() && !f.cmdSleep->isEnabled();
    }
};
} // namespace

TEST_F(SetupWindow, ConnectAndDisconnectShowTheLinksState) {
    frmSarnicSetup f;
    EXPECT_EQ(f.windowTitle(), text(txt::SetupCaption));
    EXPECT_TRUE(f.optCOMPort[0]->isChecked());
    EXPECT_EQ(f.StatusText->text(), text(txt::StatusNotConnected));
    EXPECT_TRUE(f.cmdConnect->isEnabled());
    EXPECT_TRUE(actionsDisabled(f));

    f.cmdConnect->click();
    EXPECT_EQ(f.StatusText->text(), text(txt::StatusConnected));
    EXPECT_FALSE(f.cmdConnect->isEnabled());
    EXPECT_TRUE(actionsEnabled(f));
    EXPECT_TRUE(sim->state().awake);

    ui.expectMessage(plat::IDOK, "Already connected");
    f.cmdConnect_Click();

    // A link error closed the port behind the window's back.
    COMM_CLOSE();
    ui.expectMessage(plat::IDOK, "Already disconnected");
    f.cmdDisconnect_Click();
    EXPECT_EQ(f.StatusText->text(), text(txt::StatusNotConnected));
    EXPECT_TRUE(actionsDisabled(f));

    f.cmdConnect->click();
    f.cmdDisconnect->click();
    EXPECT_FALSE(LinkIsOpen());
    EXPECT_EQ(f.StatusText->text(), text(txt::StatusNotConnected));
}

TEST_F(SetupWindow, APortThatWillNotOpenIsTriedThreeTimes) {
    ::setenv("VORD_COM3", "/nonexistent/tty", 1);
    frmSarnicSetup f;
    f.optCOMPort[2]->setChecked(true);
    QStringList lines;
    QObject::connect(f.StatusText, &QLineEdit::textChanged, [&](const QString& t) { lines << t; });
    ui.expectMessage(plat::IDOK, text(txt::LinkFailed));
    f.cmdConnect->click();
    ::unsetenv("VORD_COM3");
    const QString connecting = text(txt::StatusConnecting);
    EXPECT_EQ(lines, (QStringList{connecting + " .", connecting + " ..", connecting + " ...",
                                  text(txt::StatusConnectFailed)}));
    EXPECT_TRUE(f.cmdConnect->isEnabled());
    EXPECT_TRUE(actionsDisabled(f));
}

TEST_F(SetupWindow, SleepPutsTheLoggerToSleepAndCloses) {
    frmSarnicSetup f;
    f.cmdConnect->click();
    ui.expectMessage(plat::IDOK, text(txt::SleepDone));
    f.cmdSleep->click();
    EXPECT_FALSE(sim->state().awake);
    EXPECT_FALSE(LinkIsOpen());
    EXPECT_EQ(f.StatusText->text(), text(txt::StatusNotConnected));
    EXPECT_TRUE(actionsDisabled(f));

    // A logger that no longer answers cannot be put to sleep.
    f.cmdConnect->click();
    sim->setFault(Fault::Drop, 100);
    ui.expectMessage(plat::IDOK, text(txt::SleepFailed));
    f.cmdSleep->click();
    EXPECT_EQ(f.StatusText->text(), text(txt::StatusNotConnected));
}

TEST_F(SetupWindow, ActionsOpenTheirWindowsWithTheButtonsOff) {
    frmSarnicSetup f;
    f.cmdConnect->click();
    QString statusDuring;
    bool buttonsOff = false;
    ui.expectDialog([&](QDialog* d) {
        auto* read = qobject_cast<frmSarnicRead*>(d);
        EXPECT_NE(read, nullptr);
        statusDuring = f.StatusText->text();
        buttonsOff = actionsDisabled(f);
        EXPECT_EQ(read->txtSerialNumber->text(), "01012345");
        return int(QDialog::Accepted);
    });
    f.cmdReadLogger->click();
    EXPECT_EQ(statusDuring, text(txt::StatusReading));
    EXPECT_TRUE(buttonsOff);
    EXPECT_EQ(f.StatusText->text(), text(txt::StatusConnected));
    EXPECT_TRUE(actionsEnabled(f));

    ui.expectDialog([&](QDialog* d) {
        EXPECT_NE(qobject_cast<frmSarnicGraph*>(d), nullptr);
        statusDuring = f.StatusText->text();
        return int(QDialog::Accepted);
    });
    f.cmdGetGraph->click();
    EXPECT_EQ(statusDuring, text(txt::StatusGraph));

    // The logger stops answering: the read window does not open, and the window shows the closed link.
    sim->setFault(Fault::Drop, 100);
    ui.expectMessage(plat::IDOK, text(txt::LinkFailed));
    f.cmdReadLogger->click();
    EXPECT_FALSE(LinkIsOpen());
    EXPECT_EQ(f.StatusText->text(), text(txt::StatusNotConnected));
    EXPECT_TRUE(actionsDisabled(f));
    // With the link gone the action is refused before any window.
    ui.expectMessage(plat::IDOK, text(txt::LinkFailed));
    f.cmdGetGraph_Click();
}

TEST_F(SetupWindow, TheMenuCommandLeavesNoPortOpen) {
    ui.expectDialog([&](QDialog* d) {
        auto* f = qobject_cast<frmSarnicSetup*>(d);
        EXPECT_NE(f, nullptr);
        f->cmdConnect->click();
        EXPECT_TRUE(LinkIsOpen());
        return int(QDialog::Accepted);
    });
    ShowSarnicSetup(nullptr);
    EXPECT_FALSE(LinkIsOpen());

    ui.expectDialog([&](QDialog* d) {
        auto* f = qobject_cast<frmSarnicSetup*>(d);
        f->cmdConnect->click();
        f->cmdClose->click();
        return f->result();
    });
    ShowSarnicSetup(nullptr);
    EXPECT_FALSE(LinkIsOpen());
}
