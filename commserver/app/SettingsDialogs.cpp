#include "commserver/app/SettingsDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "commserver/XbaseUserStore.h"
#include "commserver/app/CCommsServerApp.h"
#include "commserver/app/CMainFrame.h"
#include "commserver/app/DialogHelpers.h"
#include "platform/SerialPort.h"
#include "platform/UiServices.h"

using namespace quendar;

namespace {

const char* const kSpecialModes[] = {"Standard Mode", "Opticon PHL Mode", "Psion HC Safe Mode", "Palm/SPT Fast",
                                     "Palm/SPT V Fast"};

} // namespace

// ---------------------------------------------------------------------------------------------------------
// Settings

CSettingsDlg::CSettingsDlg(CCommsServerApp& app)
    : CServerWindow(app, QStringLiteral("QUARN Communications Settings: "), QStringLiteral("Settings")) {
    auto* top = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    cboPort = new QComboBox(this);
    // Each port with the device it stands for, and the devices this computer has, as they are now.
    for (int i = 0; i < kPortCount; ++i)
        cboPort->addItem(qs(plat::SerialPortLabel(i)));
    cboPort->setCurrentIndex(app_.settings.portNumber);
    form->addRow(QStringLiteral("Com Port:"), cboPort);
    lblSerialDevices = new QLabel(qs(plat::SerialDevicesText()), this);
    lblSerialDevices->setWordWrap(true);
    form->addRow(lblSerialDevices);
    cboDisplayMode = new QComboBox(this);
    cboDisplayMode->addItems(
        {QStringLiteral("Nothing Special"), QStringLiteral("Pop-Up When Active"), QStringLiteral("Always On Top")});
    cboDisplayMode->setCurrentIndex(app_.settings.alwaysOnTop);
    form->addRow(QStringLiteral("Activity Display:"), cboDisplayMode);
    cboModem = new QComboBox(this);
    cboModem->addItem(QStringLiteral("Direct Link"));
    for (const std::string& name : ModemTypeNames(app_.profile))
        cboModem->addItem(qs(name));
    cboModem->setCurrentIndex(app_.settings.enabledModem < cboModem->count() ? app_.settings.enabledModem : 0);
    form->addRow(QStringLiteral("Modem:"), cboModem);
    top->addLayout(form);

    grpSecurity = new QGroupBox(QStringLiteral("Security"), this);
    auto* sec = new QGridLayout(grpSecurity);
    lblSecurity = new QLabel(QStringLiteral("Security Level:"), grpSecurity);
    cboSecurity = new QComboBox(grpSecurity);
    cboSecurity->addItems({QStringLiteral("None"), QStringLiteral("Connection Password Protocol"),
                           QStringLiteral("Enhanced Connection Protocol")});
    cboSecurity->setCurrentIndex(app_.settings.securityLevel);
    lblUserTables = new QLabel(QStringLiteral("User Tables Folder:"), grpSecurity);
    txtUserTables = new QLineEdit(qs(app_.settings.userTablesPath), grpSecurity);
    sec->addWidget(lblSecurity, 0, 0);
    sec->addWidget(cboSecurity, 0, 1);
    sec->addWidget(lblUserTables, 1, 0);
    sec->addWidget(txtUserTables, 1, 1);
    top->addWidget(grpSecurity);
    if (app_.settings.securityLocked) {
        cboSecurity->setEnabled(false);
        lblSecurity->setEnabled(false);
    }
    if (app_.settings.folderLocked) {
        txtUserTables->setEnabled(false);
        lblUserTables->setEnabled(false);
    }
    if (app_.settings.securityLocked && app_.settings.folderLocked)
        grpSecurity->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    cmdAdvanced = new QPushButton(QStringLiteral("Advanced ..."), this);
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdOK->setDefault(true);
    buttons->addWidget(cmdAdvanced);
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    top->addLayout(buttons);
    connect(cmdOK, &QPushButton::clicked, this, &CSettingsDlg::OnOK);
    connect(cmdCancel, &QPushButton::clicked, this, &CServerWindow::CloseWindow);
    connect(cmdAdvanced, &QPushButton::clicked, this, &CSettingsDlg::OnAdvanced);
    setMinimumWidth(420);
}

