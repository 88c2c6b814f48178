#include "commserver/app/ServerDialogs.h"

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
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cstdio>

#include "commserver/XbaseUserStore.h"
#include "commserver/app/CCommsServerApp.h"
#include "commserver/app/CMainFrame.h"
#include "platform/AppInfo.h"
#include "platform/SerialPort.h"
#include "platform/UiServices.h"

using namespace quendar;

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QLineEdit* readOnlyField(QWidget* parent, int width = 90) {
    auto* e = new QLineEdit(parent);
    e->setReadOnly(true);
    e->setAlignment(Qt::AlignRight);
    e->setMinimumWidth(width);
    return e;
}

// What the activity and link windows show for each link status (the transfer ones name the file instead).
QString StatusText(int status) {
    static const char* const kTexts[] = {
        "No Port", "Open Failed",      "Closing Down",        "Ready",    "Link Failed", "",
        "",        "Modem Initialise", "Modem De-Initialise", "Connected"};
    return status >= 0 && status <= 9 ? QString::fromLatin1(kTexts[status]) : QString();
}

// "Receiving", "Received OK", "Sending" or "Sent OK", and the percentage of the file done.
struct TransferText {
    QString verb;
    int percent = 0;
};
TransferText DescribeTransfer(int status, const TransferView& t) {
    const bool receiving = status == comms::LinkStatus::Receiving;
    TransferText out;
    out.verb = QString::fromLatin1(receiving ? (t.completed ? "Received OK" : "Receiving")
                                             : (t.completed ? "Sent OK" : "Sending"));
    const std::uint32_t done = receiving ? t.bytesReceived : t.bytesSent;
    out.percent = t.size == 0 ? (t.completed ? 100 : 0)
                              : static_cast<int>(std::min<std::uint64_t>(100, std::uint64_t(done) * 100 / t.size));
    return out;
}

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

// ---------------------------------------------------------------------------------------------------------
// Event types and detail

