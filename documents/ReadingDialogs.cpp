#include "documents/ReadingDialogs.h"
#include "documents/FieldText.h"

#include "core/DMAModule.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/MaskedEdit.h"
#include "lang/LangText.h"
#include "platform/TextCodec.h"
#include "platform/VbRuntime.h"
#include "platform/WidgetNames.h"
#include "platform/WindowRegistry.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <cmath>

namespace {

using plat::widgets::button;
using plat::widgets::named;

// Whole-number value of an entry as the user typed it (leading number, halves to even); false past 32 bits.
bool wholeNumber(const QString& text, int32_t* out) {
    return plat::vb::toInt32(plat::vb::Val(text), out);
}

} // namespace

// ---------------------------------------------------------------------------------------------------------

HistoryDialog::HistoryDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("HistoryDialog"));
    setWindowTitle(QStringLiteral("Edit History"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    plat::windows::add(this, QStringLiteral("HistoryDialog"));

    Frame1 = named(new QGroupBox(this), "Frame1");
    TxtDate = named(new QLineEdit(QStringLiteral("0000/00/00"), Frame1), "TxtDate");
    TxtStatus = named(new QLineEdit(Frame1), "TxtStatus");
    TxtLevel = named(new QLineEdit(Frame1), "TxtLevel");
    TxtSpread = named(new QLineEdit(Frame1), "TxtSpread");
    GuardStorableField(TxtDate);
    GuardStorableField(TxtStatus);
    LabelDate = named(new QLabel(Frame1), "LabelDate");
    LabelStatus = named(new QLabel(Frame1), "LabelStatus");
    LabelLevel = named(new QLabel(Frame1), "LabelLevel");
    LabelSpread = named(new QLabel(Frame1), "LabelSpread");
    auto* grid = new QGridLayout(Frame1);
    QLabel* labels[] = {LabelDate, LabelStatus, LabelLevel, LabelSpread};
    QLineEdit* boxes[] = {TxtDate, TxtStatus, TxtLevel, TxtSpread};
    for (int i = 0; i < 4; ++i) {
        labels[i]->setBuddy(boxes[i]);
        grid->addWidget(labels[i], i, 0);
        grid->addWidget(boxes[i], i, 1);
    }
    OKButton = button(this, "OKButton");
    OKButton->setDefault(true);
    CancelButton = button(this, "CancelButton");
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    buttons->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(Frame1, 1);
    layout->addLayout(buttons);

    connect(TxtStatus, &QLineEdit::textChanged, this, &HistoryDialog::TxtStatus_Change);
    connect(OKButton, &QPushButton::clicked, this, &HistoryDialog::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &HistoryDialog::CancelButton_Click);
    LoadResources();
    // Not moved: shown, the dialog stands centred over the window it was opened from.
}

void HistoryDialog::LoadResources() {
    setWindowTitle(LoadLangString(txt::EditReading));
    LabelSpread->setText(LoadLangString(txt::BadSpread));
    LabelLevel->setText(LoadLangString(txt::BadLevel));
    LabelStatus->setText(LoadLangString(txt::BadStatus));
    LabelDate->setText(LoadLangString(txt::BadDate));
    CancelButton->setText(LoadLangString(txt::Cancel));
    OKButton->setText(LoadLangString(txt::Ok));
}

void HistoryDialog::TxtStatus_Change() {
    const QString upper = TxtStatus->text().toUpper();
    if (upper == TxtStatus->text())
        return;
    const int cursor = TxtStatus->cursorPosition();
    TxtStatus->setText(upper);
    TxtStatus->setCursorPosition(cursor);
}

void HistoryDialog::OKButton_Click() {
    for (QLineEdit* box : {TxtDate, TxtStatus, TxtLevel, TxtSpread})
        box->setText(box->text().trimmed());
    TxtStatus->setText(TxtStatus->text().toUpper());
    const struct {
        bool ok;
        int32_t text;
    } checks[] = {
        {IsValidDate(plat::toAnsi(TxtDate->text())), txt::TheDateIsNotValid},
        {IsValidStatus(plat::toAnsi(TxtStatus->text())), txt::TheStatusIsNotValid},
        {IsValidReadingValue(plat::toAnsi(TxtLevel->text())), txt::TheLevelMustBeA},
        {IsValidReadingValue(plat::toAnsi(TxtSpread->text())), txt::TheSpreadMustBeA},
    };
    for (const auto& check : checks) {
        if (!check.ok) {
            ShowMessage(LoadLangString(check.text));
            return;
        }
    }
    if (TxtDate->text().isEmpty())
        TxtDate->setText(QStringLiteral(" "));
    Result = true;
    accept();
}

void HistoryDialog::CancelButton_Click() {
    Result = false;
    QDialog::reject();
}

// ---------------------------------------------------------------------------------------------------------

FillDialog::FillDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FillDialog"));
    setWindowTitle(QStringLiteral("Fill"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    plat::windows::add(this, QStringLiteral("FillDialog"));

    TxtSerial = named(new QLineEdit(this), "TxtSerial");
    TxtNum = named(new QLineEdit(this), "TxtNum");
    TxtIncr = named(new QLineEdit(this), "TxtIncr");
    LblSerial = named(new QLabel(this), "LblSerial");
    LblNum = named(new QLabel(this), "LblNum");
    LblIncr = named(new QLabel(this), "LblIncr");
    FrameDummy = named(new QGroupBox(QStringLiteral("Grid Ref."), this), "FrameDummy");
    CheckBoxUseGrid = named(new QCheckBox(QStringLiteral("Fill grid ref. as well"), FrameDummy), "CheckBoxUseGrid");
    Labeldummy = named(new QLabel(QStringLiteral("Start at:"), FrameDummy), "Labeldummy");
    txtGridRef = named(new MaskedEdit(FrameDummy), "txtGridRef");
    txtGridRef->setMask(QStringLiteral("########"));
    txtGridRef->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // The grid box starts at eight zeros once, when the dialog is made; later fills find what the last left.
    txtGridRef->setBoxText(QStringLiteral("00000000"));
    OKButton = button(this, "OKButton");
    OKButton->setDefault(true);
    CancelButton = button(this, "CancelButton");

    auto* fields = new QGridLayout;
    QLabel* labels[] = {LblSerial, LblNum, LblIncr};
    QLineEdit* boxes[] = {TxtSerial, TxtNum, TxtIncr};
    for (int i = 0; i < 3; ++i) {
        labels[i]->setBuddy(boxes[i]);
        fields->addWidget(labels[i], i, 0);
        fields->addWidget(boxes[i], i, 1);
    }
    auto* gridLayout = new QGridLayout(FrameDummy);
    gridLayout->addWidget(CheckBoxUseGrid, 0, 0, 1, 2);
    gridLayout->addWidget(Labeldummy, 1, 0);
    gridLayout->addWidget(txtGridRef, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(FrameDummy);
    layout->addLayout(buttons);

    connect(OKButton, &QPushButton::clicked, this, &FillDialog::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &FillDialog::CancelButton_Click);
    Form_Load();
}

void FillDialog::LoadResources() {
    setWindowTitle(LoadLangString(txt::Fill));
    OKButton->setText(LoadLangString(txt::Ok));
    CancelButton->setText(LoadLangString(txt::Cancel));
    FrameDummy->setTitle(LoadLangString(txt::GridRefCaption));
    CheckBoxUseGrid->setText(LoadLangString(txt::FillGridNumbersAsWell));
    Labeldummy->setText(LoadLangString(txt::StartAt));
    LblIncr->setText(LoadLangString(txt::SerialIncrement));
    LblNum->setText(LoadLangString(txt::NumberOfLoggers));
    LblSerial->setText(LoadLangString(txt::FirstSerialNumber));
}

void FillDialog::Form_Load() {
    LoadResources();
    TxtSerial->setText(plat::vb::formatSerialQ(TmpSer));
    TxtNum->setText(QString::number(TmpNum));
    TxtIncr->setText(QString::number(FillIncrement));
}

void FillDialog::OKButton_Click() {
    int32_t serial = 0;
    const bool serialFits = wholeNumber(TxtSerial->text(), &serial);
    TmpSer = serial;
    if (!serialFits || !IsValidSerial(TmpSer)) {
        ShowMessage((serialFits ? plat::vb::formatSerialQ(TmpSer) : TxtSerial->text()) +
                    LoadLangString(txt::InvalidSerial));
        return;
    }
    int32_t count = 0;
    const bool countFits = wholeNumber(TxtNum->text(), &count);
    TmpNum = count;
    if (!countFits || TmpNum < 1 || TmpNum > 99999999) {
        ShowMessage(LoadLangString(txt::TheNumberOfLoggersMust));
        return;
    }
    int32_t increment = 0;
    if (!wholeNumber(TxtIncr->text(), &increment) || increment < 1 || increment > 9999999) {
        ShowMessage(LoadLangString(txt::IncrementRange));
        return;
    }
    FillIncrement = increment;
    Result = true;
    accept();
}

void FillDialog::CancelButton_Click() {
    Result = false;
    QDialog::reject();
}