bool CSettingsDlg::SecurityFolderAccepted() {
    const int level = app_.settings.securityLocked ? app_.settings.securityLevel : cboSecurity->currentIndex();
    if (level <= 0)
        return true;
    // The folder as it will be stored: a trailing "\" typed after an existing folder does not make it missing.
    const QString folder = app_.settings.folderLocked ? qs(app_.settings.userTablesPath) : qs(TypedUserTablesFolder());
    const QString table = QString::fromLatin1(comms::kUserTableName) + QStringLiteral(".dbf");
    QString problem;
    if (folder.isEmpty())
        problem = QStringLiteral("No user tables folder is given.");
    else if (!QFileInfo(folder).isDir())
        problem = QStringLiteral("The user tables folder ") + folder + QStringLiteral(" does not exist.");
    else if (QDir(folder).entryList({table}, QDir::Files).isEmpty())
        problem = QStringLiteral("The user tables folder ") + folder + QStringLiteral(" holds no user table (") +
                  table + QStringLiteral(").");
    if (problem.isEmpty())
        return true;
    return app_.Message((problem + QStringLiteral("\nWith security on, no remote unit can log on until the table is "
                                                  "there.\n\nSave these settings anyway?"))
                            .toStdString(),
                        plat::MB_YESNO | plat::MB_ICONEXCLAMATION | plat::MB_DEFBUTTON2) == plat::IDYES;
}

std::string CSettingsDlg::TypedUserTablesFolder() const {
    return DropTrailingSeparator(txtUserTables->text().trimmed().toStdString());
}

void CSettingsDlg::OnOK() {
    // Security that cannot work is said before anything is saved; No leaves the window open to mend it.
    if (!SecurityFolderAccepted())
        return;
    ServerSettings& s = app_.settings;
    plat::ProfileFile& ini = app_.profile;
    s.enabledModem = cboModem->currentIndex() < 0 ? 0 : cboModem->currentIndex();
    std::string failed;
    auto note = [&](bool ok) {
        if (!ok && failed.empty())
            failed = ini.LastError();
    };
    note(ini.WriteInt("Modem", "EnabledModem", s.enabledModem));
    s.previousPortNumber = s.portNumber;
    s.portNumber = cboPort->currentIndex();
    note(ini.WriteInt("Communications", "ComPort", s.portNumber));
    s.alwaysOnTop = cboDisplayMode->currentIndex();
    note(ini.WriteInt("Settings", "AlwaysOnTop", s.alwaysOnTop));
    s.modemDescription = "Direct";
    ReadModemType(s, ini);
    ReadModemCommands(s, ini);

    bool reload = false;
    if (!s.securityLocked) {
        const int level = cboSecurity->currentIndex();
        reload = reload || level != s.securityLevel;
        s.securityLevel = level;
        note(ini.WriteInt("Security", "EnforceSecurity", level));
    }
    if (!s.folderLocked) {
        s.userTablesPath = TypedUserTablesFolder();
        note(ini.WriteString("Security", "UserTablesPath", s.userTablesPath));
        reload = true;
    }
    app_.ApplySettings();
    // A new level needs the table even when the installation locks the folder.
    if (reload)
        app_.ReloadUserTables();
    if (app_.engine)
        app_.engine->PostRequest(comms::WorkerRequest::Reopen);
    if (app_.mainFrame) {
        app_.mainFrame->RefreshTrayIcon();
        app_.mainFrame->RefreshCaptions();
    }
    // The settings hold for this run either way; a file that refused them is said, so the next start is no
    // surprise.
    if (!failed.empty())
        app_.Message("The settings could not be saved: " + failed, plat::MB_OK | plat::MB_ICONEXCLAMATION);
    CloseWindow();
}

void CSettingsDlg::OnAdvanced() {
    if (app_.advancedRunning) {
        app_.Message("Advanced Link Parameters settings is already running.", plat::MB_OK | plat::MB_ICONEXCLAMATION);
        return;
    }
    app_.advancedRunning = true;
    CAdvancedDlg dlg(app_, this);
    plat::ui().execDialog(&dlg);
    app_.advancedRunning = false;
}

// ---------------------------------------------------------------------------------------------------------
// Advanced link settings

