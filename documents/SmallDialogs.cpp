#include "documents/SmallDialogs.h"
#include "documents/FieldText.h"

#include "core/DMAModule.h"
#include "core/Shared.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/TextCodec.h"
#include "platform/UiServices.h"
#include "platform/WidgetNames.h"
#include "platform/WindowRegistry.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

void prepare(QDialog* dialog, const char* formName, const QString& caption) {
    dialog->setObjectName(QString::fromLatin1(formName));
    dialog->setWindowTitle(caption);
    dialog->setModal(true);
    dialog->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    plat::windows::add(dialog, QString::fromLatin1(formName));
}

using plat::widgets::button;

QHBoxLayout* buttonRow(QPushButton* first, QPushButton* second = nullptr) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(first);
    if (second)
        row->addWidget(second);
    return row;
}

} // namespace

// ---------------------------------------------------------------------------------------------------------

frmSelection::frmSelection(QWidget* parent) : QDialog(parent) {
    prepare(this, "frmSelection", QStringLiteral("Make Selection"));
    FrameDummy = new QFrame(this);
    FrameDummy->setObjectName(QStringLiteral("FrameDummy"));
    FrameDummy->setFrameShape(QFrame::StyledPanel);
    TreeViewSelect = new QTreeWidget(FrameDummy);
    TreeViewSelect->setObjectName(QStringLiteral("TreeViewSelect"));
    TreeViewSelect->setHeaderHidden(true);
    TreeViewSelect->setRootIsDecorated(false);
    auto* frameLayout = new QVBoxLayout(FrameDummy);
    frameLayout->addWidget(TreeViewSelect);
    CommandOK = button(this, "CommandOK", LoadLangString(txt::Ok));
    CommandOK->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FrameDummy, 1);
    layout->addLayout(buttonRow(CommandOK));
    resize(320, 360);
    connect(CommandOK, &QPushButton::clicked, this, &frmSelection::CommandOK_Click);
}

void frmSelection::CommandOK_Click() {
    done(Accepted);
}

void frmSelection::reject() {
    for (QTreeWidgetItemIterator it(TreeViewSelect); *it; ++it)
        if ((*it)->flags() & Qt::ItemIsUserCheckable)
            (*it)->setCheckState(0, Qt::Unchecked);
    QDialog::reject();
}

// ---------------------------------------------------------------------------------------------------------

DateDialog::DateDialog(QWidget* parent) : QDialog(parent) {
    prepare(this, "DateDialog", QStringLiteral("Edit Date"));
    setWindowTitle(LoadLangString(txt::EditDate));
    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    LabelDate = new QLabel(LoadLangString(txt::BadDate), Frame1);
    LabelDate->setObjectName(QStringLiteral("LabelDate"));
    TxtDate = new QLineEdit(QStringLiteral("0000/00/00"), Frame1);
    TxtDate->setObjectName(QStringLiteral("TxtDate"));
    LabelDate->setBuddy(TxtDate);
    GuardStorableField(TxtDate);
    ChkDoAll = new QCheckBox(LoadLangString(txt::ChangeTheDateOfEvery), Frame1);
    ChkDoAll->setObjectName(QStringLiteral("ChkDoAll"));
    auto* grid = new QGridLayout(Frame1);
    grid->addWidget(LabelDate, 0, 0);
    grid->addWidget(TxtDate, 0, 1);
    grid->addWidget(ChkDoAll, 1, 0, 1, 2);
    OKButton = button(this, "OKButton", LoadLangString(txt::Ok));
    OKButton->setDefault(true);
    CancelButton = button(this, "CancelButton", LoadLangString(txt::Cancel));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Frame1);
    layout->addLayout(buttonRow(OKButton, CancelButton));
    connect(OKButton, &QPushButton::clicked, this, &DateDialog::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &DateDialog::CancelButton_Click);
}

