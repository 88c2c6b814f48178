// Read transactions with a Sarnic logger at the link's line speed: the simulated logger on a pseudo-terminal
// paces both directions at 2400 baud, and the program's side runs the whole path (link module, Com32, frames,
// serial port). The counters compare the rate reached with the most the line allows for that exchange.
#include <benchmark/benchmark.h>

#include "directlink/Com32.h"
#include "directlink/SarnicComms.h"
#include "directlink/SarnicWire.h"
#include "remoteunit/PtyPair.h"
#include "sarnicsim/SarnicSimulator.h"

#include <chrono>

namespace {
constexpr int kTransactions = 1000;

// One battery read: a request of 1 message byte, a reply of 1 data byte.
void BM_SarnicBatteryReads(benchmark::State& state) {
    PtyPair pty;
    if (!pty.ok()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    pty.mapToPort(0);
    SarnicSimulator sim(pty.masterFd());
    sim.setLineRate(directlink::kLinkBaud);
    if (!directlink::LinkConnect(1)) {
        state.SkipWithError("no link");
        return;
    }
    int failed = 0;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kTransactions; ++i) {
            float volts = 0;
            if (!directlink::LoggerReadBattery(volts))
                ++failed;
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    directlink::COMM_CLOSE();
    const double bytes = (sarnic::wire::kRequestOverhead + 1) + (sarnic::wire::kReplyOverhead + 1);
    const double limit = directlink::kLinkBaud / 10.0 / bytes;
    const double reached = kTransactions * state.iterations() / seconds;
    state.counters["transactions_per_s"] = reached;
    state.counters["line_limit_per_s"] = limit;
    state.counters["share_of_limit"] = reached / limit;
    state.counters["failed"] = failed;
}
} // namespace

BENCHMARK(BM_SarnicBatteryReads)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_MAIN();
