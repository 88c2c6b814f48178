#pragma once
// An entry box with a fixed pattern of digits, letters and shown literals, read and written the way the
// editing windows expect: its text includes the literals and, for unfilled places, the prompt character "_".
//
// Mask characters: "#" a digit, "?" a letter, ">" upper-cases the letters that follow, "\" makes the next
// character a literal; every other character is a literal as well. An empty mask is a plain box whose
// maximum length is MaxLength.
#include <QLineEdit>
#include <QString>

class MaskedEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit MaskedEdit(QWidget* parent = nullptr);

    void setMask(const QString& mask);
    QString Mask() const { return mask_; }
    // With a mask the pattern sets the number of places; the value is kept for whoever asks.
    void setMaxLength(int length);
    int MaxLength() const { return maxLength_; }

    // The box's text: with a mask, literals and prompt characters included.
    QString Text() const;
    // Shows a text. A text the mask cannot show as it stands (a stored value from another coordinate system,
    // or none) is kept as it is and given back by Text() until the user types into the box, so showing and
    // writing back a record never rewrites a value nobody edited.
    void setBoxText(const QString& text);

    // The input mask Qt's line edit needs for one of ours (prompt "_").
    static QString qtInputMask(const QString& mask);
    // The text a box with this mask shows for an input text.
    static QString maskedText(const QString& mask, const QString& text);

protected:
    // Entering the box by mouse or key selects all of it, so what is typed replaces the value: a click would
    // otherwise put the cursor where the mouse landed and the digits in the middle of the pattern.
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool clickSelects_ = false;
    QString mask_;
    int maxLength_ = 32767;
    QString kept_;
    bool hasKept_ = false;
};
