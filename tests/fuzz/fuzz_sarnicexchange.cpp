// A Sarnic logger's answers as the link reads them: the serial library over an in-memory line that answers
// every request with the fuzzer's bytes, and the link module's operations decoding what came. The first byte
// picks the operation, the second whether the rest goes out as it is or wrapped in a well-formed frame
// (echoing the operation's command, with the third byte as the status when it is odd) so the decoders see
// every reply length. Whatever the line sends, every operation comes back, reading nothing outside the reply.
#include "FuzzSetup.h"
#include "directlink/Com32.h"
#include "directlink/SarnicComms.h"
#include "directlink/SarnicWire.h"
#include "platform/SerialPort.h"

#include <QDateTime>
#include <QDir>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

using namespace directlink;

namespace {

// The logger's end: each request written is answered with the same reply.
class AnsweringLine final : public plat::SerialPort {
public:
    static AnsweringLine* Open(std::vector<std::uint8_t> reply) { return new AnsweringLine(std::move(reply)); }
    int WriteBlock(const void*, int length) override {
        pending_.insert(pending_.end(), reply_.begin(), reply_.end());
        setCount(length);
        return plat::kSerialOk;
    }
    int ReadBlock(void* buffer, int length) override {
        const int n = std::min<int>(length, static_cast<int>(pending_.size() - next_));
        std::memcpy(buffer, pending_.data() + next_, static_cast<std::size_t>(std::max(n, 0)));
        next_ += static_cast<std::size_t>(std::max(n, 0));
        setCount(std::max(n, 0));
        return n > 0 ? plat::kSerialOk : plat::kSerialNoData;
    }
    int ClearTxBuffer() override { return plat::kSerialOk; }

private:
    explicit AnsweringLine(std::vector<std::uint8_t> reply) : SerialPort(0), reply_(std::move(reply)) {}
    std::vector<std::uint8_t> reply_;
    std::vector<std::uint8_t> pending_;
    std::size_t next_ = 0;
};

struct Operation {
    std::uint8_t command;
    std::function<void()> run;
};

const std::vector<Operation>& operations() {
    static const std::vector<Operation> all = {
        {kCmdIdentify, [] { std::int16_t a = 0, b = 0; LoggerReadVersion(a, b); }},
        {kCmdIdentify, [] { QString s; LoggerReadSerial(s); }},
        {kCmdReadClock, [] { QDateTime t; LoggerReadClock(t); }},
        {kCmdReadMemory, [] { QDateTime t; LoggerReadLastReset(t); }},
        {kCmdReadMemory, [] { LoggerReadRateScale(); }},
        {kCmdReadRates, [] { std::int32_t a = 0, b = 0; LoggerReadRates(a, b); }},
        {kCmdReadDays, [] { DayFlags d{}; LoggerReadDays(d); }},
        {kCmdLeakStatus, [] { QString s; LoggerReadLeakStatus(s); }},
        {kCmdBattery, [] { float v = 0; LoggerReadBattery(v); }},
        {kCmdHistogram, [] { HistogramCounts c{}; LoggerReadGraph(c); }},
        {kCmdNoiseLevel, [] { float l = 0; LoggerReadNoiseLevel(l); }},
        {kCmdHistory, [] { HistoryBytes a{}, b{}; LoggerReadHistory(a, b); }},
        {kCmdReadRates, [] { LoggerWriteRates(QStringLiteral("60"), QStringLiteral("30")); }},
        {kCmdWriteDays, [] { LoggerWriteDays(DayFlags{true, false, true, false, true, false, true}); }},
        {kCmdSleep, [] { LoggerSleep(); }},
    };
    return all;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = [] {
        UseFuzzProgramFolder(QDir::tempPath());
        // Everything the line will send is there at once, so short waits lose nothing.
        Com32Timing t;
        t.firstByteMs = 2;
        t.interByteMs = 2;
        t.retries = 0;
        t.retryPauseMs = 0;
        t.wakeMs = 0;
        Com32Library().setTiming(t);
        return true;
    }();
    (void)ready;
    if (size < 3 || size > 4096)
        return 0;
    const Operation& op = operations()[data[0] % operations().size()];
    std::vector<std::uint8_t> reply(data + 3, data + size);
    if (data[1] & 1) {
        if (reply.size() > static_cast<std::size_t>(sarnic::wire::kMaxReplyData))
            reply.resize(sarnic::wire::kMaxReplyData);
        reply = sarnic::wire::EncodeReply(op.command, data[2] & 1 ? data[2] : sarnic::wire::kDone, reply);
    }
    Com32Library().Attach(AnsweringLine::Open(std::move(reply)), 115200);
    op.run();
    COMM_CLOSE();
    return 0;
}
