#pragma once
// The live noise level: polls the connected logger ten times a second and shows the level as a number and a bar.
#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace directlink {
// The level as the label shows it: shortest decimal form with the local separator, then " dB".
QString NoiseLevelText(float level);
// The bar's value in half-dB steps (0 to 200 for 0 to 100 dB); levels above 100 dB hold the bar at the top.
int NoiseBarValue(float level);
} // namespace directlink

class frmSarnicSensor : public QDialog {
    Q_OBJECT
public:
    explicit frmSarnicSensor(QWidget* parent = nullptr);
    ~frmSarnicSensor() override;

    QProgressBar* prgNoiseLevel = nullptr;
    QLabel* lblNoiseLevel = nullptr;
    QTimer* Timer1 = nullptr;
    QPushButton* cmdClose = nullptr;

    float NoiseLevel = 0;

    void Form_Load();
    void Form_Activate();
    void Timer1_Timer();
    void cmdClose_Click();
    void Form_Unload();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    bool polling_ = false;
    bool closeRequested_ = false;
    bool unloaded_ = false;
};
