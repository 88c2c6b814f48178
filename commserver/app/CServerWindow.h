#pragma once
#include <QDialog>
#include <QPoint>
#include <QString>

class CCommsServerApp;

// What the server's modeless windows share: a caption made of a fixed text and the port name, a place kept in
// the settings file (x and y of the window's section; at first cascaded from the screen's corner), and one
// instance at a time that is destroyed when it closes (Finish, OK or the close box).
class CServerWindow : public QDialog {
    Q_OBJECT
public:
    CServerWindow(CCommsServerApp& app, const QString& captionStart, const QString& section);

    void RefreshCaption();
    QString Section() const { return section_; }
    // Closes and destroys the window, keeping its place.
    void CloseWindow() { done(QDialog::Rejected); }
    // Closed (its destruction may still be pending).
    bool Finished() const { return finished_; }
    // The main window forwards the worker's status notifications to windows that follow them.
    virtual void OnStatusChanged() {}

    void done(int result) override;
    // Where the next window without a stored place opens.
    static QPoint CascadePosition();

protected:
    void showEvent(QShowEvent* event) override;

    CCommsServerApp& app_;

private:
    QString captionStart_;
    QString section_;
    bool placed_ = false;
    bool finished_ = false;
};
