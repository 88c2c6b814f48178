// Bytes from a Sarnic logger's line straight into the reply assembler: whatever arrives, every frame it
// delivers must be exactly the bytes the encoder makes of it, and a frame it rejects must not be one the
// encoder could have made.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "directlink/SarnicWire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sarnic::wire::ReplyParser parser;
    std::size_t start = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (!parser.inFrame() && data[i] == sarnic::wire::kStx)
            start = i;
        const auto r = parser.feed(data[i]);
        if (r == sarnic::wire::ReplyParser::Result::NeedMore)
            continue;
        const std::span<const std::uint8_t> consumed(data + start, i + 1 - start);
        if (r == sarnic::wire::ReplyParser::Result::Complete) {
            const auto again = sarnic::wire::EncodeReply(parser.command(), parser.status(), parser.data());
            if (std::vector<std::uint8_t>(consumed.begin(), consumed.end()) != again)
                std::abort();
        } else if (consumed.size() >= sarnic::wire::kReplyOverhead) {
            const std::span<const std::uint8_t> body =
                consumed.subspan(4, consumed.size() - sarnic::wire::kReplyOverhead);
            const auto good = sarnic::wire::EncodeReply(consumed[1], consumed[2], body);
            if (std::vector<std::uint8_t>(consumed.begin(), consumed.end()) == good)
                std::abort();
        }
    }
    return 0;
}
