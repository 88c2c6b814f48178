// Whole transfers through the communications server: the remote unit uploads and downloads 10 MB over a
// pseudo-terminal pair with the server's worker thread on the other end, optical-link pause 0. A
// pseudo-terminal passes bytes at memory speed, so the run measures what the server itself costs per block;
// that cost is then put beside the time the same bytes need on a real 115200-baud line (10 bits a byte, both
// directions in turn, as the protocol is request and reply), and the resulting payload rate is compared with
// the frame layer's own limit at that rate: full frames, each followed by its acknowledgement only.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "commserver/HistoryLog.h"
#include "commserver/LinkServer.h"
#include "commserver/UserTables.h"
#include "remoteunit/PtyPair.h"
#include "remoteunit/RemoteSession.h"
#include "remoteunit/RemoteUnit.h"

namespace {

namespace fs = std::filesystem;
constexpr int kPort = 33; // the server offers COM1 to COM35
constexpr std::size_t kSize = 10u << 20;
constexpr double kBaud = 115200;

class NoUsers final : public comms::UserStore {
public:
    bool Open(const std::string&) override { return false; }
    void Close() override {}
    bool IsOpen() const override { return false; }
    bool Read(const std::string&, comms::UserRecord&) override { return false; }
    bool Update(int, const std::function<void(comms::UserRecord&)>&, comms::UserRecord*) override { return false; }
};

struct Rig {
    Rig() {
        char tmpl[] = "/tmp/quendar-bench-XXXXXX";
        folder = ::mkdtemp(tmpl);
        pty.mapToPort(kPort);
        server.SetPortNumber(kPort);
        server.SetComms(0);
        server.Link().timers.OpticalDelay = 0;
        server.Paths().SetServerFolder(folder);
        server.Start();
        server.PostRequest(comms::WorkerRequest::Reopen);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (server.UiStatus() != comms::LinkStatus::Ready && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~Rig() {
        server.Stop();
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    bool ready() const { return server.UiStatus() == comms::LinkStatus::Ready; }
    void settle() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (server.State() != comms::LinkState::Idle && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    std::string folder;
    PtyPair pty;
    comms::HistoryLog history;
    comms::UserTables users{std::make_unique<NoUsers>()};
    comms::LinkServer server{history, users};
    RemoteUnit unit{pty.masterFd()};
    RemoteSession session{unit, 10000};
};

std::vector<std::uint8_t> data() {
    std::vector<std::uint8_t> d(kSize);
    for (std::size_t i = 0; i < d.size(); ++i)
        d[i] = static_cast<std::uint8_t>(i * 131 + (i >> 10));
    return d;
}

void report(benchmark::State& state, double seconds, std::uint64_t wireBytes) {
    const double lineSeconds = static_cast<double>(wireBytes) * 10.0 / kBaud;
    const double modelled = static_cast<double>(kSize) / (lineSeconds + seconds);
    const double frameLimit =
        static_cast<double>(comms::kMaxPayload) / (comms::kMaxFrameLength + 1) * kBaud / 10.0;
    state.counters["pty_payload_Bps"] = static_cast<double>(kSize) / seconds;
    state.counters["server_ms_per_MB"] = seconds * 1000.0 / 10.0;
    state.counters["wire_bytes"] = static_cast<double>(wireBytes);
    state.counters["payload_Bps_115200"] = modelled;
    state.counters["frame_limit_Bps_115200"] = frameLimit;
    state.counters["share_of_frame_limit_pct"] = 100.0 * modelled / frameLimit;
}

void BM_ServerUpload10MB(benchmark::State& state) {
    Rig rig;
    if (!rig.ready()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    const auto d = data();
    for (auto _ : state) {
        const auto before = rig.server.Link().statistics.Snapshot();
        const auto start = std::chrono::steady_clock::now();
        const int r = rig.session.Upload("UP.BIN", d);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        rig.settle();
        if (r != comms::FrameType::Done) {
            state.SkipWithError("upload failed");
            return;
        }
        const auto after = rig.server.Link().statistics.Snapshot();
        report(state, seconds, (after[0] - before[0]) + (after[1] - before[1]));
    }
}
BENCHMARK(BM_ServerUpload10MB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_ServerDownload10MB(benchmark::State& state) {
    Rig rig;
    if (!rig.ready()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    {
        const auto d = data();
        std::ofstream(rig.folder + "/DOWN.BIN", std::ios::binary)
            .write(reinterpret_cast<const char*>(d.data()), static_cast<std::streamsize>(d.size()));
    }
    for (auto _ : state) {
        const auto before = rig.server.Link().statistics.Snapshot();
        std::vector<std::uint8_t> got;
        const auto start = std::chrono::steady_clock::now();
        const int r = rig.session.Download("DOWN.BIN", got);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        rig.settle();
        if (r != comms::FrameType::Done || got.size() != kSize) {
            state.SkipWithError("download failed");
            return;
        }
        const auto after = rig.server.Link().statistics.Snapshot();
        report(state, seconds, (after[0] - before[0]) + (after[1] - before[1]));
    }
}
BENCHMARK(BM_ServerDownload10MB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

BENCHMARK_MAIN();
