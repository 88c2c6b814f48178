#pragma once
// The dialog that edits one noise reading of the record editor, and the dialog that collects a fill's start
// serial, count, increment and grid option. Both keep the user's choice in Result and hide on OK (when the
// values pass their checks) or Cancel; the caller reads the values back.
#include <QDialog>

#include <cstdint>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class MaskedEdit;

class HistoryDialog : public QDialog {
    Q_OBJECT
public:
    explicit HistoryDialog(QWidget* parent = nullptr);

    bool Result = false;

    QGroupBox* Frame1 = nullptr;
    QLineEdit* TxtDate = nullptr;
    QLineEdit* TxtStatus = nullptr;
    QLineEdit* TxtLevel = nullptr;
    QLineEdit* TxtSpread = nullptr;
    QLabel* LabelDate = nullptr;
    QLabel* LabelStatus = nullptr;
    QLabel* LabelLevel = nullptr;
    QLabel* LabelSpread = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;

    void LoadResources();
    void TxtStatus_Change();
    void OKButton_Click();
    void CancelButton_Click();
    void reject() override { CancelButton_Click(); }
};

class FillDialog : public QDialog {
    Q_OBJECT
public:
    explicit FillDialog(QWidget* parent = nullptr);

    bool Result = false;
    int32_t TmpSer = 0;
    int32_t TmpNum = 0;

    QLineEdit* TxtSerial = nullptr;
    QLineEdit* TxtNum = nullptr;
    QLineEdit* TxtIncr = nullptr;
    QCheckBox* CheckBoxUseGrid = nullptr;
    MaskedEdit* txtGridRef = nullptr;
    QGroupBox* FrameDummy = nullptr;
    QLabel* Labeldummy = nullptr;
    QLabel* LblIncr = nullptr;
    QLabel* LblNum = nullptr;
    QLabel* LblSerial = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;

    void LoadResources();
    void Form_Load();
    void OKButton_Click();
    void CancelButton_Click();
    void reject() override { CancelButton_Click(); }
};
