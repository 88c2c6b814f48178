#pragma once
// The text document window: load, merge and fill reports shown in an editable text box that can be saved
// as a rich-text file.
#include "platform/FormClose.h"

#include <QMdiSubWindow>

class QTextEdit;

class frmDocument : public plat::Form<QMdiSubWindow> {
    Q_OBJECT
public:
    explicit frmDocument(QWidget* parent = nullptr);
    ~frmDocument() override;

    bool AskForSave = false;
    QTextEdit* rtfText = nullptr;

    QString text() const;
    void setText(const QString& text);
    // The box's rich-text file: false when the file cannot be read or written.
    bool LoadFile(const QString& path);
    // False when the file could not be written; error then gets the system's reason.
    bool SaveFile(const QString& path, QString* error = nullptr) const;

    void Form_Resize();

protected:
    void Form_QueryUnload(bool& cancel) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void rtfText_Change() { AskForSave = true; }
};
