#include "directlink/frmSarnicSensor.h"

#include "core/Shared.h"
#include "directlink/SarnicComms.h"
#include "lang/LangText.h"
#include "platform/QtUi.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using namespace directlink;

namespace directlink {
QString NoiseLevelText(float level) {
    return QLocale().toString(double(level), 'g', QLocale::FloatingPointShortest) + QStringLiteral(" dB");
}

int NoiseBarValue(float level) {
    return std::clamp(static_cast<int>(std::lround(level * 2)), 0, 200);
}
} // namespace directlink

frmSarnicSensor::frmSarnicSensor(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmSarnicSensor"));
    prgNoiseLevel = new QProgressBar(this);
    prgNoiseLevel->setOrientation(Qt::Vertical);
    prgNoiseLevel->setTextVisible(false);
    prgNoiseLevel->setMinimumHeight(180);
    lblNoiseLevel = new QLabel(this);
    lblNoiseLevel->setAlignment(Qt::AlignCenter);
    QFont f = lblNoiseLevel->font();
    f.setPointSizeF(f.pointSizeF() * 1.6);
    f.setBold(true);
    lblNoiseLevel->setFont(f);
    lblNoiseLevel->setMinimumWidth(110);
    Timer1 = new QTimer(this);
    cmdClose = new QPushButton(this);
    auto* row = new QHBoxLayout;
    row->addWidget(prgNoiseLevel, 0, Qt::AlignHCenter);
    row->addWidget(lblNoiseLevel);
    auto* v = new QVBoxLayout(this);
    v->addLayout(row);
    v->addWidget(cmdClose);
    connect(Timer1, &QTimer::timeout, this, &frmSarnicSensor::Timer1_Timer);
    connect(cmdClose, &QPushButton::clicked, this, &frmSarnicSensor::cmdClose_Click);
    Form_Load();
}

frmSarnicSensor::~frmSarnicSensor() {
    Timer1->stop();
}

void frmSarnicSensor::Form_Load() {
    setWindowTitle(LoadLangString(txt::SensorCaption));
    plat::fitCaption(this);
    cmdClose->setText(LoadLangString(txt::CloseButton));
    Timer1->setInterval(100);
    Timer1->stop();
    // 0 to 100 dB in half-dB steps, the logger's own resolution.
    prgNoiseLevel->setRange(0, 200);
    prgNoiseLevel->setValue(0);
    lblNoiseLevel->setText(QStringLiteral(" dB"));
}

void frmSarnicSensor::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Form_Activate();
}

void frmSarnicSensor::Form_Activate() {
    if (!unloaded_)
        Timer1->start();
}

void frmSarnicSensor::Timer1_Timer() {
    if (polling_)
        return;
    polling_ = true;
    float level = 0;
    const bool ok = LoggerReadNoiseLevel(level);
    polling_ = false;
    if (ok) {
        NoiseLevel = level;
        prgNoiseLevel->setValue(NoiseBarValue(level));
        lblNoiseLevel->setText(NoiseLevelText(level));
    } else if (!closeRequested_) {
        Timer1->stop();
        ShowMessage(LoadLangString(txt::LinkFailed));
    }
    // A close asked for while the reading was on its way waited for it to end.
    if (closeRequested_)
        cmdClose_Click();
}

void frmSarnicSensor::cmdClose_Click() {
    if (polling_) {
        closeRequested_ = true;
        Timer1->stop();
        return;
    }
    closeRequested_ = false;
    done(QDialog::Accepted);
}

void frmSarnicSensor::done(int result) {
    // Escape and the window's close box end up here too; a reading on its way must finish first.
    if (polling_) {
        closeRequested_ = true;
        Timer1->stop();
        return;
    }
    Form_Unload();
    QDialog::done(result);
}

void frmSarnicSensor::Form_Unload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    Timer1->setInterval(0);
    Timer1->stop();
    if (!LinkWaitIdle())
        ShowMessage(LoadLangString(txt::LinkFailed));
}
