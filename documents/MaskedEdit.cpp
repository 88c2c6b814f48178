#include "documents/MaskedEdit.h"

#include <QFocusEvent>
#include <QMouseEvent>

namespace {
// Characters that mean something in Qt's input masks and so must be escaped where ours shows them as they are.
bool qtMaskSpecial(QChar c) {
    static const QString kSpecial = QStringLiteral("AaNnXx90Dd#HhBb<>!\\[]{}");
    return kSpecial.contains(c);
}
} // namespace

MaskedEdit::MaskedEdit(QWidget* parent) : QLineEdit(parent) {}

QString MaskedEdit::qtInputMask(const QString& mask) {
    if (mask.isEmpty())
        return QString();
    QString out;
    for (qsizetype i = 0; i < mask.size(); ++i) {
        const QChar c = mask[i];
        if (c == u'\\') {
            if (i + 1 < mask.size()) {
                out += u'\\';
                out += mask[++i];
            }
        } else if (c == u'#') {
            out += u'0'; // a digit may be left out: the place shows the prompt character
        } else if (c == u'?') {
            out += u'a';
        } else if (c == u'>' || c == u'<') {
            out += c;
        } else {
            if (qtMaskSpecial(c))
                out += u'\\';
            out += c;
        }
    }
    return out + QStringLiteral(";_");
}

QString MaskedEdit::maskedText(const QString& mask, const QString& text) {
    QLineEdit probe;
    probe.setInputMask(qtInputMask(mask));
    probe.setText(text);
    return mask.isEmpty() ? probe.text() : probe.displayText();
}

void MaskedEdit::setMask(const QString& mask) {
    mask_ = mask;
    hasKept_ = false;
    setInputMask(qtInputMask(mask));
    if (mask.isEmpty())
        QLineEdit::setMaxLength(maxLength_);
}

void MaskedEdit::setMaxLength(int length) {
    maxLength_ = length;
    if (mask_.isEmpty())
        QLineEdit::setMaxLength(length);
}

QString MaskedEdit::Text() const {
    if (hasKept_ && !isModified())
        return kept_;
    return mask_.isEmpty() ? text() : displayText();
}

void MaskedEdit::setBoxText(const QString& value) {
    QLineEdit::setText(value);
    setModified(false);
    const QString shown = mask_.isEmpty() ? text() : displayText();
    hasKept_ = shown != value;
    kept_ = hasKept_ ? value : QString();
}

void MaskedEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    selectAll();
    // The click that gave the focus comes next; it must not move the cursor into the selection.
    clickSelects_ = event->reason() == Qt::MouseFocusReason;
}

void MaskedEdit::mousePressEvent(QMouseEvent* event) {
    if (clickSelects_ && event->button() == Qt::LeftButton) {
        selectAll();
        event->accept();
        return;
    }
    clickSelects_ = false;
    QLineEdit::mousePressEvent(event);
}

void MaskedEdit::mouseMoveEvent(QMouseEvent* event) {
    if (clickSelects_) {
        event->accept();
        return;
    }
    QLineEdit::mouseMoveEvent(event);
}

void MaskedEdit::mouseReleaseEvent(QMouseEvent* event) {
    if (clickSelects_) {
        clickSelects_ = false;
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}
