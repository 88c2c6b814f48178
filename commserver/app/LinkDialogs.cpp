#include "commserver/app/LinkDialogs.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "commserver/app/CCommsServerApp.h"
#include "commserver/app/DialogHelpers.h"

using namespace quendar;

namespace {

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

} // namespace

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