CEventTypesDlg::CEventTypesDlg(int mask, const QString& title, QWidget* parent) : QDialog(parent) {
    setWindowTitle(title);
    auto* top = new QVBoxLayout(this);
    auto* outcomes = new QGroupBox(QStringLiteral("Outcome"), this);
    auto* ol = new QVBoxLayout(outcomes);
    chkSuccess = new QCheckBox(QStringLiteral("Sucessful Operations"), outcomes);
    chkFailure = new QCheckBox(QStringLiteral("Failed Operations"), outcomes);
    chkSuccess->setChecked(mask & 0x001);
    chkFailure->setChecked(mask & 0x002);
    ol->addWidget(chkSuccess);
    ol->addWidget(chkFailure);
    top->addWidget(outcomes);
    auto* types = new QGroupBox(QStringLiteral("Event Types"), this);
    auto* tl = new QGridLayout(types);
    const char* const names[] = {"Initialisation", "File Receive", "File Send",     "Clock Set",      "File Move",
                                 "File Delete",    "Program Run",  "User Connects", "Security System"};
    for (std::size_t i = 0; i < chkTypes.size(); ++i) {
        chkTypes[i] = new QCheckBox(QString::fromLatin1(names[i]), types);
        chkTypes[i]->setChecked(mask & kTypeBits[i]);
        tl->addWidget(chkTypes[i], static_cast<int>(i % 5), static_cast<int>(i / 5));
    }
    top->addWidget(types);
    // At least one outcome stays chosen: clearing the last one chooses the other.
    connect(chkSuccess, &QCheckBox::toggled, this, [this](bool on) {
        if (!on && !chkFailure->isChecked())
            chkFailure->setChecked(true);
    });
    connect(chkFailure, &QCheckBox::toggled, this, [this](bool on) {
        if (!on && !chkSuccess->isChecked())
            chkSuccess->setChecked(true);
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    top->addWidget(buttons);
}

int CEventTypesDlg::Mask() const {
    int mask = (chkSuccess->isChecked() ? 1 : 0) | (chkFailure->isChecked() ? 2 : 0);
    for (std::size_t i = 0; i < chkTypes.size(); ++i)
        if (chkTypes[i]->isChecked())
            mask |= kTypeBits[i];
    return mask;
}

CEventDetailDlg::CEventDetailDlg(const QString& time, const QString& text, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Logged Event Detail"));
    auto* form = new QFormLayout(this);
    txtTime = new QLineEdit(time, this);
    txtTime->setReadOnly(true);
    txtText = new QLineEdit(text, this);
    txtText->setReadOnly(true);
    txtText->setMinimumWidth(420);
    form->addRow(QStringLiteral("Time:"), txtTime);
    form->addRow(QStringLiteral("Event:"), txtText);
    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(ok, &QDialogButtonBox::accepted, this, &QDialog::accept);
    form->addRow(ok);
}

// ---------------------------------------------------------------------------------------------------------
// History

CHistoryDlg::CHistoryDlg(CCommsServerApp& app)
    : CServerWindow(app, QStringLiteral("QUARN Communications History Log: "), QStringLiteral("History")) {
    auto* top = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    lblFilter = new QLabel(this);
    lstEvents = new QListWidget(this);
    lstEvents->setMinimumSize(560, 300);
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    lstEvents->setFont(mono);
    left->addWidget(lblFilter);
    left->addWidget(lstEvents);
    top->addLayout(left, 1);
    auto* right = new QVBoxLayout;
    auto button = [&](const char* text) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        right->addWidget(b);
        return b;
    };
    cmdFinish = button("Finish");
    cmdStartStopLog = button("Start Log");
    cmdLogEvents = button("Log Events ...");
    cmdLogFile = button("Log File ...");
    cmdDisplay = button("Display ...");
    cmdRefresh = button("Refresh");
    cmdAutoRefresh = button("Manual Refresh");
    right->addStretch();
    top->addLayout(right);
    connect(cmdFinish, &QPushButton::clicked, this, &CServerWindow::CloseWindow);
    connect(cmdStartStopLog, &QPushButton::clicked, this, &CHistoryDlg::OnStartStopLog);
    connect(cmdLogEvents, &QPushButton::clicked, this, &CHistoryDlg::OnLogEvents);
    connect(cmdLogFile, &QPushButton::clicked, this, &CHistoryDlg::OnLogFile);
    connect(cmdDisplay, &QPushButton::clicked, this, &CHistoryDlg::OnDisplay);
    connect(cmdRefresh, &QPushButton::clicked, this, [this] { Rebuild(true); });
    connect(cmdAutoRefresh, &QPushButton::clicked, this, &CHistoryDlg::OnAutoRefresh);
    connect(lstEvents, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { OnDetail(lstEvents->row(item)); });
    refreshTimer.setInterval(2000);
    connect(&refreshTimer, &QTimer::timeout, this, [this] { Rebuild(false); });
    connect(this, &QDialog::finished, &refreshTimer, &QTimer::stop);
    refreshTimer.start();
    ShowLogButton();
    Rebuild(true);
}

void CHistoryDlg::ShowLogButton() {
    cmdStartStopLog->setVisible(!app_.settings.logFile.empty());
    cmdStartStopLog->setText(app_.settings.logStatus == 1 ? QStringLiteral("Stop Log") : QStringLiteral("Start Log"));
}

void CHistoryDlg::Rebuild(bool force) {
    const std::uint32_t counter = app_.history.ChangeCounter();
    if (!force && counter == shownCounter_)
        return;
    // The snapshot is taken under the ring's lock, so a half-moved ring is never shown.
    const comms::HistoryLog::Entries entries = app_.history.Snapshot();
    shownCounter_ = counter;
    const int view = app_.settings.viewTypes;
    lblFilter->setText(qs(comms::ViewFilterDescription(view)));
    lstEvents->clear();
    shown_.clear();
    for (const comms::HistoryEntry& e : entries) {
        if (e.text.empty() || !comms::ViewTypesSelect(view, e.code))
            continue;
        const QString time = qs(comms::FormatEventTime(e.time));
        shown_.emplace_back(time, qs(e.text));
        lstEvents->addItem(time + u' ' + qs(e.text));
    }
    if (lstEvents->count() > 0)
        lstEvents->setCurrentRow(lstEvents->count() - 1);
}

void CHistoryDlg::OnStartStopLog() {
    app_.settings.logStatus = app_.settings.logStatus == 1 ? 0 : 1;
    app_.profile.WriteInt("HistoryDisplay", "LogStatus", app_.settings.logStatus);
    app_.ApplySettings();
    ShowLogButton();
}

void CHistoryDlg::OnLogEvents() {
    CEventTypesDlg dlg(app_.settings.logTypes, QStringLiteral("History File Log Event Types"), this);
    if (plat::ui().execDialog(&dlg) != QDialog::Accepted)
        return;
    app_.settings.logTypes = dlg.Mask();
    app_.profile.WriteInt("HistoryDisplay", "LogTypes", app_.settings.logTypes);
    app_.ApplySettings();
}

void CHistoryDlg::OnLogFile() {
    plat::FileDialogRequest req;
    req.parent = this;
    req.title = QStringLiteral("Log File");
    req.fileName = qs(app_.settings.logFile);
    req.filter = QStringLiteral("Log Files (*.Log);;Text Files (*.txt);;All Files (*)");
    req.defaultSuffix = QStringLiteral("Log");
    const QString chosen = plat::ui().saveFileName(req);
    if (chosen.isEmpty())
        return;
    app_.settings.logFile = chosen.toStdString().substr(0, 256);
    app_.settings.logStatus = 1;
    app_.profile.WriteString("HistoryDisplay", "LogFile", app_.settings.logFile);
    app_.profile.WriteInt("HistoryDisplay", "LogStatus", 1);
    app_.ApplySettings();
    ShowLogButton();
}

void CHistoryDlg::OnDisplay() {
    CEventTypesDlg dlg(app_.settings.viewTypes, QStringLiteral("History View Event Types"), this);
    if (plat::ui().execDialog(&dlg) != QDialog::Accepted)
        return;
    app_.settings.viewTypes = dlg.Mask();
    app_.profile.WriteInt("HistoryDisplay", "ViewTypes", app_.settings.viewTypes);
    app_.ApplySettings();
    Rebuild(true);
}

void CHistoryDlg::OnAutoRefresh() {
    if (refreshTimer.isActive()) {
        refreshTimer.stop();
        cmdAutoRefresh->setText(QStringLiteral("Auto Refresh"));
    } else {
        refreshTimer.start();
        cmdAutoRefresh->setText(QStringLiteral("Manual Refresh"));
    }
}

void CHistoryDlg::OnDetail(int row) {
    if (row < 0 || row >= static_cast<int>(shown_.size()))
        return;
    CEventDetailDlg dlg(shown_[static_cast<std::size_t>(row)].first, shown_[static_cast<std::size_t>(row)].second,
                        this);
    plat::ui().execDialog(&dlg);
}

// ---------------------------------------------------------------------------------------------------------
// Diagnostics

namespace {
struct CounterLabel {
    const char* label;
    comms::LinkCounter counter;
};
constexpr CounterLabel kCounterLabels[19] = {
    {"RX Bytes", comms::LinkCounter::RxBytes},
    {"TX Bytes", comms::LinkCounter::TxBytes},
    {"RX Good Packets", comms::LinkCounter::RxGoodPackets},
    {"RX Bad Packets", comms::LinkCounter::RxBadPackets},
    {"TX Good Packets", comms::LinkCounter::TxGoodPackets},
    {"TX Retransmissions", comms::LinkCounter::TxRetransmissions},
    {"Protocol Errors", comms::LinkCounter::ProtocolErrors},
    {"Failed Links", comms::LinkCounter::FailedLinks},
    {"Good Received Files", comms::LinkCounter::GoodReceivedFiles},
    {"Receive File Failures", comms::LinkCounter::ReceiveFileFailures},
    {"Good Sent Files", comms::LinkCounter::GoodSentFiles},
    {"Send File Failures", comms::LinkCounter::SendFileFailures},
    {"Clock Sets", comms::LinkCounter::ClockSets},
    {"Good Program Runs", comms::LinkCounter::GoodProgramRuns},
    {"Failed Program Runs", comms::LinkCounter::FailedProgramRuns},
    {"Good File Deletes", comms::LinkCounter::GoodFileDeletes},
    {"Failed File Deletes", comms::LinkCounter::FailedFileDeletes},
    {"Good File Moves", comms::LinkCounter::GoodFileMoves},
    {"Failed File Moves", comms::LinkCounter::FailedFileMoves},
};

void setLamp(QLabel* lamp, bool on) {
    lamp->setStyleSheet(on ? QStringLiteral("background:#2fd24a; border:1px solid #225; border-radius:7px;")
                           : QStringLiteral("background:#3a4a3a; border:1px solid #225; border-radius:7px;"));
    lamp->setProperty("lit", on);
}
} // namespace

CDiagnosticsDlg::CDiagnosticsDlg(CCommsServerApp& app)
    : CServerWindow(app, QStringLiteral("QUARN Communications Port Diagnostics: "), QStringLiteral("Diagnostics")) {
    auto* top = new QVBoxLayout(this);
    auto* counters = new QGroupBox(QStringLiteral("Link Statistics"), this);
    auto* grid = new QGridLayout(counters);
    for (int i = 0; i < 19; ++i) {
        txtCounters[static_cast<std::size_t>(i)] = readOnlyField(counters);
        const int col = (i / 10) * 2;
        grid->addWidget(new QLabel(QString::fromLatin1(kCounterLabels[i].label), counters), i % 10, col);
        grid->addWidget(txtCounters[static_cast<std::size_t>(i)], i % 10, col + 1);
    }
    top->addWidget(counters);

    auto* lines = new QGroupBox(QStringLiteral("Modem Lines"), this);
    auto* ll = new QHBoxLayout(lines);
    const char* const lampNames[] = {"Carrier Detect", "DSR", "CTS", "Ring Indicator"};
    for (std::size_t i = 0; i < lamps.size(); ++i) {
        lamps[i] = new QLabel(lines);
        lamps[i]->setFixedSize(14, 14);
        setLamp(lamps[i], false);
        auto* label = new QLabel(QString::fromLatin1(lampNames[i]), lines);
        if (i == 1)
            lblDsr = label;
        ll->addWidget(lamps[i]);
        ll->addWidget(label);
        ll->addSpacing(10);
    }
    top->addWidget(lines);

    auto* through = new QGroupBox(QStringLiteral("Throughput"), this);
    auto* tl = new QGridLayout(through);
    auto slider = [&](const char* label, int row, QLabel*& percent) {
        auto* s = new QSlider(Qt::Horizontal, through);
        s->setRange(0, kSliderMax);
        s->setEnabled(false);
        percent = new QLabel(QStringLiteral("  0%"), through);
        tl->addWidget(new QLabel(QString::fromLatin1(label), through), row, 0);
        tl->addWidget(s, row, 1);
        tl->addWidget(percent, row, 2);
        return s;
    };
    sldTx = slider("TX Throughput", 0, lblTxPercent);
    sldRx = slider("RX Throughput", 1, lblRxPercent);
    top->addWidget(through);
    cmdReset = new QPushButton(QStringLiteral("Reset"), this);
    auto* finish = new QPushButton(QStringLiteral("OK"), this);
    auto* bl = new QHBoxLayout;
    bl->addWidget(cmdReset);
    bl->addStretch();
    bl->addWidget(finish);
    top->addLayout(bl);
    connect(cmdReset, &QPushButton::clicked, this, &CDiagnosticsDlg::OnReset);
    connect(finish, &QPushButton::clicked, this, &CServerWindow::CloseWindow);
    refreshTimer.setInterval(250);
    connect(&refreshTimer, &QTimer::timeout, this, &CDiagnosticsDlg::Refresh);
    connect(this, &QDialog::finished, &refreshTimer, &QTimer::stop);
    refreshTimer.start();
    Refresh();
}

double CDiagnosticsDlg::Rate(const std::array<std::uint32_t, 5>& history) {
    if (history[4] < history[0])
        return 0.0;
    return static_cast<double>(history[4] - history[0]) / 4.0;
}

void CDiagnosticsDlg::Refresh() {
    if (app_.closing || !app_.engine)
        return;
    lblDsr->setText(app_.settings.phantomDSR ? QStringLiteral("DSR (Phantom)") : QStringLiteral("DSR"));
    comms::LinkLayer& link = app_.engine->Link();
    const std::uint32_t change = link.statistics.ChangeCount();
    if (change != shownChange_) {
        for (int i = 0; i < 19; ++i) {
            const std::uint32_t v = link.statistics.Get(kCounterLabels[i].counter);
            auto idx = static_cast<std::size_t>(i);
            if (shownChange_ == 0xFFFFFFFFu || v != shown_[idx]) {
                txtCounters[idx]->setText(QString::number(v));
                shown_[idx] = v;
            }
        }
        shownChange_ = change;
    }
    const int sample = app_.engine->ModemSample();
    setLamp(lamps[0], sample & 0x80);
    setLamp(lamps[1], sample & 0x20);
    setLamp(lamps[2], sample & 0x10);
    setLamp(lamps[3], sample & 0x40);
    const double maxRate = static_cast<double>(app_.settings.LineBaud()) / 10.0;
    auto show = [&](const std::array<std::uint32_t, 5>& h, QSlider* s, QLabel* percent) {
        const double rate = Rate(h);
        s->setValue(static_cast<int>(std::min(rate, static_cast<double>(kSliderMax))));
        char buf[32];
        std::snprintf(buf, sizeof buf, "%3.0lf%%", maxRate > 0 ? rate * 100.0 / maxRate : 0.0);
        percent->setText(QString::fromLatin1(buf));
    };
    show(app_.engine->TxHistory(), sldTx, lblTxPercent);
    show(app_.engine->RxHistory(), sldRx, lblRxPercent);
}

void CDiagnosticsDlg::OnReset() {
    if (!app_.engine)
        return;
    app_.engine->Link().ResetLinkStatistics();
    app_.engine->ResetHistories();
    Refresh();
}

// ---------------------------------------------------------------------------------------------------------
// RS232 errors

CRs232Dlg::CRs232Dlg(CCommsServerApp& app)
    : CServerWindow(app, QStringLiteral("QUARN RS232 Port Errors: "), QStringLiteral("RS232ErrorDisplay")) {
    auto* top = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    const char* const names[] = {"Overrun Errors", "Parity Errors", "Framing errors", "Break Detects"};
    for (std::size_t i = 0; i < txtErrors.size(); ++i) {
        txtErrors[i] = readOnlyField(this);
        form->addRow(QString::fromLatin1(names[i]), txtErrors[i]);
    }
    top->addLayout(form);
    cmdReset = new QPushButton(QStringLiteral("Reset"), this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* bl = new QHBoxLayout;
    bl->addWidget(cmdReset);
    bl->addStretch();
    bl->addWidget(ok);
    top->addLayout(bl);
    connect(cmdReset, &QPushButton::clicked, this, [this] {
        if (app_.engine)
            app_.engine->Link().ResetLineErrorCounts();
        Refresh();
    });
    connect(ok, &QPushButton::clicked, this, &CServerWindow::CloseWindow);
    refreshTimer.setInterval(250);
    connect(&refreshTimer, &QTimer::timeout, this, &CRs232Dlg::Refresh);
    connect(this, &QDialog::finished, &refreshTimer, &QTimer::stop);
    refreshTimer.start();
    Refresh();
}

void CRs232Dlg::Refresh() {
    if (!app_.engine || app_.closing)
        return;
    const comms::LineErrorCounts& e = app_.engine->Link().lineErrors;
    if (e.ChangeCount() == shownChange_)
        return;
    shownChange_ = e.ChangeCount();
    const comms::LineError kinds[] = {comms::LineError::Overrun, comms::LineError::Parity, comms::LineError::Framing,
                                      comms::LineError::Break};
    for (std::size_t i = 0; i < txtErrors.size(); ++i)
        txtErrors[i]->setText(QString::number(e.Get(kinds[i])));
}

// ---------------------------------------------------------------------------------------------------------
// Link information

CLinkInfoDlg::CLinkInfoDlg(CCommsServerApp& app)
    : CServerWindow(app, QStringLiteral("QUARN Link Information: "), QStringLiteral("Link Info")) {
    auto* top = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    txtBaud = readOnlyField(this);
    txtDataBits = readOnlyField(this);
    txtParity = readOnlyField(this);
    txtStopBits = readOnlyField(this);
    txtDriver = readOnlyField(this);
    form->addRow(QStringLiteral("Baud Rate:"), txtBaud);
    form->addRow(QStringLiteral("Data Bits:"), txtDataBits);
    form->addRow(QStringLiteral("Parity:"), txtParity);
    form->addRow(QStringLiteral("Stop Bits:"), txtStopBits);
    form->addRow(QStringLiteral("Driver:"), txtDriver);
    top->addLayout(form);

    auto* live = new QGroupBox(QStringLiteral("Link"), this);
    auto* liveForm = new QFormLayout(live);
    txtStatus = readOnlyField(live, 240);
    txtStatus->setAlignment(Qt::AlignLeft);
    txtUser = readOnlyField(live, 240);
    txtUser->setAlignment(Qt::AlignLeft);
    txtFile = readOnlyField(live, 240);
    txtFile->setAlignment(Qt::AlignLeft);
    prgFile = new QProgressBar(live);
    prgFile->setRange(0, 100);
    txtRxBytes = readOnlyField(live);
    txtTxBytes = readOnlyField(live);
    liveForm->addRow(QStringLiteral("Status:"), txtStatus);
    liveForm->addRow(QStringLiteral("User:"), txtUser);
    liveForm->addRow(QStringLiteral("File:"), txtFile);
    liveForm->addRow(QStringLiteral("Progress:"), prgFile);
    liveForm->addRow(QStringLiteral("RX Bytes:"), txtRxBytes);
    liveForm->addRow(QStringLiteral("TX Bytes:"), txtTxBytes);
    top->addWidget(live);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    connect(ok, &QPushButton::clicked, this, &CServerWindow::CloseWindow);
    top->addWidget(ok, 0, Qt::AlignRight);
    Refresh();
    // The byte counts move without a status change, so a timer keeps them current between notifications.
    refreshTimer.setInterval(250);
    connect(&refreshTimer, &QTimer::timeout, this, &CLinkInfoDlg::RefreshLink);
    refreshTimer.start();
}

void CLinkInfoDlg::Refresh() {
    txtBaud->setText(QString::number(app_.settings.LineBaud()));
    txtDataBits->setText(QStringLiteral("8"));
    txtParity->setText(QStringLiteral("None"));
    txtStopBits->setText(QStringLiteral("1"));
    txtDriver->setText(QStringLiteral("32 Bit"));
    RefreshLink();
}

void CLinkInfoDlg::RefreshLink() {
    if (!app_.engine || app_.closing.load())
        return;
    const int status = app_.engine->UiStatus();
    const TransferView t = app_.engine->View().transfer;
    const bool moving = status == comms::LinkStatus::Receiving || status == comms::LinkStatus::Sending;
    if (moving) {
        const TransferText text = DescribeTransfer(status, t);
        txtStatus->setText(text.verb);
        prgFile->setValue(text.percent);
    } else {
        txtStatus->setText(StatusText(status));
        prgFile->setValue(0);
    }
    // The last file stays named after its transfer ended, until the next one starts.
    txtFile->setText(qs(t.fileName));
    const comms::HistoryLog::SessionNames names = app_.engine->SessionNames();
    txtUser->setText(names.userName.empty() ? QString()
                                            : qs(names.userName) + QStringLiteral(" (") + qs(names.fullName) + u')');
    const comms::LinkStatistics& stats = app_.engine->Link().statistics;
    txtRxBytes->setText(QString::number(stats.Get(comms::LinkCounter::RxBytes)));
    txtTxBytes->setText(QString::number(stats.Get(comms::LinkCounter::TxBytes)));
}

// ---------------------------------------------------------------------------------------------------------
// Activity

CActivityDlg::CActivityDlg(CCommsServerApp& app)
    : CServerWindow(app, QStringLiteral("QUARN Comms Activity: "), QStringLiteral("Progress")) {
    auto* top = new QVBoxLayout(this);
    lblStatus = new QLabel(this);
    lblStatus->setMinimumWidth(340);
    prgTransfer = new QProgressBar(this);
    prgTransfer->setRange(0, 100);
    top->addWidget(lblStatus);
    top->addWidget(prgTransfer);
    OnStatusChanged();
}

QString CActivityDlg::ShortName(const QString& name) {
    if (name.size() <= 30)
        return name;
    return name.left(7) + QStringLiteral("...") + name.right(20);
}

void CActivityDlg::OnStatusChanged() {
    const int status = app_.engine ? app_.engine->UiStatus() : comms::LinkStatus::NoPort;
    if (status == comms::LinkStatus::Receiving || status == comms::LinkStatus::Sending) {
        const TransferView t = app_.engine->View().transfer;
        const TransferText text = DescribeTransfer(status, t);
        lblStatus->setText(text.verb + u' ' + ShortName(qs(t.fileName)));
        prgTransfer->setValue(text.percent);
        prgTransfer->setVisible(true);
    } else {
        lblStatus->setText(StatusText(status));
        prgTransfer->setVisible(false);
    }
}

// ---------------------------------------------------------------------------------------------------------
// About and banner

CAboutDlg::CAboutDlg(CCommsServerApp& app)
    : CServerWindow(app, QStringLiteral("About QUARN Communications: "), QStringLiteral("About")) {
    auto* top = new QVBoxLayout(this);
    lblProduct = new QLabel(QStringLiteral("QUARN Communications Server"), this);
    QFont f = lblProduct->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 2);
    lblProduct->setFont(f);
    lblVersion = new QLabel(QStringLiteral("Version %1.%2.%3")
                                .arg(plat::versionMajor())
                                .arg(plat::versionMinor())
                                .arg(plat::versionRevision()),
                            this);
    top->addWidget(lblProduct);
    top->addWidget(lblVersion);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    connect(ok, &QPushButton::clicked, this, &CServerWindow::CloseWindow);
    top->addWidget(ok, 0, Qt::AlignRight);
}

namespace {
class BannerPicture : public QWidget {
public:
    using QWidget::QWidget;
    QSize sizeHint() const override { return {360, 140}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QLinearGradient g(0, 0, width(), height());
        g.setColorAt(0, QColor(30, 50, 100));
        g.setColorAt(1, QColor(70, 120, 190));
        p.fillRect(rect(), g);
        p.setPen(Qt::white);
        QFont f = font();
        f.setPixelSize(26);
        f.setBold(true);
        p.setFont(f);
        p.drawText(rect().adjusted(0, 0, 0, -30), Qt::AlignCenter, QStringLiteral("QUARN"));
        f.setPixelSize(14);
        f.setBold(false);
        p.setFont(f);
        p.drawText(rect().adjusted(0, 40, 0, 0), Qt::AlignCenter, QStringLiteral("Communications Server"));
    }
};
} // namespace

CBannerDlg::CBannerDlg(QWidget* parent) : QDialog(parent, Qt::FramelessWindowHint | Qt::Dialog) {
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->addWidget(new BannerPicture(this));
    QTimer::singleShot(1500, this, &QDialog::accept);
}
