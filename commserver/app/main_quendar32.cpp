// The communications server: a program without a visible main window that answers remote units on a serial
// line, sits in the tray and is closed by the main program before it imports what the server received.
#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "commserver/app/CCommsServerApp.h"
#include "commserver/app/CMainFrame.h"
#include "commserver/app/EngineFactory.h"
#include "platform/AppInfo.h"
#include "platform/QtUi.h"

namespace {
int signalPipe[2] = {-1, -1};
void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
}
} // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    plat::setAppTitle(QStringLiteral("Quendar32"));
    plat::useQtUi();

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);

    CCommsServerApp app(quendar::MakeServerEngine);
    // A session's end or a kill asks the server to exit as its own Close command does. The handlers are in place
    // before the start shows any window, so a stop asked for while the server is still starting is kept and
    // carried out once it runs, never lost to the default action that would end it without its closing steps.
    bool stopAsked = false;
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &qapp);
        QObject::connect(notifier, &QSocketNotifier::activated, &qapp, [&app, &stopAsked] {
            char buf[16];
            while (::read(signalPipe[0], buf, sizeof buf) > 0) {
            }
            if (app.mainFrame)
                app.mainFrame->OnCommand(ServerCommand::AppExit);
            else
                stopAsked = true;
        });
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
        std::signal(SIGHUP, onSignal);
    }
    if (!app.InitInstance(args))
        return 0;

    QObject::connect(app.mainFrame.get(), &CMainFrame::destroyed_window, &qapp, &QApplication::quit,
                     Qt::QueuedConnection);
    if (stopAsked && app.mainFrame)
        app.mainFrame->OnCommand(ServerCommand::AppExit);
    qapp.exec();
    if (!app.ExitInstance()) {
        // The worker is stuck in a wait it cannot leave: end without running destructors under it.
        std::quick_exit(3);
    }
    return 0;
}
