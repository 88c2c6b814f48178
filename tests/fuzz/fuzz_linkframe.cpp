// Received bytes straight into the frame assembler and into the packet layer's receiver: whatever arrives on
// the line, nothing may read or write outside the frame buffers, every delivered frame must be one the encoder
// would produce, and the receiver must always come back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "commserver/LinkClock.h"
#include "commserver/LinkFrame.h"
#include "commserver/LinkLayer.h"
#include "platform/SerialPort.h"

namespace {

// A line that holds the fuzzer's bytes.
class BytesPort final : public plat::SerialPort {
public:
    static BytesPort* Open(std::span<const std::uint8_t> bytes) { return new BytesPort(bytes); }
    int ReadChar() override { return next_ < bytes_.size() ? bytes_[next_++] : plat::kSerialNoData; }
    int WriteChar(int) override { return 0; }
    int WriteBlock(const void*, int) override { return 0; }
    int ModemStatus() override { return plat::kModemCts | plat::kModemDsr | plat::kModemDcd; }
    int LineStatus() override { return 0; }
    bool drained() const { return next_ >= bytes_.size(); }

private:
    explicit BytesPort(std::span<const std::uint8_t> bytes) : SerialPort(0), bytes_(bytes) {}
    std::span<const std::uint8_t> bytes_;
    std::size_t next_ = 0;
};

class StillClock final : public comms::LinkClock {
public:
    std::int64_t Now() override { return 1'000'000; }
    void SleepMs(int) override {}
};

void check(bool ok) {
    if (!ok)
        std::abort();
}

void checkFrame(int type, std::span<const std::uint8_t> payload, const std::uint8_t* raw, int length) {
    check(payload.size() <= static_cast<std::size_t>(comms::kMaxPayload));
    check(length == static_cast<int>(payload.size()) + comms::kFrameOverhead);
    const std::vector<std::uint8_t> again = comms::MakeLinkFrame(type, payload);
    check(again.size() == static_cast<std::size_t>(length));
    check(std::equal(again.begin(), again.end(), raw));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    comms::LinkFrameAssembler assembler;
    for (std::size_t i = 0; i < size; ++i) {
        if (assembler.Feed(data[i], 1) == comms::LinkFrameAssembler::Event::Good)
            checkFrame(assembler.FrameType(), assembler.Payload(), assembler.Data(), assembler.Count());
    }

    StillClock clock;
    comms::LinkLayer link(clock);
    BytesPort* port = BytesPort::Open({data, size});
    link.SetPort(port);
    link.ResetReceiver();
    // Each call takes at least one byte or ends the line, so this loop is bounded by the input.
    for (std::size_t round = 0; round <= size; ++round) {
        const int r = link.ReceiveFrame();
        if (r == comms::kLinkOk) {
            const auto payload = link.ReceivedPayload();
            check(payload.size() <= static_cast<std::size_t>(comms::kMaxPayload));
            check(!comms::MakeLinkFrame(link.ReceivedFrameType(), payload).empty());
            (void)link.IsRepeatOfLastFrame();
            link.ResetReceiver();
            continue;
        }
        check(r == comms::kLinkKeepWaiting);
        if (port->drained())
            break;
    }
    port->Close();
    return 0;
}
