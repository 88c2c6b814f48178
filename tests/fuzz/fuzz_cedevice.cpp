// The folder that stands for the hand-held, driven with whatever names the device and its caller could
// give: file names in the folder, device paths and patterns in the calls, fault settings in the marker.
// Nothing outside the device folder is ever read, written or removed (not through a link either), the marker
// is never reached by a device path, every listed name is one a device could hold, and every handle closes.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <QByteArray>
#include <QFile>
#include <QString>

#include "FuzzSetup.h"
#include "pdalink/CeDevice.h"

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct Tree {
    Tree() {
        root = MakeFuzzScratchFolder("cedevice");
        device = root / "device";
        outside = root / "outside";
        qputenv("VORD_CE_DEVICE", QFile::encodeName(QString::fromStdString(device.string())));
        qputenv("VORD_CE_SESSION_WAIT_MS", "0");
    }
    ~Tree() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    void reset(std::string_view marker) {
        std::error_code ec;
        fs::remove_all(device, ec);
        fs::remove_all(outside, ec);
        fs::create_directories(device / "My Documents" / "Rovemark Export");
        fs::create_directories(outside);
        std::ofstream(outside / "sentinel") << "keep";
        std::ofstream(device / "My Documents" / "Rovemark Export" / "data.csv") << "1,2,3\r\n";
        fs::create_directory_symlink(outside, device / "link");
        fs::create_symlink(outside / "sentinel", device / "My Documents" / "file.csv");
        markerText.assign(marker);
        std::ofstream(device / ce::kMarkerName, std::ios::binary)
            .write(marker.data(), static_cast<std::streamsize>(marker.size()));
    }
    bool outsideIntact() const {
        std::error_code ec;
        int n = 0;
        for (const auto& e : fs::directory_iterator(outside, ec)) {
            if (e.path().filename() != "sentinel")
                return false;
            ++n;
        }
        return n == 1 && slurp(outside / "sentinel") == "keep";
    }
    fs::path root, device, outside;
    std::string markerText;
};

QString text(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// A name the host folder can hold, made from input bytes.
bool hostName(std::string_view s) {
    return !s.empty() && s.size() <= 200 && s != "." && s != ".." && s.find('/') == std::string_view::npos &&
           s.find('\0') == std::string_view::npos;
}

void checkName(const ce::FindData& d) {
    const QString& n = d.name;
    if (n.isEmpty() || n.size() > 259 || n.contains(u'\\') || n.contains(u'/') || n.contains(QChar(0)) || n == u"." ||
        n == u"..")
        __builtin_trap();
}

void run(Tree& tree, std::string_view op) {
    if (op.empty())
        return;
    const char code = op.front();
    const std::string_view arg = op.substr(1);
    const auto bar = arg.find('|');
    const std::string_view a = arg.substr(0, bar);
    const std::string_view b = bar == std::string_view::npos ? std::string_view() : arg.substr(bar + 1);
    switch (code) {
    case 'f': // the device holds a file of that name (in its root, or below the export folder)
        if (hostName(a))
            std::ofstream(tree.device / "My Documents" / "Rovemark Export" / std::string(a)) << b;
        break;
    case 'F':
        if (hostName(a)) {
            std::error_code ec;
            fs::create_directory(tree.device / std::string(a), ec);
        }
        break;
    case 's': {
        ce::FindData d;
        const ce::Handle h = ce::CeFindFirstFile(text(arg), &d);
        if (h == ce::INVALID_HANDLE_VALUE)
            break;
        int n = 0;
        do
            checkName(d);
        while (++n < 1000 && ce::CeFindNextFile(h, &d));
        if (!ce::CeFindClose(h))
            __builtin_trap();
        break;
    }
    case 'r': {
        const ce::Handle h = ce::CeCreateFile(text(arg), ce::GENERIC_READ, ce::OPEN_EXISTING);
        if (h == ce::INVALID_HANDLE_VALUE)
            break;
        uint32_t high = 0;
        (void)ce::CeGetFileSize(h, &high);
        char buffer[4096];
        uint32_t got = 0;
        for (int i = 0; i < 16 && ce::CeReadFile(h, buffer, sizeof buffer, &got) && got > 0; ++i) {
            if (got > sizeof buffer)
                __builtin_trap();
        }
        if (!ce::CeCloseHandle(h))
            __builtin_trap();
        break;
    }
    case 'w': {
        const ce::Handle h = ce::CeCreateFile(text(a), ce::GENERIC_WRITE, ce::CREATE_ALWAYS);
        if (h == ce::INVALID_HANDLE_VALUE)
            break;
        uint32_t written = 0;
        (void)ce::CeWriteFile(h, b.data(), static_cast<uint32_t>(b.size()), &written);
        if (written > b.size())
            __builtin_trap();
        if (!ce::CeCloseHandle(h))
            __builtin_trap();
        break;
    }
    case 'x':
        (void)ce::CeDeleteFile(text(arg));
        break;
    case 'm':
        (void)ce::CeMoveFile(text(a), text(b));
        break;
    case 'c':
        (void)ce::CeCreateDirectory(text(arg));
        break;
    default:
        break;
    }
}

} // namespace

// Input: the marker's text, then operations, each after a 0 byte: a code letter and its arguments
// (two arguments are split at '|').
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Tree tree;
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    for (;;) {
        const auto nul = all.find('\0', pos);
        fields.push_back(all.substr(pos, nul == std::string_view::npos ? std::string_view::npos : nul - pos));
        if (nul == std::string_view::npos || fields.size() > 64)
            break;
        pos = nul + 1;
    }
    // The session wait is 0 ms, so a marker that delays the connection ends the session at once.
    tree.reset(fields[0]);
    if (ce::CeRapiInit() == ce::S_OK)
        for (std::size_t i = 1; i < fields.size(); ++i)
            run(tree, fields[i]);
    ce::CeRapiUninit();
    if (!tree.outsideIntact())
        __builtin_trap();
    const fs::path markerPath = tree.device / ce::kMarkerName;
    if (fs::exists(markerPath) && slurp(markerPath) != tree.markerText)
        __builtin_trap();
    const ce::Counters c = ce::counters();
    if (c.sessionsOpen != 0 || c.handlesOpen != 0)
        __builtin_trap();
    ce::resetCounters();
    return 0;
}
