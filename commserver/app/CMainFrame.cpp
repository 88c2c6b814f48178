#include "commserver/app/CMainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include "commserver/app/CCommsServerApp.h"
#include "commserver/app/ServerDialogs.h"
#include "commserver/app/StatusReply.h"
#include "platform/UiServices.h"

using namespace quendar;
namespace wm = plat::winmsg;

namespace {

struct WindowInfo {
    ServerWindowKind kind;
    const char* section;
    int open;
    int close;
};
constexpr WindowInfo kWindows[] = {
    {ServerWindowKind::History, "History", ServerCommand::OpenHistory, ServerCommand::CloseHistory},
    {ServerWindowKind::LinkInfo, "Link Info", ServerCommand::OpenLinkInfo, ServerCommand::CloseLinkInfo},
    {ServerWindowKind::Diagnostics, "Diagnostics", ServerCommand::OpenDiagnostics, ServerCommand::CloseDiagnostics},
    {ServerWindowKind::Rs232, "RS232ErrorDisplay", ServerCommand::OpenRs232, ServerCommand::CloseRs232},
    {ServerWindowKind::About, "About", ServerCommand::OpenAbout, ServerCommand::CloseAbout},
    {ServerWindowKind::Progress, "Progress", ServerCommand::OpenProgress, ServerCommand::CloseProgress},
};

const WindowInfo* infoOf(ServerWindowKind kind) {
    for (const WindowInfo& w : kWindows)
        if (w.kind == kind)
            return &w;
    return nullptr;
}

std::size_t slot(ServerWindowKind kind) {
    return static_cast<std::size_t>(kind);
}

// The main window of a desktop without a tray: closing it closes the server, as the menu's Close does.
class NoTrayMainWindow : public QMainWindow {
public:
    explicit NoTrayMainWindow(std::function<void()> onClose) : onClose_(std::move(onClose)) {}

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        if (onClose_)
            QMetaObject::invokeMethod(this, onClose_, Qt::QueuedConnection);
    }

private:
    std::function<void()> onClose_;
};

} // namespace

CMainFrame::CMainFrame(CCommsServerApp& app) : app_(app) {
    trayTimer_.setInterval(300);
    connect(&trayTimer_, &QTimer::timeout, this, &CMainFrame::OnTrayTimer);
}

CMainFrame::~CMainFrame() {
    listener_.unregisterWindow();
    removeTray();
    // No command runs now, so what removeTray left for later goes at once.
    delete trayMenu_.data();
    delete tray_.data();
    delete noTrayWindow_.data();
    for (auto& w : windows_)
        delete w.data();
}

bool CMainFrame::Create() {
    if (app_.bannerOn) {
        CBannerDlg banner;
        plat::ui().execDialog(&banner);
        // A stop asked for while the banner showed: the window is not made at all.
        if (destroyed_)
            return false;
    }
    // Messages arrive on the interface's own thread; each is handed to the window thread in arrival order.
    const bool registered = listener_.registerWindow(kServerWindowClass, kServerWindowTitle,
                                                     [this](const wm::WindowMessage& m) -> std::uint64_t {
                                                         fromOtherThreads_.Post([this, m] { OnMessage(m); });
                                                         return m.msg == wm::WM_COPYDATA ? 1 : 0;
                                                     });
    if (!registered)
        return false;
    app_.commonLogger.SetServerWindow(listener_.handle());
    if (app_.settings.commonLoggerOn)
        app_.commonLogger.ConnectCommonLogger();

    // OnCreate: the windows that were open when the server last closed open again.
    for (const char* section : kReopenSections)
        for (const WindowInfo& w : kWindows)
            if (std::string_view(w.section) == section && app_.profile.GetInt(section, "Active", 0) != 0)
                QMetaObject::invokeMethod(
                    this, [this, id = w.open] { OnCommand(id); }, Qt::QueuedConnection);
    addTray();

    if (app_.engine) {
        // Both come from the worker's thread.
        app_.engine->SetNotify(
            [this] { fromOtherThreads_.Post([this] { OnCommand(ServerCommand::ComStatusChanged); }); });
        app_.engine->SetActivity([this] { fromOtherThreads_.Post([this] { OnActivity(); }); });
        app_.engine->SetNotificationFlag(true);
    }
    notifyCommsManagers();
    return true;
}

void CMainFrame::notifyCommsManagers() {
    const auto hello = ManagerHelloBytes();
    for (wm::WindowHandle manager : wm::findWindows(std::nullopt, kManagerWindowTitle))
        wm::sendMessage(manager, wm::WM_COPYDATA, 0, 0, hello, 2000);
}

