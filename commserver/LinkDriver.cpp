// A small program that runs the server's engine on one port without any window, for trying a remote unit or
// a modem by hand: it prints each history event as it happens and stops on Ctrl+C.
//
//   quendar_link --port N [--folder DIR] [--drive C=/path ...] [--comms N] [--security 0|1|2 --users DIR]
//
// N is zero-based (0 = COM1); $VORD_COM<N+1> names the device when it is not /dev/ttyS<N>.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "commserver/HistoryLog.h"
#include "commserver/LinkServer.h"
#include "commserver/XbaseUserStore.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void onSignal(int) {
    g_stop = 1;
}

int usage() {
    std::fprintf(stderr, "usage: quendar_link --port N [--folder DIR] [--drive C=/path] [--comms N] "
                         "[--security 0|1|2 --users DIR]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    int port = -1, comms = 0, security = 0;
    std::string folder = ".", users;
    comms::HistoryLog history;
    auto store = std::make_unique<comms::XbaseUserStore>();
    comms::XbaseUserStore& userStore = *store;
    comms::UserTables tables(std::move(store));
    comms::LinkServer server(history, tables);
    userStore.SetRemoteWritable([&server](const std::string& folder) { return server.Paths().Offers(folder); });
    userStore.SetNote([](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); });
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc)
            return usage();
        const std::string v = argv[++i];
        if (a == "--port")
            port = std::atoi(v.c_str());
        else if (a == "--folder")
            folder = v;
        else if (a == "--comms")
            comms = std::atoi(v.c_str());
        else if (a == "--security")
            security = std::atoi(v.c_str());
        else if (a == "--users")
            users = v;
        else if (a == "--drive" && v.size() > 2 && v[1] == '=')
            server.Paths().MapDrive(v[0], v.substr(2));
        else
            return usage();
    }
    if (port < 0)
        return usage();
    server.SetPortNumber(port);
    server.SetComms(comms);
    server.SetSecurityLevel(security);
    server.Paths().SetServerFolder(folder);
    if (security != 0) {
        std::vector<std::string> own = comms::UserTableFiles(users);
        own.push_back(comms::SharedLogPath());
        server.Paths().SetServerFiles(std::move(own));
    }
    if (security != 0 && tables.LoadUserTables(security, users) != 1)
        std::fprintf(stderr, "no user table in %s: every logon will be refused\n", users.c_str());

    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    server.Start();
    server.PostRequest(comms::WorkerRequest::Reopen);
    std::uint32_t seen = history.ChangeCounter();
    auto printNew = [&] {
        const std::uint32_t now = history.ChangeCounter();
        if (now == seen)
            return;
        const auto entries = history.Snapshot();
        // The counter tells how many came since the last look (at most the whole ring).
        const std::uint32_t fresh = std::min<std::uint32_t>(now - seen, comms::HistoryLog::kEntries);
        for (std::size_t i = entries.size() - fresh; i < entries.size(); ++i)
            std::printf("%s %s\n", comms::FormatEventTime(entries[i].time).c_str(), entries[i].text.c_str());
        std::fflush(stdout);
        seen = now;
    };
    while (!g_stop) {
        printNew();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    server.Stop();
    printNew();
    tables.CloseUserTables();
    return 0;
}
