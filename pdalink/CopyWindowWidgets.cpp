#include "pdalink/CopyWindowWidgets.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace pdalib {

QListWidget* NewFileList(QWidget* parent, const QString& name) {
    auto* list = new QListWidget(parent);
    list->setObjectName(name);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    return list;
}

QVBoxLayout* NewCopyButtons(QWidget* parent, const QString& copyName, const QString& copyText, QPushButton** copy,
                            const QString& closeName, QPushButton** close) {
    *copy = new QPushButton(copyText, parent);
    (*copy)->setObjectName(copyName);
    (*copy)->setDefault(true);
    *close = new QPushButton(QStringLiteral("Close"), parent);
    (*close)->setObjectName(closeName);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(*copy);
    buttons->addWidget(*close);
    buttons->addStretch(1);
    return buttons;
}

QGroupBox* NewCopyStatusBox(QWidget* parent, const QString& actionName, QLabel** action, QLabel** fileName,
                            QProgressBar** progress) {
    auto* frame = new QGroupBox(QStringLiteral("Status"), parent);
    frame->setObjectName(QStringLiteral("Frame1"));
    *action = new QLabel(frame);
    (*action)->setObjectName(actionName);
    *fileName = new QLabel(frame);
    (*fileName)->setObjectName(QStringLiteral("lblFileName"));
    *progress = new QProgressBar(frame);
    (*progress)->setObjectName(QStringLiteral("progressBar"));
    (*progress)->setRange(0, 1);
    (*progress)->setValue(0);
    (*progress)->setTextVisible(false);

    auto* status = new QVBoxLayout(frame);
    auto* labels = new QHBoxLayout;
    labels->addWidget(*action);
    labels->addWidget(*fileName, 1);
    status->addLayout(labels);
    status->addWidget(*progress);
    return frame;
}

} // namespace pdalib
