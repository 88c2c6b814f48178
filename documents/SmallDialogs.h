#pragma once
// The small modal dialogs of the logger commands: a check-list selection, a date, a new logger's serial and
// one additional-information text for every logger. Each is run through plat::ui().execDialog.
#include <QDialog>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// A list of check boxes that its caller fills and reads back after the dialog returns.
class frmSelection : public QDialog {
    Q_OBJECT
public:
    explicit frmSelection(QWidget* parent = nullptr);

    QTreeWidget* TreeViewSelect = nullptr;
    QFrame* FrameDummy = nullptr;
    QPushButton* CommandOK = nullptr;

    void CommandOK_Click();
    // Closing the dialog other than with OK chooses nothing.
    void reject() override;
};

class DateDialog : public QDialog {
    Q_OBJECT
public:
    explicit DateDialog(QWidget* parent = nullptr);

    bool Result = false;

    QGroupBox* Frame1 = nullptr;
    QLabel* LabelDate = nullptr;
    QLineEdit* TxtDate = nullptr;
    QCheckBox* ChkDoAll = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;

    void OKButton_Click();
    void CancelButton_Click();
    void reject() override { CancelButton_Click(); }
};

class frmAddNewLogger : public QDialog {
    Q_OBJECT
public:
    explicit frmAddNewLogger(QWidget* parent = nullptr);

    // The serial as typed, blanks shown as "_"; empty when the dialog was cancelled.
    QString strSerial;

    QLabel* lblEnterSerial = nullptr;
    QLineEdit* mskSerial = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    void cmdOK_Click();
    void cmdCancel_Click();
    void reject() override { cmdCancel_Click(); }
};

class frmUpdateAddInfo : public QDialog {
    Q_OBJECT
public:
    explicit frmUpdateAddInfo(QWidget* parent = nullptr);

    bool Result = false;
    QString txtAddInfoText;

    QLabel* LabelAddInfo = nullptr;
    QLineEdit* txtAdditionalInformation = nullptr;
    QPushButton* AddButton = nullptr;
    QPushButton* CancelButton = nullptr;

    void AddButton_Click();
    void CancelButton_Click();
    void reject() override { CancelButton_Click(); }
};
