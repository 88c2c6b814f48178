#include "commserver/app/HistoryDialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFont>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "commserver/app/CCommsServerApp.h"
#include "commserver/app/DialogHelpers.h"
#include "platform/UiServices.h"

using namespace quendar;

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
