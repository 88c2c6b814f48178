// The result file the outside transfer program leaves in the exchange folder: any bytes it holds give a
// number that fits in 16 bits and a status line, and a plain count on line 1 is read as that count.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <QFile>
#include <QString>

#include "FuzzSetup.h"
#include "transfer/RovemarkTalk.h"

namespace {

namespace fs = std::filesystem;

struct Folder {
    Folder() {
        root = MakeFuzzScratchFolder("transferresult");
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    std::string root;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Folder folder;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::ofstream(folder.root + "/" + kTransferResultName, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    const int16_t result = ReadTransferResult(QString::fromStdString(folder.root));
    if (result == kNoTransferResult)
        __builtin_trap(); // the file is there
    // Up to four digits, then the line's end: exactly that number.
    std::size_t digits = 0;
    while (digits < bytes.size() && digits < 5 && std::isdigit(static_cast<unsigned char>(bytes[digits])))
        ++digits;
    if (digits >= 1 && digits <= 4 && (digits == bytes.size() || bytes[digits] == '\r' || bytes[digits] == '\n') &&
        result != std::stoi(std::string(bytes.substr(0, digits))))
        __builtin_trap();
    return 0;
}
