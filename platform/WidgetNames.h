// Controls made with the name their form gives them, so that tests and the window registry find them by name.
#pragma once

#include <QPushButton>
#include <QString>
#include <QWidget>

namespace plat::widgets {

template <typename W> W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// A push button that does not take Enter for itself: the form decides which button is the default.
inline QPushButton* button(QWidget* parent, const char* name, const QString& caption = {},
                           const QString& toolTip = {}) {
    auto* b = named(new QPushButton(caption, parent), name);
    b->setAutoDefault(false);
    if (!toolTip.isEmpty())
        b->setToolTip(toolTip);
    return b;
}

} // namespace plat::widgets
