#pragma once
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "commserver/app/WindowThreadCalls.h"
#include "platform/WindowMessages.h"

class CCommsServerApp;
class CServerWindow;
class QSystemTrayIcon;
class QMenu;

// Command numbers of the server's main window: its menu, the tray menu, and what other programs send.
namespace ServerCommand {
constexpr int Settings = 32771;
constexpr int ComStatusChanged = 32772;
constexpr int TrayCallback = 32779;
constexpr int CloseHistory = 32783;
constexpr int CloseLinkInfo = 32784;
constexpr int CloseDiagnostics = 32785;
constexpr int CloseAbout = 32786;
constexpr int OpenHistory = 32788;
constexpr int OpenLinkInfo = 32789;
constexpr int OpenDiagnostics = 32790;
constexpr int OpenAbout = 32791;
constexpr int OpenProgress = 32794;
constexpr int CloseProgress = 32795;
constexpr int OpenRs232 = 32798;
constexpr int CloseRs232 = 32799;
constexpr int AppAbout = 57664;
constexpr int AppExit = 57665;
} // namespace ServerCommand

// The server's modeless windows, each at most once.
enum class ServerWindowKind { History, LinkInfo, Diagnostics, About, Progress, Rs232, Settings };
constexpr int kServerWindowKinds = 7;

// One line of the tray icon's menu.
struct TrayMenuEntry {
    QString text; // empty for a separator
    int command = 0;
    bool checked = false;
    bool enabled = true;
};

// The server's hidden main window. It is what other programs find by class and title: the main program closes
// it before importing, manager programs ask it for the status and toggle its windows. It carries the tray
// icon and its menu, follows the worker's status notifications and opens and closes the other windows.
// Messages from other programs arrive on the window interface's own thread and are handled here on the
// window thread, in the order they came.
class CMainFrame : public QObject {
    Q_OBJECT
public:
    explicit CMainFrame(CCommsServerApp& app);
    ~CMainFrame() override;

    // Registers the window (after the start-up banner), reopens the windows that were open at the last exit,
    // adds the tray icon and greets the manager programs. False when the window could not be registered.
    bool Create();
    plat::winmsg::WindowHandle Handle() const { return listener_.handle(); }
    // Destroyed: the window interface is gone and the program's loop should end.
    bool Destroyed() const { return destroyed_; }

    void OnCommand(int id);
    // The window messages other programs send, as the window thread handles them.
    void OnMessage(const plat::winmsg::WindowMessage& message);
    void OnCopyData(std::uint64_t dwData, const std::vector<std::uint8_t>& data);
    void OnClose();
    void OnComStatusChanged();

    CServerWindow* Window(ServerWindowKind kind) const;
    bool IsOpen(ServerWindowKind kind) const { return Window(kind) != nullptr; }
    bool ProgressOpenedAutomatically() const { return progressAuto_; }

    // Tray: whether an icon is shown (a tray may not exist; the model is kept regardless), its tip, which
    // picture it shows (0 idle, 1 and 2 the two activity pictures) and its menu as it would pop up now.
    bool TrayVisible() const { return trayVisible_; }
    QString TrayTip() const;
    int TrayPicture() const { return trayPicture_; }
    bool TrayAnimating() const { return trayTimer_.isActive(); }
    std::vector<TrayMenuEntry> TrayMenu() const;
    // Pops the tray menu up at the mouse; the menu last popped up (null once it is gone).
    void popupTrayMenu();
    QMenu* TrayMenuWidget() const;
    // Where the desktop has no tray: the main window, shown minimised, with the tray's menu in its menu bar
    // (null when a tray icon is shown or the tray is off).
    QWidget* NoTrayWindow() const;
    void OnTrayTimer();
    // The worker saw bytes move.
    void OnActivity();
    void RefreshTrayIcon();
    // Captions of the open windows follow the port name.
    void RefreshCaptions();

signals:
    void destroyed_window();

private:
    void open(ServerWindowKind kind, bool automatic = false);
    void close(ServerWindowKind kind);
    void toggle(ServerWindowKind kind);
    void addTray();
    void removeTray();
    void fillTrayMenu(QMenu* menu);
    void notifyCommsManagers();
    void sendStatus(std::uint64_t requester);
    QIcon trayIcon(int picture) const;

    CCommsServerApp& app_;
    // What the window interface's thread and the worker hand over; it outlives the listener that posts to it.
    WindowThreadCalls fromOtherThreads_;
    plat::winmsg::WindowListener listener_;
    std::array<QPointer<CServerWindow>, kServerWindowKinds> windows_;
    bool progressAuto_ = false;
    int lastStatus_ = -1;
    bool destroyed_ = false;

    bool trayVisible_ = false;
    int trayPicture_ = 0;
    std::uint64_t trayTotal_ = 0;
    QTimer trayTimer_;
    // The tray's widgets go with deleteLater: the Close command runs inside one of their own signals.
    QPointer<QSystemTrayIcon> tray_;
    QPointer<QMenu> trayMenu_;
    QPointer<QWidget> noTrayWindow_;
};
