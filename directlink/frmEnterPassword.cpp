#include "directlink/frmEnterPassword.h"

#include "core/Shared.h"
#include "lang/LangText.h"
#include "platform/QtUi.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

frmEnterPassword::frmEnterPassword(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmEnterPassword"));
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    // Every typed character shows as "*", whatever the style's own mask character is.
    txtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    txtPassword->setMinimumWidth(220);
    lblPassword = new QLabel(this);
    lblPassword->setBuddy(txtPassword);
    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblPassword);
    layout->addWidget(txtPassword);
    layout->addWidget(buttons);
    connect(txtPassword, &QLineEdit::returnPressed, this, [this] { txtPassword_KeyPress(13); });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { txtPassword_KeyPress(13); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Form_Load();
}

void frmEnterPassword::Form_Load() {
    setWindowTitle(LoadLangString(txt::PasswordCaption));
    lblPassword->setText(LoadLangString(txt::PasswordCaption) + u':');
    plat::fitCaption(this);
    stringPassword.clear();
}

void frmEnterPassword::txtPassword_KeyPress(int keyAscii) {
    if (keyAscii != 13)
        return;
    stringPassword = txtPassword->text();
    accept();
}
