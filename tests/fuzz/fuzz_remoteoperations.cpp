// The server's request handlers behind the frames: a remote unit that sends whatever requests and transfer
// frames it likes (logged on or not) may make the server refuse, fail or answer, but never touch a file
// outside the folders it offers, change the server's own settings file, or put a control character into an
// event. Programs are never started: the program-run request is left out.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/commserver/MemoryUserStore.h"
#include "FuzzSetup.h"
#include "commserver/HistoryLog.h"
#include "commserver/LinkClock.h"
#include "commserver/LinkFrame.h"
#include "commserver/LinkServer.h"
#include "commserver/UserTables.h"
#include "platform/SerialPort.h"

namespace fs = std::filesystem;

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

// The line: what the fuzzer's remote unit sends waits to be read; every frame the server writes is
// acknowledged at once, as a well-behaved remote unit would.
class LinePort final : public plat::SerialPort {
public:
    static LinePort* Open() { return new LinePort(); }
    int ReadChar() override {
        if (rx_.empty())
            return plat::kSerialNoData;
        const int c = rx_.front();
        rx_.pop_front();
        return c;
    }
    int WriteChar(int) override { return 0; }
    int WriteBlock(const void* data, int length) override {
        const auto* p = static_cast<const std::uint8_t*>(data);
        tx.insert(tx.end(), p, p + length);
        rx_.push_back(comms::kFrameAck);
        return 0;
    }
    int SetParameters(long, char, int, int) override { return 0; }
    int SetSoftwareHandshake(bool) override { return 0; }
    int SetHardwareHandshake(bool) override { return 0; }
    int SetDtr(bool) override { return 0; }
    int SetRts(bool) override { return 0; }
    int RxUsed() override { return static_cast<int>(rx_.size()); }
    int ClearTxBuffer() override { return 0; }
    int ModemStatus() override { return plat::kModemCts | plat::kModemDsr | plat::kModemDcd; }
    int LineStatus() override { return 0; }
    int ClearLineErrors() override { return 0; }

    void push(const std::vector<std::uint8_t>& bytes) { rx_.insert(rx_.end(), bytes.begin(), bytes.end()); }
    bool idle() const { return rx_.empty(); }
    std::vector<std::uint8_t> tx;

private:
    LinePort() : SerialPort(0) {}
    std::deque<std::uint8_t> rx_;
};

class StepClock final : public comms::LinkClock {
public:
    std::int64_t Now() override { return now; }
    void SleepMs(int) override {}
    std::int64_t now = 1'700'000'000;
};

// The policy row and one user with every right, in memory.
std::unique_ptr<comms::UserStore> OneUserStore() {
    auto shared = std::make_shared<MemoryUserStore::Shared>();
    comms::UserRecord policy;
    policy.userName = comms::kPolicyUserName;
    policy.enabled = policy.uncAllowed = policy.otherDirsAllowed = policy.netDrivesAllowed = true;
    policy.programRunsAllowed = true;
    policy.autoDisable = 1000;
    MemoryUserStore::Add(*shared, policy);
    comms::UserRecord jim = policy;
    jim.userName = "jim";
    jim.password = "pw";
    MemoryUserStore::Add(*shared, jim);
    return std::make_unique<MemoryUserStore>(shared);
}

const std::string kSettings = "[Security]\r\nEnforceSecurity=1\r\n";
const std::string kCanary = "outside";

struct Folders {
    fs::path root;
    fs::path server() const { return root / "server"; }
    fs::path outside() const { return root / "outside"; }
    fs::path driveC() const { return root / "drive_c"; }
};

const Folders& folders() {
    static const Folders f = [] {
        // The tree is made again for every input: a memory file system keeps that quick where there is one.
        static const std::string root = MakeFuzzScratchFolder("remote");
        check(!root.empty());
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(root, ec);
        });
        return Folders{root};
    }();
    return f;
}

