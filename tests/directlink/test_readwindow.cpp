// The read and update window against the simulated logger: what it shows, what each update sends, and the
// password lock.
#include "SarnicFixture.h"

#include "core/Settings.h"
#include "core/Shared.h"
#include "directlink/frmEnterPassword.h"
#include "directlink/frmSarnicRead.h"
#include "lang/LangText.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace directlink;
using Fault = SarnicSimulator::Fault;

namespace {
class ReadWindow : public SarnicFixture {
protected:
    void SetUp() override {
        SarnicFixture::SetUp();
        sim->with([](auto& s) {
            s.serial = 1012345;
            s.rates = {0x5A, 0xA5, 60, 30};
            s.days = 0x41;
            s.battery = 128;
            s.leakCode = 2;
        });
        connect();
        form = std::make_unique<frmSarnicRead>();
        form->ClockSettleMs = 0;
        ASSERT_TRUE(form->Form_Load());
        sim->clearLog();
    }
    QString text(int id) { return LoadLangString(id); }
    // The password window answers: the text typed, then Enter.
    void typePassword(const QString& typed) {
        ui.expectDialog([typed](QDialog* d) {
            auto* p = qobject_cast<frmEnterPassword*>(d);
            EXPECT_NE(p, nullptr);
            QTest::keyClicks(p->txtPassword, typed);
            QTest::keyClick(p->txtPassword, Qt::Key_Return);
            return p->result();
        });
    }
    std::unique_ptr<frmSarnicRead> form;
};
} // namespace

TEST_F(ReadWindow, ShowsWhatTheLoggerHolds) {
    EXPECT_EQ(form->windowTitle(), text(txt::ReadCaption));
    EXPECT_EQ(form->txtSerialNumber->text(), "01012345");
    EXPECT_EQ(form->txtVersionNumber->text(), QLocale().toString(1.02, 'f', 2));
    EXPECT_EQ(form->txtLeakStateRate->text(), "300") << "raw 30 at the stored scale of 10";
    EXPECT_EQ(form->txtNoLeakStateRate->text(), "600");
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(form->chkLoggingDays[i]->isChecked(), i == 0 || i == 6) << i;
    EXPECT_EQ(form->txtLeakStatus->text(), text(txt::LeakStatusLeak));
    EXPECT_EQ(form->txtBatteryVoltage->text(), QLocale().toString(2.51, 'f', 2));
    EXPECT_LE(std::abs(form->medDate->dateTime().secsTo(QDateTime::currentDateTime())), 5);
    EXPECT_EQ(form->medDate->displayFormat(), "dd MMM yyyy HH:mm:ss");
    EXPECT_EQ(form->cmdUpdate[3], nullptr);
    EXPECT_EQ(FormatBattery(std::numeric_limits<float>::infinity()), "--");
}

TEST_F(ReadWindow, UpdatesWriteAndReadBack) {
    // Default distributor: days, rates and clock go without the password.
    form->chkLoggingDays[0]->setChecked(false);
    form->chkLoggingDays[3]->setChecked(true);
    ui.expectMessage(plat::IDOK, text(txt::UpdateDone));
    form->cmdUpdate[4]->click();
    EXPECT_EQ(sim->state().days, 0x48);

    form->txtLeakStateRate->setText("2550");
    form->txtNoLeakStateRate->setText("1200");
    ui.expectMessage(plat::IDOK, text(txt::UpdateDone));
    form->cmdUpdate[2]->click();
    EXPECT_EQ(sim->state().rates, (std::array<std::uint8_t, 4>{0x5A, 0xA5, 120, 255}));
    EXPECT_EQ(form->txtLeakStateRate->text(), "2550");
    EXPECT_EQ(form->txtNoLeakStateRate->text(), "1200");

    // The reset-time button puts the PC's time in the field and writes it; the field then shows the logger's.
    sim->setClock(0);
    ui.expectMessage(plat::IDOK, text(txt::UpdateDone));
    form->ResetTime->click();
    std::int32_t now = 0;
    ASSERT_TRUE(DateTimeToLoggerTime(QDateTime::currentDateTime(), &now));
    EXPECT_NEAR(sim->clock(), now, 2);
    EXPECT_LE(std::abs(form->medDate->dateTime().secsTo(QDateTime::currentDateTime())), 2);

    typePassword("tibrun");
    form->txtSerialNumber->setText("12000001");
    ui.expectMessage(plat::IDOK, text(txt::UpdateDone));
    form->cmdUpdate[0]->click();
    EXPECT_EQ(sim->state().serial, 12000001u);
    EXPECT_EQ(form->txtSerialNumber->text(), "12000001");
}

