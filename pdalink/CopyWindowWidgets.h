#pragma once
// The widgets the upload and download windows share: a file list the user picks several files from, the
// default copy button over the Close button, and the "Status" box that shows the copy under way.
#include <QString>

class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace pdalib {

QListWidget* NewFileList(QWidget* parent, const QString& name);

// The copy button (the default) and the Close button, in a column that keeps them at the top.
QVBoxLayout* NewCopyButtons(QWidget* parent, const QString& copyName, const QString& copyText, QPushButton** copy,
                            const QString& closeName, QPushButton** close);

// The "Status" box: what is being done (`action`, named actionName), to which file, and how far.
QGroupBox* NewCopyStatusBox(QWidget* parent, const QString& actionName, QLabel** action, QLabel** fileName,
                            QProgressBar** progress);

} // namespace pdalib
