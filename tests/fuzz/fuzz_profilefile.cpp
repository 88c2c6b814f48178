// Settings files as anyone may have edited them, read by both INI readers: the profile file of the server and
// the per-user settings store. Whatever the file holds, a lookup never fails, and a key that was written
// reads back as written while the keys already there stay.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <QByteArray>
#include <QFile>
#include <QString>

#include "FuzzSetup.h"
#include "platform/ProfileFile.h"
#include "platform/SettingsStore.h"

namespace {

namespace fs = std::filesystem;

struct Folder {
    Folder() {
        root = MakeFuzzScratchFolder("profilefile");
        qputenv("VORD_SETTINGS_DIR", QFile::encodeName(QString::fromStdString(root)));
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    std::string root;
};

void put(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string_view trimmed(std::string_view s) {
    constexpr std::string_view blanks = " \t\r\n\f\v";
    const auto b = s.find_first_not_of(blanks);
    if (b == std::string_view::npos)
        return {};
    return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

// What a lookup gives for a written value: line ends become blanks, then the value is trimmed and loses one
// pair of enclosing quotes.
std::string expectedValue(std::string v) {
    for (char& c : v)
        if (c == '\r' || c == '\n')
            c = ' ';
    std::string_view t = trimmed(v);
    if (t.size() >= 2 && (t.front() == '"' || t.front() == '\'') && t.back() == t.front())
        t = t.substr(1, t.size() - 2);
    return std::string(t);
}

// Input: the file's text, then after the last 0 byte "section\x01key\x01value\x01otherSection\x01otherKey".
struct Parts {
    std::string_view file;
    std::string_view field[5];
};

Parts split(const std::uint8_t* data, std::size_t size) {
    Parts p;
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const auto nul = all.rfind('\0');
    p.file = nul == std::string_view::npos ? all : all.substr(0, nul);
    std::string_view rest = nul == std::string_view::npos ? std::string_view() : all.substr(nul + 1);
    for (auto& f : p.field) {
        const auto cut = rest.find('\x01');
        f = rest.substr(0, cut);
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
    }
    return p;
}

void profileFile(const Folder& folder, const Parts& p) {
    const std::string path = folder.root + "/Quendar32.Ini";
    put(path, p.file);
    plat::ProfileFile ini(path);
    const std::string sec(p.field[0]), key(p.field[1]), value(p.field[2]), sec2(p.field[3]), key2(p.field[4]);
    const std::string other = ini.GetString(sec2, key2, "\x02none");
    (void)ini.GetInt(sec, key, 7);
    (void)ini.HasKey(sec, key);
    if (!ini.WriteString(sec, key, value))
        return;
    if (ini.GetString(sec, key, "\x02none") != expectedValue(value))
        __builtin_trap();
    auto lower = [](std::string_view s) {
        std::string out(trimmed(s));
        for (char& c : out)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return out;
    };
    const bool same = lower(sec) == lower(sec2) && lower(key) == lower(key2);
    if (!same && ini.GetString(sec2, key2, "\x02none") != other)
        __builtin_trap();
}

void settingsStore(const Folder& folder, const Parts& p) {
    put(folder.root + "/Fuzz.ini", p.file);
    const QString app = QStringLiteral("Fuzz");
    const QString sec = QString::fromUtf8(p.field[0].data(), static_cast<qsizetype>(p.field[0].size()));
    const QString key = QString::fromUtf8(p.field[1].data(), static_cast<qsizetype>(p.field[1].size()));
    const QString value = QString::fromUtf8(p.field[2].data(), static_cast<qsizetype>(p.field[2].size()));
    const QStringList before = plat::settings::keys(app, sec);
    QStringList values;
    for (const QString& k : before)
        values << plat::settings::get(app, sec, k);
    (void)plat::settings::exists(app, sec, key);
    if (!plat::settings::save(app, sec, key, value)) {
        if (!key.isEmpty())
            __builtin_trap(); // a readable store always takes a key
        return;
    }
    if (plat::settings::get(app, sec, key, QStringLiteral("\x02none")) != value)
        __builtin_trap();
    for (qsizetype i = 0; i < before.size(); ++i)
        if (QString::compare(before[i], key, Qt::CaseInsensitive) != 0 &&
            plat::settings::get(app, sec, before[i]) != values[i])
            __builtin_trap();
    (void)plat::settings::remove(app, sec, key);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Folder folder;
    const Parts p = split(data, size);
    profileFile(folder, p);
    settingsStore(folder, p);
    return 0;
}
