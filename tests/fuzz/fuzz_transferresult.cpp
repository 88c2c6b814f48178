// The result file the outside transfer program leaves in the exchange folder: any bytes it holds are read as
// a result (never as a missing file, whatever number line 1 holds), and a plain count or a negative number on
// line 1 is read as that number and makes the file readable.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include <QFile>
#include <QString>

#include "FuzzSetup.h"
#include "transfer/RovemarkTalk.h"

namespace {

namespace fs = std::filesystem;

struct Folder {
    Folder() { root = MakeFuzzScratchFolder("transferresult"); }
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
    const std::optional<TransferResult> result = ReadTransferResult(QString::fromStdString(folder.root));
    if (!result)
        __builtin_trap(); // the file is there
    // An optional minus, up to four digits, then the line's end: exactly that number, and a readable file.
    const std::size_t sign = !bytes.empty() && bytes[0] == '-' ? 1 : 0;
    std::size_t end = sign;
    while (end < bytes.size() && end < sign + 5 && std::isdigit(static_cast<unsigned char>(bytes[end])))
        ++end;
    if (end > sign && end - sign <= 4 && (end == bytes.size() || bytes[end] == '\r' || bytes[end] == '\n') &&
        (!result->readable || result->number != std::stoi(std::string(bytes.substr(0, end)))))
        __builtin_trap();
    return 0;
}
