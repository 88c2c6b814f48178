#pragma once
// "New Logger": asks for the serial of a logger to be placed where the user clicked on the map.
#include <QPointer>
#include <QString>
#include <QWidget>

class MaskedEdit;
class QLabel;
class QPushButton;

namespace mapview {

class frmGps;

class frmAddNewGPSLogger : public QWidget {
    Q_OBJECT
public:
    // The one dialog (made on first use; a second click reuses it).
    static frmAddNewGPSLogger* instance(frmGps* map);
    static frmAddNewGPSLogger* existing();

    void frmAddnewGPSLogger_Setxy(int X, int Y);
    void cmdOK_Click();
    void cmdCancel_Click();

    QString strSerial;
    QLabel* lblEnterSerial = nullptr;
    MaskedEdit* mskSerial = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    int pointX() const { return x_; }
    int pointY() const { return y_; }

private:
    explicit frmAddNewGPSLogger(frmGps* map);
    void Form_Load();
    QPointer<frmGps> map_;
    int x_ = 0;
    int y_ = 0;
};

} // namespace mapview
