// Throughput of the link's frame layer over a pseudo-terminal pair, with every frame acknowledged before the
// next goes out, and the share of a real line's rate that the protocol leaves for payload.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "commserver/LinkLayer.h"
#include "platform/SerialPort.h"
#include "remoteunit/PtyPair.h"
#include "remoteunit/RemoteUnit.h"

namespace {

constexpr int kPort = 50;
constexpr std::size_t kMegabyte = 1 << 20;
constexpr int kFrames = static_cast<int>((kMegabyte + comms::kMaxPayload - 1) / comms::kMaxPayload);

std::vector<std::uint8_t> payload() {
    std::vector<std::uint8_t> p(comms::kMaxPayload);
    for (std::size_t i = 0; i < p.size(); ++i)
        p[i] = static_cast<std::uint8_t>(i * 31 + 7);
    return p;
}

struct Line {
    Line() {
        pty.mapToPort(kPort);
        port = plat::PortOpen(kPort, 115200, 'N', 8, 1);
        link.SetPort(port);
        link.timers.OpticalDelay = 0;
        link.ResetReceiver();
    }
    ~Line() { port->Close(); }
    // False, with the benchmark skipped, on a machine that gives no pseudo-terminal.
    bool usable(benchmark::State& state) const {
        if (port->status() == 0)
            return true;
        state.SkipWithError("no pseudo-terminal");
        return false;
    }
    PtyPair pty;
    comms::LinkLayer link;
    plat::SerialPort* port = nullptr;
};

// The remote unit uploads 1 MB in full frames; the server assembles, checks and acknowledges each.
void BM_LinkFramesToServer(benchmark::State& state) {
    Line line;
    if (!line.usable(state))
        return;
    const auto data = payload();
    for (auto _ : state) {
        std::atomic<bool> failed{false};
        std::thread remote([&] {
            RemoteUnit unit(line.pty.masterFd());
            for (int i = 0; i < kFrames; ++i) {
                if (!unit.SendFrame(1001, data) || !unit.ExpectAck(5000)) {
                    failed = true;
                    return;
                }
            }
        });
        int received = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (received < kFrames && !failed && std::chrono::steady_clock::now() < deadline) {
            if (line.link.ReceiveFrame() == comms::kLinkOk) {
                benchmark::DoNotOptimize(line.link.ReceivedPayload().data());
                line.link.ResetReceiver();
                ++received;
            }
        }
        remote.join();
        if (failed || received < kFrames) {
            state.SkipWithError("transfer failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kFrames * comms::kMaxPayload);
    state.counters["frames"] = kFrames;
    state.counters["bad_packets"] = line.link.statistics.Get(comms::LinkCounter::RxBadPackets);
}
BENCHMARK(BM_LinkFramesToServer)->Unit(benchmark::kMillisecond)->UseRealTime();

// The server downloads 1 MB in full frames, waiting for each acknowledgement.
void BM_LinkFramesFromServer(benchmark::State& state) {
    Line line;
    if (!line.usable(state))
        return;
    const auto data = payload();
    for (auto _ : state) {
        std::atomic<bool> failed{false};
        std::thread remote([&] {
            RemoteUnit unit(line.pty.masterFd());
            for (int i = 0; i < kFrames; ++i) {
                if (!unit.ReceiveFrame(5000)) {
                    failed = true;
                    return;
                }
            }
        });
        for (int i = 0; i < kFrames && !failed; ++i) {
            line.link.SendFrame(1001, data.data(), static_cast<int>(data.size()));
            int r = comms::kLinkKeepWaiting;
            while (r == comms::kLinkKeepWaiting && !failed)
                r = line.link.WaitForAck();
            if (r != comms::kLinkOk)
                failed = true;
        }
        remote.join();
        if (failed) {
            state.SkipWithError("transfer failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kFrames * comms::kMaxPayload);
    state.counters["frames"] = kFrames;
    state.counters["resends"] = line.link.statistics.Get(comms::LinkCounter::TxRetransmissions);
}
BENCHMARK(BM_LinkFramesFromServer)->Unit(benchmark::kMillisecond)->UseRealTime();

// The physical limit on a real line (8 data bits, no parity, 1 stop bit: 10 bits a byte) for full frames
// sent one at a time: the frame's 7 bytes of framing, the acknowledgement that must come back before the
// next frame goes, and the default 20 ms optical-link pause before each frame. The percentages are shares of
// the line rate left for payload; payload_Bps is what that leaves in bytes per second.
void BM_LinkPayloadShareOfLineRate(benchmark::State& state) {
    const double baud = static_cast<double>(state.range(0));
    const double byteTime = 10.0 / baud;
    const double payloadTime = comms::kMaxPayload * byteTime;
    const double frameTime = comms::kMaxFrameLength * byteTime;
    const double ackTime = 1 * byteTime;
    const double opticalDelay = 0.020;
    double withDelay = 0;
    for (auto _ : state) {
        withDelay = payloadTime / (frameTime + ackTime + opticalDelay);
        benchmark::DoNotOptimize(withDelay);
    }
    state.counters["line_Bps"] = baud / 10.0;
    state.counters["framing_pct"] = 100.0 * payloadTime / frameTime;
    state.counters["with_ack_pct"] = 100.0 * payloadTime / (frameTime + ackTime);
    state.counters["with_optical_delay_pct"] = 100.0 * withDelay;
    state.counters["payload_Bps"] = withDelay * baud / 10.0;
    state.counters["payload_Bps_no_delay"] = payloadTime / (frameTime + ackTime) * baud / 10.0;
}
BENCHMARK(BM_LinkPayloadShareOfLineRate)->Arg(19200)->Arg(115200)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
