// The set-up window and the menu command, driven like a user would, against the simulated logger.
#include "SarnicFixture.h"

#include "core/Shared.h"
#include "directlink/SarnicMenu.h"
#include "directlink/frmEnterPassword.h"
#include "directlink/frmSarnicGraph.h"
#include "directlink/frmSarnicRead.h"
#include "directlink/frmSarnicSensor.h"
#include "directlink/frmSarnicSetup.h"
#include "lang/LangText.h"
#include "platform/SettingsStore.h"

#include <QFontMetrics>
#include <QLabel>
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
    // The attention bytes reach the simulated logger on its own thread, after the click has returned.
    EXPECT_TRUE(pumpUntil([&] { return sim->state().awake; }));

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

TEST_F(SetupWindow, PortChoicesNameTheirDevicesAndAMappingChangeNeedsNoRestart) {
    // COM2 is not mapped by the run's environment: it names the usual device.
    const ScopedEnv unmapped("VORD_COM2", QByteArray());
    const QString first = QString::fromLocal8Bit(std::getenv("VORD_COM1"));
    ASSERT_FALSE(first.isEmpty());
    plat::settings::remove(QStringLiteral("SerialPorts"));
    {
        frmSarnicSetup f;
        EXPECT_EQ(f.optCOMPort[0]->text(), QStringLiteral("COM1 - ") + first);
        EXPECT_EQ(f.optCOMPort[1]->text(), QStringLiteral("COM2 - /dev/ttyS1"));
        EXPECT_TRUE(f.lblSerialDevices->text().contains(QStringLiteral("[Ports]"))) << "says how to map a port";
    }
    ASSERT_TRUE(plat::settings::save(QStringLiteral("SerialPorts"), QStringLiteral("Ports"), QStringLiteral("COM2"),
                                     QStringLiteral("/dev/ttyUSB7")));
    frmSarnicSetup again;
    EXPECT_EQ(again.optCOMPort[1]->text(), QStringLiteral("COM2 - /dev/ttyUSB7"));
    plat::settings::remove(QStringLiteral("SerialPorts"));
}

TEST_F(SetupWindow, EveryLinkWindowIsWideEnoughForItsCaption) {
    frmSarnicSetup setup;
    frmSarnicSensor sensor;
    frmSarnicGraph graph;
    frmSarnicRead read;
    frmEnterPassword password;
    for (QWidget* w : std::initializer_list<QWidget*>{&setup, &sensor, &graph, &read, &password}) {
        SCOPED_TRACE(w->windowTitle().toStdString());
        ASSERT_FALSE(w->windowTitle().isEmpty());
        QFont bold = w->font();
        bold.setBold(true);
        EXPECT_GT(w->minimumWidth(), QFontMetrics(bold).horizontalAdvance(w->windowTitle()) + 60);
    }
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
