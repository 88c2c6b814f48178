#pragma once
// The password question that guards changes to a logger's identity and settings.
#include <QDialog>
#include <QString>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

class frmEnterPassword : public QDialog {
    Q_OBJECT
public:
    explicit frmEnterPassword(QWidget* parent = nullptr);

    QLabel* lblPassword = nullptr; // the question, above the field
    QLineEdit* txtPassword = nullptr;
    QDialogButtonBox* buttons = nullptr; // OK (as Enter) and Cancel (as Escape)
    // What the user typed before pressing Enter or OK; empty when the window was closed any other way.
    QString stringPassword;

    void Form_Load();
    void txtPassword_KeyPress(int keyAscii);
};
