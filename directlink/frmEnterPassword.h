#pragma once
// The password question that guards changes to a logger's identity and settings.
#include <QDialog>
#include <QString>

class QLineEdit;

class frmEnterPassword : public QDialog {
    Q_OBJECT
public:
    explicit frmEnterPassword(QWidget* parent = nullptr);

    QLineEdit* txtPassword = nullptr;
    // What the user typed before pressing Enter; empty when the window was closed any other way.
    QString stringPassword;

    void Form_Load();
    void txtPassword_KeyPress(int keyAscii);
};
