#include "directlink/frmSarnicSetup.h"

#include "core/Shared.h"
#include "directlink/Com32.h"
#include "directlink/SarnicComms.h"
#include "directlink/frmSarnicGraph.h"
#include "directlink/frmSarnicRead.h"
#include "directlink/frmSarnicSensor.h"
#include "lang/LangText.h"
#include "platform/QtUi.h"
#include "platform/SerialPort.h"
#include "platform/UiServices.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace directlink;

frmSarnicSetup::frmSarnicSetup(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmSarnicSetup"));
    framePort = new QGroupBox(this);
    auto* ports = new QHBoxLayout(framePort);
    for (int i = 0; i < 4; ++i) {
        optCOMPort[i] = new QRadioButton(QStringLiteral("COM%1").arg(i + 1), framePort);
        ports->addWidget(optCOMPort[i]);
    }
    optCOMPort[0]->setChecked(true);
    cmdConnect = new QPushButton(this);
    cmdDisconnect = new QPushButton(this);
    cmdReadLogger = new QPushButton(this);
    cmdCheckSensor = new QPushButton(this);
    cmdGetGraph = new QPushButton(this);
    cmdSleep = new QPushButton(this);
    cmdClose = new QPushButton(this);
    frameStatus = new QGroupBox(this);
    StatusText = new QLineEdit(frameStatus);
    StatusText->setReadOnly(true);
    StatusText->setObjectName(QStringLiteral("StatusText"));
    auto* st = new QVBoxLayout(frameStatus);
    st->addWidget(StatusText);

    auto* g = new QGridLayout;
    g->addWidget(cmdConnect, 0, 0);
    g->addWidget(cmdDisconnect, 0, 1);
    g->addWidget(cmdReadLogger, 1, 0);
    g->addWidget(cmdCheckSensor, 1, 1);
    g->addWidget(cmdGetGraph, 2, 0);
    g->addWidget(cmdSleep, 2, 1);
    auto* v = new QVBoxLayout(this);
    v->addWidget(framePort);
    lblSerialDevices = new QLabel(this);
    lblSerialDevices->setObjectName(QStringLiteral("lblSerialDevices"));
    lblSerialDevices->setWordWrap(true);
    v->addWidget(lblSerialDevices);
    v->addLayout(g);
    v->addWidget(frameStatus);
    v->addWidget(cmdClose, 0, Qt::AlignRight);
    setMinimumWidth(380);

    connect(cmdConnect, &QPushButton::clicked, this, &frmSarnicSetup::cmdConnect_Click);
    connect(cmdDisconnect, &QPushButton::clicked, this, &frmSarnicSetup::cmdDisconnect_Click);
    connect(cmdReadLogger, &QPushButton::clicked, this, &frmSarnicSetup::cmdReadLogger_Click);
    connect(cmdCheckSensor, &QPushButton::clicked, this, &frmSarnicSetup::cmdCheckSensor_Click);
    connect(cmdGetGraph, &QPushButton::clicked, this, &frmSarnicSetup::cmdGetGraph_Click);
    connect(cmdSleep, &QPushButton::clicked, this, &frmSarnicSetup::cmdSleep_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmSarnicSetup::cmdClose_Click);
    Form_Load();
}

