#include "documents/FieldText.h"

#include "core/Shared.h"
#include "lang/LangText.h"

#include <QLineEdit>

bool IsStorableFieldChar(QChar c) {
    const char16_t u = c.unicode();
    if (u == u',' || u == u'\r' || u == u'\n' || u < 0x20 || u == 0x7f)
        return false;
    if (u < 0x80 || (u >= 0xa0 && u <= 0xff))
        return true;
    // The upper half of Windows-1252 also holds some characters beyond Latin-1 (the euro sign, quotes,
    // dashes); anything else cannot be written into the file.
    static const std::u16string extra = u"\u20ac\u201a\u0192\u201e\u2026\u2020\u2021\u02c6\u2030\u0160\u2039\u0152"
                                        u"\u017d\u2018\u2019\u201c\u201d\u2022\u2013\u2014\u02dc\u2122\u0161\u203a"
                                        u"\u0153\u017e\u0178";
    return extra.find(u) != std::u16string::npos;
}

QString StorableFieldText(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        if (!IsStorableFieldChar(c))
            c = u' ';
    }
    return out;
}

StorableTextValidator::StorableTextValidator(QLineEdit* box) : QValidator(box), box_(box) {}

QValidator::State StorableTextValidator::validate(QString& input, int& pos) const {
    qsizetype bad = 0;
    for (QChar c : input)
        bad += IsStorableFieldChar(c) ? 0 : 1;
    if (bad == 0)
        return Acceptable;
    // One character more than the box held: the user typed it, and it is refused. Anything else came in
    // by pasting (or dropping): it is kept, with a blank in place of each character the file cannot hold.
    ShowStatusText(LoadLangString(txt::UnstorableCharacter));
    const bool typed = bad == 1 && pos >= 1 && pos <= input.size() && !IsStorableFieldChar(input[pos - 1]) &&
                       input.size() <= box_->text().size() + 1;
    if (typed)
        return Invalid;
    input = StorableFieldText(input);
    return Acceptable;
}

void GuardStorableField(QLineEdit* box) {
    box->setValidator(new StorableTextValidator(box));
}
