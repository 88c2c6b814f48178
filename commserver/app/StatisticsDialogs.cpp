#include "commserver/app/StatisticsDialogs.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

#include "commserver/app/CCommsServerApp.h"
#include "commserver/app/DialogHelpers.h"

using namespace quendar;

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
