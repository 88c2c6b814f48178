// Feeds arbitrary bytes to the rich-text reader that opens saved text documents. Whatever the bytes, it
// must return a text without crashing, hanging or reading outside its input. Saving drops what a document
// cannot hold (control characters, lone CRs), so after one save and read, further saves change nothing.
#include "documents/RtfText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = PlainTextFromRtf(std::string_view(reinterpret_cast<const char*>(data), size));
    const QString saved = PlainTextFromRtf(RtfFromPlainText(text));
    if (PlainTextFromRtf(RtfFromPlainText(saved)) != saved)
        std::abort();
    return 0;
}