TEST_F(ReadWindow, ThePasswordGuardsTheUpdatesTheDistributorNames) {
    struct Row {
        const char* distributor;
        std::array<bool, 5> asks; // by button index
    };
    for (const Row& r :
         {Row{"Brenholt", {true, false, false, false, false}}, Row{"Hydrosonic", {true, false, false, false, false}},
          Row{kWideLockDistributor, {true, true, true, true, false}},
          Row{"aquanet", {true, false, false, false, false}}})
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(UpdateNeedsPassword(r.distributor, i), r.asks[i]) << r.distributor << " " << i;

    // A wrong password, or a password window closed without Enter, sends nothing.
    SaveSettingText("Distributor", kWideLockDistributor);
    typePassword("Tibrun");
    ui.expectMessage(plat::IDOK, text(txt::WrongPassword));
    form->ResetTime->click();
    ui.expectDialog([](QDialog*) { return int(QDialog::Rejected); });
    ui.expectMessage(plat::IDOK, text(txt::WrongPassword));
    form->cmdUpdate[2]->click();
    EXPECT_TRUE(sim->requests().empty());
    // The logging days stay free under that distributor.
    ui.expectMessage(plat::IDOK, text(txt::UpdateDone));
    form->cmdUpdate[4]->click();
    EXPECT_FALSE(sim->requests().empty());
}

TEST_F(ReadWindow, OnlyAnEightDigitSerialIsSent) {
    // Every refused serial, seven digits too, is said to be invalid and why.
    for (const char* bad : {"1234567", "13000000", "00123456", "12ABCDEF", "1299999999", "12 4", "-1234567"}) {
        typePassword("tibrun");
        form->txtSerialNumber->setMaxLength(20);
        form->txtSerialNumber->setText(bad);
        ui.expectMessage(plat::IDOK, text(txt::BadSerial));
        ui.expectMessage(plat::IDOK, text(txt::LinkFailed));
        form->cmdUpdate[0]->click();
    }
    EXPECT_TRUE(sim->requests().empty());
    EXPECT_EQ(sim->state().serial, 1012345u);
}

TEST_F(ReadWindow, ThePasswordWindowAsksInWordsAndTakesOkAsEnterAndCancelAsEscape) {
    frmEnterPassword window;
    EXPECT_EQ(window.windowTitle(), text(txt::PasswordCaption));
    EXPECT_TRUE(window.lblPassword->text().startsWith(text(txt::PasswordCaption)));
    ASSERT_NE(window.buttons->button(QDialogButtonBox::Ok), nullptr);
    ASSERT_NE(window.buttons->button(QDialogButtonBox::Cancel), nullptr);
    QTest::keyClicks(window.txtPassword, "secret");
    window.buttons->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(window.stringPassword, "secret");

    frmEnterPassword escaped;
    QTest::keyClicks(escaped.txtPassword, "secret");
    QTest::keyClick(&escaped, Qt::Key_Escape);
    EXPECT_EQ(escaped.result(), QDialog::Rejected);
    EXPECT_TRUE(escaped.stringPassword.isEmpty());
}

TEST_F(ReadWindow, ALoggerThatStopsAnsweringLeavesTheWindowUsable) {
    sim->setFault(Fault::Drop, 100);
    form->txtLeakStateRate->setText("900");
    ui.expectMessage(plat::IDOK, text(txt::LinkFailed));
    form->cmdUpdate[2]->click();
    EXPECT_EQ(sim->state().rates[3], 30) << "nothing written";
    for (int i : {0, 1, 2, 4})
        EXPECT_TRUE(form->cmdUpdate[i]->isEnabled());
    // The link closed on the error: a second press fails at once.
    ui.expectMessage(plat::IDOK, text(txt::LinkFailed));
    form->cmdUpdate[4]->click();
}

TEST_F(ReadWindow, ALoadThatFailsShowsTheMessageAndOpensNothing) {
    frmSarnicRead other;
    sim->setFault(Fault::Drop, 100, 240);
    ui.expectMessage(plat::IDOK, text(txt::LinkFailed));
    EXPECT_FALSE(other.Form_Load());
}