CAdvancedDlg::CAdvancedDlg(CCommsServerApp& app, QWidget* parent) : QDialog(parent), app_(app) {
    setWindowTitle(QStringLiteral("QUARN Advanced Link Settings: ") + qs(app_.PortName()));
    auto* top = new QVBoxLayout(this);
    auto* timers = new QGroupBox(QStringLiteral("Link Timers"), this);
    auto* form = new QFormLayout(timers);
    auto spin = [&](int min, int max, const char* label) {
        auto* s = new QSpinBox(timers);
        s->setRange(min, max);
        form->addRow(QString::fromLatin1(label), s);
        return s;
    };
    txtGetTimer = spin(1, 3600, "Get Packet Timer:");
    txtReceiveTimer = spin(1, 3600, "Receive Packet Timer:");
    txtAckTimer = spin(1, 3600, "Max ACK Timer:");
    txtSendTimer = spin(1, 3600, "Max Send Timer:");
    txtOpticalDelay = spin(0, 200, "Optical Link Delay:");
    top->addWidget(timers);
    const ServerSettings& s = app_.settings;
    txtGetTimer->setValue(s.getTimer);
    txtReceiveTimer->setValue(s.receiveTimer);
    txtAckTimer->setValue(s.ackTimer);
    txtSendTimer->setValue(s.sendTimer);
    txtOpticalDelay->setValue(s.opticalDelay);

    auto* modes = new QFormLayout;
    cboSpecialMode = new QComboBox(this);
    for (const char* m : kSpecialModes)
        cboSpecialMode->addItem(QString::fromLatin1(m));
    cboSpecialMode->setCurrentIndex(s.comms);
    modes->addRow(QStringLiteral("Special Mode:"), cboSpecialMode);
    chkPhantomDSR = new QCheckBox(QStringLiteral("Use Phantom DSR"), this);
    chkPhantomDSR->setChecked(s.phantomDSR);
    modes->addRow(QString(), chkPhantomDSR);
    top->addLayout(modes);

    grpTestMode = new QGroupBox(QStringLiteral("Test Mode"), this);
    auto* test = new QGridLayout(grpTestMode);
    chkCorruptData = new QCheckBox(QStringLiteral("Corrupt Data"), grpTestMode);
    chkLostData = new QCheckBox(QStringLiteral("Discard Incomming Data"), grpTestMode);
    chkCorruptData->setChecked(s.corruptData);
    chkLostData->setChecked(s.lostData);
    txtTxCorrupted = readOnlyField(grpTestMode);
    txtRxCorrupted = readOnlyField(grpTestMode);
    txtDiscarded = readOnlyField(grpTestMode);
    if (app_.engine) {
        comms::LinkLayer& link = app_.engine->Link();
        txtTxCorrupted->setText(QString::number(link.TxCorruptedPkts.load()));
        txtRxCorrupted->setText(QString::number(link.RxCorruptedBytes.load()));
        txtDiscarded->setText(QString::number(link.DiscardedBytes.load()));
    }
    test->addWidget(chkCorruptData, 0, 0);
    test->addWidget(chkLostData, 1, 0);
    test->addWidget(new QLabel(QStringLiteral("Tx Corrupted Pkts"), grpTestMode), 0, 1);
    test->addWidget(txtTxCorrupted, 0, 2);
    test->addWidget(new QLabel(QStringLiteral("Rx Corrupted Bytes"), grpTestMode), 1, 1);
    test->addWidget(txtRxCorrupted, 1, 2);
    test->addWidget(new QLabel(QStringLiteral("Discarded Bytes"), grpTestMode), 2, 1);
    test->addWidget(txtDiscarded, 2, 2);
    grpTestMode->setEnabled(app_.cmdInfo.enableTestModes);
    top->addWidget(grpTestMode);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    cmdReset = buttons->addButton(QStringLiteral("Reset"), QDialogButtonBox::ResetRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &CAdvancedDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CAdvancedDlg::reject);
    connect(cmdReset, &QPushButton::clicked, this, &CAdvancedDlg::OnReset);
    top->addWidget(buttons);
}

void CAdvancedDlg::OnReset() {
    txtAckTimer->setValue(3);
    txtGetTimer->setValue(15);
    txtSendTimer->setValue(6);
    txtReceiveTimer->setValue(4);
    txtOpticalDelay->setValue(20);
}

void CAdvancedDlg::accept() {
    const int answer = app_.Message("Changing the link timers can severly impact communications\nAre you absolutely "
                                    "sure you want to use the settings?",
                                    plat::MB_OKCANCEL | plat::MB_ICONEXCLAMATION);
    if (answer == plat::IDOK) {
        ServerSettings& s = app_.settings;
        plat::ProfileFile& ini = app_.profile;
        s.getTimer = txtGetTimer->value();
        s.receiveTimer = txtReceiveTimer->value();
        s.ackTimer = txtAckTimer->value();
        s.sendTimer = txtSendTimer->value();
        s.opticalDelay = txtOpticalDelay->value();
        s.comms = cboSpecialMode->currentIndex();
        s.corruptData = chkCorruptData->isChecked();
        s.lostData = chkLostData->isChecked();
        s.phantomDSR = chkPhantomDSR->isChecked();
        ini.WriteInt("LinkTimers", "AckTimer", s.ackTimer);
        ini.WriteInt("LinkTimers", "GetTimer", s.getTimer);
        ini.WriteInt("LinkTimers", "SendTimer", s.sendTimer);
        ini.WriteInt("LinkTimers", "ReceiveTimer", s.receiveTimer);
        ini.WriteInt("LinkTimers", "OpticalDelay", s.opticalDelay);
        ini.WriteInt("SpecialModes", "Comms", s.comms);
        ini.WriteInt("SpecialModes", "PhantomDSR", s.phantomDSR ? 1 : 0);
        ini.WriteInt("TestMode", "CorruptData", s.corruptData ? 1 : 0);
        ini.WriteInt("TestMode", "LostData", s.lostData ? 1 : 0);
        app_.ApplySettings();
    }
    QDialog::accept();
    if (app_.mainFrame)
        app_.mainFrame->RefreshCaptions();
}