CServerWindow* CMainFrame::Window(ServerWindowKind kind) const {
    CServerWindow* w = windows_[slot(kind)].data();
    return (w && !w->Finished()) ? w : nullptr;
}

void CMainFrame::open(ServerWindowKind kind, bool automatic) {
    if (IsOpen(kind) || destroyed_)
        return;
    CServerWindow* w = nullptr;
    switch (kind) {
    case ServerWindowKind::History:
        w = new CHistoryDlg(app_);
        break;
    case ServerWindowKind::LinkInfo:
        w = new CLinkInfoDlg(app_);
        break;
    case ServerWindowKind::Diagnostics:
        w = new CDiagnosticsDlg(app_);
        break;
    case ServerWindowKind::About:
        w = new CAboutDlg(app_);
        break;
    case ServerWindowKind::Progress:
        w = new CActivityDlg(app_);
        progressAuto_ = automatic;
        if (app_.settings.alwaysOnTop == 2)
            w->setWindowFlag(Qt::WindowStaysOnTopHint);
        if (automatic)
            w->setAttribute(Qt::WA_ShowWithoutActivating);
        break;
    case ServerWindowKind::Rs232:
        w = new CRs232Dlg(app_);
        break;
    case ServerWindowKind::Settings:
        w = new CSettingsDlg(app_);
        break;
    }
    windows_[slot(kind)] = w;
    w->show();
}

void CMainFrame::close(ServerWindowKind kind) {
    if (CServerWindow* w = Window(kind))
        w->CloseWindow();
    if (kind == ServerWindowKind::Progress)
        progressAuto_ = false;
}

void CMainFrame::toggle(ServerWindowKind kind) {
    const WindowInfo* info = infoOf(kind);
    OnCommand(IsOpen(kind) ? info->close : info->open);
}

void CMainFrame::OnCommand(int id) {
    using namespace ServerCommand;
    switch (id) {
    case Settings:
        open(ServerWindowKind::Settings);
        return;
    case ComStatusChanged:
        OnComStatusChanged();
        return;
    case AppAbout:
        open(ServerWindowKind::About);
        return;
    case AppExit:
        app_.closing = true;
        if (app_.engine)
            app_.engine->PostRequest(comms::WorkerRequest::Quit);
        OnClose();
        return;
    default:
        break;
    }
    for (const WindowInfo& w : kWindows) {
        if (id == w.open)
            open(w.kind);
        else if (id == w.close)
            close(w.kind);
    }
}

void CMainFrame::OnMessage(const wm::WindowMessage& m) {
    if (destroyed_)
        return;
    switch (m.msg) {
    case wm::WM_CLOSE:
        OnClose();
        break;
    case wm::WM_COMMAND:
        OnCommand(static_cast<int>(m.wParam & 0xFFFF));
        break;
    case wm::WM_COPYDATA:
        OnCopyData(m.lParam, m.data);
        break;
    default:
        // WM_CANCELMODE and the rest: nothing to end in a window without menus or capture.
        break;
    }
}

void CMainFrame::OnCopyData(std::uint64_t dwData, const std::vector<std::uint8_t>& data) {
    const auto command = CopyDataCommandOf(data);
    if (!command)
        return;
    switch (*command) {
    case CopyDataCommand::Status:
        sendStatus(dwData);
        break;
    case CopyDataCommand::ToggleDiagnostics:
        toggle(ServerWindowKind::Diagnostics);
        break;
    case CopyDataCommand::ToggleProgress:
        toggle(ServerWindowKind::Progress);
        break;
    case CopyDataCommand::ToggleAbout:
        toggle(ServerWindowKind::About);
        break;
    case CopyDataCommand::ToggleLinkInfo:
        toggle(ServerWindowKind::LinkInfo);
        break;
    case CopyDataCommand::ToggleHistory:
        toggle(ServerWindowKind::History);
        break;
    case CopyDataCommand::Exit:
        OnCommand(ServerCommand::AppExit);
        break;
    case CopyDataCommand::Reopen:
        app_.settings.previousPortNumber = app_.settings.portNumber;
        if (app_.engine)
            app_.engine->PostRequest(comms::WorkerRequest::ReopenWhenAllowed);
        break;
    default:
        break;
    }
}

void CMainFrame::sendStatus(std::uint64_t requester) {
    if (requester == 0)
        return;
    const StatusReply reply = app_.BuildStatus();
    const wm::WindowHandle self = listener_.handle();
    wm::sendMessage(requester, wm::WM_COPYDATA, self, self, reply, 2000);
}

