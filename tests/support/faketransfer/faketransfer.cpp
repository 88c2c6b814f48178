// A stand-in for the outside field-unit transfer program. The tests copy it into the program folder under the
// transfer program's name. It takes the same arguments (link, ComPort=n, READ or WRITE, folder), logs them
// and the files it was given, delivers prepared files on READ, and leaves the result file xfer.err as its
// configuration says. The configuration is RovemarkTalk.cfg beside it, one key=value per line:
//   result=<line 1>         (default 0)
//   message=<line 2>        (default "Transfer complete")
//   resultlines=2|1|0       how many lines xfer.err gets; 0 writes no file (default 2)
//   resultfolder=given|from|to   where xfer.err goes (from/to: that sibling of the given folder)
//   deliver=<folder>        on READ, every file of that folder is copied into the given folder
//   crash=1                 ends by a signal instead of normally
//   gate=<file>             after logging, makes <file>.started and waits until <file> exists (at most 60 s)
// The log is RovemarkTalk.log beside it: "ARGS" and the arguments, then "FILES" and the names in the folder,
// tab-separated, one line each per run.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    const fs::path self = fs::absolute(argv[0]);
    const fs::path home = self.parent_path();
    std::map<std::string, std::string> cfg{
        {"result", "0"}, {"message", "Transfer complete"}, {"resultlines", "2"}, {"resultfolder", "given"}};
    {
        std::ifstream in(home / (self.filename().string() + ".cfg"));
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            const auto eq = line.find('=');
            if (eq != std::string::npos)
                cfg[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    const std::vector<std::string> args(argv + 1, argv + argc);
    const fs::path folder = args.size() >= 4 ? fs::path(args[3]) : fs::path();
    const std::string mode = args.size() >= 3 ? args[2] : std::string();

    std::vector<std::string> names;
    std::error_code ec;
    if (!folder.empty())
        for (const auto& e : fs::directory_iterator(folder, ec))
            if (e.is_regular_file())
                names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    {
        std::ofstream log(home / (self.filename().string() + ".log"), std::ios::app);
        log << "ARGS";
        for (const std::string& a : args)
            log << '\t' << a;
        log << "\nFILES";
        for (const std::string& n : names)
            log << '\t' << n;
        log << '\n';
    }

    if (!cfg["gate"].empty()) {
        // A test holds the run here until it has seen what the waiting program shows.
        const fs::path gate = cfg["gate"];
        std::ofstream(gate.string() + ".started") << "started\n";
        for (int i = 0; i < 6000 && !fs::exists(gate, ec); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (mode == "READ" && !cfg["deliver"].empty() && !folder.empty()) {
        for (const auto& e : fs::directory_iterator(cfg["deliver"], ec))
            if (e.is_regular_file())
                fs::copy_file(e.path(), folder / e.path().filename(), fs::copy_options::overwrite_existing, ec);
    }
    if (cfg["crash"] == "1")
        std::raise(SIGKILL);

    const int lines = std::stoi(cfg["resultlines"]);
    if (lines > 0 && !folder.empty()) {
        fs::path target = folder;
        if (cfg["resultfolder"] == "from" || cfg["resultfolder"] == "to")
            target = folder.parent_path() / cfg["resultfolder"];
        std::ofstream out(target / "xfer.err", std::ios::binary | std::ios::trunc);
        out << cfg["result"] << "\r\n";
        if (lines > 1)
            out << cfg["message"] << "\r\n";
    }
    return 0;
}
