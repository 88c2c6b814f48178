#pragma once
// Entry boxes whose text is saved in an area file. The file separates items with commas, ends a logger's
// line with a line break and holds Windows-1252 text, so none of those may get into such a box: a typed
// character of that kind is refused (the status bar says why), and in pasted text each one becomes a blank.
#include <QString>
#include <QValidator>

class QLineEdit;

// True for a character an area file item can hold as it stands.
bool IsStorableFieldChar(QChar c);
// The text with every character an item cannot hold replaced by a blank.
QString StorableFieldText(const QString& text);

class StorableTextValidator : public QValidator {
    Q_OBJECT
public:
    explicit StorableTextValidator(QLineEdit* box);
    State validate(QString& input, int& pos) const override;

private:
    QLineEdit* box_;
};

// Puts the validator on a box.
void GuardStorableField(QLineEdit* box);
