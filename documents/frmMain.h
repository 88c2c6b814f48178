#pragma once
// The main program's MDI main window.
#include "core/Seams.h"

#include <QMainWindow>

class QAction;
class QLabel;
class QMdiArea;

class frmMain : public QMainWindow, public IMainWindowSeam, public IStatusSink {
    Q_OBJECT
public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    QMdiArea* mdiArea() const { return mdiArea_; }

    // IMainWindowSeam
    QWidget* widget() override { return this; }
    void setFollowMouseChecked(bool checked) override;
    QString mruCaption(int item) const override;
    void setMruCaption(int item, const QString& caption) override;
    void setMruVisible(int item, bool visible) override;
    bool isMinimized() const override;
    void placementTwips(double* left, double* top, double* width, double* height) const override;
    void showMain() override;

    // IStatusSink
    void setStatusText(const QString& text) override;
    QString statusText() const;

    QAction* mnuFileMRU[5] = {};
    QAction* mnuFileExit = nullptr;
    QAction* mnuWindowFollowMouse = nullptr;

    // Runs the shut-down; false when a window refused to close (the program keeps running).
    bool ShutDown();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void mnuFileExit_Click();

    QMdiArea* mdiArea_ = nullptr;
    QLabel* statusPanel_ = nullptr;
    bool shutDownDone_ = false;
};
