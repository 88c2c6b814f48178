// Small helpers the record editor and its dialogs use to build their controls: every control carries the name the
// forms give it, so tests and the window registry can find it.
#pragma once

#include <QPushButton>
#include <QString>
#include <QWidget>

namespace documents::widgets {

template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// A push button that does not take Enter for itself: the form decides which button is the default.
inline QPushButton* button(QWidget* parent, const char* name) {
    auto* b = named(new QPushButton(parent), name);
    b->setAutoDefault(false);
    return b;
}

} // namespace documents::widgets
