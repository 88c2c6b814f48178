#pragma once
#include <array>
#include <atomic>
#include <cstdint>

// Counters of the link, written by the worker thread and read by the windows of the other thread. Each is an
// atomic, so a display may read at any moment; the change counts tell a display when to refresh.
namespace comms {

// In the order the diagnostics display and the status record list them.
enum class LinkCounter : int {
    RxBytes,
    TxBytes,
    RxGoodPackets,
    TxGoodPackets, // acknowledgements received
    RxBadPackets,
    TxRetransmissions,
    ProtocolErrors,
    FailedLinks,
    GoodReceivedFiles,
    ReceiveFileFailures,
    GoodSentFiles,
    SendFileFailures,
    ClockSets,
    GoodProgramRuns,
    FailedProgramRuns,
    GoodFileDeletes,
    FailedFileDeletes,
    GoodFileMoves,
    FailedFileMoves,
    FileInfoRequests,
};
constexpr int kLinkCounterCount = 20;

class LinkStatistics {
public:
    // Adds to a counter and to the change count.
    void Add(LinkCounter counter, std::uint32_t n = 1) {
        counters_[index(counter)].fetch_add(n, std::memory_order_relaxed);
        changeCount_.fetch_add(1, std::memory_order_relaxed);
    }
    std::uint32_t Get(LinkCounter counter) const { return counters_[index(counter)].load(std::memory_order_relaxed); }
    std::uint32_t ChangeCount() const { return changeCount_.load(std::memory_order_relaxed); }
    // For changes that other displays show beside the counters (modem lines, throughput).
    void BumpChangeCount() { changeCount_.fetch_add(1, std::memory_order_relaxed); }
    // Zeroes the twenty counters; the change count grows so that displays show the zeroes.
    void Reset() {
        for (auto& c : counters_)
            c.store(0, std::memory_order_relaxed);
        BumpChangeCount();
    }
    std::array<std::uint32_t, kLinkCounterCount> Snapshot() const {
        std::array<std::uint32_t, kLinkCounterCount> out{};
        for (int i = 0; i < kLinkCounterCount; ++i)
            out[static_cast<std::size_t>(i)] = counters_[static_cast<std::size_t>(i)].load(std::memory_order_relaxed);
        return out;
    }

private:
    static std::size_t index(LinkCounter c) { return static_cast<std::size_t>(c); }
    std::array<std::atomic<std::uint32_t>, kLinkCounterCount> counters_{};
    std::atomic<std::uint32_t> changeCount_{0};
};

enum class LineError : int { Overrun, Parity, Framing, Break };

class LineErrorCounts {
public:
    void Add(LineError e) { counts_[static_cast<std::size_t>(e)].fetch_add(1, std::memory_order_relaxed); }
    std::uint32_t Get(LineError e) const {
        return counts_[static_cast<std::size_t>(e)].load(std::memory_order_relaxed);
    }
    std::uint32_t ChangeCount() const { return changeCount_.load(std::memory_order_relaxed); }
    void BumpChangeCount() { changeCount_.fetch_add(1, std::memory_order_relaxed); }
    void Reset() {
        for (auto& c : counts_)
            c.store(0, std::memory_order_relaxed);
        BumpChangeCount();
    }

private:
    std::array<std::atomic<std::uint32_t>, 4> counts_{};
    std::atomic<std::uint32_t> changeCount_{0};
};

} // namespace comms