void frmSarnicSetup::letEventsRun() {
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void frmSarnicSetup::Form_Load() {
    setWindowTitle(LoadLangString(txt::SetupCaption));
    plat::fitCaption(this);
    framePort->setTitle(LoadLangString(txt::PortFrame));
    for (int i = 0; i < 4; ++i)
        optCOMPort[i]->setText(QString::fromStdString(plat::SerialPortLabel(i)));
    lblSerialDevices->setText(QString::fromStdString(plat::SerialDevicesText()));
    cmdConnect->setText(LoadLangString(txt::Connect));
    cmdDisconnect->setText(LoadLangString(txt::Disconnect));
    cmdReadLogger->setText(LoadLangString(txt::ReadLogger));
    cmdCheckSensor->setText(LoadLangString(txt::CheckSensor));
    cmdGetGraph->setText(LoadLangString(txt::GetGraph));
    cmdSleep->setText(LoadLangString(txt::Sleep));
    cmdClose->setText(LoadLangString(txt::SetupClose));
    frameStatus->setTitle(LoadLangString(txt::BadStatus));
    RefreshLinkStatus();
}

void frmSarnicSetup::DisableActionButtons() {
    for (QPushButton* b : {cmdDisconnect, cmdReadLogger, cmdCheckSensor, cmdGetGraph, cmdSleep})
        b->setEnabled(false);
}

void frmSarnicSetup::EnableActionButtons() {
    for (QPushButton* b : {cmdDisconnect, cmdReadLogger, cmdCheckSensor, cmdGetGraph, cmdSleep})
        b->setEnabled(true);
}

void frmSarnicSetup::RefreshLinkStatus() {
    if (LinkIsOpen()) {
        cmdConnect->setEnabled(false);
        EnableActionButtons();
        StatusText->setText(LoadLangString(txt::StatusConnected));
        letEventsRun();
    } else {
        cmdConnect->setEnabled(true);
        DisableActionButtons();
        StatusText->setText(LoadLangString(txt::StatusNotConnected));
    }
}

void frmSarnicSetup::cmdConnect_Click() {
    if (connecting_)
        return;
    QString dots = QStringLiteral(" .");
    int attempts = 3;
    if (LinkIsOpen()) {
        ShowMessage(QStringLiteral("Already connected"));
        return;
    }
    connecting_ = true;
    cmdConnect->setEnabled(false);
    bool success = false;
    while (attempts > 0 && !success) {
        {
            plat::WaitCursor busy;
            StatusText->setText(LoadLangString(txt::StatusConnecting) + dots);
            letEventsRun();
            for (int i = 0; i < 4; ++i) {
                if (optCOMPort[i]->isChecked()) {
                    success = LinkConnect(static_cast<std::int16_t>(i + 1));
                    break;
                }
            }
        }
        --attempts;
        dots += u'.';
        // The window was closed while we tried: leave nothing open behind it.
        if (unloaded_) {
            COMM_CLOSE();
            connecting_ = false;
            return;
        }
    }
    connecting_ = false;
    if (success) {
        RefreshLinkStatus();
        StatusText->setText(LoadLangString(txt::StatusConnected));
        return;
    }
    cmdConnect->setEnabled(true);
    ShowMessage(LoadLangString(txt::LinkFailed));
    StatusText->setText(LoadLangString(txt::StatusConnectFailed));
}

void frmSarnicSetup::cmdDisconnect_Click() {
    if (LinkIsOpen()) {
        COMM_CLOSE();
        StatusText->setText(LoadLangString(txt::StatusNotConnected));
    } else {
        ShowMessage(QStringLiteral("Already disconnected"));
    }
    RefreshLinkStatus();
}

void frmSarnicSetup::runAction(Action action) {
    if (LinkWaitIdle()) {
        DisableActionButtons();
        const int status = action == Action::Read     ? txt::StatusReading
                           : action == Action::Sensor ? txt::StatusSensor
                                                      : txt::StatusGraph;
        StatusText->setText(LoadLangString(status));
        letEventsRun();
        switch (action) {
        case Action::Read: {
            frmSarnicRead form(this);
            if (form.Form_Load())
                plat::ui().execDialog(&form);
            break;
        }
        case Action::Sensor: {
            frmSarnicSensor form(this);
            plat::ui().execDialog(&form);
            break;
        }
        case Action::Graph: {
            frmSarnicGraph form(this);
            if (form.Form_Load())
                plat::ui().execDialog(&form);
            break;
        }
        }
        EnableActionButtons();
        StatusText->setText(LoadLangString(txt::StatusConnected));
    } else {
        StatusText->setText(LoadLangString(txt::StatusConnected));
        ShowMessage(LoadLangString(txt::LinkFailed));
    }
    letEventsRun();
    RefreshLinkStatus();
}

void frmSarnicSetup::cmdReadLogger_Click() {
    runAction(Action::Read);
}

void frmSarnicSetup::cmdCheckSensor_Click() {
    runAction(Action::Sensor);
}

void frmSarnicSetup::cmdGetGraph_Click() {
    runAction(Action::Graph);
}

void frmSarnicSetup::cmdSleep_Click() {
    if (LinkWaitIdle()) {
        DisableActionButtons();
        ShowMessage(LoadLangString(LoggerSleep() ? txt::SleepDone : txt::SleepFailed));
    }
    RefreshLinkStatus();
}

void frmSarnicSetup::cmdClose_Click() {
    if (LinkIsOpen())
        COMM_CLOSE();
    RefreshLinkStatus();
    done(QDialog::Accepted);
}

void frmSarnicSetup::done(int result) {
    Form_Unload();
    QDialog::done(result);
}

void frmSarnicSetup::Form_Unload() {
    unloaded_ = true;
    if (LinkIsOpen()) {
        COMM_CLOSE();
        StatusText->setText(LoadLangString(txt::StatusNotConnected));
    }
    RefreshLinkStatus();
}