void write(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}
std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The same small tree for every input.
void plantTree(const Folders& f) {
    std::error_code ec;
    for (const fs::path& p : {f.server(), f.outside(), f.driveC()}) {
        fs::permissions(p, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(p, ec);
    }
    fs::create_directories(f.server() / "SUB");
    fs::create_directories(f.driveC() / "DATA");
    fs::create_directories(f.outside());
    write(f.server() / "A.TXT", "alpha");
    write(f.server() / "SUB" / "B.TXT", "beta");
    write(f.server() / "Quendar32.Ini", kSettings);
    write(f.driveC() / "DATA" / "C.TXT", "gamma");
    write(f.outside() / "canary.txt", kCanary);
    fs::create_directory_symlink(f.outside(), f.server() / "link", ec);
    fs::create_symlink(f.outside() / "canary.txt", f.server() / "canary.lnk", ec);
}

// Request types the fuzzer's operations stand for; the program run (1011) is never sent.
const int kTypes[] = {1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1013, 1015, 1017, 1020, 1022, 1023, 1024};
constexpr int kTypeCount = sizeof kTypes / sizeof kTypes[0];
constexpr int kLogon = kTypeCount;
constexpr int kAdvanceClock = kTypeCount + 1;
constexpr int kRawBytes = kTypeCount + 2;
constexpr int kOperations = kTypeCount + 3;

// The last frame of that type the server wrote since from, or an empty payload.
bool lastFrame(const std::vector<std::uint8_t>& tx, std::size_t from, int type, std::vector<std::uint8_t>& payload) {
    bool found = false;
    std::size_t i = from;
    while (i + 7 <= tx.size()) {
        if (tx[i] != comms::kFrameStart) {
            ++i;
            continue;
        }
        const std::size_t total = tx[i + 1] | (tx[i + 2] << 8);
        if (total < 7 || i + total > tx.size())
            break;
        if ((tx[i + 3] | (tx[i + 4] << 8)) == type) {
            payload.assign(tx.begin() + static_cast<long>(i + 5), tx.begin() + static_cast<long>(i + total - 2));
            found = true;
        }
        i += total;
    }
    return found;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const Folders& f = folders();
    plantTree(f);

    StepClock clock;
    comms::HistoryLog history;
    history.SetClock([&clock] { return clock.now; });
    comms::UserTables users(OneUserStore());
    const int security = data[0] & 1;
    users.LoadUserTables(security, "/");
    LinePort* port = nullptr;
    {
        comms::LinkServer server(history, users, clock);
        server.SetPortNumber(0);
        server.SetSecurityLevel(security);
        server.Link().timers.OpticalDelay = 0;
        server.Paths().SetServerFolder(f.server().string());
        server.Paths().MapDrive('C', f.driveC().string());
        server.Paths().SetNetworkTest([](const std::string&) { return false; });
        server.Paths().SetServerFiles({(f.server() / "Quendar32.Ini").string()});
        server.SetPortOpener([&port](int, long) {
            port = LinePort::Open();
            return port;
        });
        server.BeginWorker();
        server.PostRequest(comms::WorkerRequest::Reopen);
        server.RunCycle();
        check(port != nullptr);

        auto settle = [&] {
            for (int i = 0; i < 24 && (!port->idle() || server.State() != comms::LinkState::Idle); ++i)
                server.RunCycle();
        };
        std::size_t at = 1;
        while (at + 3 <= size) {
            const int op = data[at] % kOperations;
            std::size_t length =
                static_cast<std::size_t>(data[at + 1] | (data[at + 2] << 8)) % (comms::kMaxPayload + 1);
            at += 3;
            if (length > size - at)
                length = size - at;
            const std::vector<std::uint8_t> payload(data + at, data + at + length);
            at += length;
            if (op < kTypeCount) {
                port->push(comms::MakeLinkFrame(kTypes[op], payload));
            } else if (op == kLogon) {
                const std::size_t from = port->tx.size();
                port->push(
                    comms::MakeLinkFrame(comms::FrameType::Connect, std::vector<std::uint8_t>{'j', 'i', 'm', 0}));
                settle();
                std::vector<std::uint8_t> challenge;
                if (lastFrame(port->tx, from, comms::FrameType::Challenge, challenge) && challenge.size() >= 30) {
                    std::array<std::uint8_t, 30> c{};
                    std::copy(challenge.begin(), challenge.begin() + 30, c.begin());
                    const std::uint32_t r = comms::PrimaryResponse("pw", c);
                    port->push(comms::MakeLinkFrame(comms::FrameType::Response,
                                                    std::vector<std::uint8_t>{static_cast<std::uint8_t>(r),
                                                                              static_cast<std::uint8_t>(r >> 8),
                                                                              static_cast<std::uint8_t>(r >> 16),
                                                                              static_cast<std::uint8_t>(r >> 24)}));
                }
            } else if (op == kAdvanceClock) {
                clock.now += payload.empty() ? 1 : payload[0];
            } else if (op == kRawBytes) {
                port->push(payload);
            }
            settle();
            port->tx.clear();
        }
        server.EndWorker();
    }

    check(read(f.outside() / "canary.txt") == kCanary);
    check(fs::is_symlink(f.server() / "canary.lnk"));
    check(read(f.server() / "Quendar32.Ini") == kSettings);
    for (const auto& e : history.Snapshot()) {
        for (char c : e.text)
            check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    }
    return 0;
}
