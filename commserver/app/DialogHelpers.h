#pragma once
#include <QLineEdit>
#include <QString>

#include <string>

// Small pieces the server's windows share.
namespace quendar {

inline QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// A right-aligned box that shows a figure.
inline QLineEdit* readOnlyField(QWidget* parent, int width = 90) {
    auto* e = new QLineEdit(parent);
    e->setReadOnly(true);
    e->setAlignment(Qt::AlignRight);
    e->setMinimumWidth(width);
    return e;
}

} // namespace quendar