void CMainFrame::OnComStatusChanged() {
    if (!app_.engine || destroyed_)
        return;
    const int status = app_.engine->UiStatus();
    if (app_.settings.alwaysOnTop == 1 && status != lastStatus_) {
        if (status == comms::LinkStatus::Receiving || status == comms::LinkStatus::Sending) {
            if (!IsOpen(ServerWindowKind::Progress))
                open(ServerWindowKind::Progress, true);
        } else if (progressAuto_) {
            close(ServerWindowKind::Progress);
        }
    }
    if (CServerWindow* progress = Window(ServerWindowKind::Progress))
        progress->OnStatusChanged();
    if (CServerWindow* linkInfo = Window(ServerWindowKind::LinkInfo))
        linkInfo->OnStatusChanged();
    lastStatus_ = status;
    app_.engine->SetNotificationFlag(true);
}

void CMainFrame::OnClose() {
    if (destroyed_)
        return;
    if (app_.engine)
        app_.engine->SetNotificationFlag(false);
    removeTray();
    if (CServerWindow* settings = Window(ServerWindowKind::Settings))
        settings->CloseWindow();
    // Modal windows end with their loops: the Advanced dialog, and a message box still waiting for the operator
    // (the test-mode warning at start), which would otherwise hold the closing server up until someone answers.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isModal() && dialog->isVisible())
            dialog->reject();
    for (const WindowInfo& info : kWindows) {
        const bool open = IsOpen(info.kind);
        const bool keep = open && !(info.kind == ServerWindowKind::Progress && progressAuto_);
        app_.profile.WriteInt(info.section, "Active", keep ? 1 : 0);
        if (open)
            Window(info.kind)->CloseWindow();
    }
    destroyed_ = true;
    listener_.unregisterWindow();
    emit destroyed_window();
}

// --- tray ---

QString CMainFrame::TrayTip() const {
    return QString::fromLatin1(kServerWindowTitle).left(63);
}

std::vector<TrayMenuEntry> CMainFrame::TrayMenu() const {
    using namespace ServerCommand;
    const QString port = QString::fromStdString(app_.PortName());
    auto entry = [this](const char* text, ServerWindowKind kind, int openId, int closeId) {
        const bool open = IsOpen(kind);
        return TrayMenuEntry{QString::fromLatin1(text), open ? closeId : openId, open, true};
    };
    std::vector<TrayMenuEntry> menu;
    {
        const bool open = IsOpen(ServerWindowKind::Progress);
        menu.push_back({QStringLiteral("&Activity on ") + port, open ? CloseProgress : OpenProgress, open, true});
    }
    menu.push_back({});
    menu.push_back(entry("&History ...", ServerWindowKind::History, OpenHistory, CloseHistory));
    menu.push_back(entry("&Link Info ...", ServerWindowKind::LinkInfo, OpenLinkInfo, CloseLinkInfo));
    menu.push_back(entry("Dia&gnostics ...", ServerWindowKind::Diagnostics, OpenDiagnostics, CloseDiagnostics));
    menu.push_back(entry("Serial Errors ...", ServerWindowKind::Rs232, OpenRs232, CloseRs232));
    menu.push_back(entry("A&bout ...", ServerWindowKind::About, OpenAbout, CloseAbout));
    menu.push_back({});
    const bool settingsOpen = IsOpen(ServerWindowKind::Settings);
    menu.push_back({QStringLiteral("&Settings ..."), Settings, settingsOpen, !settingsOpen});
    menu.push_back({});
    menu.push_back({QStringLiteral("&Close Comms on ") + port, AppExit, false, true});
    return menu;
}

QIcon CMainFrame::trayIcon(int picture) const {
    // One idle and two activity pictures per port: the port's number on a disc whose arrows light in turn.
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 90), 1.5));
    p.setBrush(picture == 0 ? QColor(170, 185, 210) : QColor(90, 190, 110));
    p.drawEllipse(QRectF(1.5, 1.5, 29, 29));
    const QColor lit(250, 220, 60), dim(60, 110, 70);
    if (picture != 0) {
        p.setPen(Qt::NoPen);
        p.setBrush(picture == 1 ? lit : dim);
        p.drawPolygon(QPolygonF({QPointF(6, 12), QPointF(12, 5), QPointF(18, 12)}));
        p.setBrush(picture == 2 ? lit : dim);
        p.drawPolygon(QPolygonF({QPointF(14, 20), QPointF(20, 27), QPointF(26, 20)}));
    }
    p.setPen(QColor(20, 20, 40));
    QFont f = p.font();
    f.setPixelSize(12);
    f.setBold(true);
    p.setFont(f);
    const int port = app_.settings.portNumber;
    p.drawText(QRectF(0, 0, 32, 32), Qt::AlignCenter, port < 0 ? QStringLiteral("-") : QString::number(port + 1));
    return QIcon(pm);
}

