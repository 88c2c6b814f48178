#pragma once
// The entry to the direct logger link: the user picks COM1 to COM4, connects to a logger and disconnects,
// reads and updates it, watches its noise level, reads its histogram and puts it to sleep. The status line
// shows the state of the link at all times.
#include <QDialog>

#include <array>

class QGroupBox;
class QLineEdit;
class QPushButton;
class QLabel;
class QRadioButton;

class frmSarnicSetup : public QDialog {
    Q_OBJECT
public:
    explicit frmSarnicSetup(QWidget* parent = nullptr);

    QGroupBox* framePort = nullptr;
    std::array<QRadioButton*, 4> optCOMPort{};
    QLabel* lblSerialDevices = nullptr; // the serial devices of this computer
    QPushButton* cmdConnect = nullptr;
    QPushButton* cmdDisconnect = nullptr;
    QPushButton* cmdReadLogger = nullptr;
    QPushButton* cmdCheckSensor = nullptr;
    QPushButton* cmdGetGraph = nullptr;
    QPushButton* cmdSleep = nullptr;
    QPushButton* cmdClose = nullptr;
    QGroupBox* frameStatus = nullptr;
    QLineEdit* StatusText = nullptr;

    void Form_Load();
    void cmdConnect_Click();
    void cmdDisconnect_Click();
    void cmdReadLogger_Click();
    void cmdCheckSensor_Click();
    void cmdGetGraph_Click();
    void cmdSleep_Click();
    void cmdClose_Click();
    void Form_Unload();
    void DisableActionButtons();
    void EnableActionButtons();
    void RefreshLinkStatus();

protected:
    void done(int result) override;

private:
    enum class Action { Read, Sensor, Graph };
    void runAction(Action action);
    void letEventsRun();
    bool unloaded_ = false;
    bool connecting_ = false;
};