void DateDialog::OKButton_Click() {
    TxtDate->setText(TxtDate->text().trimmed());
    if (!IsValidDate(plat::toAnsi(TxtDate->text()))) {
        ShowMessage(LoadLangString(txt::TheDateIsNotValid), 0);
        return;
    }
    Result = true;
    done(Accepted);
}

void DateDialog::CancelButton_Click() {
    Result = false;
    done(Rejected);
}

// ---------------------------------------------------------------------------------------------------------

frmAddNewLogger::frmAddNewLogger(QWidget* parent) : QDialog(parent) {
    prepare(this, "frmAddNewLogger", QStringLiteral("New Logger"));
    lblEnterSerial = new QLabel(LoadLangString(txt::EnterTheSerialNumberOf), this);
    lblEnterSerial->setObjectName(QStringLiteral("lblEnterSerial"));
    lblEnterSerial->setWordWrap(true);
    mskSerial = new QLineEdit(this);
    mskSerial->setObjectName(QStringLiteral("mskSerial"));
    // Eight digit places, each of which may stay empty; empty places show as "_".
    mskSerial->setInputMask(QStringLiteral("00000000;_"));
    lblEnterSerial->setBuddy(mskSerial);
    cmdOK = button(this, "cmdOK", QStringLiteral("&OK"));
    cmdOK->setDefault(true);
    cmdCancel = button(this, "cmdCancel", QStringLiteral("&Cancel"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblEnterSerial);
    layout->addWidget(mskSerial);
    layout->addLayout(buttonRow(cmdOK, cmdCancel));
    connect(cmdOK, &QPushButton::clicked, this, &frmAddNewLogger::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmAddNewLogger::cmdCancel_Click);
}

void frmAddNewLogger::cmdOK_Click() {
    strSerial = mskSerial->displayText();
    done(Accepted);
}

void frmAddNewLogger::cmdCancel_Click() {
    strSerial.clear();
    done(Rejected);
}

// ---------------------------------------------------------------------------------------------------------

frmUpdateAddInfo::frmUpdateAddInfo(QWidget* parent) : QDialog(parent) {
    prepare(this, "frmUpdateAddInfo", QStringLiteral("Update All Additional Information"));
    setWindowTitle(LoadLangString(txt::UpdateAllAdditionalInformation));
    LabelAddInfo = new QLabel(LoadLangString(txt::AdditionalInformation), this);
    LabelAddInfo->setObjectName(QStringLiteral("LabelAddInfo"));
    txtAdditionalInformation = new QLineEdit(this);
    txtAdditionalInformation->setObjectName(QStringLiteral("txtAdditionalInformation"));
    txtAdditionalInformation->setMaxLength(kUserCommentsLimit);
    GuardStorableField(txtAdditionalInformation);
    txtAdditionalInformation->setMinimumWidth(360);
    txtAdditionalInformation->clear();
    LabelAddInfo->setBuddy(txtAdditionalInformation);
    AddButton = button(this, "AddButton", LoadLangString(txt::AddButton));
    AddButton->setDefault(true);
    CancelButton = button(this, "CancelButton", LoadLangString(txt::Cancel));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabelAddInfo);
    layout->addWidget(txtAdditionalInformation);
    layout->addLayout(buttonRow(AddButton, CancelButton));
    connect(AddButton, &QPushButton::clicked, this, &frmUpdateAddInfo::AddButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &frmUpdateAddInfo::CancelButton_Click);
}

void frmUpdateAddInfo::AddButton_Click() {
    // Every logger's text is replaced: the user confirms once more before that happens.
    const int answer = plat::ui().messageBox(LoadLangString(txt::TheAdditionalInformationOfEvery),
                                             plat::MB_OKCANCEL | plat::MB_ICONQUESTION, plat::appTitle());
    if (answer != plat::IDOK)
        return;
    txtAddInfoText = txtAdditionalInformation->text();
    Result = true;
    done(Accepted);
}

void frmUpdateAddInfo::CancelButton_Click() {
    Result = false;
    done(Rejected);
}