void CMainFrame::addTray() {
    if (!app_.trayOn)
        return;
    trayVisible_ = true;
    trayPicture_ = 0;
    // Where there is no tray (a desktop without a panel, a test) the model stays, and the main window stands
    // in for the icon: minimised, titled like the icon's tip, with the tray's menu in its menu bar.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        auto* window = new NoTrayMainWindow([this] { OnCommand(ServerCommand::AppExit); });
        window->setWindowTitle(TrayTip());
        window->setWindowIcon(trayIcon(0));
        QMenu* menu = window->menuBar()->addMenu(QStringLiteral("&Comms"));
        connect(menu, &QMenu::aboutToShow, this, [this, menu] { fillTrayMenu(menu); });
        fillTrayMenu(menu);
        auto* text = new QLabel(QStringLiteral("No system tray was found on this desktop: the Comms menu above "
                                               "holds what the tray icon's menu would."),
                                window);
        text->setWordWrap(true);
        text->setMargin(12);
        window->setCentralWidget(text);
        window->resize(420, 120);
        noTrayWindow_ = window;
        window->showMinimized();
        return;
    }
    tray_ = new QSystemTrayIcon(this);
    tray_->setToolTip(TrayTip());
    tray_->setIcon(trayIcon(0));
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Context)
            popupTrayMenu();
    });
    tray_->show();
}

void CMainFrame::removeTray() {
    trayTimer_.stop();
    trayVisible_ = false;
    // Close from the menu runs inside the menu's own event handling, which goes on using the menu after the
    // command returns: the menu, the icon and the window go once the event loop is back in charge.
    if (trayMenu_) {
        trayMenu_->hide();
        trayMenu_->deleteLater();
    }
    if (tray_) {
        tray_->hide();
        tray_->deleteLater();
    }
    if (noTrayWindow_) {
        noTrayWindow_->hide();
        noTrayWindow_->deleteLater();
    }
}

QMenu* CMainFrame::TrayMenuWidget() const {
    return trayMenu_.data();
}

QWidget* CMainFrame::NoTrayWindow() const {
    return noTrayWindow_.data();
}

void CMainFrame::fillTrayMenu(QMenu* menu) {
    menu->clear();
    for (const TrayMenuEntry& e : TrayMenu()) {
        if (e.text.isEmpty()) {
            menu->addSeparator();
            continue;
        }
        QAction* a = menu->addAction(e.text);
        a->setCheckable(e.checked);
        a->setChecked(e.checked);
        a->setEnabled(e.enabled);
        connect(
            a, &QAction::triggered, this, [this, id = e.command] { OnCommand(id); }, Qt::QueuedConnection);
    }
}

void CMainFrame::popupTrayMenu() {
    if (trayMenu_)
        trayMenu_->deleteLater();
    trayMenu_ = new QMenu;
    fillTrayMenu(trayMenu_);
    trayMenu_->popup(QCursor::pos());
}

void CMainFrame::RefreshTrayIcon() {
    if (!trayVisible_)
        return;
    if (tray_) {
        tray_->setIcon(trayIcon(trayPicture_));
        tray_->setToolTip(TrayTip());
    }
}

void CMainFrame::OnActivity() {
    if (!trayVisible_ || trayTimer_.isActive())
        return;
    trayTimer_.start();
}

void CMainFrame::OnTrayTimer() {
    if (!app_.engine)
        return;
    auto& stats = app_.engine->Link().statistics;
    const std::uint64_t total =
        std::uint64_t(stats.Get(comms::LinkCounter::RxBytes)) + stats.Get(comms::LinkCounter::TxBytes);
    if (total == trayTotal_) {
        trayTimer_.stop();
        trayPicture_ = 0;
    } else {
        trayPicture_ = trayPicture_ == 1 ? 2 : 1;
        trayTotal_ = total;
    }
    RefreshTrayIcon();
}

void CMainFrame::RefreshCaptions() {
    for (auto& w : windows_)
        if (w && !w->Finished())
            w->RefreshCaption();
}
